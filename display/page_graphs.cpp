#include "display/page_graphs.h"

#include <wx/dcmemory.h>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

bool Gap(float v) {
    return !std::isfinite(v) || v == -1000.0f;
}

const wxColour kGrid(200, 200, 200), kFineGrid(232, 232, 232), kMarker(220, 40, 40);

}  // namespace

CGraphLegend::CGraphLegend(wxWindow* graph)
    : wxWindow(graph, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CGraphLegend::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_MOTION, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_moving = false; });
}

void CGraphLegend::SetEntries(std::vector<std::pair<wxPen, wxString>> entries) {
    wxMemoryDC measure;
    measure.SetFont(GetFont());
    int width = 0;
    const int line = measure.GetCharHeight() + 2;
    for (const auto& e : entries)
        width = std::max(width, measure.GetTextExtent(e.second).x);
    const wxSize size(width + 40, static_cast<int>(entries.size()) * line + 6);
    SetClientSize(size);
    m_picture = wxBitmap(size);
    wxMemoryDC dc(m_picture);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(GetFont());
    int y = 3;
    for (const auto& e : entries) {
        dc.SetPen(e.first);
        dc.DrawLine(4, y + line / 2, 28, y + line / 2);
        dc.DrawText(e.second, 34, y);
        y += line;
    }
    dc.SelectObject(wxNullBitmap);
    Show(!entries.empty());
    Refresh(false);
}

void CGraphLegend::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (m_picture.IsOk()) dc.DrawBitmap(m_picture, 0, 0);
}

void CGraphLegend::OnMouse(wxMouseEvent& event) {
    if (event.LeftDown()) {
        m_press = event.GetPosition();
        m_moving = true;
        CaptureMouse();
    } else if (event.LeftUp() && m_moving) {
        m_moving = false;
        if (HasCapture()) ReleaseMouse();
    } else if (event.Dragging() && m_moving) {
        const wxPoint delta = event.GetPosition() - m_press;
        if (delta != wxPoint(0, 0)) {
            Move(GetPosition() + delta);
            Update();
        }
    }
}

CTimeGraph::CTimeGraph(wxWindow* parent) : CGraphWnd(parent) {
    // A legend placed on a larger graph is moved back inside when the graph shrinks.
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        if (m_legend) {
            const wxSize room = GetClientSize() - m_legend->GetSize();
            const wxPoint at = m_legend->GetPosition();
            const wxPoint inside(std::clamp(at.x, 0, std::max(room.x, 0)),
                                 std::clamp(at.y, 0, std::max(room.y, 0)));
            if (inside != at) m_legend->Move(inside);
        }
        event.Skip();
    });
}

void CTimeGraph::SetView(const TimeView& view) {
    m_view = view;
    NormalizeView(&m_view);
    Redraw();
}

void CTimeGraph::SetLegend(std::vector<std::pair<wxPen, wxString>> entries) {
    if (!m_legend) {
        m_legend = new CGraphLegend(this);
        m_legend->SetEntries(entries);
        const wxRect plot = PlotRect();
        m_legend->Move(plot.GetRight() - m_legend->GetSize().x - 4, plot.GetTop() + 4);
        return;
    }
    m_legend->SetEntries(std::move(entries));
}

int CTimeGraph::Column(double time, const wxRect& plot) const {
    return MarkerColumn(time, m_view, plot.GetLeft(), plot.width);
}

