#include "display/impulse_pages.h"

#include <wx/busyinfo.h>
#include <wx/utils.h>

#include <algorithm>
#include <cmath>

#include "dsp/bands.h"
#include "dsp/fft.h"
#include "impulse/impulse_calculation.h"
#include "resources/strings.h"
#include "resources/window_ids.h"
#include "store/messages.h"

namespace vesk {

namespace {

double FieldValue(wxTextCtrl* edit) {
    double v = 0;
    return edit->GetValue().ToCDouble(&v) && std::isfinite(v) ? v : 0.0;  // no number reads as 0
}

// Runs a recalculation on the dialog's copy of the result; when the samples cannot be read the
// copy is left as it was and the dialog is not told of a change.
template <class Recalculation>
bool RecalculateCopy(ImpulseView* view, Recalculation recalculate) {
    wxBusyCursor wait;
    const AcParamRecord before = view->result;
    if (!recalculate()) {
        view->result = before;
        ShowStoreMessage(str::kCantReadMeasuredData);
        return false;
    }
    if (view->resultChanged) view->resultChanged();
    return true;
}

void SetValue(wxTextCtrl* edit, double v) {
    const wxString text = wxString::Format("%g", v);
    if (edit->GetValue() != text) edit->ChangeValue(text);
}

wxTextCtrl* NumberEdit(wxWindow* parent, int id, bool readOnly = false) {
    return new wxTextCtrl(parent, id, "", wxDefaultPosition, parent->FromDIP(wxSize(72, -1)),
                          readOnly ? wxTE_READONLY : 0);
}

// The largest magnitude of both responses, the amplitude that the graphs show as 1.
double Peak(const std::vector<float>& a, const std::vector<float>& b) {
    float peak = 0;
    for (float v : a)
        peak = std::max(peak, std::fabs(v));
    for (float v : b)
        peak = std::max(peak, std::fabs(v));
    return peak > 0 ? peak : 1.0;
}

}  // namespace

int ImpulseView::Band() const {
    if (!hasResult || entry < 0 || entry >= std::min(result.nData, kAcParamBands)) return 0;
    return result.bands[static_cast<std::size_t>(entry)].freq;
}

void ImpulseView::Clear() {
    measurement = ImpulseRecord{};
    block = SampleBlock{};
    left.clear();
    right.clear();
    result = AcParamRecord{};
    hasResult = false;
    fs = 0;
    channels = 1;
    entry = 0;
    isoStatus = IsoLoad::Absent;
    hasIso = isoComputed = false;
    iso = IsoResultRecord{};
    m_filtered = INT_MIN;
    m_bandLeft.clear();
    m_bandRight.clear();
}

void ImpulseView::Filter() {
    const int band = Band();
    if (m_filtered == band) return;
    wxBusyCursor wait;
    m_bandLeft = left;
    m_bandRight = right;
    const std::int32_t n = static_cast<std::int32_t>(left.size());
    if (n > 0 && band != 0)
        ApplyBandFilter(m_bandLeft.data(), m_bandRight.empty() ? nullptr : m_bandRight.data(), n,
                        fs, band, result.freqBand);
    m_filtered = band;
}

const std::vector<float>& ImpulseView::BandLeft() {
    Filter();
    return m_bandLeft;
}

const std::vector<float>& ImpulseView::BandRight() {
    Filter();
    return m_bandRight;
}

void CResultPage::Notify(bool visible) {
    m_due = true;
    if (visible) Shown();
}

void CResultPage::Shown() {
    if (!m_due) return;
    m_due = false;
    Rebuild();
}

CZoomBar::CZoomBar(wxWindow* parent) : wxPanel(parent) {
    m_all = new wxButton(this, id::kZoomAll, "All");
    m_zoomOut = new wxButton(this, id::kZoomOut, "Zoom Out");
    m_zoomIn = new wxButton(this, id::kZoomIn, "Zoom In");
    m_scroll = new wxScrollBar(this, id::kZoomScroll);
    m_scroll->SetScrollbar(0, kScrollRange, kScrollRange, kScrollRange);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(m_scroll, wxSizerFlags(1).CenterVertical().Border(wxRIGHT, 6));
    row->Add(m_all, wxSizerFlags().Border(wxRIGHT, 2));
    row->Add(m_zoomOut, wxSizerFlags().Border(wxRIGHT, 2));
    row->Add(m_zoomIn);
    SetSizer(row);
    m_all->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Apply(ViewInput::All); });
    m_zoomOut->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Apply(ViewInput::ZoomOut); });
    m_zoomIn->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Apply(ViewInput::ZoomIn); });
    m_scroll->Bind(wxEVT_SCROLL_LINEUP, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_LINEDOWN, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_PAGEUP, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_PAGEDOWN, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_TOP, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_BOTTOM, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_THUMBTRACK, &CZoomBar::OnScroll, this);
    m_scroll->Bind(wxEVT_SCROLL_THUMBRELEASE, &CZoomBar::OnScroll, this);
}

