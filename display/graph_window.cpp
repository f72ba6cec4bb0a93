#include "display/graph_window.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/filedlg.h>
#include <wx/textdlg.h>

#include <algorithm>
#include <cmath>

#include "display/wx_painter.h"
#include "plot/cairo_painter.h"

namespace vesk {

CGraphWnd::CGraphWnd(wxWindow* parent)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, parent->FromDIP(wxSize(520, 260)),
               wxBORDER_SUNKEN) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);  // no separate erase: no flicker
    Bind(wxEVT_PAINT, &CGraphWnd::OnPaint, this);
    Bind(wxEVT_SIZE, &CGraphWnd::OnSize, this);
    Bind(wxEVT_CONTEXT_MENU, &CGraphWnd::OnContextMenu, this);
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
    WxPainter painter(dc);
    PaintGraph(painter, Model(), size.x, size.y, false);
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

void CGraphWnd::OnContextMenu(wxContextMenuEvent&) {
    wxMenu menu;
    menu.Append(wxID_SAVEAS, "Save Graph As...");
    menu.Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { SaveGraphAs(this, Model(), GetClientSize()); },
        wxID_SAVEAS);
    PopupMenu(&menu);
}

bool SaveGraphAs(wxWindow* parent, const Graph& graph, wxSize size) {
    wxFileDialog files(
        parent, "Save Graph As", "", "graph.png",
        "PNG image (*.png)|*.png|SVG drawing (*.svg)|*.svg|PDF document (*.pdf)|*.pdf",
        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (files.ShowModal() != wxID_OK) return false;
    std::string path = files.GetPath().utf8_string();
    GraphFormat format;
    if (!GraphFormatOf(path, &format)) {
        static const char* const kExtensions[] = {".png", ".svg", ".pdf"};
        path += kExtensions[std::clamp(files.GetFilterIndex(), 0, 2)];
    }
    wxString text = wxString::Format("%dx%d", size.x, size.y);
    int width = 0, height = 0;
    for (;;) {
        wxTextEntryDialog ask(parent, "Width x height in pixels:", "Graph Size", text);
        if (ask.ShowModal() != wxID_OK) return false;
        text = ask.GetValue();
        if (std::sscanf(text.utf8_str(), "%dx%d", &width, &height) == 2 && width >= 16 &&
            height >= 16 && width <= 20000 && height <= 20000)
            break;
        wxMessageBox("Give the size as WIDTHxHEIGHT, each from 16 to 20000.", "Graph Size",
                     wxOK | wxICON_EXCLAMATION, parent);
    }
    std::string error;
    if (!WriteGraphFile({&graph}, path, width, height, &error)) {
        wxMessageBox(wxString::FromUTF8(error), "Save Graph As", wxOK | wxICON_ERROR, parent);
        return false;
    }
    return true;
}

CFactorGraph::CFactorGraph(wxWindow* parent, const wxString& title, bool levels, bool unitTop)
    : CGraphWnd(parent) {
    m_graph.title = title.utf8_string();
    m_graph.levels = levels;
    m_graph.unitTop = unitTop;
}

void CFactorGraph::SetData(std::vector<double> values, double step) {
    m_graph.values = std::move(values);
    m_graph.step = std::isfinite(step) && step > 0 ? step : 0.1;  // a stored step may be anything
    m_graph.frame = 0;
    Redraw();
}

void CFactorGraph::SetFrame(int frame) {
    m_graph.frame = frame;
    Redraw();
}

void CBandGraph::SetData(ParameterPlot plot) {
    m_graph.data = std::move(plot);
    Redraw();
}

void CCurveGraph::SetData(std::vector<double> x, std::vector<double> y, double marker,
                          const wxString& xTitle, const wxString& yTitle) {
    m_graph.x = std::move(x);
    m_graph.y = std::move(y);
    m_graph.marker = marker;
    m_graph.xTitle = xTitle.utf8_string();
    m_graph.yTitle = yTitle.utf8_string();
    Redraw();
}

}  // namespace vesk