void CTimeGraph::Draw(wxDC& dc, const wxRect& plot) {
    // Time ticks first, so that curves lie over the grid.
    int labelEvery = 1;
    for (const Tick& t : TimeAxisTicks(m_view, plot.GetLeft(), plot.width, nullptr, &labelEvery)) {
        if (t.labelled) {
            if (t.column > plot.GetLeft()) {
                dc.SetPen(wxPen(kGrid));
                dc.DrawLine(t.column, plot.GetTop() + 1, t.column, plot.GetBottom() - 1);
            }
            const wxString label = wxString::FromUTF8(t.label);
            dc.DrawText(label, t.column - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
        } else {
            dc.SetPen(wxPen(kFineGrid));
            dc.DrawLine(t.column, plot.GetTop() + 1, t.column, plot.GetBottom() - 1);
        }
    }
    const wxString title = "Time [ms]";
    dc.DrawText(title, plot.GetLeft() + (plot.width - dc.GetTextExtent(title).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    DrawData(dc, plot);
    dc.DestroyClippingRegion();
}

void CTimeGraph::Clip(wxDC& dc, const wxRect& plot) {
    dc.SetClippingRegion(plot.x, plot.y, plot.width + 1, plot.height + 1);
}

void CTimeGraph::DrawSamples(wxDC& dc, const wxRect& plot, const float* values, std::size_t count,
                             double rate, double t0, double top, double bottom) const {
    if (!values || count == 0 || !(m_view.width > 0) || !(rate > 0)) return;
    const double from = (m_view.start - t0) * rate, to = (m_view.start + m_view.width - t0) * rate;
    const std::size_t first =
        static_cast<std::size_t>(std::clamp(std::floor(from), 0.0, static_cast<double>(count)));
    const std::size_t last =
        static_cast<std::size_t>(std::clamp(std::ceil(to) + 1, 0.0, static_cast<double>(count)));
    if (last <= first) return;
    auto row = [&](float v) { return RowOf(v, plot, top, bottom); };
    if (last - first <= static_cast<std::size_t>(2 * plot.width)) {
        wxPoint previous;
        bool joined = false;
        for (std::size_t i = first; i < last; ++i) {
            if (Gap(values[i])) {
                joined = false;
                continue;
            }
            const wxPoint p(Column(t0 + i / rate, plot), row(values[i]));
            if (joined)
                dc.DrawLine(previous, p);
            else
                dc.DrawPoint(p);
            previous = p;
            joined = true;
        }
        return;
    }
    // Many samples per column: the range of each column, joined to the next.
    int previousY = -1;
    std::size_t i = first;
    for (int c = 0; c <= plot.width && i < last; ++c) {
        const double end = from + (c + 1) * (to - from) / plot.width;
        float lo = 0, hi = 0;
        bool any = false;
        for (; i < last && static_cast<double>(i) < end; ++i) {
            const float v = values[i];
            if (Gap(v)) continue;
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
        if (!any) {
            previousY = -1;
            continue;
        }
        const int x = plot.GetLeft() + c, yHi = row(hi), yLo = row(lo);
        if (previousY >= 0) dc.DrawLine(x - 1, previousY, x, previousY < yHi ? yHi : yLo);
        dc.DrawLine(x, yHi, x, yLo + 1);
        previousY = row(values[i - 1]);
    }
}

CImpulseGraph::CImpulseGraph(wxWindow* parent, const wxString& title)
    : CTimeGraph(parent), m_title(title) {
    Bind(wxEVT_LEFT_DOWN, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_MOTION, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_dragging = -1; });
}

void CImpulseGraph::SetData(std::vector<float> samples, double fs, double scale) {
    // Scaled once here rather than on every redraw, which dragging a marker repeats.
    const double peak = scale > 0 ? scale : 1;
    for (float& v : samples)
        v = static_cast<float>(v / peak);
    m_samples = std::move(samples);
    m_fs = fs > 0 ? fs : 1;
    Redraw();
}

void CImpulseGraph::SetMarkers(double directMs, double reflectionMs) {
    m_directMs = directMs;
    m_reflectionMs = reflectionMs;
    Redraw();
}

int CImpulseGraph::MarkerAt(int x) const {
    const wxRect plot = PlotRect();
    for (int which = 0; which < 2; ++which)
        if (std::abs(x - Column(Marker(which) / 1000, plot)) <= 2) return which;
    return -1;
}

void CImpulseGraph::DragMarker(int which, int column) {
    const wxRect plot = PlotRect();
    const double ms = MarkerTime(column, m_view, plot.GetLeft(), plot.width) * 1000;
    (which == 0 ? m_directMs : m_reflectionMs) = ms;
    Redraw();
    if (onMarkerMoved) onMarkerMoved(which, ms);
}

void CImpulseGraph::OnMouse(wxMouseEvent& event) {
    const wxRect plot = PlotRect();
    const wxPoint p = event.GetPosition();
    const bool inside = p.y > plot.GetTop() && p.y < plot.GetBottom();
    if (event.LeftDown() && inside) {
        m_dragging = MarkerAt(p.x);
        if (m_dragging >= 0) CaptureMouse();
    } else if (event.LeftUp() && m_dragging >= 0) {
        m_dragging = -1;
        if (HasCapture()) ReleaseMouse();
    } else if (event.Dragging() && m_dragging >= 0) {
        DragMarker(m_dragging, std::clamp(p.x, plot.GetLeft(), plot.GetRight()));
    }
    // The horizontal-move cursor over a marker line, the arrow elsewhere.
    SetCursor(m_dragging >= 0 || (inside && MarkerAt(p.x) >= 0) ? wxCursor(wxCURSOR_SIZEWE)
                                                                : wxNullCursor);
}

void CImpulseGraph::DrawData(wxDC& dc, const wxRect& plot) {
    DrawValueAxis(dc, plot, 1, -1, 0.5, m_title);
    Clip(dc, plot);
    dc.SetPen(CurvePen(0));
    DrawSamples(dc, plot, m_samples.data(), m_samples.size(), m_fs, 0, 1, -1);
    if (m_samples.empty()) return;
    static const char* const kNames[] = {"Direct", "Reflection"};
    for (int which = 0; which < 2; ++which) {
        const int x = Column(Marker(which) / 1000, plot);
        dc.SetPen(wxPen(which == 0 ? wxColour(40, 150, 60) : kMarker, 1, wxPENSTYLE_SHORT_DASH));
        dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
        dc.SetTextForeground(which == 0 ? wxColour(40, 150, 60) : kMarker);
        dc.DrawText(kNames[which], x + 3, plot.GetTop() + 2 + which * dc.GetCharHeight());
        dc.SetTextForeground(*wxBLACK);
    }
}

CDecayGraph::CDecayGraph(wxWindow* parent, bool echoPattern)
    : CTimeGraph(parent), m_echo(echoPattern) {}

void CDecayGraph::SetData(const DecayDisplay& display, double fs) {
    m_display = display;
    m_fs = fs > 0 ? fs : 1;
    std::vector<std::pair<wxPen, wxString>> legend;
    if (!m_echo) {
        if (!m_display.withNoise.empty())
            legend.emplace_back(CurvePen(0, 2), "With Noise Correction");
        legend.emplace_back(CurvePen(2, 1), "Without Noise Correction");
        legend.emplace_back(wxPen(kMarker, 1, wxPENSTYLE_SHORT_DASH), "Regression Line");
        SetLegend(std::move(legend));
    }
    Redraw();
}

void CDecayGraph::DrawData(wxDC& dc, const wxRect& plot) {
    if (m_echo) {
        DrawValueAxis(dc, plot, 1, 0, 0.2, "Echo Time Pattern");
        Clip(dc, plot);
        dc.SetPen(CurvePen(0));
        DrawSamples(dc, plot, m_display.echo.data(), m_display.echo.size(), m_fs, 0, 1, 0);
        return;
    }
    const double top = 0, bottom = -80;
    DrawValueAxis(dc, plot, top, bottom, 10, "Schroeder Integtation [dB]");
    Clip(dc, plot);
    // The curves are 0 dB at the first reflection and start there.
    const std::size_t k1 = static_cast<std::size_t>(std::max(0.0, m_display.t1Ms * 0.001 * m_fs));
    auto from = [&](const std::vector<float>& c) {
        return c.size() > k1 ? c.data() + k1 : nullptr;
    };
    const double t1 = static_cast<double>(k1) / m_fs;
    const std::size_t rest =
        m_display.withoutNoise.size() > k1 ? m_display.withoutNoise.size() - k1 : 0;
    dc.SetPen(CurvePen(2, 1));
    DrawSamples(dc, plot, from(m_display.withoutNoise), rest, m_fs, t1, top, bottom);
    dc.SetPen(CurvePen(0, 2));
    DrawSamples(dc, plot, from(m_display.withNoise), m_display.withNoise.empty() ? 0 : rest, m_fs,
                t1, top, bottom);
    if (m_display.slope != 0 && rest > 0) {
        // level = slope x (t - t1) from 0 dB at the first reflection down to the axis bottom.
        const double tEnd = t1 + bottom / m_display.slope;
        dc.SetPen(wxPen(kMarker, 1, wxPENSTYLE_SHORT_DASH));
        dc.DrawLine(Column(t1, plot), RowOf(0, plot, top, bottom), Column(tEnd, plot),
                    RowOf(bottom, plot, top, bottom));
    }
}

CRunningAcfGraph::CRunningAcfGraph(wxWindow* parent) : CTimeGraph(parent) {
    Bind(wxEVT_LEFT_DOWN, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_MOTION, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_panning = false; });
}

void CRunningAcfGraph::SetData(AcfFrameView frame, const AcfFactorRecord& stored, double fs) {
    m_frame = std::move(frame);
    m_stored = stored;
    m_fs = fs > 0 ? fs : 1;
    Redraw();
}

void CRunningAcfGraph::SetLogarithm(bool on) {
    m_log = on;
    if (on)
        SetLegend({{CurvePen(0, 1), "log |Phi(Tau)|"},
                   {wxPen(kMarker, 1, wxPENSTYLE_SHORT_DASH), "Regression Line"},
                   {wxPen(wxColour(40, 150, 60), 1), "Tau-e"}});
    else
        SetLegend({{CurvePen(0, 1), "Phi(Tau)"}, {wxPen(wxColour(40, 150, 60), 1), "Tau1"}});
    Redraw();
}

void CRunningAcfGraph::DrawData(wxDC& dc, const wxRect& plot) {
    const AcfFactorRecord& f = m_stored;
    const wxColour green(40, 150, 60);
    if (!m_log) {
        DrawValueAxis(dc, plot, 1, -1, 0.2, "Phi(Tau)");
        Clip(dc, plot);
        dc.SetPen(CurvePen(0));
        DrawSamples(dc, plot, m_frame.phi.data(), m_frame.phi.size(), m_fs, 0, 1, -1);
        if (f.tau1 > 0 && std::isfinite(f.tau1)) {
            const int x = Column(f.tau1, plot);
            dc.SetPen(wxPen(green, 1, wxPENSTYLE_SHORT_DASH));
            dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
            dc.SetBrush(wxBrush(green));
            dc.DrawCircle(x, RowOf(f.phi1, plot, 1, -1), 3);
        }
        return;
    }
    DrawValueAxis(dc, plot, 0, -15, 5, "log |Phi(Tau)| [dB]");
    Clip(dc, plot);
    const AcfEnvelope& e = m_frame.envelope;
    dc.SetPen(CurvePen(0, 2));
    dc.SetBrush(wxBrush(CurvePen(0).GetColour()));
    for (int k = 0; k < e.count; ++k) {
        const wxPoint p(Column(e.time[static_cast<std::size_t>(k)], plot),
                        RowOf(e.level[static_cast<std::size_t>(k)], plot, 0, -15));
        if (k > 0)
            dc.DrawLine(Column(e.time[static_cast<std::size_t>(k - 1)], plot),
                        RowOf(e.level[static_cast<std::size_t>(k - 1)], plot, 0, -15), p.x, p.y);
        dc.DrawCircle(p, 2);
    }
    // The regression line through the envelope, and tau-e where it reaches -10 dB.
    if (!Gap(f.tauE) && !Gap(f.intercept) && f.tauE != 0) {
        const double slope = (-10.0 - f.intercept) / f.tauE;
        if (slope != 0 && std::isfinite(slope)) {
            const double tEnd = (-15.0 - f.intercept) / slope;
            dc.SetPen(wxPen(kMarker, 1, wxPENSTYLE_SHORT_DASH));
            dc.DrawLine(Column(0, plot), RowOf(f.intercept, plot, 0, -15), Column(tEnd, plot),
                        RowOf(-15, plot, 0, -15));
            const int x = Column((-10.0 - f.intercept) / slope, plot);
            dc.SetPen(wxPen(green, 1));
            dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
        }
    }
}

void CRunningAcfGraph::OnMouse(wxMouseEvent& event) {
    const wxRect plot = PlotRect();
    const wxPoint p = event.GetPosition();
    if (event.LeftDown() && p.y > plot.GetTop() && p.y < plot.GetBottom()) {
        m_panning = true;
        m_lastX = p.x;
        CaptureMouse();
    } else if (event.LeftUp() && m_panning) {
        m_panning = false;
        if (HasCapture()) ReleaseMouse();
    } else if (event.Dragging() && m_panning && p.x != m_lastX) {
        const double fraction = static_cast<double>(m_lastX - p.x) / plot.width;
        m_lastX = p.x;
        if (onPan) onPan(fraction);
    }
    if (onReadOut && m_frame.valid) {
        const double t = MarkerTime(p.x, m_view, plot.GetLeft(), plot.width);
        const std::size_t i = static_cast<std::size_t>(std::max(0.0, std::round(t * m_fs)));
        if (i < m_frame.phi.size())
            onReadOut(wxString::Format("%.3f ms: %.4f", t * 1000, m_frame.phi[i]));
    }
}

void CLagGraph::SetData(std::vector<float> values, int centre, double fs, double iacc,
                        double tauIaccMs, double leftWidthMs, double rightWidthMs, double delta) {
    m_values = std::move(values);
    m_centre = centre;
    m_fs = fs > 0 ? fs : 1;
    m_iacc = iacc;
    m_tau = tauIaccMs;
    m_left = leftWidthMs;
    m_right = rightWidthMs;
    m_delta = delta;
    Redraw();
}

void CLagGraph::Draw(wxDC& dc, const wxRect& plot) {
    DrawValueAxis(dc, plot, 1, -1, 0.2, "IACF");
    // The lags the function was computed for: +-1 ms for a running frame, nearly +-2 ms for an
    // impulse response, whose WIACC span can reach past 1 ms.
    double reach = 1.0;
    if (!m_values.empty() && m_fs > 0) {
        const double last = std::max<double>(m_centre, m_values.size() - 1 - m_centre);
        reach = std::clamp(std::ceil(last / m_fs * 1000 * 10 - 1e-9) / 10, 1.0, 50.0);
    }
    DrawHorizontalAxis(dc, plot, -reach, reach, "Tau [ms]");
    auto column = [&](double ms) {
        return plot.GetLeft() +
               static_cast<int>(
                   std::lround(std::clamp((ms + reach) / (2 * reach), -1.0, 2.0) * plot.width));
    };
    dc.SetClippingRegion(plot);
    dc.SetPen(CurvePen(0, 2));
    wxPoint previous;
    bool joined = false;
    for (std::size_t k = 0; k < m_values.size(); ++k) {
        const double ms = (static_cast<double>(k) - m_centre) / m_fs * 1000;
        if (Gap(m_values[k])) {
            joined = false;
            continue;
        }
        const wxPoint p(column(ms), RowOf(m_values[k], plot, 1, -1));
        if (joined) dc.DrawLine(previous, p);
        previous = p;
        joined = true;
    }
    if (m_iacc != -1000 && std::isfinite(m_iacc)) {
        // IACC at tau-IACC, and the WIACC span at (1 - delta) x IACC.
        const int x = column(m_tau), y = RowOf(m_iacc, plot, 1, -1);
        dc.SetPen(wxPen(kMarker, 1, wxPENSTYLE_SHORT_DASH));
        dc.DrawLine(x, plot.GetTop(), x, plot.GetBottom());
        dc.SetBrush(wxBrush(kMarker));
        dc.DrawCircle(x, y, 3);
        const int yw = RowOf((1 - m_delta) * m_iacc, plot, 1, -1);
        dc.SetPen(wxPen(wxColour(40, 150, 60), 2));
        dc.DrawLine(column(m_tau - m_left), yw, column(m_tau + m_right), yw);
        const wxString text = wxString::Format("IACC %.2f   Tau-IACC %.3f ms   WIACC %.3f ms",
                                               m_iacc, m_tau, m_left + m_right);
        dc.DrawText(text, plot.GetLeft() + 6, plot.GetBottom() - dc.GetCharHeight() - 4);
    }
    dc.DestroyClippingRegion();
}

void CSpectrumGraph::SetData(std::vector<float> power, double fs, bool smoothing) {
    m_power = std::move(power);
    m_fs = fs;
    m_smoothing = smoothing;
    Redraw();
}

void CSpectrumGraph::Draw(wxDC& dc, const wxRect& plot) {
    DrawValueAxis(dc, plot, 0, -160, 20, m_name + " [dB]");
    if (!(m_fs > 20)) return;
    const PlotArea area{plot.x, plot.y, plot.width, plot.height};
    // Decades and their 2 and 5 from 10 Hz to fs/2.
    const double span = std::log(m_fs / 2) - std::log(10.0);
    for (double decade = 10; decade < m_fs / 2; decade *= 10)
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f > m_fs / 2) break;
            const int x = plot.GetLeft() +
                          static_cast<int>((std::log(f) - std::log(10.0)) * plot.width / span);
            dc.SetPen(wxPen(m == 1 ? kGrid : kFineGrid));
            if (x > plot.GetLeft()) dc.DrawLine(x, plot.GetTop() + 1, x, plot.GetBottom() - 1);
            const wxString label =
                f >= 1000 ? wxString::Format("%gk", f / 1000) : wxString::Format("%g", f);
            dc.DrawText(label, x - dc.GetTextExtent(label).x / 2, plot.GetBottom() + 3);
        }
    const wxString title = "Frequency [Hz]";
    dc.DrawText(title, plot.GetLeft() + (plot.width - dc.GetTextExtent(title).x) / 2,
                plot.GetBottom() + 3 + dc.GetCharHeight());
    const std::vector<PixelPoint> points = SpectrumPoints(
        m_power.data(), static_cast<std::int32_t>(m_power.size()), m_fs, area, m_smoothing);
    dc.SetClippingRegion(plot.x, plot.y, plot.width + 1, plot.height + 1);
    dc.SetPen(CurvePen(0));
    // The points of one column joined to each other cover the span of their rows, so each column
    // is drawn as that span and one line to the next column: a few hundred lines instead of
    // tens of thousands, with the same pixels.
    std::size_t i = 0;
    wxPoint last;
    while (i < points.size()) {
        const int x = points[i].x;
        int lo = points[i].y, hi = points[i].y;
        if (i > 0) dc.DrawLine(last, wxPoint(x, points[i].y));
        std::size_t j = i;
        for (; j < points.size() && points[j].x == x; ++j) {
            lo = std::min(lo, points[j].y);
            hi = std::max(hi, points[j].y);
        }
        dc.DrawLine(x, lo, x, hi + 1);
        last = wxPoint(x, points[j - 1].y);
        i = j;
    }
    dc.DestroyClippingRegion();
}

}  // namespace vesk
