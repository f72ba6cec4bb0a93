#include "plot/cairo_painter.h"

#include "base/atomic_file.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace vesk {

CairoPainter::CairoPainter(cairo_t* cr, double fontSize) : m_cr(cr), m_size(fontSize) {
    SetBold(false);
}

void CairoPainter::SetBold(bool bold) {
    m_bold = bold;
    cairo_select_font_face(m_cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, m_size);
}

void CairoPainter::SetFont(double size, bool bold) {
    m_size = size;
    SetBold(bold);
}

void CairoPainter::Translate(int dx, int dy) {
    cairo_translate(m_cr, dx, dy);
}

void CairoPainter::SetPen(const Pen& pen) {
    m_pen = pen;
}

void CairoPainter::SetFill(Colour colour) {
    m_fill = colour;
    m_filled = true;
}

void CairoPainter::NoFill() {
    m_filled = false;
}

void CairoPainter::SetTextColour(Colour colour) {
    m_text = colour;
}

void CairoPainter::UseColour(Colour c) {
    cairo_set_source_rgb(m_cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

void CairoPainter::UsePen() {
    UseColour(m_pen.colour);
    const double width = std::max(1, m_pen.width);
    cairo_set_line_width(m_cr, width);
    cairo_set_line_cap(m_cr, width > 1 ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(m_cr, CAIRO_LINE_JOIN_ROUND);
    if (m_pen.dashed) {
        const double dash[] = {3 * width, 3 * width};
        cairo_set_dash(m_cr, dash, 2, 0);
    } else {
        cairo_set_dash(m_cr, nullptr, 0, 0);
    }
}

void CairoPainter::Stroke() {
    UsePen();
    cairo_stroke(m_cr);
}

// Lines of odd width run through pixel centres, so that a one-pixel line covers one column or
// row; even widths run along pixel edges. The screen draws them the same way.
double CairoPainter::Offset() const {
    return std::max(1, m_pen.width) % 2 == 1 ? 0.5 : 0.0;
}

void CairoPainter::Line(int x0, int y0, int x1, int y1) {
    const double o = Offset();
    cairo_move_to(m_cr, x0 + o, y0 + o);
    cairo_line_to(m_cr, x1 + o, y1 + o);
    Stroke();
}

void CairoPainter::Polyline(const std::vector<PixelPoint>& points) {
    if (points.size() < 2) return;
    const double o = Offset();
    cairo_move_to(m_cr, points[0].x + o, points[0].y + o);
    for (std::size_t k = 1; k < points.size(); ++k)
        cairo_line_to(m_cr, points[k].x + o, points[k].y + o);
    Stroke();
}

void CairoPainter::Point(int x, int y) {
    UseColour(m_pen.colour);
    cairo_rectangle(m_cr, x, y, 1, 1);
    cairo_fill(m_cr);
}

void CairoPainter::Polygon(const std::vector<PixelPoint>& points) {
    if (points.empty()) return;
    cairo_move_to(m_cr, points[0].x + 0.5, points[0].y + 0.5);
    for (std::size_t k = 1; k < points.size(); ++k)
        cairo_line_to(m_cr, points[k].x + 0.5, points[k].y + 0.5);
    cairo_close_path(m_cr);
    if (m_filled) {
        UseColour(m_fill);
        cairo_fill_preserve(m_cr);
    }
    Stroke();
}

void CairoPainter::Rectangle(const Box& box) {
    cairo_rectangle(m_cr, box.x + 0.5, box.y + 0.5, box.width - 1, box.height - 1);
    if (m_filled) {
        UseColour(m_fill);
        cairo_fill_preserve(m_cr);
    }
    Stroke();
}

void CairoPainter::Circle(int x, int y, int radius) {
    cairo_new_sub_path(m_cr);
    cairo_arc(m_cr, x + 0.5, y + 0.5, radius, 0, 2 * M_PI);
    if (m_filled) {
        UseColour(m_fill);
        cairo_fill_preserve(m_cr);
    }
    Stroke();
}

void CairoPainter::Text(const std::string& text, int x, int y) {
    cairo_font_extents_t font;
    cairo_font_extents(m_cr, &font);
    UseColour(m_text);
    cairo_move_to(m_cr, x, y + font.ascent);
    cairo_show_text(m_cr, text.c_str());
    cairo_new_path(m_cr);
}

void CairoPainter::UpText(const std::string& text, int x, int y) {
    cairo_save(m_cr);
    cairo_translate(m_cr, x, y);
    cairo_rotate(m_cr, -M_PI / 2);
    Text(text, 0, 0);
    cairo_restore(m_cr);
}

Extent CairoPainter::TextExtent(const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(m_cr, text.c_str(), &extents);
    return {static_cast<int>(std::ceil(extents.x_advance)), CharHeight()};
}

int CairoPainter::CharHeight() {
    cairo_font_extents_t font;
    cairo_font_extents(m_cr, &font);
    return static_cast<int>(std::ceil(font.ascent + font.descent));
}

void CairoPainter::Clip(const Box& box) {
    Unclip();
    cairo_save(m_cr);
    cairo_rectangle(m_cr, box.x, box.y, box.width, box.height);
    cairo_clip(m_cr);
    m_clipped = true;
}

void CairoPainter::Unclip() {
    if (!m_clipped) return;
    // The font lives in the saved state; keep the one in use.
    cairo_restore(m_cr);
    m_clipped = false;
    SetBold(m_bold);
}

bool GraphFormatOf(const std::string& path, GraphFormat* format) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "png")
        *format = GraphFormat::Png;
    else if (ext == "svg")
        *format = GraphFormat::Svg;
    else if (ext == "pdf")
        *format = GraphFormat::Pdf;
    else
        return false;
    return true;
}

cairo_status_t AppendToString(void* bytes, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(bytes)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool RenderGraphs(const std::vector<const Graph*>& graphs, GraphFormat format, int width,
                  int height, std::string* bytes) {
    bytes->clear();
    cairo_surface_t* surface = nullptr;
    if (format == GraphFormat::Png)
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    else if (format == GraphFormat::Svg)
        surface = cairo_svg_surface_create_for_stream(AppendToString, bytes, width, height);
    else
        surface = cairo_pdf_surface_create_for_stream(AppendToString, bytes, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t* cr = cairo_create(surface);
    {
        CairoPainter painter(cr);
        PaintGraphs(painter, graphs, width, height, true);
    }
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    if (format == GraphFormat::Png)
        ok = ok && cairo_surface_write_to_png_stream(surface, AppendToString, bytes) ==
                       CAIRO_STATUS_SUCCESS;
    cairo_surface_finish(surface);
    ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok && !bytes->empty();
}

bool WriteGraphFile(const std::vector<const Graph*>& graphs, const std::string& path, int width,
                    int height, std::string* error) {
    GraphFormat format;
    if (!GraphFormatOf(path, &format)) {
        if (error) *error = "Choose *.png, *.svg or *.pdf as file extension.";
        return false;
    }
    if (width < 16 || height < 16 || width > 20000 || height > 20000) {
        if (error) *error = "The size must be from 16 to 20000 pixels each way.";
        return false;
    }
    std::string bytes;
    if (!RenderGraphs(graphs, format, width, height, &bytes)) {
        if (error) *error = "The graph could not be drawn.";
        return false;
    }
    if (!WriteFileAtomically(path, bytes.data(), bytes.size())) {
        if (error) *error = "Cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace vesk
