// What the ISO 3382 page shows, on decays with a known reverberation time.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "plot/iso_view.h"

namespace vesk {
namespace {

// Exponentially decaying noise with T = `seconds`, after `silence` s of leading silence, over a
// noise floor `floorDb` below the peak; 48 kHz, 2 s, normalised to full scale.
std::vector<float> Decay(double seconds, double floorDb, double silence, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    const double fs = 48000;
    std::vector<float> x(96000);
    const std::size_t start = static_cast<std::size_t>(silence * fs);
    const double floor = std::pow(10.0, floorDb / 20);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = (static_cast<double>(i) - static_cast<double>(start)) / fs;
        const double envelope = i >= start ? std::pow(10.0, -3.0 * t / seconds) : 0.0;
        x[i] = static_cast<float>(0.25 * (envelope + floor) * g(random));
    }
    return x;
}

AcParamRecord Octaves(std::initializer_list<int> bands) {
    AcParamRecord r;
    r.freqBand = 0;
    r.bands[0].freq = 0;
    int k = 1;
    for (int b : bands)
        r.bands[static_cast<std::size_t>(k++)].freq = b;
    r.nData = k;
    return r;
}

TEST(IsoDisplay, DecayCurveFollowsItsFittedLines) {
    const std::vector<float> left = Decay(1.0, -60, 0.05, 1), right = Decay(1.0, -60, 0.05, 2);
    IsoResultRecord iso;
    // Octave indices 6 and 7 are 500 Hz and 1 kHz in the stored band table.
    ASSERT_TRUE(ComputeIsoForDisplay(left, right, 48000, Octaves({6, 7}), &iso));
    ASSERT_EQ(iso.channels, 2);
    ASSERT_EQ(iso.bands.size(), 3u);  // broadband, 500 Hz, 1 kHz
    EXPECT_EQ(iso.bands[2].nominalCentre, 1000);
    for (std::size_t band = 0; band < iso.bands.size(); ++band) {
        for (int ear = 0; ear < 2; ++ear) {
            const FittedDecayGraph c = IsoDecayOf(ear ? right : left, 48000, iso, band, ear);
            ASSERT_GT(c.t.size(), 100u) << "band " << band;
            EXPECT_NEAR(c.level.front(), 0, 1e-9);
            ASSERT_EQ(c.lines.size(), 3u) << "band " << band;
            // The curve the page draws is the one the lines were fitted to: it meets them at
            // both ends of their ranges.
            for (const FittedDecayGraph::FitLine& l : c.lines) {
                std::size_t j = 0;
                while (j + 1 < c.t.size() && c.t[j] < l.t0)
                    ++j;
                EXPECT_NEAR(c.level[j], l.level0, 1.5) << l.name << " band " << band;
                std::size_t k = 0;
                while (k + 1 < c.t.size() && c.t[k] < l.t1)
                    ++k;
                EXPECT_NEAR(c.level[k], l.level1, 1.5) << l.name << " band " << band;
            }
        }
    }
    // The rows say the same numbers in their units.
    const std::vector<ResultRow> rows = IsoRows(iso);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[5].key, 2 * 2 + 1);
    EXPECT_EQ(rows[5].texts[1], "Right");
    EXPECT_NEAR(rows[5].values[4], 1.0, 0.05);  // T30 [s]
    EXPECT_NEAR(rows[5].values[14], 72, 5);     // Ts [ms]
    EXPECT_NE(IsoSingleNumberText(iso).find("T30 1.0"), std::string::npos)
        << IsoSingleNumberText(iso);
}

TEST(IsoDisplay, MissingValuesReadAsTheirReasonAndGapsInTheChart) {
    // 30 dB of impulse-to-noise ratio leaves no range for T30; one ear has no IACC.
    const std::vector<float> mono = Decay(1.0, -30, 0, 3);
    IsoResultRecord iso;
    ASSERT_TRUE(ComputeIsoForDisplay(mono, {}, 48000, Octaves({7}), &iso));
    const std::vector<ResultRow> rows = IsoRows(iso);
    ASSERT_EQ(rows.size(), 2u);  // one ear: broadband and 1 kHz
    for (const ResultRow& r : rows) {
        EXPECT_EQ(r.texts.size(), IsoColumns().size());
        EXPECT_EQ(r.texts[1], "Mono");
        EXPECT_EQ(r.texts[4], "INR too low");  // T30
        EXPECT_EQ(r.values[4], kNoValue);
        EXPECT_EQ(r.texts[16], "one channel");  // IACC_E
        EXPECT_NE(r.texts.back().find("range"), std::string::npos) << r.texts.back();
        for (const std::string& t : r.texts)
            EXPECT_EQ(t.find("1000"), std::string::npos);
    }
    const ParameterPlot t30 = IsoParameterSeries(iso, IsoParameter::T30);
    ASSERT_EQ(t30.series.size(), 1u);
    EXPECT_EQ(t30.series[0][1], kNoValue);
    EXPECT_EQ(t30.title, "T30 [s]");
    const ParameterPlot edt = IsoParameterSeries(iso, IsoParameter::Edt);
    EXPECT_GE(edt.top, edt.series[0][1]);
    EXPECT_EQ(edt.labels, (std::vector<std::string>{"All", "1k"}));

    // A mean over two ears only where both have a value.
    IsoResultRecord two = iso;
    two.channels = 2;
    for (IsoBandStored& b : two.bands)
        b.channel[1] = b.channel[0];
    two.bands[1].channel[1].edt.seconds = kNoValue;
    const ParameterPlot mean = IsoParameterSeries(two, IsoParameter::Edt);
    ASSERT_EQ(mean.series.size(), 3u);
    EXPECT_EQ(mean.series[0][1], kNoValue);
    EXPECT_NEAR(mean.series[0][0], two.bands[0].channel[0].edt.seconds, 1e-12);
}

TEST(IsoDisplay, HostileRequestsGiveNothing) {
    const std::vector<float> x = Decay(0.5, -60, 0, 4);
    IsoResultRecord iso;
    EXPECT_FALSE(ComputeIsoForDisplay({}, {}, 48000, Octaves({7}), &iso));
    EXPECT_FALSE(ComputeIsoForDisplay(x, std::vector<float>(10), 48000, Octaves({7}), &iso));
    EXPECT_FALSE(ComputeIsoForDisplay(x, {}, 0, Octaves({7}), &iso));
    ASSERT_TRUE(ComputeIsoForDisplay(x, {}, 48000, Octaves({7}), &iso));
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 9, 0).t.empty());
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 0, 2).t.empty());
    EXPECT_TRUE(IsoDecayOf({}, 48000, iso, 0, 0).t.empty());
    // A stored onset beyond the response, or a negative one, draws nothing and reads nothing.
    iso.bands[0].channel[0].onset = 1e9;
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 0, 0).t.empty());
    iso.bands[0].channel[0].onset = 1e300;
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 0, 0).t.empty());
    iso.bands[0].channel[0].onset = -1;
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 0, 0).t.empty());
    iso.bands[0].channel[0].onset = 0;
    iso.bands[0].channel[0].truncation = 1e12;
    EXPECT_FALSE(IsoDecayOf(x, 48000, iso, 0, 0).t.empty());
    // A band centre the filters do not know.
    iso.bands[1].nominalCentre = 123456;
    iso.bands[1].channel[0].onset = 0;
    EXPECT_TRUE(IsoDecayOf(x, 48000, iso, 1, 0).t.empty());
}

}  // namespace
}  // namespace vesk
