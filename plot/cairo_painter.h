// The graphs on cairo: pictures and documents without a window or a display.
#pragma once

#include <cairo.h>

#include <string>

#include "plot/graphs.h"

namespace vesk {

class CairoPainter : public Painter {
  public:
    // Draws on `cr` (not owned) with a sans-serif face of `fontSize` units.
    explicit CairoPainter(cairo_t* cr, double fontSize = 12);
    void SetPen(const Pen& pen) override;
    void SetFill(Colour colour) override;
    void NoFill() override;
    void SetTextColour(Colour colour) override;
    void Line(int x0, int y0, int x1, int y1) override;
    void Polyline(const std::vector<PixelPoint>& points) override;
    void Point(int x, int y) override;
    void Polygon(const std::vector<PixelPoint>& points) override;
    void Rectangle(const Box& box) override;
    void Circle(int x, int y, int radius) override;
    void Text(const std::string& text, int x, int y) override;
    void UpText(const std::string& text, int x, int y) override;
    Extent TextExtent(const std::string& text) override;
    int CharHeight() override;
    void Clip(const Box& box) override;
    void Unclip() override;
    void SetFont(double size, bool bold) override;
    void Translate(int dx, int dy) override;

  private:
    void SetBold(bool bold);
    double Offset() const;
    void Stroke();
    void UsePen();
    void UseColour(Colour c);
    cairo_t* m_cr;
    Pen m_pen;
    Colour m_fill, m_text;
    bool m_filled = false, m_clipped = false, m_bold = false;
    double m_size;
};

enum class GraphFormat { Png, Svg, Pdf };
// The format named by a path's extension (case ignored); false for any other.
bool GraphFormatOf(const std::string& path, GraphFormat* format);

// Writes a graph of width x height pixels (points in SVG and PDF) to `path`, beside it first
// and then renamed into place. False with a message when it cannot be written.
bool WriteGraphFile(const std::vector<const Graph*>& graphs, const std::string& path, int width,
                    int height, std::string* error);

// The bytes of a graph file; false when cairo fails.
bool RenderGraphs(const std::vector<const Graph*>& graphs, GraphFormat format, int width,
                  int height, std::string* bytes);

// cairo's stream writer appending to a std::string.
cairo_status_t AppendToString(void* bytes, const unsigned char* data, unsigned int length);

}  // namespace vesk