void CZoomBar::SetTotal(double seconds) {
    m_view = TimeView{seconds, seconds, 0};
    Apply(ViewInput::All);
}

void CZoomBar::Apply(ViewInput input) {
    ApplyViewInput(&m_view, input);
    Changed();
}

void CZoomBar::Pan(double fraction) {
    PanView(&m_view, fraction);
    Changed();
}

void CZoomBar::ScrollToPosition(int position) {
    ScrollTo(&m_view, position);
    Changed();
}

void CZoomBar::OnScroll(wxScrollEvent& event) {
    const wxEventType t = event.GetEventType();
    if (t == wxEVT_SCROLL_LINEUP)
        Apply(ViewInput::LineLeft);
    else if (t == wxEVT_SCROLL_LINEDOWN)
        Apply(ViewInput::LineRight);
    else if (t == wxEVT_SCROLL_PAGEUP)
        Apply(ViewInput::PageLeft);
    else if (t == wxEVT_SCROLL_PAGEDOWN)
        Apply(ViewInput::PageRight);
    else if (t == wxEVT_SCROLL_TOP)
        Apply(ViewInput::LeftEnd);
    else if (t == wxEVT_SCROLL_BOTTOM)
        Apply(ViewInput::RightEnd);
    else
        ScrollToPosition(event.GetPosition());
}

void CZoomBar::Changed() {
    const ZoomButtons b = ZoomButtonState(m_view);
    m_all->Enable(b.all);
    m_zoomIn->Enable(b.zoomIn);
    m_zoomOut->Enable(b.zoomOut);
    // Only touched when a number changed, so that a dragged thumb is not fought.
    const ScrollBarState s = ScrollBar(m_view);
    if (s.page != m_bar.page || s.position != m_bar.position) {
        m_scroll->SetScrollbar(s.position, std::max(1, s.page), s.range, std::max(1, s.page));
        m_bar = s;
    }
    if (onChange) onChange(m_view);
}

