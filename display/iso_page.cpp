#include "display/iso_page.h"

#include <wx/utils.h>

#include <algorithm>
#include <cmath>

#include "display/page_graphs.h"
#include "iso/iso3382.h"
#include "resources/window_ids.h"

namespace vesk {

CIsoDecayGraph::CIsoDecayGraph(wxWindow* parent) : CGraphWnd(parent) {
    // The legend keeps to the top right corner, where the decay leaves the plot empty, until the
    // user moves it.
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        if (m_legend && !m_legend->Moved()) {
            const wxRect plot = PlotRect();
            m_legend->Move(plot.GetRight() - m_legend->GetSize().x - 4, plot.GetTop() + 4);
        }
        event.Skip();
    });
}

void CIsoDecayGraph::SetData(FittedDecayGraph curve, const wxString& title) {
    m_graph = std::move(curve);
    m_graph.title = title.utf8_string();
    SetLegend(m_graph.Legend());
    Redraw();
}

CIsoPage::CIsoPage(wxWindow* parent, ImpulseView* view) : CResultPage(parent), m_view(view) {
    m_list = new wxListCtrl(this, id::kIsoList, wxDefaultPosition, wxDefaultSize,
                            wxLC_REPORT | wxLC_SINGLE_SEL);
    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent& event) {
        m_selected = event.GetIndex();
        ShowReason();
        Notify(true);
    });
    m_single = new wxStaticText(this, wxID_ANY, "");
    m_reason = new wxStaticText(this, wxID_ANY, "");
    m_graph = new CIsoDecayGraph(this);
    m_graph->SetId(id::kIsoDecayGraph);
    m_list->SetMinSize(FromDIP(wxSize(420, 90)));
    m_graph->SetMinSize(FromDIP(wxSize(420, 110)));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_list, wxSizerFlags(4).Expand());
    column->Add(m_single, wxSizerFlags().Expand().Border(wxTOP, 4));
    column->Add(m_reason, wxSizerFlags().Expand().Border(wxTOP, 2));
    column->Add(m_graph, wxSizerFlags(5).Expand().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
    for (const ResultColumn& c : IsoColumns())
        m_list->AppendColumn(
            wxString::FromUTF8(c.title), wxLIST_FORMAT_RIGHT,
            std::max(FromDIP(c.width),
                     m_list->GetTextExtent(wxString::FromUTF8(c.title)).x + FromDIP(16)));
}

void CIsoPage::Reset() {
    m_list->DeleteAllItems();
    m_rows = m_view->hasIso ? IsoRows(m_view->iso) : std::vector<ResultRow>{};
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const ResultRow& r = m_rows[i];
        const long item = m_list->InsertItem(static_cast<long>(i), wxString::FromUTF8(r.texts[0]));
        for (std::size_t c = 1; c < r.texts.size(); ++c)
            m_list->SetItem(item, static_cast<long>(c), wxString::FromUTF8(r.texts[c]));
        m_list->SetItemData(item, r.key);
    }
    m_single->SetLabel(m_view->hasIso ? wxString::FromUTF8(IsoSingleNumberText(m_view->iso)) : "");
    // The 1 kHz row of the first ear, else broadband.
    m_selected = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].values[0] == 1000 && m_rows[i].values[1] == 0)
            m_selected = static_cast<long>(i);
    if (!m_rows.empty())
        m_list->SetItemState(m_selected, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    ShowReason();
}

void CIsoPage::SelectRow(long row) {
    if (row < 0 || row >= m_list->GetItemCount()) return;
    m_list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                         wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_list->EnsureVisible(row);
}

void CIsoPage::ShowReason() {
    wxString text;
    if (!m_view->hasResult)
        text = "No result.";
    else if (m_view->isoStatus == IsoLoad::Failed)
        text = "The stored ISO 3382-1 result cannot be read.";
    else if (!m_view->hasIso)
        text = "No ISO 3382-1 result: the impulse responses cannot be read.";
    else if (m_view->isoComputed)
        text = "Not stored yet: computed from the impulse responses for display.";
    if (m_selected >= 0 && static_cast<std::size_t>(m_selected) < m_rows.size() && m_view->hasIso) {
        const std::int32_t key = m_rows[static_cast<std::size_t>(m_selected)].key;
        const IsoChannelStored& c =
            m_view->iso.bands[static_cast<std::size_t>(key / 2)].channel[key % 2];
        // The whole reason of a missing value, which the table can only abbreviate.
        for (std::int32_t why : {c.t30.missing, c.t20.missing, c.edt.missing, c.energyMissing})
            if (why != 0) {
                text += (text.empty() ? "" : "  ") + wxString("Missing: ") +
                        wxString::FromUTF8(iso::MissingText(static_cast<iso::Missing>(why))) + ".";
                break;
            }
    }
    if (m_reason->GetLabel() != text) m_reason->SetLabel(text);
}

void CIsoPage::Rebuild() {
    if (m_selected < 0 || static_cast<std::size_t>(m_selected) >= m_rows.size() ||
        !m_view->hasIso) {
        m_graph->SetData({}, "");
        return;
    }
    const ResultRow& row = m_rows[static_cast<std::size_t>(m_selected)];
    const int ear = row.key % 2;
    const std::vector<float>& response = ear == 0 ? m_view->left : m_view->right;
    wxBusyCursor wait;
    m_graph->SetData(
        IsoDecayOf(response, m_view->fs, m_view->iso, static_cast<std::size_t>(row.key / 2), ear),
        wxString::FromUTF8(IsoBandTitle(m_view->iso, static_cast<std::size_t>(row.key / 2)) + ", " +
                           row.texts[1]));
}

}  // namespace vesk
