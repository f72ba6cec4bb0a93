#include "display/graph_window.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>

#include <algorithm>
#include <cmath>

#include "display/graph_view.h"

namespace vesk {

namespace {

bool Usable(double v) {
    return IsFactorValue(v);
}

// The row of the value 0, the origin of ValueRow.
int OriginRow(const wxRect& plot, double top, double bottom) {
    return ValueRow(0 - bottom, top, bottom, plot.GetBottom(), plot.height);
}

// A value beyond a fixed axis is drawn at its edge; an arrow there points to where it lies, so
// that it is not read as the edge value.
void MarkClipped(wxDC& dc, const wxRect& plot, int x, double value, double top, double bottom) {
    if (!(value > top) && !(value < bottom)) return;
    const int edge = value > top ? plot.GetTop() : plot.GetBottom();
    const int tip = value > top ? 1 : -1;  // the arrow points out of the plot
    const int size = dc.FromDIP(6);
    const wxPoint arrow[] = {{x, edge + tip},
                             {x - size, edge + tip * (1 + 2 * size)},
                             {x + size, edge + tip * (1 + 2 * size)}};
    const wxPen pen = dc.GetPen();
    const wxBrush brush = dc.GetBrush();
    dc.SetPen(wxPen(kClippedMark));
    dc.SetBrush(wxBrush(kClippedMark));
    dc.DrawPolygon(3, arrow);
    dc.SetPen(pen);
    dc.SetBrush(brush);
}

// A curve through the usable values, broken where a value is missing; values outside the range
// are drawn at its edge with a mark.
template <class Column>
void DrawCurve(wxDC& dc, const wxRect& plot, const ValueRange& range,
               const std::vector<double>& values, std::size_t count, Column column) {
    if (!AxisUsable(range.top, range.bottom, range.step)) return;
    const int origin = OriginRow(plot, range.top, range.bottom);
    dc.SetPen(wxPen(wxColour(30, 80, 200), 2));
    wxPoint previous;
    bool drawing = false;
    for (std::size_t k = 0; k < count; ++k) {
        if (!Usable(values[k])) {
            drawing = false;  // a gap
            continue;
        }
        const wxPoint p(
            column(k), std::clamp(ValueRow(values[k], range.top, range.bottom, origin, plot.height),
                                  plot.GetTop(), plot.GetBottom()));
        if (drawing) dc.DrawLine(previous, p);
        MarkClipped(dc, plot, p.x, values[k], range.top, range.bottom);
        previous = p;
        drawing = true;
    }
}

}  // namespace

CGraphWnd::CGraphWnd(wxWindow* parent)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, parent->FromDIP(wxSize(520, 260)),
               wxBORDER_SUNKEN) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);  // no separate erase: no flicker
    Bind(wxEVT_PAINT, &CGraphWnd::OnPaint, this);
    Bind(wxEVT_SIZE, &CGraphWnd::OnSize, this);
}

wxRect CGraphWnd::PlotRect() const {
    const wxSize size = GetClientSize();
    const int left = FromDIP(64), right = FromDIP(12), top = FromDIP(10), bottom = FromDIP(40);
    return {left, top, std::max(1, size.x - left - right), std::max(1, size.y - top - bottom)};
}

void CGraphWnd::Redraw() {
    const wxSize size = GetClientSize();
    if (size.x <= 0 || size.y <= 0) return;
    m_picture = wxBitmap(size);
    wxMemoryDC dc(m_picture);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(GetFont());
    Draw(dc, PlotRect());
    dc.SelectObject(wxNullBitmap);
    Refresh(false);
}

void CGraphWnd::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (m_picture.IsOk()) dc.DrawBitmap(m_picture, 0, 0);
}

void CGraphWnd::OnSize(wxSizeEvent& event) {
    Redraw();
    event.Skip();
}

int CGraphWnd::RowOf(double value, const wxRect& plot, double top, double bottom) {
    if (!(top > bottom)) return plot.GetBottom();
    const double v = std::clamp(value, bottom, top);
    return std::clamp(ValueRow(v, top, bottom, OriginRow(plot, top, bottom), plot.height),
                      plot.GetTop(), plot.GetBottom());
}