CImpulseResponsePage::CImpulseResponsePage(wxWindow* parent, ImpulseView* view)
    : CResultPage(parent), m_view(view) {
    m_left = new CImpulseGraph(this, "Left");
    m_right = new CImpulseGraph(this, "Right");
    m_left->SetId(id::kLeftResponseGraph);
    m_right->SetId(id::kRightResponseGraph);
    m_zoom = new CZoomBar(this);
    m_zoom->onChange = [this](const TimeView& v) {
        m_left->SetView(v);
        m_right->SetView(v);
    };
    m_lDirect = NumberEdit(this, id::kLeftDirect);
    m_lReflection = NumberEdit(this, id::kLeftReflection);
    m_rDirect = NumberEdit(this, id::kRightDirect);
    m_rReflection = NumberEdit(this, id::kRightReflection);
    m_calculate = new wxButton(this, id::kRecalculateTimes, "Calculate");
    m_calculate->Disable();
    m_calculate->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Calculate(); });
    for (int id : {id::kLeftDirect, id::kLeftReflection, id::kRightDirect, id::kRightReflection})
        Field(id)->Bind(wxEVT_TEXT, [this, id](wxCommandEvent&) { FieldEdited(id); });
    auto marker = [this](int channel) {
        return [this, channel](int which, double ms) {
            SetValue(Field(channel == 0 ? (which == 0 ? id::kLeftDirect : id::kLeftReflection)
                                        : (which == 0 ? id::kRightDirect : id::kRightReflection)),
                     ms);
            m_calculate->Enable();
        };
    };
    m_left->onMarkerMoved = marker(0);
    m_right->onMarkerMoved = marker(1);

    auto* fields = new wxFlexGridSizer(5, wxSize(6, 3));
    auto add = [&](const char* label, wxWindow* w) {
        fields->Add(new wxStaticText(this, wxID_ANY, label), wxSizerFlags().CenterVertical());
        fields->Add(w);
    };
    add("L-Direct [ms]", m_lDirect);
    add("L-Reflection [ms]", m_lReflection);
    fields->Add(m_calculate, wxSizerFlags().Border(wxLEFT, 12));
    add("R-Direct [ms]", m_rDirect);
    add("R-Reflection [ms]", m_rReflection);
    fields->AddSpacer(0);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_left, wxSizerFlags(1).Expand());
    column->Add(m_right, wxSizerFlags(1).Expand().Border(wxTOP, 2));
    column->Add(m_zoom, wxSizerFlags().Expand().Border(wxTOP, 4));
    column->Add(fields, wxSizerFlags().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
    for (CGraphWnd* g : {static_cast<CGraphWnd*>(m_left), static_cast<CGraphWnd*>(m_right)})
        g->SetMinSize(FromDIP(wxSize(420, 110)));
}

wxTextCtrl* CImpulseResponsePage::Field(int id) const {
    switch (id) {
        case id::kLeftDirect:
            return m_lDirect;
        case id::kLeftReflection:
            return m_lReflection;
        case id::kRightDirect:
            return m_rDirect;
        default:
            return m_rReflection;
    }
}

void CImpulseResponsePage::Reset() {
    m_zoom->SetTotal(m_view->fs > 0 ? m_view->left.size() / m_view->fs : 0.0);
    SetFields();
    m_calculate->Disable();
    const bool stereo = m_view->channels == 2;
    // Times can be recalculated only from a result and the samples it came from.
    const bool editable = m_view->hasResult && !m_view->left.empty();
    m_right->Show(stereo);
    for (int id : {id::kRightDirect, id::kRightReflection})
        Field(id)->Enable(stereo && editable);
    for (int id : {id::kLeftDirect, id::kLeftReflection})
        Field(id)->Enable(editable);
    Layout();
}

void CImpulseResponsePage::SetFields() {
    const AcParamRecord& r = m_view->result;
    if (!m_view->hasResult) {
        for (int id :
             {id::kLeftDirect, id::kLeftReflection, id::kRightDirect, id::kRightReflection})
            Field(id)->ChangeValue("");
        return;
    }
    SetValue(m_lDirect, r.deltaT0L);
    SetValue(m_lReflection, r.deltaT1L);
    SetValue(m_rDirect, r.deltaT0R);
    SetValue(m_rReflection, r.deltaT1R);
    m_left->SetMarkers(r.deltaT0L, r.deltaT1L);
    m_right->SetMarkers(r.deltaT0R, r.deltaT1R);
}

void CImpulseResponsePage::FieldEdited(int id) {
    // The typed time moves its marker at once; the result changes only on Calculate.
    if (id == id::kLeftDirect || id == id::kLeftReflection)
        m_left->SetMarkers(FieldValue(m_lDirect), FieldValue(m_lReflection));
    else
        m_right->SetMarkers(FieldValue(m_rDirect), FieldValue(m_rReflection));
    m_calculate->Enable();
}

