// The pages of "Acoustic Parameters" that draw the impulse responses of the current band and
// recalculate parts of the result: "Impulse response", "Reverberation", "Cross correlation" and
// "Spectrum", with the zoom bar of the windowed graphs and the two recalculation dialogs.
#pragma once

#include <wx/scrolbar.h>
#include <wx/wx.h>

#include <climits>
#include <functional>
#include <vector>

#include "display/page_graphs.h"
#include "store/iso_result.h"
#include "store/records.h"
#include "store/samples.h"

namespace vesk {

// What the impulse pages share with their dialog: the measurement, its impulse responses, the
// dialog's own copy of the result, and the current band entry.
struct ImpulseView {
    ImpulseRecord measurement;
    SampleBlock block;
    std::vector<float> left, right;  // recovered responses; empty without samples
    AcParamRecord result;
    bool hasResult = false;
    double fs = 0;
    int channels = 1;
    int entry = 0;  // index into result.bands
    // The ISO 3382-1 result: stored, or computed for display when none is stored.
    IsoLoad isoStatus = IsoLoad::Absent;
    bool hasIso = false, isoComputed = false;
    IsoResultRecord iso;
    // Called after a page recalculated the result (refresh of the dialog, changed flag).
    std::function<void()> resultChanged;

    // The band index of the current entry (0, no filter, without a result).
    int Band() const;
    // The responses filtered for the current entry's band, made once per entry.
    const std::vector<float>& BandLeft();
    const std::vector<float>& BandRight();
    // Everything but the callback, for a new record.
    void Clear();

  private:
    void Filter();
    int m_filtered = INT_MIN;
    std::vector<float> m_bandLeft, m_bandRight;
};

// A page of a result dialog: rebuilt at once when visible, otherwise when next shown.
class CResultPage : public wxPanel {
  public:
    explicit CResultPage(wxWindow* parent) : wxPanel(parent) {}
    // The band, frame or result changed; `visible` when the page is the one shown.
    void Notify(bool visible);
    // The page became the one shown.
    void Shown();
    // A new record: views back to the whole length, then a rebuild when shown.
    virtual void Reset() {}

  protected:
    virtual void Rebuild() = 0;

  private:
    bool m_due = true;
};

// "All", "Zoom Out", "Zoom In" and the scroll bar over one time view.
class CZoomBar : public wxPanel {
  public:
    explicit CZoomBar(wxWindow* parent);
    void SetTotal(double seconds);  // shows everything
    void Apply(ViewInput input);
    void Pan(double fraction);
    void ScrollToPosition(int position);
    const TimeView& View() const { return m_view; }
    std::function<void(const TimeView&)> onChange;

  private:
    void Changed();
    void OnScroll(wxScrollEvent& event);
    TimeView m_view;
    ScrollBarState m_bar{kScrollRange, -1, -1};
    wxButton *m_all, *m_zoomOut, *m_zoomIn;
    wxScrollBar* m_scroll;
};

class CImpulseResponsePage : public CResultPage {
  public:
    CImpulseResponsePage(wxWindow* parent, ImpulseView* view);
    void Reset() override;
    CImpulseGraph* Graph(int channel) const { return channel == 0 ? m_left : m_right; }
    wxTextCtrl* Field(int id) const;  // id::kLeftDirect .. id::kRightReflection
    wxButton* CalculateButton() const { return m_calculate; }
    CZoomBar* Zoom() const { return m_zoom; }
    void Calculate();

  protected:
    void Rebuild() override;

  private:
    void FieldEdited(int id);
    void SetFields();
    ImpulseView* m_view;
    CImpulseGraph *m_left, *m_right;
    CZoomBar* m_zoom;
    wxTextCtrl *m_lDirect, *m_rDirect, *m_lReflection, *m_rReflection;
    wxButton* m_calculate;
};

// The Tsub conditions asked by "Calculate..." (rate in percent); false when cancelled.
struct TsubSettings {
    double end = 0;
    bool automatic = false;
    double ratePercent = 0;
};
bool AskTsubSettings(wxWindow* parent, TsubSettings* settings);
bool AskWiaccWidth(wxWindow* parent, double* width);

class CReverberationPage : public CResultPage {
  public:
    CReverberationPage(wxWindow* parent, ImpulseView* view);
    void Reset() override;
    // Replaced by tests; shows the modal "Tsub Recalculation" dialog by default.
    std::function<bool(wxWindow*, TsubSettings*)> askTsub = AskTsubSettings;
    void Recalculate();
    CZoomBar* Zoom() const { return m_zoom; }

  protected:
    void Rebuild() override;

  private:
    ImpulseView* m_view;
    CDecayGraph *m_echo, *m_decay;
    CZoomBar* m_zoom;
    wxRadioButton *m_both, *m_leftOnly, *m_rightOnly;
};

class CCrossCorrelationPage : public CResultPage {
  public:
    CCrossCorrelationPage(wxWindow* parent, ImpulseView* view);
    std::function<bool(wxWindow*, double*)> askWidth = AskWiaccWidth;
    void ChangeWidth();

  protected:
    void Rebuild() override;

  private:
    ImpulseView* m_view;
    CLagGraph* m_graph;
    wxButton* m_change;
};

class CSpectrumPage : public CResultPage {
  public:
    CSpectrumPage(wxWindow* parent, ImpulseView* view);
    CSpectrumGraph* Graph(int channel) const { return channel == 0 ? m_left : m_right; }
    void Reset() override;

  protected:
    void Rebuild() override;

  private:
    ImpulseView* m_view;
    CSpectrumGraph *m_left, *m_right;
    wxCheckBox* m_smoothing;
};

}  // namespace vesk
