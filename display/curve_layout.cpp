#include "display/curve_layout.h"

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

ParameterPlot ParameterSeries(const std::vector<ResultRow>& rows, int channels,
                              ShownParameter choice) {
    struct Axis {
        double top, bottom, step;
        const char* title;
        std::vector<int> mono, stereo;  // list columns of the series
    };
    // List columns: one channel Freq, SPL, dt1, A, Tsub; two channels Freq, SPL-LR, SPL-L,
    // SPL-R, dt1 x 3, A x 3, Tsub x 3, IACC, TIACC, WIACC, S.
    static const Axis kAxes[] = {
        {80, -80, 10, "SPL [dB]", {1}, {1, 2, 3}},   {20, 0, 1, "A-value", {3}, {7, 8, 9}},
        {10, 0, 1, "Tsub [sec]", {4}, {10, 11, 12}}, {1, 0, 0.1, "IACC", {}, {13}},
        {2, -2, 0.2, "TIACC [ms]", {}, {14}},        {10, 0, 1, "WIACC [ms]", {}, {15}},
    };
    const Axis& a = kAxes[static_cast<int>(choice)];
    ParameterPlot plot;
    plot.top = a.top;
    plot.bottom = a.bottom;
    plot.step = a.step;
    plot.title = a.title;
    const std::vector<int>& columns = channels == 1 ? a.mono : a.stereo;
    static const char* const kNames[] = {"L+R", "Left", "Right"};
    for (std::size_t s = 0; s < columns.size(); ++s) {
        plot.names.push_back(columns.size() == 1 ? (channels == 1 ? "Left" : a.title) : kNames[s]);
        std::vector<double> values;
        for (const ResultRow& r : rows) {
            const std::size_t c = static_cast<std::size_t>(columns[s]);
            values.push_back(c < r.values.size() ? r.values[c] : -1000.0);
        }
        plot.series.push_back(std::move(values));
    }
    for (const ResultRow& r : rows)
        plot.labels.push_back(r.texts.empty() ? std::string() : r.texts[0]);
    return plot;
}

int BandColumn(std::size_t k, std::size_t count, const PlotArea& plot) {
    return plot.left + static_cast<int>((k + 0.5) * plot.width / static_cast<double>(count));
}

}  // namespace vesk
