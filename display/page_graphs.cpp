#include "display/page_graphs.h"

#include <wx/dcmemory.h>

#include <algorithm>
#include <cmath>

#include "display/wx_painter.h"

namespace vesk {

CGraphLegend::CGraphLegend(wxWindow* graph)
    : wxWindow(graph, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CGraphLegend::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_MOTION, &CGraphLegend::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_moving = false; });
}

void CGraphLegend::SetEntries(const std::vector<LegendEntry>& entries) {
    wxMemoryDC measure;
    measure.SetFont(GetFont());
    WxPainter measurer(measure);
    const Extent extent = LegendSize(measurer, entries);
    const wxSize size(extent.width, extent.height);
    SetClientSize(size);
    m_picture = wxBitmap(size);
    wxMemoryDC dc(m_picture);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(GetFont());
    WxPainter painter(dc);
    DrawLegend(painter, entries, 0, 0, false);  // the window has its own border
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
            m_moved = true;
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
    TimeModel().view = view;
    NormalizeView(&TimeModel().view);
    Redraw();
}

void CGraphWnd::SetLegend(const std::vector<LegendEntry>& entries) {
    if (!m_legend) {
        if (entries.empty()) return;
        m_legend = new CGraphLegend(this);
        m_legend->SetEntries(entries);
        const wxRect plot = PlotRect();
        m_legend->Move(plot.GetRight() - m_legend->GetSize().x - 4, plot.GetTop() + 4);
        return;
    }
    m_legend->SetEntries(entries);
    m_legend->Show(!entries.empty());
}

int CTimeGraph::Column(double time) const {
    const wxRect plot = PlotRect();
    return MarkerColumn(time, TimeModel().view, plot.GetLeft(), plot.width);
}

CImpulseGraph::CImpulseGraph(wxWindow* parent, const wxString& title) : CTimeGraph(parent) {
    m_graph.title = title.utf8_string();
    Bind(wxEVT_LEFT_DOWN, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_MOTION, &CImpulseGraph::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_dragging = -1; });
}

void CImpulseGraph::SetData(std::vector<float> samples, double fs, double scale) {
    // Scaled once here rather than on every redraw, which dragging a marker repeats.
    m_graph.SetSamples(std::move(samples), fs, scale);
    Redraw();
}

void CImpulseGraph::SetMarkers(double directMs, double reflectionMs) {
    m_graph.directMs = directMs;
    m_graph.reflectionMs = reflectionMs;
    Redraw();
}

int CImpulseGraph::MarkerAt(int x) const {
    for (int which = 0; which < 2; ++which)
        if (std::abs(x - Column(Marker(which) / 1000)) <= 2) return which;
    return -1;
}

void CImpulseGraph::DragMarker(int which, int column) {
    const wxRect plot = PlotRect();
    const double ms = MarkerTime(column, m_graph.view, plot.GetLeft(), plot.width) * 1000;
    (which == 0 ? m_graph.directMs : m_graph.reflectionMs) = ms;
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

CDecayGraph::CDecayGraph(wxWindow* parent, bool echoPattern) : CTimeGraph(parent) {
    m_graph.echo = echoPattern;
}

void CDecayGraph::SetData(const DecayDisplay& display, double fs) {
    m_graph.display = display;
    m_graph.fs = fs > 0 ? fs : 1;
    if (!m_graph.echo) SetLegend(m_graph.Legend());
    Redraw();
}

CRunningAcfGraph::CRunningAcfGraph(wxWindow* parent) : CTimeGraph(parent) {
    Bind(wxEVT_LEFT_DOWN, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_MOTION, &CRunningAcfGraph::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { m_panning = false; });
}

void CRunningAcfGraph::SetData(AcfFrameView frame, const AcfFactorRecord& stored, double fs) {
    m_graph.frame = std::move(frame);
    m_graph.stored = stored;
    m_graph.fs = fs > 0 ? fs : 1;
    Redraw();
}

void CRunningAcfGraph::SetLogarithm(bool on) {
    m_graph.logarithm = on;
    SetLegend(m_graph.Legend());
    Redraw();
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
    if (onReadOut && m_graph.frame.valid) {
        const double t = MarkerTime(p.x, m_graph.view, plot.GetLeft(), plot.width);
        const std::size_t i = static_cast<std::size_t>(std::max(0.0, std::round(t * m_graph.fs)));
        if (i < m_graph.frame.phi.size())
            onReadOut(wxString::Format("%.3f ms: %.4f", t * 1000, m_graph.frame.phi[i]));
    }
}

void CLagGraph::SetData(std::vector<float> values, int centre, double fs, double iacc,
                        double tauIaccMs, double leftWidthMs, double rightWidthMs, double delta) {
    m_graph.values = std::move(values);
    m_graph.centre = centre;
    m_graph.fs = fs > 0 ? fs : 1;
    m_graph.iacc = iacc;
    m_graph.tauMs = tauIaccMs;
    m_graph.leftMs = leftWidthMs;
    m_graph.rightMs = rightWidthMs;
    m_graph.delta = delta;
    Redraw();
}

CSpectrumGraph::CSpectrumGraph(wxWindow* parent, const wxString& name) : CGraphWnd(parent) {
    m_graph.name = name.utf8_string();
}

void CSpectrumGraph::SetData(std::vector<float> power, double fs, bool smoothing) {
    m_graph.power = std::move(power);
    m_graph.fs = fs;
    m_graph.smoothing = smoothing;
    Redraw();
}

}  // namespace vesk
