#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "dsp/bands.h"
#include "dsp/fft.h"

namespace vesk {
namespace {

double IecA(double f) {
    auto r = [](double f) {
        const double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217;
        return f4 * f4 * std::pow(f, 4) /
               ((f * f + f1 * f1) * std::sqrt((f * f + f2 * f2) * (f * f + f3 * f3)) *
                (f * f + f4 * f4));
    };
    return 20 * std::log10(r(f) / r(1000));
}
double IecB(double f) {
    auto r = [](double f) {
        const double f1 = 20.598997, f4 = 12194.217, f5 = 158.48932;
        return f4 * f4 * f * f * f /
               ((f * f + f1 * f1) * std::sqrt(f * f + f5 * f5) * (f * f + f4 * f4));
    };
    return 20 * std::log10(r(f) / r(1000));
}
double IecC(double f) {
    auto r = [](double f) {
        const double f1 = 20.598997, f4 = 12194.217;
        return f4 * f4 * f * f / ((f * f + f1 * f1) * (f * f + f4 * f4));
    };
    return 20 * std::log10(r(f) / r(1000));
}

TEST(Bands, WeightingTablesAreTheStandardsCurvesToOneDecimal) {
    double (*curves[])(double) = {IecA, IecB, IecC};
    for (int type = 1; type <= 3; ++type) {
        const auto& table = WeightingTable(type);
        ASSERT_EQ(table.size(), 34u);
        for (std::size_t i = 0; i < table.size(); ++i) {
            EXPECT_DOUBLE_EQ(table[i].frequency, std::pow(10.0, (10 + static_cast<int>(i)) / 10.0));
            EXPECT_NEAR(table[i].level, curves[type - 1](table[i].frequency), 0.05 + 1e-9)
                << "type " << type << " point " << i;
        }
    }
    EXPECT_EQ(WeightingTable(1)[0].level, -70.4);
    EXPECT_EQ(WeightingTable(3)[33].level, -11.2);
}

TEST(Bands, TablesLabelsAndBandPassBins) {
    const BandTable& octave = GetBandTable(0);
    const BandTable& third = GetBandTable(1);
    EXPECT_EQ(octave.count, 12);
    EXPECT_EQ(third.count, 33);
    EXPECT_DOUBLE_EQ(octave.exactCentre[7], 1000.0);
    EXPECT_NEAR(third.exactCentre[32], 19952.6, 0.05);
    EXPECT_EQ(BandLabel(1, 0, false), "16");
    EXPECT_EQ(BandLabel(20, 1, false), "1250");
    EXPECT_EQ(BandLabel(20, 1, true), "1.25k");
    EXPECT_EQ(BandLabel(4, 1, true), "31.5");
    EXPECT_EQ(BandLabel(0, 1, true), "All(F)");
    EXPECT_EQ(BandLabel(-1, 0, false), "All(A)");
    EXPECT_EQ(BandLabel(12, 0, false), "");

    // Octave band 1 at 48 kHz and 2^15 points passes bins 7..14.
    const int n = 1 << 15;
    std::vector<float> h(n, -1.0f);
    ASSERT_EQ(BandPassResponse(h.data(), n, 48000, octave.exactCentre[1] / octave.halfBandFactor,
                               octave.exactCentre[1] * octave.halfBandFactor),
              1);
    for (int k = 0; k <= n / 2; ++k) {
        float expect = (k >= 7 && k <= 14) ? 1.0f : 0.0f;
        ASSERT_EQ(h[static_cast<std::size_t>(k)], expect) << k;
        if (k > 0) {
            ASSERT_EQ(h[static_cast<std::size_t>(n - k)], expect) << k;
        }
    }
    // A low band of a short measurement has no bin: the signal stays as it was.
    std::vector<float> x(256, 1.0f);
    EXPECT_EQ(ApplyBandFilter(x.data(), nullptr, 256, 48000, 1, 1), 0);
    EXPECT_EQ(x[10], 1.0f);
    EXPECT_EQ(ApplyBandFilter(x.data(), nullptr, 256, 48000, 40, 1), 0);
    EXPECT_EQ(ApplyBandFilter(x.data(), nullptr, 256, 48000, 0, 1), 1);
}

TEST(Bands, SplineCurvesAndWeightedFiltering) {
    const int n = 1 << 14;
    const double fs = 48000;
    std::vector<float> h(n);
    ASSERT_EQ(WeightingResponse(h.data(), n, fs, 1, 20.0), 1);
    EXPECT_EQ(h[0], 0.0f);
    // At the 1 kHz knot the curve is 0 dB, and its amplitude factor exactly 1.
    const auto& a = WeightingTable(1);
    WeightingSpline s = WeightingSpline::Build(a.data(), 34);
    EXPECT_NEAR(s(std::log(1000.0)), 0.0, 1e-12);
    std::vector<float> k(3000);
    ASSERT_EQ(WeightingResponse(k.data(), 3000, 3000000, 1, 20.0), 1);  // bin 1 is exactly 1000 Hz
    EXPECT_EQ(k[1], 1.0f);
    for (std::size_t i = 0; i < 34; ++i)
        EXPECT_NEAR(s(s.x[i]), a[i].level, 1e-9) << i;
    // Below the first knot the |e| term keeps the curve falling like the table.
    EXPECT_LT(s(std::log(5.0)), -70.4);
    EXPECT_EQ(WeightingResponse(h.data(), n, fs, 7, 20.0), 0);
    ASSERT_EQ(WeightingResponse(h.data(), n, fs, 0, 20.0), 1);
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_EQ(h[5], 1.0f);
    WeightingPoint two[2] = {{100, -3}, {1000, 0}};
    TableResponse(h.data(), n, fs, two, 2, 20.0);  // too few points: flat
    EXPECT_EQ(h[100], 1.0f);

    // An A-weighted 100 Hz tone drops by the curve's 19.1 dB; a 1 kHz tone keeps its level.
    for (auto [freq, drop] : {std::pair{1000.0, 0.0}, std::pair{100.0, -19.1}}) {
        std::vector<float> x(n), y(n);
        const int bin = static_cast<int>(std::round(freq * n / fs));
        for (int t = 0; t < n; ++t)
            x[static_cast<std::size_t>(t)] = static_cast<float>(std::sin(2 * M_PI * bin * t / n));
        ASSERT_EQ(ApplyBandFilter(x.data(), y.data(), n, fs, -1, 0), 1);
        double e = 0;
        for (float v : x)
            e += v * v;
        double db = 10 * std::log10(e / (n / 2.0));
        double expected = s(std::log(bin * fs / n));
        EXPECT_NEAR(db, expected, 0.01) << freq;
        EXPECT_NEAR(db, drop, 0.3) << freq;
    }
}

// A calculation transforms a response once and masks the stored transform for each band: every
// band, weighted or not, one channel or two, must be the float the one-call filter gives.
TEST(Bands, FilteringFromAStoredTransformIsTheSameFilter) {
    const int n = 1 << 13;
    std::mt19937 random(3);
    std::normal_distribution<float> g(0.0f, 0.2f);
    std::vector<float> l(n), r(n);
    for (int i = 0; i < n; ++i) {
        l[static_cast<std::size_t>(i)] = g(random) * std::exp(-i / 900.0f);
        r[static_cast<std::size_t>(i)] = g(random) * std::exp(-i / 700.0f);
    }
    for (bool stereo : {true, false}) {
        std::vector<float> re, im;
        ASSERT_EQ(ForwardSpectrum(l.data(), stereo ? r.data() : nullptr, n, &re, &im), 0);
        for (int system : {0, 1})
            for (int band = -1; band < GetBandTable(system).count; ++band) {
                if (band == 0) continue;
                std::vector<float> x = l, y = r;
                const int one =
                    ApplyBandFilter(x.data(), stereo ? y.data() : nullptr, n, 44100, band, system);
                std::vector<float> fx(n), fy(n);
                const int two = ApplyBandFilterFromSpectrum(re.data(), im.data(), fx.data(),
                                                            fy.data(), n, 44100, band, system);
                ASSERT_EQ(one, two) << band;
                if (!one) continue;
                EXPECT_EQ(std::memcmp(x.data(), fx.data(), n * sizeof(float)), 0) << band;
                if (stereo) {
                    EXPECT_EQ(std::memcmp(y.data(), fy.data(), n * sizeof(float)), 0) << band;
                }
            }
    }
    std::vector<float> re(4), im(4), x(4), y(4);
    EXPECT_EQ(ApplyBandFilterFromSpectrum(re.data(), im.data(), x.data(), y.data(), 3, 48000, 5, 0),
              0);  // not a power of two
    EXPECT_EQ(
        ApplyBandFilterFromSpectrum(re.data(), im.data(), x.data(), y.data(), 4, 48000, 99, 0), 0);
}

}  // namespace
}  // namespace vesk
