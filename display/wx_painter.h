// The graphs on a wxWidgets device context: windows, bitmaps and printed pages.
#pragma once

#include <wx/dc.h>

#include "plot/painter.h"

namespace vesk {

wxColour ToWx(Colour c);
wxPen ToWx(const Pen& pen);

class WxPainter : public Painter {
  public:
    explicit WxPainter(wxDC& dc) : m_dc(dc) {}
    void SetPen(const Pen& pen) override { m_dc.SetPen(ToWx(pen)); }
    void SetFill(Colour colour) override { m_dc.SetBrush(wxBrush(ToWx(colour))); }
    void NoFill() override { m_dc.SetBrush(*wxTRANSPARENT_BRUSH); }
    void SetTextColour(Colour colour) override { m_dc.SetTextForeground(ToWx(colour)); }
    void Line(int x0, int y0, int x1, int y1) override { m_dc.DrawLine(x0, y0, x1, y1); }
    void Point(int x, int y) override { m_dc.DrawPoint(x, y); }
    void Polygon(const std::vector<PixelPoint>& points) override;
    void Rectangle(const Box& box) override;
    void Circle(int x, int y, int radius) override { m_dc.DrawCircle(x, y, radius); }
    void Text(const std::string& text, int x, int y) override;
    void UpText(const std::string& text, int x, int y) override;
    Extent TextExtent(const std::string& text) override;
    int CharHeight() override { return m_dc.GetCharHeight(); }
    void Clip(const Box& box) override;
    void Unclip() override { m_dc.DestroyClippingRegion(); }
    int FromDip(int pixels) override { return m_dc.FromDIP(pixels); }
    void SetFont(double size, bool bold) override;
    void Translate(int dx, int dy) override;

  private:
    wxDC& m_dc;
};

}  // namespace vesk
