// The result graphs without a window: each holds its data and draws itself on a painter, so the
// desktop, the graph files and the reports show the same picture.
#pragma once

#include <string>
#include <vector>

#include "acf/running_acf.h"
#include "impulse/impulse_analysis.h"
#include "plot/curve_layout.h"
#include "plot/graph_view.h"
#include "plot/painter.h"
#include "store/records.h"

namespace vesk {

// The colour of the arrow that marks a value beyond a fixed axis.
constexpr Colour kClippedColour{230, 120, 0};
constexpr Colour kMarkerColour{220, 40, 40};
constexpr Colour kGreen{40, 150, 60};

// The pens of the curves: the mean or only curve, left, right, and further curves.
Pen CurvePen(int index, int width = 1);

struct LegendEntry {
    Pen pen;
    std::string name;
};

// The plot rectangle inside a graph of width x height, leaving room for labels and titles.
Box GraphPlotBox(int width, int height, Painter& painter);

class Graph {
  public:
    virtual ~Graph() = default;
    virtual void Draw(Painter& painter, const Box& plot) const = 0;
    // The names of the curves; the desktop shows them in a frame the user can move.
    virtual std::vector<LegendEntry> Legend() const { return {}; }
};

// The whole picture: white ground, the graph and, with `legend`, its legend at the top right.
void PaintGraph(Painter& painter, const Graph& graph, int width, int height, bool legend);
// Graphs stacked top to bottom in equal shares of width x height.
void PaintGraphs(Painter& painter, const std::vector<const Graph*>& graphs, int width, int height,
                 bool legend);
// A legend frame with its top left corner at (x, y); the size it takes.
Extent LegendSize(Painter& painter, const std::vector<LegendEntry>& entries);
void DrawLegend(Painter& painter, const std::vector<LegendEntry>& entries, int x, int y,
                bool frame = true);

// The row of a value on a value axis from `top` to `bottom`, kept inside the plot.
int RowOf(double value, const Box& plot, double top, double bottom);
void DrawValueAxis(Painter& p, const Box& plot, double top, double bottom, double step,
                   const std::string& title);
// Ticks at a round step from `from` to `to`, labelled with "%g", and the axis title.
void DrawHorizontalAxis(Painter& p, const Box& plot, double from, double to,
                        const std::string& title);

// One factor over the running time of a recording, one value per frame, with a cursor at the
// current frame. Values of -1000 ("no value") and non-finite values are gaps.
class FactorGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    std::string title;
    bool levels = false, unitTop = false;  // see FactorRange
    std::vector<double> values;
    double step = 0.1;
    int frame = 0;
    bool cursor = true;
};

// A curve over a numeric axis (the preference over tau-e), with a marker at one x.
class CurveGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    std::vector<double> x, y;
    double marker = 0;
    std::string xTitle, yTitle;
};

// One value per frequency band and series.
class BandGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    ParameterPlot data;
};

// A graph whose horizontal axis is a visible window of time with ticks in milliseconds.
class TimeGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    int Column(double time, const Box& plot) const;
    TimeView view;

  protected:
    virtual void DrawData(Painter& p, const Box& plot) const = 0;
    // values[i] at time t0 + i / rate inside the view; columns holding many samples show their
    // range. -1000 and non-finite values are gaps.
    void DrawSamples(Painter& p, const Box& plot, const float* values, std::size_t count,
                     double rate, double t0, double top, double bottom) const;
};

// The impulse response of one channel with its direct-sound and first-reflection markers.
class ImpulseGraph : public TimeGraph {
  public:
    std::string title;
    std::vector<float> samples;  // divided by the scale
    double fs = 1, directMs = 0, reflectionMs = 0;
    // Scales the samples so that `scale` is drawn as 1.
    void SetSamples(std::vector<float> values, double rate, double scale);

  protected:
    void DrawData(Painter& p, const Box& plot) const override;
};

// Decay curves and the regression line of the reverberation page, or its echo time pattern.
class DecayGraph : public TimeGraph {
  public:
    bool echo = false;
    DecayDisplay display;
    double fs = 1;
    std::vector<LegendEntry> Legend() const override;

  protected:
    void DrawData(Painter& p, const Box& plot) const override;
};

// A backward-integrated decay from its onset (0 dB) with straight fitted lines over it (the
// EDT, T20 and T30 lines of the ISO 3382 page).
class FittedDecayGraph : public Graph {
  public:
    struct FitLine {
        std::string name;
        double t0 = 0, level0 = 0, t1 = 0, level1 = 0;  // s after the onset, dB
    };
    void Draw(Painter& p, const Box& plot) const override;
    std::vector<LegendEntry> Legend() const override;
    std::string title;
    std::vector<double> t, level;
    std::vector<FitLine> lines;
};

// The running ACF of a frame, linear or logarithmic, with tau1, phi1, tau-e and the regression
// line of its stored factors.
class RunningAcfGraph : public TimeGraph {
  public:
    AcfFrameView frame;
    AcfFactorRecord stored;
    double fs = 1;
    bool logarithm = false;
    std::vector<LegendEntry> Legend() const override;

  protected:
    void DrawData(Painter& p, const Box& plot) const override;
};

// A normalised correlation over lag with IACC, tau-IACC and the WIACC span.
class LagGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    std::vector<float> values;  // values[k] at lag (k - centre) / fs
    int centre = 0;
    double fs = 1, iacc = -1000, tauMs = 0, leftMs = 0, rightMs = 0, delta = 0;
};

// Level spectrum of one channel on a logarithmic frequency axis.
class SpectrumGraph : public Graph {
  public:
    void Draw(Painter& p, const Box& plot) const override;
    std::string name;
    std::vector<float> power;  // divided by the transform length
    double fs = 0;
    bool smoothing = false;
};

}  // namespace vesk
