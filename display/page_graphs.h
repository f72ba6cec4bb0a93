// The graph windows of the result pages beyond the factor, band and curve graphs: the windowed
// time graphs (impulse response with draggable markers, decay, running ACF with panning), the
// correlation over lag, and the spectrum. Each draws off screen like every CGraphWnd.
#pragma once

#include <functional>
#include <vector>

#include "acf/running_acf.h"
#include "display/curve_layout.h"
#include "display/graph_view.h"
#include "display/graph_window.h"
#include "impulse/impulse_analysis.h"

namespace vesk {

// A small frame holding one entry per named curve (a sample of its pen and its name); the user
// moves it inside the graph with the left mouse button.
class CGraphLegend : public wxWindow {
  public:
    explicit CGraphLegend(wxWindow* graph);
    void SetEntries(const std::vector<LegendEntry>& entries);
    // Whether the user has moved it from where the graph put it.
    bool Moved() const { return m_moved; }

  private:
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent& event);
    wxBitmap m_picture;
    wxPoint m_press;
    bool m_moving = false, m_moved = false;
};

// A graph whose horizontal axis is a visible window of time (or lag) with ticks in milliseconds.
class CTimeGraph : public CGraphWnd {
  public:
    explicit CTimeGraph(wxWindow* parent);
    void SetView(const TimeView& view);
    const TimeView& View() const { return TimeModel().view; }

  protected:
    virtual TimeGraph& TimeModel() = 0;
    virtual const TimeGraph& TimeModel() const = 0;
    int Column(double time) const;
};

// The impulse response of one channel with its direct-sound and first-reflection markers, which
// the user can drag.
class CImpulseGraph : public CTimeGraph {
  public:
    CImpulseGraph(wxWindow* parent, const wxString& title);
    // `scale`: the amplitude drawn as 1 (the larger peak of both channels).
    void SetData(std::vector<float> samples, double fs, double scale);
    // Times in milliseconds.
    void SetMarkers(double directMs, double reflectionMs);
    double Marker(int which) const { return which == 0 ? m_graph.directMs : m_graph.reflectionMs; }
    // Told the marker (0 direct, 1 reflection) and its new time in ms while it is dragged.
    std::function<void(int which, double timeMs)> onMarkerMoved;
    // Simulates the mouse: press, move and release at a column (for tests and the page).
    void DragMarker(int which, int column);
    const Graph& Model() const override { return m_graph; }

  protected:
    TimeGraph& TimeModel() override { return m_graph; }
    const TimeGraph& TimeModel() const override { return m_graph; }

  private:
    void OnMouse(wxMouseEvent& event);
    int MarkerAt(int x) const;
    ImpulseGraph m_graph;
    int m_dragging = -1;
};

// Decay curves and the regression line of the reverberation page, or its echo time pattern.
class CDecayGraph : public CTimeGraph {
  public:
    CDecayGraph(wxWindow* parent, bool echoPattern);
    void SetData(const DecayDisplay& display, double fs);
    const Graph& Model() const override { return m_graph; }

  protected:
    TimeGraph& TimeModel() override { return m_graph; }
    const TimeGraph& TimeModel() const override { return m_graph; }

  private:
    DecayGraph m_graph;
};

// The running ACF of the current frame, linear or logarithmic, panned by dragging.
class CRunningAcfGraph : public CTimeGraph {
  public:
    explicit CRunningAcfGraph(wxWindow* parent);
    // The functions of a frame and its stored factors, whose tau1, phi1, tau-e and regression
    // line are marked.
    void SetData(AcfFrameView frame, const AcfFactorRecord& stored, double fs);
    void SetLogarithm(bool on);
    const AcfFrameView& Shown() const { return m_graph.frame; }
    // Told the fraction of the view's width by which a drag moved the view.
    std::function<void(double fraction)> onPan;
    // The value under the mouse, for the page's read-out.
    std::function<void(const wxString&)> onReadOut;
    const Graph& Model() const override { return m_graph; }

  protected:
    TimeGraph& TimeModel() override { return m_graph; }
    const TimeGraph& TimeModel() const override { return m_graph; }

  private:
    void OnMouse(wxMouseEvent& event);
    RunningAcfGraph m_graph;
    bool m_panning = false;
    int m_lastX = 0;
};

// A normalised correlation over lag, -1 ms to +1 ms, with IACC, tau-IACC and the WIACC span.
class CLagGraph : public CGraphWnd {
  public:
    explicit CLagGraph(wxWindow* parent) : CGraphWnd(parent) {}
    // values[k] at lag (k - centre) / fs; widths and tau in ms.
    void SetData(std::vector<float> values, int centre, double fs, double iacc, double tauIaccMs,
                 double leftWidthMs, double rightWidthMs, double delta);
    const Graph& Model() const override { return m_graph; }

  private:
    LagGraph m_graph;
};

// Level spectrum of one channel on a logarithmic frequency axis.
class CSpectrumGraph : public CGraphWnd {
  public:
    CSpectrumGraph(wxWindow* parent, const wxString& name);
    // `power` already divided by the transform length n (n values).
    void SetData(std::vector<float> power, double fs, bool smoothing);
    const std::vector<float>& Power() const { return m_graph.power; }
    const Graph& Model() const override { return m_graph; }

  private:
    SpectrumGraph m_graph;
};

}  // namespace vesk