void CGraphWnd::DrawValueAxis(wxDC& dc, const wxRect& plot, double top, double bottom, double step,
                              const wxString& title) {
    if (!AxisUsable(top, bottom, step)) {  // values no axis can show: the frame alone
        dc.SetPen(*wxBLACK_PEN);
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(plot);
        return;
    }
    const int origin = OriginRow(plot, top, bottom);
    // Every grid line stays; on a short plot only every n-th one is labelled, so that the
    // numbers never overlap.
    const double lines = (top - bottom) / step;
    const int textHeight = dc.GetTextExtent("0").y;
    const int every = lines > 0 ? std::max(1, static_cast<int>(std::ceil(textHeight * lines /
                                                                         std::max(plot.height, 1))))
                                : 1;
    for (int k = 0;; ++k) {
        const double v = top - k * step;
        if (v < bottom - step * 1e-6) break;
        const int y = ValueRow(v, top, bottom, origin, plot.height);
        dc.SetPen(std::fabs(v) < step * 1e-6            ? wxPen(*wxBLACK)
                  : std::fabs(v - bottom) < step * 1e-6 ? wxPen(*wxBLACK)
                                                        : wxPen(wxColour(200, 200, 200)));
        dc.DrawLine(plot.GetLeft(), y, plot.GetRight(), y);
        if (std::lround(v / step) % every != 0) continue;  // keeps 0 among the labels
        const wxString label = wxString::Format("%g", v);
        const wxSize extent = dc.GetTextExtent(label);
        dc.DrawText(label, plot.GetLeft() - extent.x - 2, y - extent.y / 2);
    }
    dc.SetPen(*wxBLACK_PEN);
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(plot);
    const wxSize extent = dc.GetTextExtent(title);
    dc.DrawRotatedText(title, 2, plot.GetTop() + (plot.height + extent.x) / 2, 90);
}