void CImpulseResponsePage::Calculate() {
    if (!m_view->hasResult) return;
    const bool done = RecalculateCopy(m_view, [this] {
        AcParamRecord& r = m_view->result;
        r.deltaT0L = FieldValue(m_lDirect);
        r.deltaT0R = FieldValue(m_rDirect);
        r.deltaT1L = FieldValue(m_lReflection);
        r.deltaT1R = FieldValue(m_rReflection);
        return RecalculateTsub(m_view->measurement, m_view->block, &r, m_view->fs);
    });
    const AcParamRecord& r = m_view->result;
    m_left->SetMarkers(r.deltaT0L, r.deltaT1L);
    m_right->SetMarkers(r.deltaT0R, r.deltaT1R);
    if (done) m_calculate->Disable();
}

void CImpulseResponsePage::Rebuild() {
    const std::vector<float>& l = m_view->BandLeft();
    const std::vector<float>& r = m_view->BandRight();
    const double scale = Peak(l, r);
    m_left->SetData(l, m_view->fs, scale);
    m_right->SetData(r, m_view->fs, scale);
}

bool AskTsubSettings(wxWindow* parent, TsubSettings* s) {
    wxDialog dialog(parent, id::kTsubDialog, "Tsub Recalculation");
    auto* end = NumberEdit(&dialog, id::kTsubDialogEnd);
    auto* automatic = new wxCheckBox(&dialog, id::kTsubDialogAuto, "Auto");
    auto* rate = NumberEdit(&dialog, id::kTsubDialogRate);
    SetValue(end, s->end);
    automatic->SetValue(s->automatic);
    SetValue(rate, s->ratePercent);
    auto* grid = new wxFlexGridSizer(3, wxSize(6, 6));
    grid->Add(new wxStaticText(&dialog, wxID_ANY, "End of Regression"),
              wxSizerFlags().CenterVertical());
    grid->Add(end);
    grid->Add(new wxStaticText(&dialog, wxID_ANY, "dB"), wxSizerFlags().CenterVertical());
    grid->AddSpacer(0);
    grid->Add(automatic);
    grid->AddSpacer(0);
    grid->Add(new wxStaticText(&dialog, wxID_ANY, "Rate of Noise Range"),
              wxSizerFlags().CenterVertical());
    grid->Add(rate);
    grid->Add(new wxStaticText(&dialog, wxID_ANY, "%"), wxSizerFlags().CenterVertical());
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, wxSizerFlags().Border(wxALL, 10));
    top->Add(dialog.CreateStdDialogButtonSizer(wxOK | wxCANCEL),
             wxSizerFlags().Expand().Border(wxALL, 8));
    dialog.SetSizerAndFit(top);
    if (dialog.ShowModal() != wxID_OK) return false;
    s->end = FieldValue(end);
    s->automatic = automatic->GetValue();
    s->ratePercent = FieldValue(rate);
    return true;
}

bool AskWiaccWidth(wxWindow* parent, double* width) {
    wxDialog dialog(parent, id::kWiaccDialog, "Change Width for WIACC");
    auto* edit = NumberEdit(&dialog, id::kWiaccWidth);
    SetValue(edit, *width);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(&dialog, wxID_ANY, "Width for WIACC"),
             wxSizerFlags().CenterVertical().Border(wxRIGHT, 6));
    row->Add(edit);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(row, wxSizerFlags().Border(wxALL, 10));
    top->Add(dialog.CreateStdDialogButtonSizer(wxOK | wxCANCEL),
             wxSizerFlags().Expand().Border(wxALL, 8));
    dialog.SetSizerAndFit(top);
    if (dialog.ShowModal() != wxID_OK) return false;
    *width = FieldValue(edit);
    return true;
}

