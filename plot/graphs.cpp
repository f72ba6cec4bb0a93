#include "plot/graphs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vesk {

namespace {

constexpr Colour kBlack{0, 0, 0}, kGrid{200, 200, 200}, kFineGrid{232, 232, 232},
    kAxisGrid{220, 220, 220};

bool Gap(float v) {
    return !std::isfinite(v) || v == -1000.0f;
}

std::string Printf(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// The row of the value 0, the origin of ValueRow.
int OriginRow(const Box& plot, double top, double bottom) {
    return ValueRow(0 - bottom, top, bottom, plot.Bottom(), plot.height);
}

// A value beyond a fixed axis is drawn at its edge; an arrow there points to where it lies, so
// that it is not read as the edge value.
void MarkClipped(Painter& p, const Box& plot, int x, double value, double top, double bottom,
                 const Pen& restore) {
    if (!(value > top) && !(value < bottom)) return;
    const int edge = value > top ? plot.y : plot.Bottom();
    const int tip = value > top ? 1 : -1;  // the arrow points out of the plot
    const int size = p.FromDip(6);
    p.SetPen({kClippedColour});
    p.SetFill(kClippedColour);
    p.Polygon({{x, edge + tip},
               {x - size, edge + tip * (1 + 2 * size)},
               {x + size, edge + tip * (1 + 2 * size)}});
    p.SetPen(restore);
}

// A curve through the usable values, broken where a value is missing; values outside the range
// are drawn at its edge with a mark.
template <class Column>
void DrawCurve(Painter& p, const Box& plot, const ValueRange& range,
               const std::vector<double>& values, std::size_t count, Column column) {
    if (!AxisUsable(range.top, range.bottom, range.step)) return;
    const int origin = OriginRow(plot, range.top, range.bottom);
    const Pen pen{{30, 80, 200}, 2};
    p.SetPen(pen);
    PixelPoint previous;
    bool drawing = false;
    for (std::size_t k = 0; k < count; ++k) {
        if (!IsFactorValue(values[k])) {
            drawing = false;  // a gap
            continue;
        }
        const PixelPoint q{
            column(k), std::clamp(ValueRow(values[k], range.top, range.bottom, origin, plot.height),
                                  plot.y, plot.Bottom())};
        if (drawing) p.Line(previous.x, previous.y, q.x, q.y);
        MarkClipped(p, plot, q.x, values[k], range.top, range.bottom, pen);
        previous = q;
        drawing = true;
    }
}

}  // namespace

void Painter::Polyline(const std::vector<PixelPoint>& points) {
    for (std::size_t k = 1; k < points.size(); ++k)
        Line(points[k - 1].x, points[k - 1].y, points[k].x, points[k].y);
}

Pen CurvePen(int index, int width) {
    static const Colour kColours[] = {{30, 80, 200}, {200, 60, 40}, {40, 150, 60}, {140, 70, 170}};
    return {kColours[index & 3], width};
}

Box GraphPlotBox(int width, int height, Painter& painter) {
    const int left = painter.FromDip(64), right = painter.FromDip(12), top = painter.FromDip(10),
              bottom = painter.FromDip(40);
    return {left, top, std::max(1, width - left - right), std::max(1, height - top - bottom)};
}

Extent LegendSize(Painter& painter, const std::vector<LegendEntry>& entries) {
    int width = 0;
    const int line = painter.CharHeight() + 2;
    for (const LegendEntry& e : entries)
        width = std::max(width, painter.TextExtent(e.name).width);
    return {width + 40, static_cast<int>(entries.size()) * line + 6};
}

void DrawLegend(Painter& painter, const std::vector<LegendEntry>& entries, int x, int y,
                bool frame) {
    if (frame) {
        const Extent size = LegendSize(painter, entries);
        painter.SetPen({kBlack});
        painter.SetFill({255, 255, 255});
        painter.Rectangle({x, y, size.width, size.height});
        painter.NoFill();
    }
    const int line = painter.CharHeight() + 2;
    int row = y + 3;
    for (const LegendEntry& e : entries) {
        painter.SetPen(e.pen);
        painter.Line(x + 4, row + line / 2, x + 28, row + line / 2);
        painter.Text(e.name, x + 34, row);
        row += line;
    }
}

void PaintGraphs(Painter& painter, const std::vector<const Graph*>& graphs, int width, int height,
                 bool legend) {
    painter.SetPen({{255, 255, 255}});
    painter.SetFill({255, 255, 255});
    painter.Rectangle({0, 0, width, height});
    painter.NoFill();
    if (graphs.empty()) return;
    const int share = height / static_cast<int>(graphs.size());
    for (std::size_t k = 0; k < graphs.size(); ++k) {
        painter.SetTextColour({0, 0, 0});
        Box plot = GraphPlotBox(width, share, painter);
        plot.y += static_cast<int>(k) * share;
        graphs[k]->Draw(painter, plot);
        painter.Unclip();
        if (!legend) continue;
        const std::vector<LegendEntry> entries = graphs[k]->Legend();
        if (entries.empty()) continue;
        const Extent size = LegendSize(painter, entries);
        DrawLegend(painter, entries, plot.Right() - size.width - 4, plot.y + 4);
    }
}

void PaintGraph(Painter& painter, const Graph& graph, int width, int height, bool legend) {
    PaintGraphs(painter, {&graph}, width, height, legend);
}

int RowOf(double value, const Box& plot, double top, double bottom) {
    if (!(top > bottom)) return plot.Bottom();
    const double v = std::clamp(value, bottom, top);
    return std::clamp(ValueRow(v, top, bottom, OriginRow(plot, top, bottom), plot.height), plot.y,
                      plot.Bottom());
}

void DrawValueAxis(Painter& p, const Box& plot, double top, double bottom, double step,
                   const std::string& title) {
    if (!AxisUsable(top, bottom, step)) {  // values no axis can show: the frame alone
        p.SetPen({kBlack});
        p.NoFill();
        p.Rectangle(plot);
        return;
    }
    const int origin = OriginRow(plot, top, bottom);
    // Every grid line stays; on a short plot only every n-th one is labelled, so that the
    // numbers never overlap.
    const double lines = (top - bottom) / step;
    const int textHeight = p.TextExtent("0").height;
    const int every = lines > 0 ? std::max(1, static_cast<int>(std::ceil(textHeight * lines /
                                                                         std::max(plot.height, 1))))
                                : 1;
    for (int k = 0;; ++k) {
        const double v = top - k * step;
        if (v < bottom - step * 1e-6) break;
        const int y = ValueRow(v, top, bottom, origin, plot.height);
        const bool solid = std::fabs(v) < step * 1e-6 || std::fabs(v - bottom) < step * 1e-6;
        p.SetPen({solid ? kBlack : kGrid});
        p.Line(plot.x, y, plot.Right(), y);
        if (std::lround(v / step) % every != 0) continue;  // keeps 0 among the labels
        const std::string label = Printf("%g", v);
        const Extent extent = p.TextExtent(label);
        p.Text(label, plot.x - extent.width - 2, y - extent.height / 2);
    }
    p.SetPen({kBlack});
    p.NoFill();
    p.Rectangle(plot);
    const Extent extent = p.TextExtent(title);
    p.UpText(title, 2, plot.y + (plot.height + extent.width) / 2);
}

void DrawHorizontalAxis(Painter& p, const Box& plot, double from, double to,
                        const std::string& title) {
    const double tick = TickStep(to - from);
    if (!AxisUsable(to, from, tick)) return;
    p.SetPen({kAxisGrid});
    const double first = std::ceil(from / tick - 1e-9);
    for (int k = 0;; ++k) {
        double t = (first + k) * tick;
        if (t > to + tick * 1e-6) break;
        if (std::fabs(t) < tick * 1e-6) t = 0;  // no -5.55e-17 under the origin
        const int x = plot.x + static_cast<int>((t - from) / (to - from) * plot.width);
        if (x > plot.x) p.Line(x, plot.y + 1, x, plot.Bottom());
        const std::string label = Printf("%g", t);
        p.Text(label, x - p.TextExtent(label).width / 2, plot.Bottom() + 3);
    }
    p.Text(title, plot.x + (plot.width - p.TextExtent(title).width) / 2,
           plot.Bottom() + 3 + p.CharHeight());
}

void FactorGraph::Draw(Painter& p, const Box& plot) const {
    const ValueRange range = FactorRange(values, levels, unitTop);
    DrawValueAxis(p, plot, range.top, range.bottom, range.step, title);
    const double safeStep = std::isfinite(step) && step > 0 ? step : 0.1;
    const double total = std::max(1.0, static_cast<double>(values.size())) * safeStep;
    DrawHorizontalAxis(p, plot, 0.0, total, "Time [sec]");
    if (!range.any) return;  // no data: the empty frame and axes
    DrawCurve(p, plot, range, values, values.size(), [&](std::size_t k) {
        return plot.x + static_cast<int>(k * safeStep / total * plot.width);
    });
    if (!cursor) return;
    p.SetPen({kMarkerColour});
    const int x = plot.x + static_cast<int>(frame * safeStep / total * plot.width);
    p.Line(x, plot.y, x, plot.Bottom());
}

void BandGraph::Draw(Painter& p, const Box& plot) const {
    const ParameterPlot& d = data;
    if (!(d.top > d.bottom)) {
        DrawValueAxis(p, plot, 1, 0, 0.1, "");
        return;
    }
    DrawValueAxis(p, plot, d.top, d.bottom, d.step, d.title);
    const std::size_t n = d.labels.size();
    const std::string axis = "Frequency band [Hz]";
    p.Text(axis, plot.x + (plot.width - p.TextExtent(axis).width) / 2,
           plot.Bottom() + 3 + p.CharHeight());
    if (n == 0) return;
    const PlotArea area{plot.x, plot.y, plot.width, plot.height};
    // Labels under the bands, thinned so that they do not overlap.
    int widest = 1;
    for (const std::string& l : d.labels)
        widest = std::max(widest, p.TextExtent(l).width + 4);
    const std::size_t every = std::max<std::size_t>(
        1, static_cast<std::size_t>(widest * n / std::max(1, plot.width)) + 1);
    for (std::size_t k = 0; k < n; k += every)
        p.Text(d.labels[k], BandColumn(k, n, area) - p.TextExtent(d.labels[k]).width / 2,
               plot.Bottom() + 3);
    auto joinPoints = [&](const std::vector<double>& series, const Pen& pen, int radius,
                          bool marks) {
        p.SetPen(pen);
        if (radius > 0) p.SetFill(pen.colour);
        PixelPoint previous;
        bool joined = false;
        for (std::size_t k = 0; k < n && k < series.size(); ++k) {
            const double v = series[k];
            if (!IsFactorValue(v)) {
                joined = false;
                continue;
            }
            const PixelPoint q{BandColumn(k, n, area), RowOf(v, plot, d.top, d.bottom)};
            if (joined) p.Line(previous.x, previous.y, q.x, q.y);
            if (radius > 0) p.Circle(q.x, q.y, radius);
            if (marks) MarkClipped(p, plot, q.x, v, d.top, d.bottom, pen);
            previous = q;
            joined = true;
        }
        p.NoFill();
    };
    for (const std::vector<double>& b : d.background)
        joinPoints(b, {{190, 200, 225}}, 0, false);
    // Each series as points joined where neighbouring bands both have a value.
    for (std::size_t s = 0; s < d.series.size(); ++s) {
        const int curve = d.series.size() == 1 ? 0 : static_cast<int>(s);
        joinPoints(d.series[s], CurvePen(curve, s == 0 ? 2 : 1), s == 0 ? 3 : 2, true);
    }
    // Names of the series in the top right corner.
    if (d.series.size() > 1) {
        int y = plot.y + 4;
        for (std::size_t s = 0; s < d.names.size(); ++s) {
            const int x = plot.Right() - p.TextExtent(d.names[s]).width - 28;
            p.SetPen(CurvePen(static_cast<int>(s), 2));
            p.Line(x - 22, y + p.CharHeight() / 2, x - 4, y + p.CharHeight() / 2);
            p.Text(d.names[s], x, y);
            y += p.CharHeight() + 2;
        }
    }
}

void CurveGraph::Draw(Painter& p, const Box& plot) const {
    const ValueRange range = FactorRange(y, false, false);
    DrawValueAxis(p, plot, range.top, range.bottom, range.step, yTitle);
    if (x.empty()) return;
    const double x0 = x.front(), x1 = std::max(x.back(), x0 + 1);
    auto column = [&](double v) {
        return plot.x + static_cast<int>((v - x0) / (x1 - x0) * plot.width);
    };
    DrawHorizontalAxis(p, plot, x0, x1, xTitle);
    DrawCurve(p, plot, range, y, std::min(x.size(), y.size()),
              [&](std::size_t k) { return column(x[k]); });
    if (range.any && marker >= x0 && marker <= x1) {
        p.SetPen({kMarkerColour});
        p.Line(column(marker), plot.y, column(marker), plot.Bottom());
    }
}

int TimeGraph::Column(double time, const Box& plot) const {
    return MarkerColumn(time, view, plot.x, plot.width);
}

void TimeGraph::Draw(Painter& p, const Box& plot) const {
    // Time ticks first, so that curves lie over the grid.
    int labelEvery = 1;
    for (const Tick& t : TimeAxisTicks(view, plot.x, plot.width, nullptr, &labelEvery)) {
        if (t.labelled) {
            if (t.column > plot.x) {
                p.SetPen({kGrid});
                p.Line(t.column, plot.y + 1, t.column, plot.Bottom() - 1);
            }
            p.Text(t.label, t.column - p.TextExtent(t.label).width / 2, plot.Bottom() + 3);
        } else {
            p.SetPen({kFineGrid});
            p.Line(t.column, plot.y + 1, t.column, plot.Bottom() - 1);
        }
    }
    const std::string title = "Time [ms]";
    p.Text(title, plot.x + (plot.width - p.TextExtent(title).width) / 2,
           plot.Bottom() + 3 + p.CharHeight());
    DrawData(p, plot);
    p.Unclip();
}

void TimeGraph::DrawSamples(Painter& p, const Box& plot, const float* values, std::size_t count,
                            double rate, double t0, double top, double bottom) const {
    if (!values || count == 0 || !(view.width > 0) || !(rate > 0)) return;
    const double from = (view.start - t0) * rate, to = (view.start + view.width - t0) * rate;
    const std::size_t first =
        static_cast<std::size_t>(std::clamp(std::floor(from), 0.0, static_cast<double>(count)));
    const std::size_t last =
        static_cast<std::size_t>(std::clamp(std::ceil(to) + 1, 0.0, static_cast<double>(count)));
    if (last <= first) return;
    auto row = [&](float v) { return RowOf(v, plot, top, bottom); };
    if (last - first <= static_cast<std::size_t>(2 * plot.width)) {
        std::vector<PixelPoint> run;
        auto flush = [&] {
            if (run.size() == 1) p.Point(run[0].x, run[0].y);
            p.Polyline(run);
            run.clear();
        };
        for (std::size_t i = first; i < last; ++i) {
            if (Gap(values[i])) {
                flush();
                continue;
            }
            run.push_back({Column(t0 + i / rate, plot), row(values[i])});
        }
        flush();
        return;
    }
    // Many samples per column: the range of each column, joined to the next.
    int previousY = -1;
    std::size_t i = first;
    for (int c = 0; c <= plot.width && i < last; ++c) {
        const double end = from + (c + 1) * (to - from) / plot.width;
        float lo = 0, hi = 0;
        bool any = false;
        for (; i < last && static_cast<double>(i) < end; ++i) {
            const float v = values[i];
            if (Gap(v)) continue;
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
        if (!any) {
            previousY = -1;
            continue;
        }
        const int x = plot.x + c, yHi = row(hi), yLo = row(lo);
        if (previousY >= 0) p.Line(x - 1, previousY, x, previousY < yHi ? yHi : yLo);
        p.Line(x, yHi, x, yLo + 1);
        previousY = row(values[i - 1]);
    }
}

void ImpulseGraph::SetSamples(std::vector<float> values, double rate, double scale) {
    const double peak = scale > 0 ? scale : 1;
    for (float& v : values)
        v = static_cast<float>(v / peak);
    samples = std::move(values);
    fs = rate > 0 ? rate : 1;
}

void ImpulseGraph::DrawData(Painter& p, const Box& plot) const {
    DrawValueAxis(p, plot, 1, -1, 0.5, title);
    p.Clip({plot.x, plot.y, plot.width + 1, plot.height + 1});
    p.SetPen(CurvePen(0));
    DrawSamples(p, plot, samples.data(), samples.size(), fs, 0, 1, -1);
    if (samples.empty()) return;
    static const char* const kNames[] = {"Direct", "Reflection"};
    for (int which = 0; which < 2; ++which) {
        const int x = Column((which == 0 ? directMs : reflectionMs) / 1000, plot);
        const Colour c = which == 0 ? kGreen : kMarkerColour;
        p.SetPen({c, 1, true});
        p.Line(x, plot.y, x, plot.Bottom());
        p.SetTextColour(c);
        p.Text(kNames[which], x + 3, plot.y + 2 + which * p.CharHeight());
        p.SetTextColour(kBlack);
    }
}

std::vector<LegendEntry> DecayGraph::Legend() const {
    if (echo) return {};
    std::vector<LegendEntry> legend;
    if (!display.withNoise.empty()) legend.push_back({CurvePen(0, 2), "With Noise Correction"});
    legend.push_back({CurvePen(2, 1), "Without Noise Correction"});
    legend.push_back({{kMarkerColour, 1, true}, "Regression Line"});
    return legend;
}

void DecayGraph::DrawData(Painter& p, const Box& plot) const {
    const Box clip{plot.x, plot.y, plot.width + 1, plot.height + 1};
    if (echo) {
        DrawValueAxis(p, plot, 1, 0, 0.2, "Echo Time Pattern");
        p.Clip(clip);
        p.SetPen(CurvePen(0));
        DrawSamples(p, plot, display.echo.data(), display.echo.size(), fs, 0, 1, 0);
        return;
    }
    const double top = 0, bottom = -80;
    DrawValueAxis(p, plot, top, bottom, 10, "Schroeder Integtation [dB]");
    p.Clip(clip);
    // The curves are 0 dB at the first reflection and start there.
    const std::size_t k1 = static_cast<std::size_t>(std::max(0.0, display.t1Ms * 0.001 * fs));
    auto from = [&](const std::vector<float>& c) {
        return c.size() > k1 ? c.data() + k1 : nullptr;
    };
    const double t1 = static_cast<double>(k1) / fs;
    const std::size_t rest =
        display.withoutNoise.size() > k1 ? display.withoutNoise.size() - k1 : 0;
    p.SetPen(CurvePen(2, 1));
    DrawSamples(p, plot, from(display.withoutNoise), rest, fs, t1, top, bottom);
    p.SetPen(CurvePen(0, 2));
    DrawSamples(p, plot, from(display.withNoise), display.withNoise.empty() ? 0 : rest, fs, t1, top,
                bottom);
    if (display.slope != 0 && rest > 0) {
        // level = slope x (t - t1) from 0 dB at the first reflection down to the axis bottom.
        const double tEnd = t1 + bottom / display.slope;
        p.SetPen({kMarkerColour, 1, true});
        p.Line(Column(t1, plot), RowOf(0, plot, top, bottom), Column(tEnd, plot),
               RowOf(bottom, plot, top, bottom));
    }
}

void FittedDecayGraph::Draw(Painter& p, const Box& plot) const {
    // Down to the lowest point of the curve in steps of 10 dB, at least 60 dB and at most 100.
    double lowest = -60;
    for (double v : level)
        lowest = std::min(lowest, v);
    const double bottom = std::max(-100.0, std::floor(lowest / 10) * 10);
    DrawValueAxis(p, plot, 0, bottom, 10, "Decay [dB]");
    if (t.empty()) return;
    const double end = std::max(t.back(), 1e-3);
    DrawHorizontalAxis(p, plot, 0, end, "Time after onset [s]");
    auto x = [&](double s) {
        return plot.x + static_cast<int>(std::clamp(s / end, 0.0, 1.0) * plot.width);
    };
    auto y = [&](double dB) { return RowOf(dB, plot, 0, bottom); };
    std::vector<PixelPoint> points;
    points.reserve(t.size());
    for (std::size_t k = 0; k < t.size() && k < level.size(); ++k)
        points.push_back({x(t[k]), y(level[k])});
    p.Clip({plot.x, plot.y, plot.width + 1, plot.height + 1});
    p.SetPen(CurvePen(0));
    if (points.size() > 1) p.Polyline(points);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        p.SetPen(CurvePen(static_cast<int>(k) + 1, p.FromDip(2)));
        p.Line(x(lines[k].t0), y(lines[k].level0), x(lines[k].t1), y(lines[k].level1));
    }
    p.Unclip();
    // Bottom left, where the decay has left the plot empty.
    p.SetTextColour({0, 0, 0});
    p.Text(title, plot.x + p.FromDip(6), plot.Bottom() - p.FromDip(20));
}

std::vector<LegendEntry> FittedDecayGraph::Legend() const {
    std::vector<LegendEntry> entries;
    for (std::size_t k = 0; k < lines.size(); ++k)
        entries.push_back({CurvePen(static_cast<int>(k) + 1, 2), lines[k].name});
    return entries;
}

std::vector<LegendEntry> RunningAcfGraph::Legend() const {
    if (logarithm)
        return {{CurvePen(0, 1), "log |Phi(Tau)|"},
                {{kMarkerColour, 1, true}, "Regression Line"},
                {{kGreen, 1}, "Tau-e"}};
    return {{CurvePen(0, 1), "Phi(Tau)"}, {{kGreen, 1}, "Tau1"}};
}

void RunningAcfGraph::DrawData(Painter& p, const Box& plot) const {
    const AcfFactorRecord& f = stored;
    const Box clip{plot.x, plot.y, plot.width + 1, plot.height + 1};
    if (!logarithm) {
        DrawValueAxis(p, plot, 1, -1, 0.2, "Phi(Tau)");
        p.Clip(clip);
        p.SetPen(CurvePen(0));
        DrawSamples(p, plot, frame.phi.data(), frame.phi.size(), fs, 0, 1, -1);
        if (f.tau1 > 0 && std::isfinite(f.tau1)) {
            const int x = Column(f.tau1, plot);
            p.SetPen({kGreen, 1, true});
            p.Line(x, plot.y, x, plot.Bottom());
            p.SetFill(kGreen);
            p.Circle(x, RowOf(f.phi1, plot, 1, -1), 3);
            p.NoFill();
        }
        return;
    }
    DrawValueAxis(p, plot, 0, -15, 5, "log |Phi(Tau)| [dB]");
    p.Clip(clip);
    const AcfEnvelope& e = frame.envelope;
    p.SetPen(CurvePen(0, 2));
    p.SetFill(CurvePen(0).colour);
    const int count =
        std::min<int>(e.count, static_cast<int>(std::min(e.time.size(), e.level.size())));
    for (int k = 0; k < count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        const PixelPoint q{Column(e.time[i], plot), RowOf(e.level[i], plot, 0, -15)};
        if (k > 0)
            p.Line(Column(e.time[i - 1], plot), RowOf(e.level[i - 1], plot, 0, -15), q.x, q.y);
        p.Circle(q.x, q.y, 2);
    }
    p.NoFill();
    // The regression line through the envelope, and tau-e where it reaches -10 dB.
    if (!Gap(f.tauE) && !Gap(f.intercept) && f.tauE != 0) {
        const double slope = (-10.0 - f.intercept) / f.tauE;
        if (slope != 0 && std::isfinite(slope)) {
            const double tEnd = (-15.0 - f.intercept) / slope;
            p.SetPen({kMarkerColour, 1, true});
            p.Line(Column(0, plot), RowOf(f.intercept, plot, 0, -15), Column(tEnd, plot),
                   RowOf(-15, plot, 0, -15));
            const int x = Column((-10.0 - f.intercept) / slope, plot);
            p.SetPen({kGreen, 1});
            p.Line(x, plot.y, x, plot.Bottom());
        }
    }
}

void LagGraph::Draw(Painter& p, const Box& plot) const {
    DrawValueAxis(p, plot, 1, -1, 0.2, "IACF");
    // The lags the function was computed for: +-1 ms for a running frame, nearly +-2 ms for an
    // impulse response, whose WIACC span can reach past 1 ms.
    double reach = 1.0;
    if (!values.empty() && fs > 0) {
        const double last = std::max<double>(centre, values.size() - 1 - centre);
        reach = std::clamp(std::ceil(last / fs * 1000 * 10 - 1e-9) / 10, 1.0, 50.0);
    }
    DrawHorizontalAxis(p, plot, -reach, reach, "Tau [ms]");
    auto column = [&](double ms) {
        return plot.x + static_cast<int>(std::lround(
                            std::clamp((ms + reach) / (2 * reach), -1.0, 2.0) * plot.width));
    };
    p.Clip(plot);
    p.SetPen(CurvePen(0, 2));
    std::vector<PixelPoint> run;
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (Gap(values[k])) {
            p.Polyline(run);
            run.clear();
            continue;
        }
        const double ms = (static_cast<double>(k) - centre) / fs * 1000;
        run.push_back({column(ms), RowOf(values[k], plot, 1, -1)});
    }
    p.Polyline(run);
    if (iacc != -1000 && std::isfinite(iacc)) {
        // IACC at tau-IACC, and the WIACC span at (1 - delta) x IACC.
        const int x = column(tauMs), y = RowOf(iacc, plot, 1, -1);
        p.SetPen({kMarkerColour, 1, true});
        p.Line(x, plot.y, x, plot.Bottom());
        p.SetFill(kMarkerColour);
        p.Circle(x, y, 3);
        p.NoFill();
        const int yw = RowOf((1 - delta) * iacc, plot, 1, -1);
        p.SetPen({kGreen, 2});
        p.Line(column(tauMs - leftMs), yw, column(tauMs + rightMs), yw);
        char text[128];
        std::snprintf(text, sizeof text, "IACC %.2f   Tau-IACC %.3f ms   WIACC %.3f ms", iacc,
                      tauMs, leftMs + rightMs);
        p.Text(text, plot.x + 6, plot.Bottom() - p.CharHeight() - 4);
    }
    p.Unclip();
}

