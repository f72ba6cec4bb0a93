// Graph windows of the result pages: drawn off screen and copied in one block on paint, so
// that they never flicker.
#pragma once

#include <wx/wx.h>

#include <string>
#include <vector>

#include "display/curve_layout.h"

namespace vesk {

// The colour of the arrow that marks a value beyond a fixed axis.
const wxColour kClippedMark(230, 120, 0);

class CGraphWnd : public wxWindow {
  public:
    explicit CGraphWnd(wxWindow* parent);
    // Draws the picture again (after a change of data or view) and shows it.
    void Redraw();
    // The off-screen picture that paint copies to the screen.
    const wxBitmap& Picture() const { return m_picture; }
    // The plot rectangle inside the client area, leaving room for labels and titles.
    wxRect PlotRect() const;

  protected:
    virtual void Draw(wxDC& dc, const wxRect& plot) = 0;
    void DrawValueAxis(wxDC& dc, const wxRect& plot, double top, double bottom, double step,
                       const wxString& title);
    // Ticks at a round step from `from` to `to`, labelled with "%g", and the axis title.
    void DrawHorizontalAxis(wxDC& dc, const wxRect& plot, double from, double to,
                            const wxString& title);
    // The row of a value on a value axis from `top` to `bottom`, kept inside the plot.
    static int RowOf(double value, const wxRect& plot, double top, double bottom);

  private:
    void OnPaint(wxPaintEvent& event);
    void OnSize(wxSizeEvent& event);
    wxBitmap m_picture;
};

// One factor over the running time of a recording, one value per frame, with a cursor at the
// current frame. Values of -1000 ("no value") and non-finite values are gaps.
class CFactorGraph : public CGraphWnd {
  public:
    // `levels` (Phi(0), SPL): the bottom of the range is the nice scale end of the smallest
    // value; `unitTop` (phi1, IACC): the range tops at 1.
    CFactorGraph(wxWindow* parent, const wxString& title, bool levels, bool unitTop);
    void SetData(std::vector<double> values, double step);
    void SetFrame(int frame);

  protected:
    void Draw(wxDC& dc, const wxRect& plot) override;

  private:
    wxString m_title;
    bool m_levels, m_unitTop;
    std::vector<double> m_values;
    double m_step = 0.1;
    int m_frame = 0;
};

// A curve over a numeric axis (the preference over tau-e), with a marker at one x.
class CCurveGraph : public CGraphWnd {
  public:
    explicit CCurveGraph(wxWindow* parent) : CGraphWnd(parent) {}
    void SetData(std::vector<double> x, std::vector<double> y, double marker,
                 const wxString& xTitle, const wxString& yTitle);

  protected:
    void Draw(wxDC& dc, const wxRect& plot) override;

  private:
    std::vector<double> m_x, m_y;
    double m_marker = 0;
    wxString m_xTitle, m_yTitle;
};

// One value per frequency band and series (the "Parameters" page of "Acoustic Parameters").
class CBandGraph : public CGraphWnd {
  public:
    explicit CBandGraph(wxWindow* parent) : CGraphWnd(parent) {}
    void SetData(ParameterPlot plot);

  protected:
    void Draw(wxDC& dc, const wxRect& plot) override;

  private:
    ParameterPlot m_plot;
};

// The pens of the curves: the mean or only curve, left, right, and further curves.
wxPen CurvePen(int index, int width = 1);

}  // namespace vesk
