// The arithmetic of the result graphs, without a window: the visible time window with its zoom,
// scroll bar and buttons, the ticks and labels of the axes, marker columns and the nice scale
// end of the factor graphs. The graph windows draw what these functions say.
#pragma once

#include <string>
#include <vector>

namespace vesk {

// The visible part of a function of `total` seconds: `width` seconds from `start`.
struct TimeView {
    double total = 0;
    double width = 0;
    double start = 0;
};

constexpr double kNarrowestView = 0.001;  // one millisecond
constexpr int kScrollRange = 16384;

// W = 0 or W >= T gives T, W below 1 ms gives 1 ms; then S is pulled into 0 .. T - W.
void NormalizeView(TimeView* view);

enum class ViewInput {
    All,
    ZoomIn,
    ZoomOut,
    LineLeft,
    LineRight,
    PageLeft,
    PageRight,
    LeftEnd,
    RightEnd,
};
// Applies an input and normalises.
void ApplyViewInput(TimeView* view, ViewInput input);
// The thumb tracked or released at scroll position p.
void ScrollTo(TimeView* view, int position);
// Moves the view by a fraction of its width (panning by mouse) and normalises.
void PanView(TimeView* view, double fractionOfWidth);

struct ScrollBarState {
    int range = kScrollRange;
    int page = 0;      // W / T x 16384, truncated
    int position = 0;  // S / T x 16384, truncated
};
ScrollBarState ScrollBar(const TimeView& view);

struct ZoomButtons {
    bool all = false, zoomIn = false, zoomOut = false;
};
ZoomButtons ZoomButtonState(const TimeView& view);

struct Tick {
    int column = 0;  // pixel column
    bool labelled = false;
    std::string label;  // "%g" of the time in milliseconds, for labelled ticks
};

// The ticks of the windowed time axis over a plot from `plotLeft`, `plotWidth` pixels wide.
// `step` and `labelEvery` come back for tests and the read-out.
std::vector<Tick> TimeAxisTicks(const TimeView& view, int plotLeft, int plotWidth,
                                double* step = nullptr, int* labelEvery = nullptr);

// The pixel row of a value on the value axis: origin row - (plot height x v) / (top - bottom),
// in integer arithmetic.
int ValueRow(double value, double top, double bottom, int originRow, int plotHeight);

// The pixel column of a marker at `time`: round((time - S) / W x width) + left.
int MarkerColumn(double time, const TimeView& view, int plotLeft, int plotWidth);
// The time of a marker dragged to column x: (x - left) / width x W + S.
double MarkerTime(int x, const TimeView& view, int plotLeft, int plotWidth);

// A round step (1, 2, 5 x 10^k, doubled as needed) giving five to ten ticks over a span; 0 for
// a span that is not a positive finite number.
double TickStep(double span);
// Whether ticks from `top` down to `bottom` in `step` can be drawn: finite numbers, a positive
// step and at most kMaxTicks of them (stored values can be anything).
constexpr int kMaxTicks = 200;
bool AxisUsable(double top, double bottom, double step);

// The nice scale end: ceil(|x| / 10^k) x 10^k with the sign of x, k = floor(log10 |x|); 0 is 0.
double NiceScaleEnd(double x);
// The same rounded toward minus infinity, for the bottom of a range: taking the nice scale end
// of the smallest value there would put the bottom above it (78 dB gives 80) and cut the curve.
double NiceScaleFloor(double x);

// A factor value that can be drawn: finite and not -1000 ("no value").
bool IsFactorValue(double v);

// The value range of a factor graph: nice scale ends around the values (`levels`, Phi(0) and
// SPL: both ends from the values; `unitTop`, phi1 and IACC: the top at 1; the rest keep 0 in
// range), widened to whole grid steps, and a grid step giving five to ten lines. `any` is false
// when no value can be drawn.
struct ValueRange {
    double top = 1, bottom = 0, step = 0.1;
    bool any = false;
};
ValueRange FactorRange(const std::vector<double>& values, bool levels, bool unitTop);

}  // namespace vesk