void CGraphWnd::DrawHorizontalAxis(wxDC& dc, const wxRect& plot, double from, double to,
                                   const wxString& title) {
    const double tick = TickStep(to - from);
    if (!AxisUsable(to, from, tick)) return;
    dc.SetPen(wxPen(wxColour(220, 220, 220)));
    const double first = std::ceil(from / tick - 1e-9);
    for (int k = 0;; ++k) {
        double t = (first + k) * tick;
        if (t > to + tick * 1e-6) break;
        if (std::fabs(t) < tick * 1e-6) t = 0;  // no -5.55e-17 under the origin
        const int x = plot.GetLeft() + static_cast<int>((t - from) / (to - from) * plot.width);
        if (x > plot.GetLeft()) dc.DrawLine(x, plot.GetTop() + 1, x, plot.GetBottom());
        const wxString label = wxString::Format("%g", t);
        dc.DrawText(label, x - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
    }
    dc.DrawText(title, plot.GetLeft() + (plot.width - dc.GetTextExtent(title).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
}

CFactorGraph::CFactorGraph(wxWindow* parent, const wxString& title, bool levels, bool unitTop)
    : CGraphWnd(parent), m_title(title), m_levels(levels), m_unitTop(unitTop) {}

void CFactorGraph::SetData(std::vector<double> values, double step) {
    m_values = std::move(values);
    m_step = std::isfinite(step) && step > 0 ? step : 0.1;  // a stored step may be anything
    m_frame = 0;
    Redraw();
}

void CFactorGraph::SetFrame(int frame) {
    m_frame = frame;
    Redraw();
}

void CFactorGraph::Draw(wxDC& dc, const wxRect& plot) {
    const ValueRange range = FactorRange(m_values, m_levels, m_unitTop);
    DrawValueAxis(dc, plot, range.top, range.bottom, range.step, m_title);
    const double total = std::max(1.0, static_cast<double>(m_values.size())) * m_step;
    DrawHorizontalAxis(dc, plot, 0.0, total, "Time [sec]");
    if (!range.any) return;  // no data: the empty frame and axes

    DrawCurve(dc, plot, range, m_values, m_values.size(), [&](std::size_t k) {
        return plot.GetLeft() + static_cast<int>(k * m_step / total * plot.width);
    });
    // The cursor at the current frame.
    dc.SetPen(wxPen(wxColour(220, 40, 40)));
    const int x = plot.GetLeft() + static_cast<int>(m_frame * m_step / total * plot.width);
    dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
}

void CBandGraph::SetData(ParameterPlot plot) {
    m_plot = std::move(plot);
    Redraw();
}

wxPen CurvePen(int index, int width) {
    static const wxColour kColours[] = {wxColour(30, 80, 200), wxColour(200, 60, 40),
                                        wxColour(40, 150, 60), wxColour(140, 70, 170)};
    return wxPen(kColours[index & 3], width);
}

void CBandGraph::Draw(wxDC& dc, const wxRect& plot) {
    const ParameterPlot& p = m_plot;
    if (!(p.top > p.bottom)) {
        DrawValueAxis(dc, plot, 1, 0, 0.1, "");
        return;
    }
    DrawValueAxis(dc, plot, p.top, p.bottom, p.step, wxString::FromUTF8(p.title));
    const std::size_t n = p.labels.size();
    const wxString axis = "Frequency band [Hz]";
    dc.DrawText(axis, plot.GetLeft() + (plot.width - dc.GetTextExtent(axis).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    if (n == 0) return;
    const PlotArea area{plot.x, plot.y, plot.width, plot.height};
    // Labels under the bands, thinned so that they do not overlap.
    int widest = 1;
    for (const std::string& l : p.labels)
        widest = std::max(widest, dc.GetTextExtent(wxString::FromUTF8(l)).x + 4);
    const std::size_t every = std::max<std::size_t>(
        1, static_cast<std::size_t>(widest * n / std::max(1, plot.width)) + 1);
    for (std::size_t k = 0; k < n; k += every) {
        const wxString label = wxString::FromUTF8(p.labels[k]);
        dc.DrawText(label, BandColumn(k, n, area) - dc.GetTextExtent(label).x / 2,
                    plot.GetBottom() + 3);
    }
    // Each series as points joined where neighbouring bands both have a value.
    for (std::size_t s = 0; s < p.series.size(); ++s) {
        const int curve = p.series.size() == 1 ? 0 : static_cast<int>(s);
        dc.SetPen(CurvePen(curve, s == 0 ? 2 : 1));
        dc.SetBrush(wxBrush(CurvePen(curve).GetColour()));
        wxPoint previous;
        bool joined = false;
        for (std::size_t k = 0; k < n && k < p.series[s].size(); ++k) {
            const double v = p.series[s][k];
            if (!Usable(v)) {
                joined = false;
                continue;
            }
            const wxPoint q(BandColumn(k, n, area), RowOf(v, plot, p.top, p.bottom));
            if (joined) dc.DrawLine(previous, q);
            dc.DrawCircle(q, s == 0 ? 3 : 2);
            MarkClipped(dc, plot, q.x, v, p.top, p.bottom);
            previous = q;
            joined = true;
        }
    }
    // Names of the series in the top right corner.
    if (p.series.size() > 1) {
        int y = plot.GetTop() + 4;
        for (std::size_t s = 0; s < p.names.size(); ++s) {
            const wxString name = wxString::FromUTF8(p.names[s]);
            const int x = plot.GetRight() - dc.GetTextExtent(name).x - 28;
            dc.SetPen(CurvePen(static_cast<int>(s), 2));
            dc.DrawLine(x - 22, y + dc.GetCharHeight() / 2, x - 4, y + dc.GetCharHeight() / 2);
            dc.DrawText(name, x, y);
            y += dc.GetCharHeight() + 2;
        }
    }
}

void CCurveGraph::SetData(std::vector<double> x, std::vector<double> y, double marker,
                          const wxString& xTitle, const wxString& yTitle) {
    m_x = std::move(x);
    m_y = std::move(y);
    m_marker = marker;
    m_xTitle = xTitle;
    m_yTitle = yTitle;
    Redraw();
}

void CCurveGraph::Draw(wxDC& dc, const wxRect& plot) {
    const ValueRange range = FactorRange(m_y, false, false);
    DrawValueAxis(dc, plot, range.top, range.bottom, range.step, m_yTitle);
    if (m_x.empty()) return;
    const double x0 = m_x.front(), x1 = std::max(m_x.back(), x0 + 1);
    auto column = [&](double x) {
        return plot.GetLeft() + static_cast<int>((x - x0) / (x1 - x0) * plot.width);
    };
    DrawHorizontalAxis(dc, plot, x0, x1, m_xTitle);
    DrawCurve(dc, plot, range, m_y, std::min(m_x.size(), m_y.size()),
              [&](std::size_t k) { return column(m_x[k]); });
    if (range.any && m_marker >= x0 && m_marker <= x1) {
        dc.SetPen(wxPen(wxColour(220, 40, 40)));
        dc.DrawLine(column(m_marker), plot.GetTop(), column(m_marker), plot.GetBottom());
    }
}

}  // namespace vesk
