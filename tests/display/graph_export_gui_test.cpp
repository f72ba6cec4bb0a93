// The same graph on the screen (wxWidgets) and in a file (cairo), under Xvfb.
#include <cairo.h>
#include <gtest/gtest.h>
#include <wx/wx.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "display/graph_window.h"
#include "plot/cairo_painter.h"

namespace vesk {
namespace {

bool CurveColour(int r, int g, int b) {
    return b > 140 && b - r > 70 && b - g > 40;  // the blue of the curve, antialiased or not
}

// The mean row of the curve's pixels in each column; -1 where the column has none.
template <class Pixel>
std::vector<double> CurveRows(int width, int height, const wxRect& plot, Pixel pixel) {
    std::vector<double> rows(static_cast<std::size_t>(width), -1);
    for (int x = plot.GetLeft() + 2; x < plot.GetRight() - 1; ++x) {
        double sum = 0;
        int n = 0;
        for (int y = plot.GetTop() + 1; y < plot.GetBottom() && y < height; ++y) {
            int r, g, b;
            pixel(x, y, &r, &g, &b);
            if (CurveColour(r, g, b)) {
                sum += y;
                ++n;
            }
        }
        if (n) rows[static_cast<std::size_t>(x)] = sum / n;
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

    const std::vector<double> a =
        CurveRows(width, height, plot, [&](int x, int y, int* r, int* g, int* b) {
            *r = screen.GetRed(x, y);
            *g = screen.GetGreen(x, y);
            *b = screen.GetBlue(x, y);
        });
    const std::vector<double> c =
        CurveRows(width, height, plot, [&](int x, int y, int* r, int* g, int* b) {
            const unsigned char* p = data + y * stride + 4 * x;  // B G R x
            *b = p[0];
            *g = p[1];
            *r = p[2];
        });
    cairo_surface_destroy(surface);
    int both = 0, agree = 0, either = 0;
    for (std::size_t x = 0; x < a.size(); ++x) {
        if (a[x] < 0 && c[x] < 0) continue;
        ++either;
        if (a[x] < 0 || c[x] < 0) continue;
        ++both;
        if (std::fabs(a[x] - c[x]) <= 2.0) ++agree;
    }
    ASSERT_GT(either, plot.width / 2);  // the curve is there at all
    EXPECT_GE(both, either * 9 / 10);
    EXPECT_GE(agree, both * 95 / 100) << agree << " of " << both;
    frame->Destroy();
}

}  // namespace
}  // namespace vesk