void SpectrumGraph::Draw(Painter& p, const Box& plot) const {
    DrawValueAxis(p, plot, 0, -160, 20, name + " [dB]");
    if (!(fs > 20) || !std::isfinite(fs)) return;
    const PlotArea area{plot.x, plot.y, plot.width, plot.height};
    // Decades and their 2 and 5 from 10 Hz to fs/2.
    const double span = std::log(fs / 2) - std::log(10.0);
    for (double decade = 10; decade < fs / 2; decade *= 10)
        for (double m : {1.0, 2.0, 5.0}) {
            const double f = decade * m;
            if (f > fs / 2) break;
            const int x =
                plot.x + static_cast<int>((std::log(f) - std::log(10.0)) * plot.width / span);
            p.SetPen({m == 1 ? kGrid : kFineGrid});
            if (x > plot.x) p.Line(x, plot.y + 1, x, plot.Bottom() - 1);
            const std::string label = f >= 1000 ? Printf("%gk", f / 1000) : Printf("%g", f);
            p.Text(label, x - p.TextExtent(label).width / 2, plot.Bottom() + 3);
        }
    const std::string title = "Frequency [Hz]";
    p.Text(title, plot.x + (plot.width - p.TextExtent(title).width) / 2,
           plot.Bottom() + 3 + p.CharHeight());
    const std::vector<PixelPoint> points =
        SpectrumPoints(power.data(), static_cast<std::int32_t>(power.size()), fs, area, smoothing);
    p.Clip({plot.x, plot.y, plot.width + 1, plot.height + 1});
    p.SetPen(CurvePen(0));
    // The points of one column joined to each other cover the span of their rows, so each column
    // is drawn as that span and one line to the next column: a few hundred lines instead of
    // tens of thousands, with the same pixels.
    std::size_t i = 0;
    PixelPoint last;
    while (i < points.size()) {
        const int x = points[i].x;
        int lo = points[i].y, hi = points[i].y;
        if (i > 0) p.Line(last.x, last.y, x, points[i].y);
        std::size_t j = i;
        for (; j < points.size() && points[j].x == x; ++j) {
            lo = std::min(lo, points[j].y);
            hi = std::max(hi, points[j].y);
        }
        p.Line(x, lo, x, hi + 1);
        last = {x, points[j - 1].y};
        i = j;
    }
    p.Unclip();
}

}  // namespace vesk