CReverberationPage::CReverberationPage(wxWindow* parent, ImpulseView* view)
    : CResultPage(parent), m_view(view) {
    m_echo = new CDecayGraph(this, true);
    m_decay = new CDecayGraph(this, false);
    m_echo->SetId(id::kEchoGraph);
    m_decay->SetId(id::kDecayGraph);
    m_zoom = new CZoomBar(this);
    m_zoom->onChange = [this](const TimeView& v) {
        m_echo->SetView(v);
        m_decay->SetView(v);
    };
    m_both = new wxRadioButton(this, id::kDecayBoth, "Left+Right", wxDefaultPosition, wxDefaultSize,
                               wxRB_GROUP);
    m_leftOnly = new wxRadioButton(this, id::kDecayLeft, "Left");
    m_rightOnly = new wxRadioButton(this, id::kDecayRight, "Right");
    for (wxRadioButton* b : {m_both, m_leftOnly, m_rightOnly})
        b->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { Rebuild(); });
    auto* calculate = new wxButton(this, id::kRecalculateTsub, "Calculate...");
    calculate->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Recalculate(); });
    auto* controls = new wxBoxSizer(wxHORIZONTAL);
    for (wxRadioButton* b : {m_both, m_leftOnly, m_rightOnly})
        controls->Add(b, wxSizerFlags().CenterVertical().Border(wxRIGHT, 10));
    controls->AddStretchSpacer();
    controls->Add(calculate);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_echo, wxSizerFlags(1).Expand());
    column->Add(m_decay, wxSizerFlags(1).Expand().Border(wxTOP, 2));
    column->Add(m_zoom, wxSizerFlags().Expand().Border(wxTOP, 4));
    column->Add(controls, wxSizerFlags().Expand().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
    m_echo->SetMinSize(FromDIP(wxSize(420, 110)));
    m_decay->SetMinSize(FromDIP(wxSize(420, 110)));
}

void CReverberationPage::Reset() {
    m_zoom->SetTotal(m_view->fs > 0 ? m_view->left.size() / m_view->fs : 0.0);
    const bool stereo = m_view->channels == 2;
    (stereo ? m_both : m_leftOnly)->SetValue(true);
    m_both->Enable(stereo);
    m_rightOnly->Enable(stereo);
    FindWindow(id::kRecalculateTsub)->Enable(m_view->hasResult && !m_view->left.empty());
}

void CReverberationPage::Rebuild() {
    const std::vector<float>& l = m_view->BandLeft();
    const std::vector<float>& r = m_view->BandRight();
    const AcParamRecord& rec = m_view->result;
    const DecayChannel channel = m_both->GetValue()        ? DecayChannel::Average
                                 : m_rightOnly->GetValue() ? DecayChannel::Right
                                                           : DecayChannel::Left;
    wxBusyCursor wait;
    const DecayDisplay d = ComputeDecayDisplay(
        l.empty() ? nullptr : l.data(), r.empty() ? nullptr : r.data(),
        static_cast<std::int32_t>(l.size()), m_view->fs, rec.deltaT1L, rec.deltaT1R, rec.tsubEnd,
        rec.tsubAuto, rec.tsubNoise, channel,
        DecayLength(m_view->measurement, m_view->left, m_view->right, rec.tsubNoise),
        BandWidth(m_view->Band(), rec.freqBand));
    m_echo->SetData(d, m_view->fs);
    m_decay->SetData(d, m_view->fs);
}

void CReverberationPage::Recalculate() {
    if (!m_view->hasResult) return;
    AcParamRecord& r = m_view->result;
    TsubSettings s{r.tsubEnd, r.tsubAuto != 0, r.tsubNoise * 100};
    if (!askTsub || !askTsub(this, &s)) return;
    RecalculateCopy(m_view, [&] {
        r.tsubEnd = s.end;
        r.tsubAuto = s.automatic ? 1 : 0;
        r.tsubNoise = s.ratePercent / 100;
        return RecalculateTsub(m_view->measurement, m_view->block, &r, m_view->fs);
    });
}

CCrossCorrelationPage::CCrossCorrelationPage(wxWindow* parent, ImpulseView* view)
    : CResultPage(parent), m_view(view) {
    m_graph = new CLagGraph(this);
    m_graph->SetId(id::kCrossCorrelationGraph);
    m_graph->SetMinSize(FromDIP(wxSize(420, 160)));
    m_change = new wxButton(this, id::kChangeWiacc, "Change WIACC...");
    m_change->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChangeWidth(); });
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, "Cross Correlation Func."));
    column->Add(m_graph, wxSizerFlags(1).Expand().Border(wxTOP, 2));
    column->Add(m_change, wxSizerFlags().Right().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
}

