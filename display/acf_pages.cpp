#include "display/acf_pages.h"

#include <wx/utils.h>

#include "resources/window_ids.h"

namespace vesk {

const AcfFrameView& AcfView::Current() {
    if (m_made != frame) {
        m_current = viewer ? viewer->Frame(frame, block.channels == 2) : AcfFrameView{};
        m_made = frame;
    }
    return m_current;
}

AcfFactorRecord AcfView::StoredFactors() const {
    if (!stored || frame < 0 || static_cast<std::size_t>(frame) >= stored->size()) return {};
    return (*stored)[static_cast<std::size_t>(frame)];
}

CAcfPage::CAcfPage(wxWindow* parent, AcfView* view) : CResultPage(parent), m_view(view) {
    m_graph = new CRunningAcfGraph(this);
    m_graph->SetId(id::kFunctionGraph);
    m_graph->SetMinSize(FromDIP(wxSize(420, 220)));
    m_zoom = new CZoomBar(this);
    m_zoom->onChange = [this](const TimeView& v) { m_graph->SetView(v); };
    m_graph->onPan = [this](double fraction) { m_zoom->Pan(fraction); };
    m_logarithm = new wxCheckBox(this, id::kAcfLogarithm, "Logarithm");
    m_logarithm->Bind(wxEVT_CHECKBOX,
                      [this](wxCommandEvent&) { m_graph->SetLogarithm(m_logarithm->GetValue()); });
    m_readOut = new wxStaticText(this, wxID_ANY, "");
    m_graph->onReadOut = [this](const wxString& text) { m_readOut->SetLabel(text); };
    auto* controls = new wxBoxSizer(wxHORIZONTAL);
    controls->Add(m_logarithm, wxSizerFlags().CenterVertical());
    controls->AddStretchSpacer();
    controls->Add(m_readOut, wxSizerFlags().CenterVertical());
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_graph, wxSizerFlags(1).Expand());
    column->Add(m_zoom, wxSizerFlags().Expand().Border(wxTOP, 4));
    column->Add(controls, wxSizerFlags().Expand().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
    m_graph->SetLogarithm(false);
}

void CAcfPage::Reset() {
    const AcfFrameViewer* v = m_view->viewer.get();
    const double total = v && v->Frames() > 0 ? v->Framing().maxDelay / v->SamplingRate() : 0.0;
    m_zoom->SetTotal(total);
    m_logarithm->SetValue(false);
    m_graph->SetLogarithm(false);
}

void CAcfPage::Rebuild() {
    wxBusyCursor wait;  // the frame is transformed again
    const AcfFrameView& frame = m_view->Current();
    m_graph->SetData(frame, m_view->StoredFactors(),
                     m_view->viewer ? m_view->viewer->SamplingRate() : 1.0);
}

CIacfPage::CIacfPage(wxWindow* parent, AcfView* view, double wiaccWidth)
    : CResultPage(parent), m_view(view), m_width(wiaccWidth) {
    m_graph = new CLagGraph(this);
    m_graph->SetId(id::kFunctionGraph);
    m_graph->SetMinSize(FromDIP(wxSize(420, 220)));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(m_graph, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
}

void CIacfPage::Rebuild() {
    wxBusyCursor wait;
    const AcfFrameView& frame = m_view->Current();
    const double fs = m_view->viewer ? m_view->viewer->SamplingRate() : 1.0;
    if (frame.iacf.empty()) {
        m_graph->SetData({}, 0, fs, -1000, 0, 0, 0, 0);
        return;
    }
    const AcfFactorRecord& f = frame.factors;
    const double left = f.wiaccLeft * 1000.0, width = f.wiacc * 1000.0;
    m_graph->SetData(frame.iacf, static_cast<int>(frame.iacf.size() / 2), fs, f.iacc,
                     f.tauIacc * 1000.0, left, width - left, m_width);
}

}  // namespace vesk
