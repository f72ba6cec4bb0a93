// Where the curves of the result pages fall, without a window: the spectrum's logarithmic
// frequency columns and level rows, and the band columns of the parameter graph.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct PlotArea {
    int left = 0, top = 0, width = 1, height = 1;
};

struct PixelPoint {
    int x = 0, y = 0;
    bool operator==(const PixelPoint&) const = default;
};

// Bin k of an n-point spectrum at fs on the axis from 10 Hz to fs/2 (logarithmic).
int SpectrumColumn(std::int32_t k, double fs, std::int32_t n, const PlotArea& plot);
// A power on the axis from 0 dB (top) to -160 dB (bottom); a power that is not positive lies on
// the bottom edge.
int SpectrumRow(double power, const PlotArea& plot);

// The points of a spectrum (bins 1 .. n/2 - 1 at 10 Hz and above; `power` already divided by
// n). Without smoothing one point per bin, a point on the pixel of the previous one left out;
// with smoothing one point per column at the mean power of its bins.
std::vector<PixelPoint> SpectrumPoints(const float* power, std::int32_t n, double fs,
                                       const PlotArea& plot, bool smoothing);

enum class ShownParameter { Spl, AValue, Tsub, Iacc, TauIacc, Wiacc };

// A graph of values per band: a fixed value axis and one series per curve (for two channels
// the mean first, then left and right), one value per band entry in stored order.
struct ParameterPlot {
    double top = 0, bottom = 0, step = 1;
    std::string title;
    std::vector<std::string> names;
    std::vector<std::vector<double>> series;  // -1000: no value
    std::vector<std::string> labels;          // one per band
    // Drawn thin and pale behind the series (single measurements behind a mean).
    std::vector<std::vector<double>> background;
};

// The axis of a parameter: top, bottom, step and title.
ParameterPlot ParameterAxis(ShownParameter choice);

// The column of band entry k of `count` across the plot: the middle of its share.
int BandColumn(std::size_t k, std::size_t count, const PlotArea& plot);

}  // namespace vesk
