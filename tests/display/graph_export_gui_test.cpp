// The same graph on the screen (wxWidgets) and in a file (cairo), under Xvfb.
#include <cairo.h>
#include <gtest/gtest.h>
#include <wx/wx.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/graph_window.h"
#include "plot/cairo_painter.h"

namespace vesk {
namespace {

bool CurveColour(int r, int g, int b) {
    return b > 140 && b - r > 70 && b - g > 40;  // the blue of the curve, antialiased or not
}

struct Span {
    int top = -1, bottom = -1;  // -1: the column has no curve pixel
};

// The rows the curve covers in each column.
template <class Pixel>
std::vector<Span> CurveRows(int width, int height, const wxRect& plot, Pixel pixel) {
    std::vector<Span> rows(static_cast<std::size_t>(width));
    for (int x = plot.GetLeft() + 2; x < plot.GetRight() - 1; ++x) {
        Span& s = rows[static_cast<std::size_t>(x)];
        for (int y = plot.GetTop() + 1; y < plot.GetBottom() && y < height; ++y) {
            int r, g, b;
            pixel(x, y, &r, &g, &b);
            if (!CurveColour(r, g, b)) continue;
            if (s.top < 0) s.top = y;
            s.bottom = y;
        }
    }
    return rows;
}

TEST(GraphExport, CairoAndScreenAgreeInTheCurvePixels) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "graph");
    auto* graph = new CFactorGraph(frame, "Phi(0) [dB]", true, false);
    frame->SetClientSize(560, 300);
    graph->SetSize(frame->GetClientSize());
    frame->Show();
    wxYield();
    std::vector<double> values;
    for (int k = 0; k < 120; ++k)
        values.push_back(k == 50 ? -1000 : 60 + 12 * std::sin(k * 0.09) + (k % 7) * 0.4);
    graph->SetData(values, 0.1);
    graph->SetFrame(30);
    const wxImage screen = graph->Picture().ConvertToImage();
    const wxRect plot = graph->PlotRect();
    const int width = screen.GetWidth(), height = screen.GetHeight();

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    {
        CairoPainter painter(cr);
        PaintGraph(painter, graph->Model(), width, height, false);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);

    const std::vector<Span> a =
        CurveRows(width, height, plot, [&](int x, int y, int* r, int* g, int* b) {
            *r = screen.GetRed(x, y);
            *g = screen.GetGreen(x, y);
            *b = screen.GetBlue(x, y);
        });
    const std::vector<Span> c =
        CurveRows(width, height, plot, [&](int x, int y, int* r, int* g, int* b) {
            const unsigned char* p = data + y * stride + 4 * x;  // B G R x
            *b = p[0];
            *g = p[1];
            *r = p[2];
        });
    cairo_surface_destroy(surface);
    int both = 0, agree = 0, either = 0;
    std::string differing;
    for (std::size_t x = 0; x < a.size(); ++x) {
        if (a[x].top < 0 && c[x].top < 0) continue;
        ++either;
        if (a[x].top < 0 || c[x].top < 0) continue;
        ++both;
        // Antialiasing widens a span by a pixel or two at either end.
        if (std::abs(a[x].top - c[x].top) <= 2 && std::abs(a[x].bottom - c[x].bottom) <= 2)
            ++agree;
        else if (differing.size() < 400)
            differing += " " + std::to_string(x) + ":" + std::to_string(a[x].top) + "-" +
                         std::to_string(a[x].bottom) + "/" + std::to_string(c[x].top) + "-" +
                         std::to_string(c[x].bottom);
    }
    ASSERT_GT(either, plot.width / 2);  // the curve is there at all
    EXPECT_GE(both, either * 9 / 10);
    EXPECT_GE(agree, both * 95 / 100) << agree << " of " << both << differing;
    frame->Destroy();
}

}  // namespace
}  // namespace vesk
