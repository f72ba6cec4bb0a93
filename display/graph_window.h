// Graph windows of the result pages: the window-free graphs drawn off screen and copied in one
// block on paint, so that they never flicker. A right click saves the graph as a file.
#pragma once

#include <wx/wx.h>

#include <string>
#include <vector>

#include "display/curve_layout.h"
#include "plot/graphs.h"

namespace vesk {

// The colour of the arrow that marks a value beyond a fixed axis.
const wxColour kClippedMark(kClippedColour.r, kClippedColour.g, kClippedColour.b);

class CGraphLegend;

class CGraphWnd : public wxWindow {
  public:
    explicit CGraphWnd(wxWindow* parent);
    // Draws the picture again (after a change of data or view) and shows it.
    void Redraw();
    // The off-screen picture that paint copies to the screen.
    const wxBitmap& Picture() const { return m_picture; }
    // The plot rectangle inside the client area, leaving room for labels and titles.
    wxRect PlotRect() const;
    // What the window draws.
    virtual const Graph& Model() const = 0;

  protected:
    // The legend, a small window the user can move, created on first use in the plot's top
    // right corner.
    void SetLegend(const std::vector<LegendEntry>& entries);
    CGraphLegend* m_legend = nullptr;

  private:
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    wxBitmap m_picture;
};

// Asks for a file and a size and writes the graph there; false when cancelled or not written
// (after a message).
bool SaveGraphAs(wxWindow* parent, const Graph& graph, wxSize size);

// One factor over the running time of a recording, one value per frame, with a cursor at the
// current frame. Values of -1000 ("no value") and non-finite values are gaps.
class CFactorGraph : public CGraphWnd {
  public:
    // `levels` (Phi(0), SPL): the bottom of the range is the nice scale end of the smallest
    // value; `unitTop` (phi1, IACC): the range tops at 1.
    CFactorGraph(wxWindow* parent, const wxString& title, bool levels, bool unitTop);
    void SetData(std::vector<double> values, double step);
    void SetFrame(int frame);
    const Graph& Model() const override { return m_graph; }

  private:
    FactorGraph m_graph;
};

// A curve over a numeric axis (the preference over tau-e), with a marker at one x.
class CCurveGraph : public CGraphWnd {
  public:
    explicit CCurveGraph(wxWindow* parent) : CGraphWnd(parent) {}
    void SetData(std::vector<double> x, std::vector<double> y, double marker,
                 const wxString& xTitle, const wxString& yTitle);
    const Graph& Model() const override { return m_graph; }

  private:
    CurveGraph m_graph;
};

// One value per frequency band and series (the "Parameters" page of "Acoustic Parameters").
class CBandGraph : public CGraphWnd {
  public:
    explicit CBandGraph(wxWindow* parent) : CGraphWnd(parent) {}
    void SetData(ParameterPlot plot);
    const Graph& Model() const override { return m_graph; }

  private:
    BandGraph m_graph;
};

}  // namespace vesk
