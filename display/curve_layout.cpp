#include "display/curve_layout.h"

namespace vesk {

ParameterPlot ParameterSeries(const std::vector<ResultRow>& rows, int channels,
                              ShownParameter choice) {
    // List columns: one channel Freq, SPL, dt1, A, Tsub; two channels Freq, SPL-LR, SPL-L,
    // SPL-R, dt1 x 3, A x 3, Tsub x 3, IACC, TIACC, WIACC, S.
    static const std::vector<int> kMono[] = {{1}, {3}, {4}, {}, {}, {}};
    static const std::vector<int> kStereo[] = {{1, 2, 3}, {7, 8, 9}, {10, 11, 12},
                                               {13},      {14},      {15}};
    ParameterPlot plot = ParameterAxis(choice);
    const std::vector<int>& columns = (channels == 1 ? kMono : kStereo)[static_cast<int>(choice)];
    static const char* const kNames[] = {"L+R", "Left", "Right"};
    for (std::size_t s = 0; s < columns.size(); ++s) {
        plot.names.push_back(columns.size() == 1 ? (channels == 1 ? "Left" : plot.title)
                                                 : kNames[s]);
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

}  // namespace vesk
