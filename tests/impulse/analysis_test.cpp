#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>

#include "dsp/linefit.h"
#include "impulse/impulse_analysis.h"

namespace vesk {
namespace {

TEST(ImpulseAnalysis, LevelsAndTheirMissingValue) {
    std::vector<float> x = {1, -1, 1, -1};
    EXPECT_NEAR(BandLevel(x.data(), 4, 0), 0.0, 1e-12);
    EXPECT_NEAR(BandLevel(x.data(), 4, 10), 20.0, 1e-12);
    std::vector<float> constant(64, 3.0f);
    EXPECT_EQ(BandLevel(constant.data(), 64, 1), kNoValue);  // no energy once the mean is gone
    EXPECT_NEAR(ListeningLevel(60, 60), 60.0, 1e-12);
    EXPECT_NEAR(ListeningLevel(60, 50), 10 * std::log10(0.5 * (1e6 + 1e5)), 1e-9);
}

TEST(ImpulseAnalysis, DirectSoundAndFirstReflection) {
    const double fs = 48000;
    std::vector<float> spike(4096, 0.0f);
    spike[100] = 1.0f;
    double direct = -1, reflection = -1;
    FindDirectAndFirstReflection(spike.data(), 4096, fs, 10.0, &direct, &reflection);
    EXPECT_NEAR(direct, 100 / fs * 1000, 1e-12);
    EXPECT_EQ(reflection, 0.0);

    // Peaks falling after the direct sound, then one that rises (not itself taken), then the
    // largest, after which a smaller peak ends the scan.
    std::vector<float> x(4096, 0.0f);
    x[100] = 1.0f;
    x[110] = 0.3f;
    x[120] = -0.2f;
    x[200] = 0.5f;
    x[210] = -0.45f;
    x[300] = 0.1f;
    x[400] = 0.48f;
    FindDirectAndFirstReflection(x.data(), 4096, fs, 0.0, &direct, &reflection);
    EXPECT_NEAR(direct, 100 / fs * 1000, 1e-12);
    EXPECT_NEAR(reflection, 210 / fs * 1000, 1e-12);
    // A minimum delay past every peak finds no reflection.
    FindDirectAndFirstReflection(x.data(), 4096, fs, 40.0, &direct, &reflection);
    EXPECT_EQ(reflection, 0.0);
    FindDirectAndFirstReflection(nullptr, 4096, fs, 0.0, &direct, &reflection);
    EXPECT_EQ(direct, 0.0);
}

std::vector<float> Decay(std::size_t n, double fs, double t60, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(g(random) * std::exp(-6.907755 * i / (fs * t60)));
    return x;
}

TEST(ImpulseAnalysis, TsubOfAnExponentialDecay) {
    const double fs = 48000;
    const std::size_t n = 1 << 16;
    auto x = Decay(n, fs, 0.4, 1);
    TsubResult manual =
        ComputeTsub(x.data(), nullptr, static_cast<std::int32_t>(n), fs, 0.0, -20.0, 0, 0.0);
    EXPECT_NEAR(manual.tsub, 0.4, 0.02);
    EXPECT_EQ(manual.aValue, 20.0);  // no energy before t1 = 0
    EXPECT_NEAR(manual.slope, -60.0 / manual.tsub, 1e-6);
    // The fit's quality: a manual end of -20 dB spans 20 dB of a straight decay.
    EXPECT_NEAR(manual.rangeDb, 20.0, 0.5);
    EXPECT_LT(manual.r, -0.995);
    // A decay that bends (a fast part, then a slow one) fits worse.
    auto bent = x;
    for (std::size_t i = 0; i < n; ++i)
        bent[i] = static_cast<float>(
            x[i] * (std::exp(-6.907755 * i / (fs * 0.05)) + 0.03 * std::exp(-6.9 * i / fs)));
    TsubResult poor =
        ComputeTsub(bent.data(), nullptr, static_cast<std::int32_t>(n), fs, 0.0, -40.0, 0, 0.0);
    EXPECT_GT(poor.r, manual.r);
    EXPECT_NEAR(poor.rangeDb, 40.0, 0.5);
    TsubResult automatic =
        ComputeTsub(x.data(), nullptr, static_cast<std::int32_t>(n), fs, 0.0, -20.0, 1, 0.0);
    EXPECT_NEAR(automatic.tsub, 0.4, 0.04);

    // A direct sound before t1 gives a finite A-value: energy ratio of reflections to direct.
    auto y = x;
    y[0] = 20.0f;
    TsubResult withDirect =
        ComputeTsub(y.data(), nullptr, static_cast<std::int32_t>(n), fs, 0.5, -20.0, 0, 0.0);
    EXPECT_GT(withDirect.aValue, 0.0);
    EXPECT_LT(withDirect.aValue, 20.0);

    std::vector<float> silent(n, 0.0f);
    TsubResult none =
        ComputeTsub(silent.data(), nullptr, static_cast<std::int32_t>(n), fs, 5.0, -20.0, 1, 0.5);
    EXPECT_EQ(none.tsub, kNoValue);
    EXPECT_EQ(none.aValue, kNoValue);
    EXPECT_EQ(none.rangeDb, kNoValue);
    EXPECT_EQ(none.r, kNoValue);
    std::vector<float> curve(n);
    DecayCurve(silent.data(), nullptr, curve.data(), static_cast<std::int32_t>(n), fs, 5.0, 0.0);
    EXPECT_EQ(curve[0], -1000.0f);
    // t1 beyond the response: the regression starts at sample 0 and still finds the decay.
    TsubResult late =
        ComputeTsub(x.data(), nullptr, static_cast<std::int32_t>(n), fs, 5000.0, -20.0, 0, 0.0);
    EXPECT_TRUE(std::isfinite(late.tsub));
}

TEST(ImpulseAnalysis, AutomaticEndStaysOutOfTheNoiseRange) {
    // Still decaying at the end of the recording: the noise range holds decay, not noise.
    const double fs = 48000;
    const std::size_t n = 1 << 15;
    auto x = Decay(n, fs, 1.0, 5);
    TsubResult r =
        ComputeTsub(x.data(), nullptr, static_cast<std::int32_t>(n), fs, 0.0, -20.0, 1, 0.5);
    EXPECT_GT(r.tsub, 0.5);  // several times too short without the bound
    EXPECT_LT(r.tsub, 1.5);
}

// With the end given by a level, the fit reads the whole decay curve's levels from the first
// reflection down to that level, and stops at the marks of digital silence: its slope is the
// line through exactly those floats.
TEST(ImpulseAnalysis, TsubFitsTheDecayCurvesOwnLevels) {
    const double fs = 48000;
    const std::int32_t n = 1 << 15;
    auto tail = Decay(static_cast<std::size_t>(n), fs, 0.5, 3);
    std::vector<float> x(static_cast<std::size_t>(n), 0.0f);
    for (std::int32_t i = 300; i < n / 2; ++i)  // leading silence, then digital silence
        x[static_cast<std::size_t>(i)] = tail[static_cast<std::size_t>(i - 300)];
    std::vector<float> curve(static_cast<std::size_t>(n));
    for (double t1 : {8.0, 30.0})
        for (double tsubEnd : {-20.0, -200.0}) {
            DecayCurve(x.data(), nullptr, curve.data(), n, fs, t1, 0.1);
            const std::int32_t s = static_cast<std::int32_t>(std::trunc(fs * t1 * 0.001));
            std::int32_t end = n - 1;
            for (std::int32_t i = s; i < n; ++i)
                if (curve[static_cast<std::size_t>(i)] < curve[0] + tsubEnd) {
                    end = i;
                    break;
                }
            std::int32_t marks = n;
            while (marks > 0 && curve[static_cast<std::size_t>(marks - 1)] == -1000.0f)
                --marks;
            end = std::min(end, marks);
            const LineFit want = FitSlopeThroughOrigin(curve.data() + s, end - s, 0.0, 1.0 / fs);
            const TsubResult got = ComputeTsub(x.data(), nullptr, n, fs, t1, tsubEnd, 0, 0.1);
            ASSERT_TRUE(want.valid);
            EXPECT_EQ(got.slope, want.slope) << "t1 " << t1 << " end " << tsubEnd;
            EXPECT_LT(got.tsub, 1.0) << "t1 " << t1 << " end " << tsubEnd;
        }
}

// The correlation written out lag by lag: each sum in double, i ascending.
std::vector<float> ReferenceIacf(const std::vector<float>& l, const std::vector<float>& r, int m) {
    const int n = static_cast<int>(l.size()), c = m / 2;
    long double el = 0, er = 0;
    for (int i = 0; i < n; ++i) {
        el += static_cast<long double>(l[static_cast<std::size_t>(i)]) *
              l[static_cast<std::size_t>(i)];
        er += static_cast<long double>(r[static_cast<std::size_t>(i)]) *
              r[static_cast<std::size_t>(i)];
    }
    std::vector<float> out(static_cast<std::size_t>(m));
    for (int k = 0; k < m; ++k) {
        double sum = 0;
        for (int i = 0; i < n; ++i)
            sum += static_cast<double>(l[static_cast<std::size_t>(((k - c + i) % n + n) % n)]) *
                   r[static_cast<std::size_t>(i)];
        out[static_cast<std::size_t>(k)] = static_cast<float>(sum / std::sqrt(el * er));
    }
    return out;
}

TEST(ImpulseAnalysis, CorrelationEqualsTheLagByLagSums) {
    // Lags wider than the response (wrapping more than once), one pass of samples, several.
    for (auto [n, m] : {std::pair{50, 191}, {64, 63}, {1000, 191}, {4096, 191}, {10007, 383}}) {
        auto l = Decay(static_cast<std::size_t>(n), 48000, 0.02, 7),
             r = Decay(static_cast<std::size_t>(n), 48000, 0.02, 8);
        std::vector<float> iacf(static_cast<std::size_t>(m));
        ASSERT_TRUE(ComputeIacf(l.data(), r.data(), n, iacf.data(), m));
        EXPECT_EQ(iacf, ReferenceIacf(l, r, m)) << "n=" << n << " m=" << m;
    }
}

TEST(ImpulseAnalysis, InterauralCrossCorrelation) {
    const double fs = 48000;
    const std::int32_t m = IacfLength(fs);
    EXPECT_EQ(m, 191);
    const std::int32_t n = 4096;
    auto left = Decay(n, fs, 0.05, 2);
    std::vector<float> iacf(static_cast<std::size_t>(m));
    ASSERT_TRUE(ComputeIacf(left.data(), left.data(), n, iacf.data(), m));
    IacfResult same = EvaluateIacf(iacf.data(), m, fs, 0.1);
    EXPECT_NEAR(same.iacc, 1.0, 1e-6);
    EXPECT_EQ(same.tauIacc, 0.0);
    EXPECT_GT(same.wiacc, 0.0);
    EXPECT_LE(same.wiacc, 50.0);

    std::vector<float> delayed(static_cast<std::size_t>(n), 0.0f);
    for (std::int32_t i = 10; i < n; ++i)
        delayed[static_cast<std::size_t>(i)] = left[static_cast<std::size_t>(i - 10)];
    ASSERT_TRUE(ComputeIacf(left.data(), delayed.data(), n, iacf.data(), m));
    IacfResult late = EvaluateIacf(iacf.data(), m, fs, 0.1);
    EXPECT_NEAR(late.tauIacc, -10 / fs * 1000, 1e-12);

    // A larger value beyond +-1 ms is not taken.
    std::vector<float> shaped(static_cast<std::size_t>(m), 0.1f);
    shaped[95 + 30] = 0.6f;
    shaped[5] = 0.9f;
    IacfResult inRange = EvaluateIacf(shaped.data(), m, fs, 0.1);
    EXPECT_NEAR(inRange.iacc, 0.6, 1e-6);
    EXPECT_NEAR(inRange.tauIacc, 30 / fs * 1000, 1e-12);
    // A peak that never falls below the threshold runs to the array's ends, uninterpolated.
    std::vector<float> flat(static_cast<std::size_t>(m), 0.8f);
    IacfResult wide = EvaluateIacf(flat.data(), m, fs, 0.1);
    EXPECT_NEAR(wide.leftWidth, 47 / fs * 1000, 1e-9);  // the first maximum: entry 47, lag -48
    EXPECT_NEAR(wide.rightWidth, (190 - 47) / fs * 1000, 1e-9);

    std::vector<float> silent(static_cast<std::size_t>(n), 0.0f);
    EXPECT_FALSE(ComputeIacf(left.data(), silent.data(), n, iacf.data(), m));
    IacfResult none = EvaluateIacf(iacf.data(), m, fs, 0.1);
    EXPECT_EQ(none.iacc, kNoValue);
    EXPECT_EQ(none.wiacc, kNoValue);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(ImpulseAnalysis, ReverberationPageCurves) {
    const double fs = 48000;
    const std::size_t n = 48000;
    std::vector<float> l = Decay(n, fs, 1.2, 3), r = Decay(n, fs, 0.8, 4);
    const std::int32_t count = static_cast<std::int32_t>(n);
    // One channel: its own t1, the echo pattern scaled to 1 at its largest, the curves of
    // DecayCurve with rate 0 and with the record's rate, and ComputeTsub's slope.
    const DecayDisplay left =
        ComputeDecayDisplay(l.data(), r.data(), count, fs, 10, 20, -20, 0, 0.3, DecayChannel::Left);
    EXPECT_EQ(left.t1Ms, 10);
    EXPECT_EQ(*std::max_element(left.echo.begin(), left.echo.end()), 1.0f);
    std::vector<float> curve(n);
    DecayCurve(l.data(), nullptr, curve.data(), count, fs, 10, 0.0);
    EXPECT_EQ(left.withoutNoise, curve);
    DecayCurve(l.data(), nullptr, curve.data(), count, fs, 10, 0.3);
    EXPECT_EQ(left.withNoise, curve);
    EXPECT_EQ(left.slope, ComputeTsub(l.data(), nullptr, count, fs, 10, -20, 0, 0.3).slope);
    EXPECT_NEAR(-60 / left.slope, 1.2, 0.12);

    // The average: both channels, t1 the mean of both; rate 0 draws no noise-corrected curve.
    const DecayDisplay mean = ComputeDecayDisplay(l.data(), r.data(), count, fs, 10, 20, -20, 1,
                                                  0.0, DecayChannel::Average);
    EXPECT_EQ(mean.t1Ms, 15);
    EXPECT_TRUE(mean.withNoise.empty());
    EXPECT_EQ(mean.slope, ComputeTsub(l.data(), r.data(), count, fs, 15, -20, 1, 0.0).slope);
    const DecayDisplay right = ComputeDecayDisplay(l.data(), r.data(), count, fs, 10, 20, -20, 0,
                                                   0.0, DecayChannel::Right);
    EXPECT_EQ(right.t1Ms, 20);
    EXPECT_LT(right.slope, left.slope);  // the right ear's faster decay

    // One-channel measurements have no right channel and no average.
    EXPECT_TRUE(
        ComputeDecayDisplay(l.data(), nullptr, count, fs, 10, 0, -20, 0, 0, DecayChannel::Right)
            .echo.empty());
    EXPECT_TRUE(
        ComputeDecayDisplay(l.data(), nullptr, count, fs, 10, 0, -20, 0, 0, DecayChannel::Average)
            .withoutNoise.empty());
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(ImpulseAnalysis, TimesAndRatesThatAreNoNumbers) {
    const std::vector<float> x = Decay(4800, 48000, 0.5, 7);
    const double nan = std::nan("");
    // A first-reflection time that is no number counts as 0, a noise rate as none.
    std::vector<float> curve(x.size()), reference(x.size());
    DecayCurve(x.data(), nullptr, curve.data(), 4800, 48000, nan, nan);
    DecayCurve(x.data(), nullptr, reference.data(), 4800, 48000, 0, 0);
    EXPECT_EQ(curve, reference);
    const TsubResult t = ComputeTsub(x.data(), nullptr, 4800, 48000, nan, -20, 1, nan);
    EXPECT_EQ(t.tsub, ComputeTsub(x.data(), nullptr, 4800, 48000, 0, -20, 1, nan).tsub);
    EXPECT_FALSE(std::isnan(t.aValue));
    double direct = 0, reflection = 0;
    FindDirectAndFirstReflection(x.data(), 4800, 48000, nan, &direct, &reflection);
    EXPECT_GE(reflection, 0);
    EXPECT_EQ(IacfLength(nan), 0);
    EXPECT_EQ(IacfLength(1e300), 0);
}

}  // namespace
}  // namespace vesk
