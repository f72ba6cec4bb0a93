// The "ACF" and "IACF" pages of the two factor dialogs: the functions of the current frame,
// computed again from the recording.
#pragma once

#include <memory>

#include "display/impulse_pages.h"

namespace vesk {

// What the two pages share with their dialog: the recording, the viewer over its frames and the
// functions of the current frame, made once per frame.
struct AcfView {
    SampleBlock block;
    std::unique_ptr<AcfFrameViewer> viewer;
    int frame = 0;
    // The stored factors, one per frame; their markers are drawn over the functions.
    const std::vector<AcfFactorRecord>* stored = nullptr;
    // The stored factors of the current frame (zeros when there are none).
    AcfFactorRecord StoredFactors() const;
    // The current frame's functions (nothing valid without samples or usable conditions).
    const AcfFrameView& Current();
    void Invalidate() { m_made = -1; }

  private:
    int m_made = -1;
    AcfFrameView m_current;
};

class CAcfPage : public CResultPage {
  public:
    CAcfPage(wxWindow* parent, AcfView* view);
    void Reset() override;
    CRunningAcfGraph* Graph() const { return m_graph; }
    CZoomBar* Zoom() const { return m_zoom; }

  protected:
    void Rebuild() override;

  private:
    AcfView* m_view;
    CRunningAcfGraph* m_graph;
    CZoomBar* m_zoom;
    wxCheckBox* m_logarithm;
    wxStaticText* m_readOut;
};

class CIacfPage : public CResultPage {
  public:
    CIacfPage(wxWindow* parent, AcfView* view, double wiaccWidth);
    void SetWidth(double wiaccWidth) { m_width = wiaccWidth; }

  protected:
    void Rebuild() override;

  private:
    AcfView* m_view;
    CLagGraph* m_graph;
    double m_width;
};

}  // namespace vesk
