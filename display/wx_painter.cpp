#include "display/wx_painter.h"

namespace vesk {

wxColour ToWx(Colour c) {
    return wxColour(c.r, c.g, c.b);
}

wxPen ToWx(const Pen& pen) {
    return wxPen(ToWx(pen.colour), pen.width,
                 pen.dashed ? wxPENSTYLE_SHORT_DASH : wxPENSTYLE_SOLID);
}

void WxPainter::Polygon(const std::vector<PixelPoint>& points) {
    std::vector<wxPoint> corners;
    for (const PixelPoint& p : points)
        corners.emplace_back(p.x, p.y);
    m_dc.DrawPolygon(static_cast<int>(corners.size()), corners.data());
}

void WxPainter::Rectangle(const Box& box) {
    m_dc.DrawRectangle(box.x, box.y, box.width, box.height);
}

void WxPainter::Text(const std::string& text, int x, int y) {
    m_dc.DrawText(wxString::FromUTF8(text), x, y);
}

void WxPainter::UpText(const std::string& text, int x, int y) {
    m_dc.DrawRotatedText(wxString::FromUTF8(text), x, y, 90);
}

Extent WxPainter::TextExtent(const std::string& text) {
    const wxSize size = m_dc.GetTextExtent(wxString::FromUTF8(text));
    return {size.x, size.y};
}

void WxPainter::SetFont(double size, bool bold) {
    wxFont font = m_dc.GetFont().IsOk() ? m_dc.GetFont() : *wxNORMAL_FONT;
    font.SetFractionalPointSize(size);
    font.SetWeight(bold ? wxFONTWEIGHT_BOLD : wxFONTWEIGHT_NORMAL);
    m_dc.SetFont(font);
}

void WxPainter::Translate(int dx, int dy) {
    const wxPoint origin = m_dc.GetLogicalOrigin();
    m_dc.SetLogicalOrigin(origin.x - dx, origin.y - dy);
}

void WxPainter::Clip(const Box& box) {
    m_dc.DestroyClippingRegion();
    m_dc.SetClippingRegion(box.x, box.y, box.width, box.height);
}

}  // namespace vesk
