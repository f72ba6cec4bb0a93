#include "display/curve_layout.h"

#include <gtest/gtest.h>

#include <vector>

#include "impulse/impulse_analysis.h"

namespace vesk {
namespace {

const PlotArea kPlot{50, 10, 600, 320};

TEST(SpectrumLayout, ColumnsRowsAndSmoothing) {
    // Hand-computed: left + trunc((ln(k fs / n) - ln 10) x 600 / (ln 24000 - ln 10) + 0.5).
    EXPECT_EQ(SpectrumColumn(1, 48000, 1024, kPlot), 169);
    EXPECT_EQ(SpectrumColumn(2, 48000, 1024, kPlot), 223);
    EXPECT_EQ(SpectrumColumn(100, 48000, 1024, kPlot), 524);
    EXPECT_EQ(SpectrumColumn(511, 48000, 1024, kPlot), 650);
    // top + trunc(10 log10(P) x 320 / -160 + 0.5); 0 dB on the top, nothing at the bottom.
    EXPECT_EQ(SpectrumRow(1.0, kPlot), 10);
    EXPECT_EQ(SpectrumRow(1e-4, kPlot), 90);
    EXPECT_EQ(SpectrumRow(0.5, kPlot), 16);
    EXPECT_EQ(SpectrumRow(0.0, kPlot), 330);
    EXPECT_EQ(SpectrumRow(-1.0, kPlot), 330);

    // Without smoothing one point per bin, repeats on the same pixel left out: a flat spectrum
    // has one point per distinct column (223 of the 511 bins at this width).
    std::vector<float> flat(1024, 1e-4f);
    const std::vector<PixelPoint> raw = SpectrumPoints(flat.data(), 1024, 48000, kPlot, false);
    ASSERT_EQ(raw.size(), 223u);
    EXPECT_EQ(raw.front(), (PixelPoint{169, 90}));
    EXPECT_EQ(raw.back(), (PixelPoint{650, 90}));
    // Alternating powers in the crowded top columns: raw keeps both rows, smoothing their mean.
    std::vector<float> zigzag(1024);
    for (std::size_t k = 0; k < zigzag.size(); ++k)
        zigzag[k] = k % 2 ? 1e-4f : 3e-4f;
    const std::vector<PixelPoint> smooth = SpectrumPoints(zigzag.data(), 1024, 48000, kPlot, true);
    ASSERT_EQ(smooth.size(), 223u);
    EXPECT_EQ(smooth.back().x, 650);
    // Column 649 holds bins 503..508 (mean 2e-4, row 84), column 650 bins 509..511 (mean
    // 1.667e-4, row 86).
    EXPECT_EQ(smooth[smooth.size() - 2], (PixelPoint{649, 84}));
    EXPECT_EQ(smooth.back(), (PixelPoint{650, 86}));
    EXPECT_GT(SpectrumPoints(zigzag.data(), 1024, 48000, kPlot, false).size(), 223u);

    // Bins under 10 Hz are not drawn; a spectrum too short or a rate too low gives nothing.
    EXPECT_EQ(SpectrumPoints(flat.data(), 1024, 8000, kPlot, false).front().x,
              SpectrumColumn(2, 8000, 1024, kPlot));
    EXPECT_TRUE(SpectrumPoints(flat.data(), 2, 48000, kPlot, false).empty());
    EXPECT_TRUE(SpectrumPoints(nullptr, 1024, 48000, kPlot, true).empty());
}

TEST(ParameterLayout, SeriesAndFixedAxes) {
    AcParamRecord r;
    r.nData = 2;
    r.bands[0] = {0, -10, -12, 3, 5, 1.5, 2.5, 0.4, 0.1, 0.2};
    r.bands[1] = {1, -20, kNoValue, 2, 4, 1.0, 2.0, 0.3, -0.2, 0.5};
    const std::vector<ResultRow> rows = AcousticParameterRows(r, 2, 6.0);

    const ParameterPlot spl = ParameterSeries(rows, 2, ShownParameter::Spl);
    EXPECT_EQ(spl.top, 80);
    EXPECT_EQ(spl.bottom, -80);
    EXPECT_EQ(spl.step, 10);
    EXPECT_EQ(spl.title, "SPL [dB]");
    ASSERT_EQ(spl.series.size(), 3u);  // listening level, left, right, with the offset
    EXPECT_NEAR(spl.series[0][0], ListeningLevel(-10, -12) + 6, 1e-9);
    EXPECT_EQ(spl.series[1][0], -4);
    EXPECT_EQ(spl.series[2][0], -6);
    EXPECT_EQ(spl.series[0][1], kNoValue);  // a silent right channel leaves a gap
    EXPECT_EQ(spl.series[2][1], kNoValue);
    EXPECT_EQ(spl.labels, (std::vector<std::string>{"All(F)", "16"}));

    const ParameterPlot a = ParameterSeries(rows, 2, ShownParameter::AValue);
    EXPECT_EQ(a.series[0][0], 4);  // (AL + AR) / 2
    EXPECT_EQ(a.top, 20);
    const ParameterPlot t = ParameterSeries(rows, 2, ShownParameter::TauIacc);
    EXPECT_EQ(t.top, 2);
    EXPECT_EQ(t.bottom, -2);
    EXPECT_DOUBLE_EQ(t.step, 0.2);
    ASSERT_EQ(t.series.size(), 1u);
    EXPECT_DOUBLE_EQ(t.series[0][1], -0.2);
    const ParameterPlot w = ParameterSeries(rows, 2, ShownParameter::Wiacc);
    EXPECT_EQ(w.title, "WIACC [ms]");
    EXPECT_DOUBLE_EQ(w.series[0][0], 0.2);

    // One channel: SPL, A and Tsub of the left channel; no interaural series.
    const std::vector<ResultRow> mono = AcousticParameterRows(r, 1, 0.0);
    const ParameterPlot tsub = ParameterSeries(mono, 1, ShownParameter::Tsub);
    ASSERT_EQ(tsub.series.size(), 1u);
    EXPECT_EQ(tsub.series[0][0], 1.5);
    EXPECT_EQ(tsub.top, 10);
    EXPECT_TRUE(ParameterSeries(mono, 1, ShownParameter::Iacc).series.empty());

    // Band columns: the middle of each share.
    EXPECT_EQ(BandColumn(0, 2, kPlot), 200);
    EXPECT_EQ(BandColumn(1, 2, kPlot), 500);
}

}  // namespace
}  // namespace vesk
