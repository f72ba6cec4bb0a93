#include "plot/graph_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesk {

void NormalizeView(TimeView* v) {
    if (v->width == 0 || v->width >= v->total) v->width = v->total;
    if (v->width < kNarrowestView) v->width = kNarrowestView;
    if (v->start < 0) v->start = 0;
    if (v->start > v->total - v->width) v->start = v->total - v->width;
    if (v->start < 0) v->start = 0;  // a function shorter than the narrowest view
}

void ApplyViewInput(TimeView* v, ViewInput input) {
    switch (input) {
        case ViewInput::All:
            v->width = v->total;
            break;
        case ViewInput::ZoomIn:
            v->width *= 0.5;
            break;
        case ViewInput::ZoomOut:
            v->width *= 2;
            break;
        case ViewInput::LineLeft:
            v->start -= v->width / 32;
            break;
        case ViewInput::LineRight:
            v->start += v->width / 32;
            break;
        case ViewInput::PageLeft:
            v->start -= v->width;
            break;
        case ViewInput::PageRight:
            v->start += v->width;
            break;
        case ViewInput::LeftEnd:
            v->start = 0;
            break;
        case ViewInput::RightEnd:
            v->start = v->total - v->width;
            break;
    }
    NormalizeView(v);
}

void ScrollTo(TimeView* v, int position) {
    v->start = position * v->total / kScrollRange;
    NormalizeView(v);
}

void PanView(TimeView* v, double fraction) {
    v->start += fraction * v->width;
    NormalizeView(v);
}

ScrollBarState ScrollBar(const TimeView& v) {
    ScrollBarState s;
    if (!(v.total > 0)) return s;
    s.page = static_cast<int>(v.width / v.total * kScrollRange);
    s.position = static_cast<int>(v.start / v.total * kScrollRange);
    return s;
}

ZoomButtons ZoomButtonState(const TimeView& v) {
    if (v.width <= kNarrowestView) return {true, false, true};
    if (v.width == v.total) return {false, true, false};
    return {true, true, true};
}

std::vector<Tick> TimeAxisTicks(const TimeView& v, int plotLeft, int plotWidth, double* stepOut,
                                int* labelOut) {
    std::vector<Tick> ticks;
    if (!(v.width > 0) || plotWidth <= 0) return ticks;
    const double rough = v.width / 7;
    const double p = std::pow(10.0, std::floor(std::log10(rough)));
    const double ratio = rough / p;
    double step = p;
    int labelEvery = 2;
    if (ratio < 2)
        step = p / 2;
    else if (ratio >= 5)
        labelEvery = 5;
    if (stepOut) *stepOut = step;
    if (labelOut) *labelOut = labelEvery;
    // Ticks by their number n, t = n x step, so that the number of each tick is exact.
    for (long n = static_cast<long>(std::floor(v.start / step));; ++n) {
        const double t = static_cast<double>(n) * step;
        if (!(t < v.start + v.width)) break;
        const int column = plotLeft + static_cast<int>((t - v.start) / v.width * plotWidth);
        if (column < plotLeft) continue;
        Tick tick;
        tick.column = column;
        tick.labelled = n % labelEvery == 0;
        if (tick.labelled) {
            char text[32];
            std::snprintf(text, sizeof text, "%g", t * 1000);
            tick.label = text;
        }
        ticks.push_back(tick);
    }
    return ticks;
}

namespace {
// Pixel offsets far outside any window are held at a distance an int can take; values come
// from stored and typed numbers, which may be anything.
double Bounded(double pixels) {
    return std::isnan(pixels) ? 0.0 : std::clamp(pixels, -1e7, 1e7);
}
}  // namespace

int ValueRow(double value, double top, double bottom, int originRow, int plotHeight) {
    if (top == bottom) return originRow;
    return originRow - static_cast<int>(Bounded(plotHeight * value / (top - bottom)));
}

int MarkerColumn(double time, const TimeView& v, int plotLeft, int plotWidth) {
    return static_cast<int>(std::lround(Bounded((time - v.start) / v.width * plotWidth))) +
           plotLeft;
}

double MarkerTime(int x, const TimeView& v, int plotLeft, int plotWidth) {
    return static_cast<double>(x - plotLeft) / plotWidth * v.width + v.start;
}

double NiceScaleEnd(double x) {
    if (x == 0 || !std::isfinite(x)) return 0;
    const double k = std::floor(std::log10(std::fabs(x)));
    const double unit = std::pow(10.0, k);
    return std::copysign(std::ceil(std::fabs(x) / unit) * unit, x);
}

double NiceScaleFloor(double x) {
    if (x == 0 || !std::isfinite(x)) return 0;
    return x > 0 ? std::floor(x / std::pow(10.0, std::floor(std::log10(x)))) *
                       std::pow(10.0, std::floor(std::log10(x)))
                 : NiceScaleEnd(x);
}

double TickStep(double span) {
    if (!(span > 0) || !std::isfinite(span)) return 0;
    double step = std::pow(10.0, std::floor(std::log10(span / 5)));
    while (span / step > 10)
        step *= 2;
    return step;
}

bool AxisUsable(double top, double bottom, double step) {
    return std::isfinite(top) && std::isfinite(bottom) && std::isfinite(step) && step > 0 &&
           top > bottom && (top - bottom) / step <= kMaxTicks;
}

bool IsFactorValue(double v) {
    return std::isfinite(v) && v != -1000.0;
}

ValueRange FactorRange(const std::vector<double>& values, bool levels, bool unitTop) {
    ValueRange r;
    double largest = 0, smallest = 0;
    for (double v : values)
        if (IsFactorValue(v)) {
            largest = r.any ? std::max(largest, v) : v;
            smallest = r.any ? std::min(smallest, v) : v;
            r.any = true;
        }
    // Nice ends give the step; the ends then move out from the values to whole steps, so that
    // the grid reads 0, -0.5, ... rather than -9e-05, -0.50009 for a largest value of -0.00009.
    // Twice, as the span and with it the step may grow.
    const double top = levels ? largest : std::max(0.0, largest);
    const double bottom = levels ? smallest : std::min(0.0, smallest);
    r.top = unitTop ? 1.0 : -NiceScaleFloor(-top);
    r.bottom = NiceScaleFloor(bottom);
    for (int pass = 0; pass < 2; ++pass) {
        if (!(r.top > r.bottom)) r.top = r.bottom + 1;
        r.step = TickStep(r.top - r.bottom);
        if (!(r.step > 0)) break;
        if (!unitTop) r.top = std::ceil(top / r.step - 1e-9) * r.step + 0.0;  // + 0.0: no -0
        r.bottom = std::floor(bottom / r.step + 1e-9) * r.step + 0.0;
    }
    if (!(r.top > r.bottom)) r.top = r.bottom + 1;
    r.step = TickStep(r.top - r.bottom);
    return r;
}

}  // namespace vesk