void CCrossCorrelationPage::Rebuild() {
    m_change->Enable(m_view->hasResult && m_view->channels == 2 && !m_view->right.empty());
    const std::vector<float>& l = m_view->BandLeft();
    const std::vector<float>& r = m_view->BandRight();
    const std::int32_t m = IacfLength(m_view->fs);
    if (r.empty() || l.size() != r.size() || m <= 0) {
        m_graph->SetData({}, 0, m_view->fs, -1000, 0, 0, 0, 0);
        return;
    }
    wxBusyCursor wait;
    std::vector<float> iacf(static_cast<std::size_t>(m));
    ComputeIacf(l.data(), r.data(), static_cast<std::int32_t>(l.size()), iacf.data(), m);
    // With no result at hand the default width of the conditions.
    const double delta = m_view->hasResult ? m_view->result.iaccWLevel : 0.1;
    const IacfResult x = EvaluateIacf(iacf.data(), m, m_view->fs, delta);
    m_graph->SetData(std::move(iacf), m / 2, m_view->fs, x.iacc, x.tauIacc, x.leftWidth,
                     x.rightWidth, delta);
}

void CCrossCorrelationPage::ChangeWidth() {
    if (!m_view->hasResult) return;
    double width = m_view->result.iaccWLevel;
    if (!askWidth || !askWidth(this, &width)) return;
    RecalculateCopy(m_view, [&] {
        m_view->result.iaccWLevel = width;
        return RecalculateWiacc(m_view->measurement, m_view->block, &m_view->result, m_view->fs);
    });
}

CSpectrumPage::CSpectrumPage(wxWindow* parent, ImpulseView* view)
    : CResultPage(parent), m_view(view) {
    m_left = new CSpectrumGraph(this, "Left");
    m_right = new CSpectrumGraph(this, "Right");
    m_left->SetId(id::kLeftSpectrumGraph);
    m_right->SetId(id::kRightSpectrumGraph);
    m_smoothing = new wxCheckBox(this, id::kSmoothing, "Smoothing");
    m_smoothing->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { Rebuild(); });
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_left, wxSizerFlags(1).Expand());
    column->Add(m_right, wxSizerFlags(1).Expand().Border(wxTOP, 2));
    column->Add(m_smoothing, wxSizerFlags().Border(wxTOP, 4));
    auto* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 4));
    SetSizer(outer);
    m_left->SetMinSize(FromDIP(wxSize(420, 110)));
    m_right->SetMinSize(FromDIP(wxSize(420, 110)));
}

void CSpectrumPage::Reset() {
    m_smoothing->SetValue(false);
}

void CSpectrumPage::Rebuild() {
    const std::vector<float>& l = m_view->BandLeft();
    const std::vector<float>& r = m_view->BandRight();
    const bool stereo = !r.empty();
    if (m_right->IsShown() != stereo) {
        m_right->Show(stereo);
        Layout();
    }
    const std::int32_t n = static_cast<std::int32_t>(l.size());
    std::vector<float> pl(l.size()), pr(stereo ? r.size() : l.size());
    if (n < 4 || PowerSpectrum2(l.data(), stereo ? r.data() : nullptr, pl.data(), pr.data(), n)) {
        m_left->SetData({}, m_view->fs, false);
        m_right->SetData({}, m_view->fs, false);
        return;
    }
    for (float& v : pl)
        v /= static_cast<float>(n);
    for (float& v : pr)
        v /= static_cast<float>(n);
    const bool smooth = m_smoothing->GetValue();
    m_left->SetData(std::move(pl), m_view->fs, smooth);
    if (stereo) m_right->SetData(std::move(pr), m_view->fs, smooth);
}

}  // namespace vesk
