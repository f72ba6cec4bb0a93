#include "display/graph_window.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>

#include <algorithm>
#include <cmath>

#include "display/graph_view.h"

namespace vesk {

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

void CGraphWnd::DrawValueAxis(wxDC& dc, const wxRect& plot, double top, double bottom, double step,
                              const wxString& title) {
    const int origin =
        plot.GetBottom() - static_cast<int>(plot.height * (0 - bottom) / (top - bottom));
    for (int k = 0;; ++k) {
        const double v = top - k * step;
        if (v < bottom - step * 1e-6) break;
        const int y = ValueRow(v, top, bottom, origin, plot.height);
        dc.SetPen(std::fabs(v) < step * 1e-6            ? wxPen(*wxBLACK)
                  : std::fabs(v - bottom) < step * 1e-6 ? wxPen(*wxBLACK)
                                                        : wxPen(wxColour(200, 200, 200)));
        dc.DrawLine(plot.GetLeft(), y, plot.GetRight(), y);
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

CFactorGraph::CFactorGraph(wxWindow* parent, const wxString& title, bool levels, bool unitTop)
    : CGraphWnd(parent), m_title(title), m_levels(levels), m_unitTop(unitTop) {}

void CFactorGraph::SetData(std::vector<double> values, double step) {
    m_values = std::move(values);
    m_step = step;
    m_frame = 0;
    Redraw();
}

void CFactorGraph::SetFrame(int frame) {
    m_frame = frame;
    Redraw();
}

void CFactorGraph::Draw(wxDC& dc, const wxRect& plot) {
    auto usable = [](double v) { return std::isfinite(v) && v != -1000.0; };
    double largest = 0, smallest = 0;
    bool any = false;
    for (double v : m_values)
        if (usable(v)) {
            largest = any ? std::max(largest, v) : v;
            smallest = any ? std::min(smallest, v) : v;
            any = true;
        }
    double top = m_unitTop ? 1.0 : NiceScaleEnd(largest);
    double bottom = m_levels ? NiceScaleFloor(smallest) : 0.0;
    if (!m_levels && any) bottom = std::min(0.0, NiceScaleFloor(smallest));
    if (!(top > bottom)) {
        top = bottom + 1;
    }
    // Five to ten grid lines over the range.
    double step = std::pow(10.0, std::floor(std::log10((top - bottom) / 5)));
    while ((top - bottom) / step > 10)
        step *= 2;
    DrawValueAxis(dc, plot, top, bottom, step, m_title);

    // The running time in seconds: ticks at a round step, labelled in seconds.
    const double total = std::max(1.0, static_cast<double>(m_values.size())) * m_step;
    double tick = std::pow(10.0, std::floor(std::log10(total / 5)));
    while (total / tick > 10)
        tick *= 2;
    dc.SetPen(wxPen(wxColour(220, 220, 220)));
    for (double t = 0; t <= total + tick * 1e-6; t += tick) {
        const int x = plot.GetLeft() + static_cast<int>(t / total * plot.width);
        if (x > plot.GetLeft()) dc.DrawLine(x, plot.GetTop() + 1, x, plot.GetBottom());
        const wxString label = wxString::Format("%g", t);
        dc.DrawText(label, x - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
    }
    const wxString axis = "Time [sec]";
    dc.DrawText(axis, plot.GetLeft() + (plot.width - dc.GetTextExtent(axis).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    if (!any) return;  // no data: the empty frame and axes

    dc.SetPen(wxPen(wxColour(30, 80, 200), 2));
    const int origin =
        plot.GetBottom() - static_cast<int>(plot.height * (0 - bottom) / (top - bottom));
    wxPoint previous;
    bool drawing = false;
    for (std::size_t k = 0; k < m_values.size(); ++k) {
        if (!usable(m_values[k])) {
            drawing = false;  // a gap
            continue;
        }
        const wxPoint p(plot.GetLeft() + static_cast<int>(k * m_step / total * plot.width),
                        std::clamp(ValueRow(m_values[k], top, bottom, origin, plot.height),
                                   plot.GetTop(), plot.GetBottom()));
        if (drawing) dc.DrawLine(previous, p);
        previous = p;
        drawing = true;
    }
    // The cursor at the current frame.
    dc.SetPen(wxPen(wxColour(220, 40, 40)));
    const int x = plot.GetLeft() + static_cast<int>(m_frame * m_step / total * plot.width);
    dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
}

void CBandGraph::SetData(std::vector<double> values, std::vector<std::string> labels,
                         const wxString& title) {
    m_values = std::move(values);
    m_labels = std::move(labels);
    m_title = title;
    Redraw();
}

void CBandGraph::Draw(wxDC& dc, const wxRect& plot) {
    auto usable = [](double v) { return std::isfinite(v) && v != -1000.0; };
    double largest = 0, smallest = 0;
    bool any = false;
    for (double v : m_values)
        if (usable(v)) {
            largest = any ? std::max(largest, v) : v;
            smallest = any ? std::min(smallest, v) : v;
            any = true;
        }
    double top = largest > 0 ? NiceScaleEnd(largest) : 0.0;
    double bottom = smallest < 0 ? NiceScaleFloor(smallest) : 0.0;
    if (!(top > bottom)) top = bottom + 1;
    double step = std::pow(10.0, std::floor(std::log10((top - bottom) / 5)));
    while ((top - bottom) / step > 10)
        step *= 2;
    DrawValueAxis(dc, plot, top, bottom, step, m_title);
    const std::size_t n = m_values.size();
    if (n == 0) return;
    auto x = [&](std::size_t k) {
        return plot.GetLeft() + static_cast<int>((k + 0.5) * plot.width / static_cast<double>(n));
    };
    // Labels under the bands, thinned so that they do not overlap.
    int widest = 1;
    for (const std::string& l : m_labels)
        widest = std::max(widest, dc.GetTextExtent(wxString::FromUTF8(l)).x + 4);
    const std::size_t every = std::max<std::size_t>(
        1, static_cast<std::size_t>(widest * n / std::max(1, plot.width)) + 1);
    for (std::size_t k = 0; k < m_labels.size() && k < n; k += every) {
        const wxString label = wxString::FromUTF8(m_labels[k]);
        dc.DrawText(label, x(k) - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
    }
    const wxString axis = "Frequency band [Hz]";
    dc.DrawText(axis, plot.GetLeft() + (plot.width - dc.GetTextExtent(axis).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    const int origin =
        plot.GetBottom() - static_cast<int>(plot.height * (0 - bottom) / (top - bottom));
    dc.SetPen(wxPen(wxColour(30, 80, 200), 2));
    dc.SetBrush(wxBrush(wxColour(30, 80, 200)));
    for (std::size_t k = 0; k < n; ++k) {
        if (!usable(m_values[k])) continue;  // no value: nothing drawn
        const int y = std::clamp(ValueRow(m_values[k], top, bottom, origin, plot.height),
                                 plot.GetTop(), plot.GetBottom());
        dc.DrawCircle(x(k), y, 3);
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
    auto usable = [](double v) { return std::isfinite(v) && v != -1000.0; };
    double largest = 0, smallest = 0;
    bool any = false;
    for (double v : m_y)
        if (usable(v)) {
            largest = any ? std::max(largest, v) : v;
            smallest = any ? std::min(smallest, v) : v;
            any = true;
        }
    double top = largest > 0 ? NiceScaleEnd(largest) : 0.0;
    double bottom = smallest < 0 ? NiceScaleFloor(smallest) : 0.0;
    if (!(top > bottom)) bottom = top - 1;
    double step = std::pow(10.0, std::floor(std::log10((top - bottom) / 5)));
    while ((top - bottom) / step > 10)
        step *= 2;
    DrawValueAxis(dc, plot, top, bottom, step, m_yTitle);
    if (m_x.empty()) return;
    const double x0 = m_x.front(), x1 = std::max(m_x.back(), x0 + 1);
    auto column = [&](double x) {
        return plot.GetLeft() + static_cast<int>((x - x0) / (x1 - x0) * plot.width);
    };
    double tick = std::pow(10.0, std::floor(std::log10((x1 - x0) / 5)));
    while ((x1 - x0) / tick > 10)
        tick *= 2;
    dc.SetPen(wxPen(wxColour(220, 220, 220)));
    for (double t = std::ceil(x0 / tick) * tick; t <= x1 + tick * 1e-6; t += tick) {
        const int x = column(t);
        if (x > plot.GetLeft()) dc.DrawLine(x, plot.GetTop() + 1, x, plot.GetBottom());
        const wxString label = wxString::Format("%g", t);
        dc.DrawText(label, x - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
    }
    dc.DrawText(m_xTitle, plot.GetLeft() + (plot.width - dc.GetTextExtent(m_xTitle).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    const int origin =
        plot.GetBottom() - static_cast<int>(plot.height * (0 - bottom) / (top - bottom));
    dc.SetPen(wxPen(wxColour(30, 80, 200), 2));
    wxPoint previous;
    bool drawing = false;
    for (std::size_t k = 0; k < m_x.size() && k < m_y.size(); ++k) {
        if (!usable(m_y[k])) {
            drawing = false;
            continue;
        }
        const wxPoint p(column(m_x[k]),
                        std::clamp(ValueRow(m_y[k], top, bottom, origin, plot.height),
                                   plot.GetTop(), plot.GetBottom()));
        if (drawing) dc.DrawLine(previous, p);
        previous = p;
        drawing = true;
    }
    if (any && m_marker >= x0 && m_marker <= x1) {
        dc.SetPen(wxPen(wxColour(220, 40, 40)));
        dc.DrawLine(column(m_marker), plot.GetTop(), column(m_marker), plot.GetBottom());
    }
}

}  // namespace vesk
