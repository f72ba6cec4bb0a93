// The surface the graphs draw on: lines, points, shapes, text with its metrics and clipping,
// in whole pixels. The desktop paints on a window, the files on cairo.
#pragma once

#include <string>
#include <vector>

#include "plot/curve_layout.h"

namespace vesk {

struct Colour {
    unsigned char r = 0, g = 0, b = 0;
    bool operator==(const Colour&) const = default;
};

struct Pen {
    Colour colour;
    int width = 1;
    bool dashed = false;
};

// A pixel rectangle; Right() and Bottom() are its last column and row.
struct Box {
    int x = 0, y = 0, width = 1, height = 1;
    int Right() const { return x + width - 1; }
    int Bottom() const { return y + height - 1; }
};

struct Extent {
    int width = 0, height = 0;
};

class Painter {
  public:
    virtual ~Painter() = default;
    virtual void SetPen(const Pen& pen) = 0;
    virtual void SetFill(Colour colour) = 0;
    virtual void NoFill() = 0;
    virtual void SetTextColour(Colour colour) = 0;
    // From the first point to just before the second, as on a screen.
    virtual void Line(int x0, int y0, int x1, int y1) = 0;
    virtual void Polyline(const std::vector<PixelPoint>& points);
    virtual void Point(int x, int y) = 0;
    virtual void Polygon(const std::vector<PixelPoint>& points) = 0;
    virtual void Rectangle(const Box& box) = 0;
    virtual void Circle(int x, int y, int radius) = 0;
    // UTF-8 text with its top left corner at (x, y).
    virtual void Text(const std::string& text, int x, int y) = 0;
    // Text running upward, its top left corner (before turning) at (x, y).
    virtual void UpText(const std::string& text, int x, int y) = 0;
    virtual Extent TextExtent(const std::string& text) = 0;
    virtual int CharHeight() = 0;
    virtual void Clip(const Box& box) = 0;
    virtual void Unclip() = 0;
    // The size of text in the surface's units, regular or bold.
    virtual void SetFont(double size, bool bold) = 0;
    // Moves the origin of what follows by (dx, dy).
    virtual void Translate(int dx, int dy) = 0;
    // Pixels scaled for the surface's resolution.
    virtual int FromDip(int pixels) { return pixels; }
};

}  // namespace vesk
