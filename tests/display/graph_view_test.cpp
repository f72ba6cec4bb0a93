#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/graph_view.h"

#include <cmath>
#include <limits>

namespace vesk {
namespace {

TEST(GraphView, ZoomScrollAndButtons) {
    TimeView v{2.0, 2.0, 0.0};
    EXPECT_FALSE(ZoomButtonState(v).all);
    EXPECT_FALSE(ZoomButtonState(v).zoomOut);
    EXPECT_TRUE(ZoomButtonState(v).zoomIn);
    int steps = 0;
    while (ZoomButtonState(v).zoomIn && steps < 100) {
        ApplyViewInput(&v, ViewInput::ZoomIn);
        ++steps;
    }
    EXPECT_EQ(v.width, kNarrowestView);  // 2 s halved 11 times is below 1 ms: held at 1 ms
    EXPECT_EQ(steps, 11);
    const ZoomButtons narrow = ZoomButtonState(v);
    EXPECT_TRUE(narrow.all && narrow.zoomOut && !narrow.zoomIn);
    ApplyViewInput(&v, ViewInput::All);
    EXPECT_EQ(v.width, 2.0);

    // Scroll-bar numbers, paging past the end, thumb and line steps.
    v = {2.0, 0.5, 0.0};
    ApplyViewInput(&v, ViewInput::RightEnd);
    EXPECT_EQ(v.start, 1.5);
    ApplyViewInput(&v, ViewInput::PageRight);
    EXPECT_EQ(v.start, 1.5);  // held at T - W
    ScrollBarState s = ScrollBar(v);
    EXPECT_EQ(s.page, 4096);
    EXPECT_EQ(s.position, 12288);
    ScrollTo(&v, 2048);
    EXPECT_EQ(v.start, 0.25);
    ApplyViewInput(&v, ViewInput::LineLeft);
    EXPECT_DOUBLE_EQ(v.start, 0.25 - 0.5 / 32);
    ApplyViewInput(&v, ViewInput::PageLeft);
    EXPECT_EQ(v.start, 0.0);
    PanView(&v, 0.5);
    EXPECT_EQ(v.start, 0.25);
    v = {2.0, 0.0, 5.0};  // a zero width is the whole length; a start beyond is pulled back
    NormalizeView(&v);
    EXPECT_EQ(v.width, 2.0);
    EXPECT_EQ(v.start, 0.0);
}

TEST(GraphView, TickAndLabelSteps) {
    struct Case {
        double width, step;
        int every;
    } cases[] = {{0.1, 0.005, 2}, {0.2, 0.01, 2}, {0.5, 0.01, 5}};
    for (const Case& c : cases) {
        double step = 0;
        int every = 0;
        auto ticks = TimeAxisTicks({2.0, c.width, 0.0}, 50, 700, &step, &every);
        EXPECT_DOUBLE_EQ(step, c.step) << c.width;
        EXPECT_EQ(every, c.every) << c.width;
        ASSERT_FALSE(ticks.empty());
        EXPECT_EQ(ticks[0].column, 50);
        EXPECT_TRUE(ticks[0].labelled);
        EXPECT_EQ(ticks[0].label, "0");
        EXPECT_FALSE(ticks[1].labelled);
        EXPECT_EQ(ticks[static_cast<std::size_t>(c.every)].label, c.width == 0.1   ? "10"
                                                                  : c.width == 0.2 ? "20"
                                                                                   : "50");
    }
    // From S = 12 ms at W = 0.1 s the first tick at 10 ms lies left of the plot and is skipped;
    // the one at 15 ms is at 50 + (0.015 - 0.012) / 0.1 x 700, which is 20.99... in doubles and
    // truncated to 20.
    auto ticks = TimeAxisTicks({2.0, 0.1, 0.012}, 50, 700);
    EXPECT_EQ(ticks[0].column, 70);
    EXPECT_FALSE(ticks[0].labelled);
    EXPECT_EQ(ticks[1].label, "20");
}

TEST(GraphView, RowsColumnsAndScaleEnds) {
    EXPECT_EQ(ValueRow(0.5, 1.0, -1.0, 100, 90), 78);  // 100 - 90 x 0.5 / 2 = 77.5 -> 78
    EXPECT_EQ(ValueRow(-1.0, 1.0, -1.0, 100, 90), 145);
    const TimeView v{2.0, 0.1, 0.01};
    EXPECT_EQ(MarkerColumn(0.035, v, 40, 500), 40 + 125);
    EXPECT_DOUBLE_EQ(MarkerTime(165, v, 40, 500), 0.035);
    EXPECT_EQ(NiceScaleEnd(0.034), 0.04);
    EXPECT_EQ(NiceScaleEnd(7.2), 8.0);
    EXPECT_EQ(NiceScaleEnd(-123), -200.0);
    EXPECT_EQ(NiceScaleEnd(1.0), 1.0);
    EXPECT_EQ(NiceScaleEnd(1.01), 2.0);
    EXPECT_EQ(NiceScaleEnd(0.0), 0.0);
    EXPECT_EQ(NiceScaleFloor(78.4), 70.0);  // the bottom of a range stays below its values
    EXPECT_EQ(NiceScaleFloor(-3.2), -4.0);
}

// A level whose largest value lies just below 0 dB (a one-microphone Phi(0)) gets a grid of
// whole steps from 0, not -9e-05, -0.50009, ...; the top of negative levels lies above them,
// and a flat series still gets a span.
TEST(GraphView, FactorRangesEndOnWholeGridSteps) {
    ValueRange r = FactorRange({-1.13, -0.00009, -3.54, -1000}, true, false);
    EXPECT_EQ(r.top, 0.0);
    EXPECT_FALSE(std::signbit(r.top));
    EXPECT_TRUE(r.bottom <= -3.54 && r.bottom >= -4.0) << r.bottom;
    for (const std::vector<double>& values : std::vector<std::vector<double>>{
             {0.00012, 0.3}, {-71.2, -70.9}, {-2.5, -2.5}, {412.0, 3.1}, {0.2, 0.97}}) {
        for (bool levels : {false, true}) {
            r = FactorRange(values, levels, false);
            ASSERT_GT(r.step, 0) << values[0];
            EXPECT_LE(r.bottom, *std::min_element(values.begin(), values.end())) << values[0];
            EXPECT_GE(r.top, *std::max_element(values.begin(), values.end())) << values[0];
            for (double end : {r.top, r.bottom}) {  // whole grid steps: short labels
                const double steps = end / r.step;
                EXPECT_NEAR(steps, std::round(steps), 1e-9) << values[0] << " " << levels;
            }
        }
    }
    EXPECT_EQ(FactorRange({0.4}, false, true).top, 1.0);  // phi1 and IACC top at 1
    EXPECT_FALSE(FactorRange({-1000}, true, false).any);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(GraphView, AxesAndPixelsOfValuesNoAxisCanShow) {
    EXPECT_EQ(TickStep(100), 10);
    EXPECT_EQ(TickStep(150), 20);
    EXPECT_DOUBLE_EQ(TickStep(0.7), 0.1);
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::infinity(), std::nan("")})
        EXPECT_EQ(TickStep(bad), 0) << bad;
    EXPECT_TRUE(AxisUsable(1, -1, 0.2));
    EXPECT_FALSE(AxisUsable(1e20, 1e20, TickStep(0)));  // equal huge levels: no ticks to draw
    EXPECT_FALSE(AxisUsable(1, 0, 0.001));              // more ticks than a plot can hold
    EXPECT_FALSE(AxisUsable(std::numeric_limits<double>::infinity(), 0, 1));
    // Pixels of values far outside the view stay ints (a typed 1e300 ms marker, a stored 1e20).
    EXPECT_EQ(ValueRow(1e300, 1, 0, 100, 200), 100 - 10000000);
    EXPECT_EQ(ValueRow(std::nan(""), 1, 0, 100, 200), 100);
    const TimeView v{1, 1, 0};
    EXPECT_EQ(MarkerColumn(1e300, v, 10, 500), 10 + 10000000);
    EXPECT_EQ(MarkerColumn(0.5, v, 10, 500), 260);
}

}  // namespace
}  // namespace vesk
