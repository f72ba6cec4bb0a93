#include "app/statistics_dialog.h"

#include <algorithm>

namespace vesk {

CStatisticsDlg::CStatisticsDlg(wxWindow* parent, std::int32_t folderId,
                               const std::vector<std::int32_t>& measurements)
    : wxDialog(parent, wxID_ANY, "Folder Statistics", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    Report report;
    std::string message;
    bool storeFailed = false;
    {
        wxBusyCursor wait;
        m_loaded = report.Load(folderId, measurements, &message, &storeFailed);
    }
    if (m_loaded) m_stats = FolderStatistics(report.Measurements());
    for (const BandStatistics& s : m_stats)
        if (std::find(m_parameters.begin(), m_parameters.end(), s.parameter) == m_parameters.end())
            m_parameters.push_back(s.parameter);
    m_choice = new wxChoice(this, wxID_ANY);
    for (const std::string& p : m_parameters)
        m_choice->Append(wxString::FromUTF8(p));
    m_table = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(520, 180)),
                             wxLC_REPORT | wxLC_SINGLE_SEL);
    const char* const kColumns[] = {"Band [Hz]", "N", "Mean", "SD", "Min", "Max"};
    for (const char* c : kColumns)
        m_table->AppendColumn(c, c == kColumns[0] ? wxLIST_FORMAT_LEFT : wxLIST_FORMAT_RIGHT,
                              FromDIP(c == kColumns[0] ? 100 : 80));
    m_graph = new CBandGraph(this);
    m_graph->SetMinSize(FromDIP(wxSize(520, 260)));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(new wxStaticText(this, wxID_ANY, "Parameter:"),
             wxSizerFlags().Centre().Border(wxRIGHT, 6));
    top->Add(m_choice);
    top->AddStretchSpacer();
    sizer->Add(top, wxSizerFlags().Expand().Border(wxALL, 6));
    if (!m_loaded || m_stats.empty())
        sizer->Add(new wxStaticText(
                       this, wxID_ANY,
                       m_loaded ? wxString("No results to compare.") : wxString::FromUTF8(message)),
                   wxSizerFlags().Border(wxLEFT | wxRIGHT, 6));
    sizer->Add(m_table, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, 6));
    sizer->Add(m_graph, wxSizerFlags(1).Expand().Border(wxALL, 6));
    sizer->Add(CreateButtonSizer(wxOK), wxSizerFlags().Right().Border(wxALL, 6));
    SetSizerAndFit(sizer);
    m_choice->Bind(wxEVT_CHOICE,
                   [this](wxCommandEvent&) { ShowParameter(m_choice->GetSelection()); });
    if (!m_parameters.empty()) {
        m_choice->SetSelection(0);
        ShowParameter(0);
    }
}

void CStatisticsDlg::ShowParameter(int index) {
    if (index < 0 || index >= static_cast<int>(m_parameters.size())) return;
    const std::string& name = m_parameters[static_cast<std::size_t>(index)];
    m_table->DeleteAllItems();
    ParameterPlot plot;
    plot.title = name;
    plot.names = {"Mean", "Mean + SD", "Mean - SD"};
    plot.series.resize(3);
    double low = 0, high = 0;
    bool any = false;
    for (const BandStatistics& s : m_stats) {
        if (s.parameter != name) continue;
        const long row = m_table->InsertItem(m_table->GetItemCount(),
                                             wxString::FromUTF8(s.band.empty() ? "-" : s.band));
        m_table->SetItem(row, 1, wxString::Format("%d", s.stats.count));
        m_table->SetItem(row, 2,
                         wxString::FromUTF8(FormatValue(s.stats.count ? s.stats.mean : -1000)));
        m_table->SetItem(row, 3,
                         wxString::FromUTF8(FormatValue(s.stats.count ? s.stats.sd : -1000)));
        m_table->SetItem(row, 4,
                         wxString::FromUTF8(FormatValue(s.stats.count ? s.stats.min : -1000)));
        m_table->SetItem(row, 5,
                         wxString::FromUTF8(FormatValue(s.stats.count ? s.stats.max : -1000)));
        plot.labels.push_back(s.band.empty() ? name : s.band);
        const bool has = s.stats.count > 0;
        plot.series[0].push_back(has ? s.stats.mean : -1000);
        plot.series[1].push_back(has ? s.stats.mean + s.stats.sd : -1000);
        plot.series[2].push_back(has ? s.stats.mean - s.stats.sd : -1000);
        // The single measurements, one faint line each behind the mean.
        if (plot.background.size() < s.values.size()) plot.background.resize(s.values.size());
        for (std::size_t m = 0; m < s.values.size(); ++m)
            plot.background[m].push_back(s.values[m]);
        for (double v : s.values)
            if (v != -1000) {
                low = any ? std::min(low, v) : v;
                high = any ? std::max(high, v) : v;
                any = true;
            }
    }
    // Background series end short when a band was missing: pad them to the bands.
    for (std::vector<double>& b : plot.background)
        b.resize(plot.labels.size(), -1000);
    const ValueRange range = FactorRange({low, high}, true, false);
    plot.top = any ? range.top : 1;
    plot.bottom = any ? range.bottom : 0;
    plot.step = any ? range.step : 0.1;
    m_graph->SetData(std::move(plot));
}

}  // namespace vesk
