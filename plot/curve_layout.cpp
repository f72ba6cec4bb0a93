#include "plot/curve_layout.h"

#include <cmath>

namespace vesk {

int SpectrumColumn(std::int32_t k, double fs, std::int32_t n, const PlotArea& plot) {
    const double f = k * fs / n;
    return plot.left + static_cast<int>(std::trunc((std::log(f) - std::log(10.0)) * plot.width /
                                                       (std::log(fs / 2) - std::log(10.0)) +
                                                   0.5));
}

int SpectrumRow(double power, const PlotArea& plot) {
    if (!(power > 0)) return plot.top + plot.height;
    if (!std::isfinite(power)) return plot.top;
    return plot.top +
           static_cast<int>(std::trunc(10.0 * std::log10(power) * plot.height / -160.0 + 0.5));
}

std::vector<PixelPoint> SpectrumPoints(const float* power, std::int32_t n, double fs,
                                       const PlotArea& plot, bool smoothing) {
    std::vector<PixelPoint> points;
    if (!power || n < 4 || !(fs > 20)) return points;
    std::int32_t k = 1;
    while (k < n / 2 && k * fs / n < 10.0)
        ++k;
    if (!smoothing) {
        for (; k < n / 2; ++k) {
            const PixelPoint p{SpectrumColumn(k, fs, n, plot), SpectrumRow(power[k], plot)};
            if (points.empty() || !(points.back() == p)) points.push_back(p);
        }
        return points;
    }
    while (k < n / 2) {
        const int x = SpectrumColumn(k, fs, n, plot);
        double sum = 0;
        int count = 0;
        for (; k < n / 2 && SpectrumColumn(k, fs, n, plot) == x; ++k, ++count)
            sum += power[k];
        points.push_back({x, SpectrumRow(sum / count, plot)});
    }
    return points;
}

namespace {

struct Axis {
    double top, bottom, step;
    const char* title;
};
const Axis kAxes[] = {
    {80, -80, 10, "SPL [dB]"}, {20, 0, 1, "A-value"},      {10, 0, 1, "Tsub [sec]"},
    {1, 0, 0.1, "IACC"},       {2, -2, 0.2, "TIACC [ms]"}, {10, 0, 1, "WIACC [ms]"},
};

}  // namespace

ParameterPlot ParameterAxis(ShownParameter choice) {
    const Axis& a = kAxes[static_cast<int>(choice)];
    ParameterPlot plot;
    plot.top = a.top;
    plot.bottom = a.bottom;
    plot.step = a.step;
    plot.title = a.title;
    return plot;
}

int BandColumn(std::size_t k, std::size_t count, const PlotArea& plot) {
    return plot.left + static_cast<int>((k + 0.5) * plot.width / static_cast<double>(count));
}

}  // namespace vesk
