

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "acf/running_acf.h"

namespace vesk {
namespace {

constexpr double kPi = 3.14159265358979323846;

SampleBlock Block(int channels, const std::vector<double>& left, const std::vector<double>& right) {
    SampleBlock b;
    b.channels = static_cast<std::uint16_t>(channels);
    b.bits = 16;
    for (std::size_t i = 0; i < left.size(); ++i) {
        b.samples.push_back(
            static_cast<std::int16_t>(std::lround(std::clamp(left[i], -32768.0, 32767.0))));
        if (channels == 2)
            b.samples.push_back(
                static_cast<std::int16_t>(std::lround(std::clamp(right[i], -32768.0, 32767.0))));
    }
    return b;
}

std::vector<double> Noise(std::size_t n, unsigned seed, double level = 3000) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, level);
    std::vector<double> x(n);
    for (auto& v : x)
        v = g(random);
    return x;
}

TEST(RunningAcf, FramingAndRefusedConditions) {
    RunningAcfConditions c;  // 2.0 s, 0.1 s, 0.2 s
    AcfFraming f = FrameRunningAcf(c, 48000, 480000);
    EXPECT_EQ(f.integration, 96000);
    EXPECT_EQ(f.maxDelay, 9600);
    EXPECT_EQ(f.step, 4800);
    EXPECT_EQ(f.transform, 131072);
    EXPECT_EQ(f.frames, 78);
    EXPECT_EQ(f.peakWindow, 240);
    EXPECT_EQ(FrameRunningAcf(c, 48000, 1000).frames, 0);  // shorter than L + D
    EXPECT_EQ(CheckRunningAcfConditions(c, 48000, 2), "");

    auto refused = [](RunningAcfConditions c, int channels = 1) {
        return CheckRunningAcfConditions(c, 48000, channels);
    };
    RunningAcfConditions bad = c;
    bad.runningStep = 1e-5;  // less than one sample
    EXPECT_NE(refused(bad).find("Running Step"), std::string::npos);
    bad = c;
    bad.peakDetectTime = 0.01;
    EXPECT_NE(refused(bad).find("Peak Detection Time"), std::string::npos);
    bad = c;
    bad.integrationTime = 0;
    EXPECT_NE(refused(bad).find("Integration Time"), std::string::npos);
    bad = c;
    bad.maxDelayTime = std::nan("");
    EXPECT_NE(refused(bad).find("Max Delay Time"), std::string::npos);
    bad = c;
    bad.integrationTime = 1000;  // beyond the largest transform
    EXPECT_NE(refused(bad).find("must not exceed"), std::string::npos);
    bad = c;
    bad.integrationTime = bad.maxDelayTime = 0.0002;  // 20 samples: no room for +-1 ms
    EXPECT_EQ(refused(bad, 1), "");
    EXPECT_NE(refused(bad, 2).find("interaural"), std::string::npos);
    bad = c;
    bad.weighting = 4;
    EXPECT_NE(refused(bad), "");
}

// The frame ACF against 2/L sum x[t] x[t + tau] with the zero-frequency bin taken out.
TEST(RunningAcf, FrameAcfMonoEqualsTheDirectSum) {
    const std::int32_t L = 1000, D = 200, n = 2048;
    std::vector<double> xd = Noise(L + D, 3);
    std::vector<float> x(xd.begin(), xd.end());
    for (auto& v : x)
        v = std::round(v);
    std::vector<float> flat = AcfWeightingResponse(0, nullptr, n, 48000);
    EXPECT_EQ(flat[0], 0.0f);
    EXPECT_EQ(flat[1], 1.0f);
    std::vector<float> acf = FrameAcfMono(x.data(), L, L + D, n, flat.data());
    ASSERT_EQ(acf.size(), static_cast<std::size_t>(n));
    double sumLong = 0, sumShort = 0;
    for (std::int32_t t = 0; t < L + D; ++t)
        sumLong += x[static_cast<std::size_t>(t)];
    for (std::int32_t t = 0; t < L; ++t)
        sumShort += x[static_cast<std::size_t>(t)];
    const double dc = 2.0 / (static_cast<double>(L) * n) * sumLong * sumShort;
    double scale = 0;
    for (std::int32_t tau = 0; tau <= D; ++tau) {
        long double s = 0;
        for (std::int32_t t = 0; t < L; ++t)
            s += static_cast<long double>(x[static_cast<std::size_t>(t)]) *
                 x[static_cast<std::size_t>(t + tau)];
        const double expected = 2.0 / L * static_cast<double>(s) - dc;
        if (tau == 0) scale = expected;
        EXPECT_NEAR(acf[static_cast<std::size_t>(tau)], expected, 2e-5 * scale) << "lag " << tau;
    }
}

TEST(RunningAcf, PeaksOfAToneAndOfThePatternThatSeparatesTheModes) {
    // A 1 kHz tone: the first peak at lag 48 (1 ms), normalised close to 1.
    const double fs = 48000;
    std::vector<double> tone(48000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 10000 * std::sin(2 * kPi * 1000 * static_cast<double>(i) / fs);
    RunningAcfConditions c;
    c.integrationTime = 0.5;
    c.maxDelayTime = 0.02;
    c.runningStep = 0.1;
    RunningAcfResult r;
    ASSERT_EQ(CalcRunningAcfMono(Block(1, tone, {}), 48000, c, fs, nullptr, &r),
              CalcResult::Finished);
    ASSERT_EQ(r.frames, 4);  // (48000 - 24960) / 4800
    EXPECT_FLOAT_EQ(r.factors[0].tau1, static_cast<float>(48 / fs));
    EXPECT_GT(r.factors[0].phi1, 0.99f);
    EXPECT_EQ(r.peaks[0].tau[0], r.factors[0].tau1);
    EXPECT_FLOAT_EQ(r.peaks[0].tau[1], static_cast<float>(96 / fs));

    // 1, -0.5, -0.5, 1, ...: mode A needs two strictly rising lags before a peak, B does not.
    std::vector<float> pattern(64);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = i % 3 == 0 ? 1.0f : -0.5f;
    AcfFactorRecord rec;
    AcfPeakRecord peaks;
    ExtractAcfFactors(c, &rec, &peaks, fs, pattern.data(), 64, 64);
    EXPECT_EQ(rec.tau1, 0.0f);
    EXPECT_EQ(peaks.phi[0], 0.0f);
    c.tau1PeakRule = 1;
    ExtractAcfFactors(c, &rec, &peaks, fs, pattern.data(), 64, 64);
    for (int k = 0; k < 10; ++k)
        EXPECT_FLOAT_EQ(peaks.tau[static_cast<std::size_t>(k)],
                        static_cast<float>(3 * (k + 1) / fs))
            << k;
    EXPECT_EQ(rec.phi1, 1.0f);
}

TEST(RunningAcf, TauEEnvelopeCases) {
    const double fs = 1000;  // one lag per millisecond
    RunningAcfConditions c;
    c.peakDetectTime = 1.0;  // W = 1
    c.tauERegTime = 5000;    // E far beyond D
    c.tauERegLevel = -1000;
    c.includeOrigin = 1;
    // -20 dB per second over the first 256 lags, then a steeper fall: only the first 256
    // points are collected, so tau-e is that of the first slope, 0.5 s.
    std::vector<float> acf(1000);
    for (std::size_t t = 0; t < acf.size(); ++t) {
        const double s = static_cast<double>(t) / fs;
        const double db = t < 256 ? -20 * s : -20 * 0.256 - 200 * (s - 0.256);
        acf[t] = static_cast<float>(std::pow(10.0, db / 10));
    }
    AcfFactorRecord rec;
    AcfPeakRecord peaks;
    ExtractAcfFactors(c, &rec, &peaks, fs, acf.data(), 1000, 1000);
    EXPECT_NEAR(rec.tauE, 0.5, 1e-3);
    EXPECT_NEAR(rec.intercept, 0.0, 1e-3);
    EXPECT_NEAR(rec.phi0, 0.0, 1e-6);

    // The search ends at D: with D = 1 only the origin is taken, so there is no tau-e.
    ExtractAcfFactors(c, &rec, &peaks, fs, acf.data(), 1000, 1);
    EXPECT_EQ(rec.tauE, kNoValue);
    EXPECT_EQ(rec.intercept, kNoValue);
    // Without the origin the search starts at the first negative lag; there is none.
    c.includeOrigin = 0;
    ExtractAcfFactors(c, &rec, &peaks, fs, acf.data(), 1000, 1000);
    EXPECT_EQ(rec.tauE, kNoValue);
    // A window that does not fall below the previous point adds nothing: a flat envelope.
    std::vector<float> flat(100, 0.5f);
    flat[0] = 1.0f;
    c.includeOrigin = 1;
    ExtractAcfFactors(c, &rec, &peaks, fs, flat.data(), 100, 100);
    // Only (0, 0 dB) and (1 ms, -3.01 dB) are points; the later equal windows are skipped.
    EXPECT_NEAR(rec.tauE, 0.001 * 10 / (10 * std::log10(2.0)), 1e-6);
}

// First-order low-pass noise x[t] = a x[t-1] + e[t] has the ACF a^|tau|, whose envelope falls
// to -10 dB at tau = -1 / log10(a) samples.
TEST(RunningAcf, TauEOfLowPassNoiseMatchesTheClosedForm) {
    const double fs = 48000, a = 0.95;
    std::vector<double> e = Noise(3 * 48000, 11, 300), x(e.size());
    double prev = 0;
    for (std::size_t i = 0; i < e.size(); ++i)
        x[i] = prev = a * prev + e[i];
    RunningAcfConditions c;
    c.weighting = 0;
    c.integrationTime = 2.0;
    c.maxDelayTime = 0.05;
    c.runningStep = 0.5;
    c.peakDetectTime = 0.25;  // 12 lags
    c.tauERegLevel = -10.0;
    c.tauERegTime = 50.0;
    c.includeOrigin = 1;
    RunningAcfResult r;
    ASSERT_EQ(CalcRunningAcfMono(Block(1, x, {}), static_cast<std::int32_t>(x.size()), c, fs,
                                 nullptr, &r),
              CalcResult::Finished);
    ASSERT_EQ(r.frames, 1);
    // 0.935 ms. One 2 s frame estimates the ACF to a few per cent near -10 dB (about 2000
    // independent samples), hence 5%.
    const double expected = -1.0 / std::log10(a) / fs;
    EXPECT_NEAR(r.factors[0].tauE, expected, 0.05 * expected);
    EXPECT_NEAR(r.factors[0].intercept, 0.0, 0.5);
}

TEST(RunningAcf, BinauralFramesMatchTheFrameFunctionsAndFindTheInterauralDelay) {
    const double fs = 48000;
    std::vector<double> left = Noise(24000, 5), right(left.size(), 0.0);
    for (std::size_t i = 10; i < left.size(); ++i)
        right[i] = left[i - 10];  // the right ear 10 samples later
    RunningAcfConditions c;
    c.integrationTime = 0.1;
    c.maxDelayTime = 0.01;
    c.runningStep = 0.05;
    SampleBlock block = Block(2, left, right);
    RunningAcfResult r;
    ASSERT_EQ(CalcRunningAcf(block, AcfConditionBlock{24000, c, 0.1}, fs, nullptr, &r),
              CalcResult::Finished);
    ASSERT_EQ(r.frames, 7);  // (24000 - 5280) / 2400
    for (const AcfFactorRecord& f : r.factors) {
        EXPECT_EQ(f.tauIacc, -10.0f / 48000.0f);
        EXPECT_GT(f.iacc, 0.95f);
        EXPECT_GT(f.wiacc, 0.0f);
        EXPECT_LT(f.wiaccLeft, f.wiacc);
    }
    // Every frame of the two-threaded engine equals the frame functions run alone.
    const AcfFraming fr = FrameRunningAcf(c, fs, 24000);
    const std::int32_t n = fr.transform, L = fr.integration;
    std::vector<float> h = AcfWeightingResponse(c.weighting, nullptr, n, fs);
    for (std::int32_t k = 0; k < r.frames; ++k) {
        std::vector<float> l(static_cast<std::size_t>(L)), rr(static_cast<std::size_t>(L));
        for (std::int32_t t = 0; t < L; ++t) {
            l[static_cast<std::size_t>(t)] = block.At(static_cast<std::size_t>(k * fr.step + t), 0);
            rr[static_cast<std::size_t>(t)] =
                block.At(static_cast<std::size_t>(k * fr.step + t), 1);
        }
        float energy = 0;
        std::vector<float> acf = FrameAcfBinaural(l.data(), rr.data(), L, n, h.data(), &energy);
        std::vector<float> iacf = FrameIacf(l.data(), rr.data(), L, n, h.data());
        std::vector<float> w(96);  // lags -48 .. 47 at 48 kHz
        for (int j = 0; j < 48; ++j) {
            w[static_cast<std::size_t>(j)] = iacf[static_cast<std::size_t>(n - 48 + j)];
            w[static_cast<std::size_t>(48 + j)] = iacf[static_cast<std::size_t>(j)];
        }
        AcfFactorRecord alone;
        AcfPeakRecord peaks;
        ExtractAcfFactors(c, &alone, &peaks, fs, acf.data(), n, fr.maxDelay);
        ExtractIacfFactors(0.1, &alone, static_cast<float>(fs), w.data(), 96, energy);
        const AcfFactorRecord& f = r.factors[static_cast<std::size_t>(k)];
        EXPECT_EQ(std::memcmp(&alone, &f, sizeof f), 0) << "frame " << k;
        EXPECT_EQ(std::memcmp(&peaks, &r.peaks[static_cast<std::size_t>(k)], sizeof peaks), 0);
    }
    // A mono block is not binaural; another channel count is refused by the dispatcher.
    EXPECT_EQ(CalcRunningAcfBinaural(Block(1, left, {}), 24000, c, 0.1, nullptr, fs, nullptr, &r),
              CalcResult::Unusable);
}

TEST(RunningAcf, InterauralEdgesAndSilence) {
    // A nearly flat window: no crossing on either side, so both widths run to the window's
    // ends, without the extrapolation that could make them negative.
    std::vector<float> w(96, 1.0f);
    w[40] = 1.05f;
    AcfFactorRecord r;
    ExtractIacfFactors(0.1, &r, 48000.0f, w.data(), 96, 1.05f);
    EXPECT_EQ(r.iacc, 1.0f);
    EXPECT_FLOAT_EQ(r.wiaccLeft, 40.0f / 48000);
    EXPECT_FLOAT_EQ(r.wiacc, (40.0f + 55.0f) / 48000);
    // Values all below -1 (not normalised): the largest is taken; widths are 0.
    std::vector<float> low(96, -5.0f);
    low[50] = -2.0f;
    ExtractIacfFactors(0.1, &r, 48000.0f, low.data(), 96, 4.0f);
    EXPECT_EQ(r.iacc, -0.5f);
    EXPECT_FLOAT_EQ(r.tauIacc, 2.0f / 48000);
    EXPECT_EQ(r.wiacc, 0.0f);
    // A silent channel: no energy, no interaural values, nothing divided by zero.
    std::vector<float> zero(96, 0.0f);
    ExtractIacfFactors(0.1, &r, 48000.0f, zero.data(), 96, 0.0f);
    EXPECT_EQ(r.iacc, kNoValue);
    EXPECT_EQ(r.wiacc, kNoValue);
    EXPECT_TRUE(std::isinf(r.binauralLevel));
}

TEST(RunningAcf, CancelKeepsThePeaksAndSamplesAreBoundedByTheBlock) {
    std::vector<double> x = Noise(48000, 9);
    RunningAcfConditions c;
    c.integrationTime = 0.1;
    c.maxDelayTime = 0.01;
    c.runningStep = 0.01;
    std::vector<int> seen;
    auto callback = [&](int percent) {
        seen.push_back(percent);
        return seen.size() == 4 ? 1 : 0;
    };
    RunningAcfResult r;
    const SampleBlock block = Block(1, x, {});
    EXPECT_EQ(CalcRunningAcfMono(block, 48000, c, 48000, callback, &r), CalcResult::Cancelled);
    EXPECT_EQ(r.frames, 3);
    EXPECT_TRUE(r.factors.empty());
    EXPECT_EQ(r.peaks.size(), 89u);  // (48000 - 5280) / 480
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    // SAMPLENUM beyond the block counts the block's samples; below it, fewer frames.
    ASSERT_EQ(CalcRunningAcfMono(block, 1000000, c, 48000, nullptr, &r), CalcResult::Finished);
    EXPECT_EQ(r.frames, 89);
    ASSERT_EQ(CalcRunningAcfMono(block, 10080, c, 48000, nullptr, &r), CalcResult::Finished);
    EXPECT_EQ(r.frames, 10);
    SampleBlock three = block;
    three.channels = 3;
    EXPECT_EQ(CalcRunningAcf(three, AcfConditionBlock{48000, c, 0.1}, 48000, nullptr, &r),
              CalcResult::Unusable);
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(RunningAcf, FrameViewerRedrawsWhatTheEngineComputed) {
    const double fs = 48000;
    std::vector<double> left = Noise(24000, 9), right(left.size(), 0.0);
    for (std::size_t i = 10; i < left.size(); ++i)
        right[i] = left[i - 10];
    RunningAcfConditions c;
    c.integrationTime = 0.1;
    c.maxDelayTime = 0.01;
    c.runningStep = 0.05;
    // One channel: the viewer's frame is the engine's frame, factors bit for bit, and its
    // normalised ACF starts at 1 with the envelope the factors were fitted to.
    const SampleBlock mono = Block(1, left, {});
    RunningAcfResult r;
    ASSERT_EQ(CalcRunningAcfMono(mono, 24000, c, fs, nullptr, &r), CalcResult::Finished);
    const AcfFrameViewer viewer(mono, 24000, c, 0.1, nullptr, fs);
    ASSERT_EQ(viewer.Frames(), r.frames);
    for (std::int32_t k : {0, 3, r.frames - 1}) {
        const AcfFrameView v = viewer.Frame(k, true);
        ASSERT_TRUE(v.valid);
        EXPECT_EQ(
            std::memcmp(&v.factors, &r.factors[static_cast<std::size_t>(k)], sizeof v.factors), 0)
            << "frame " << k;
        EXPECT_EQ(v.phi.size(), static_cast<std::size_t>(viewer.Framing().maxDelay));
        EXPECT_EQ(v.phi[0], 1.0f);
        EXPECT_GE(v.envelope.count, 2);
        EXPECT_TRUE(v.iacf.empty());  // one channel has no interaural function
    }
    EXPECT_FALSE(viewer.Frame(-1, false).valid);
    EXPECT_FALSE(viewer.Frame(r.frames, false).valid);

    // Two channels: the interaural window peaks at the delay with the engine's IACC.
    const SampleBlock stereo = Block(2, left, right);
    ASSERT_EQ(CalcRunningAcf(stereo, AcfConditionBlock{24000, c, 0.1}, fs, nullptr, &r),
              CalcResult::Finished);
    const AcfFrameViewer both(stereo, 24000, c, 0.1, nullptr, fs);
    const AcfFrameView v = both.Frame(2, true);
    ASSERT_EQ(v.iacf.size(), 96u);
    const auto peak = std::max_element(v.iacf.begin(), v.iacf.end()) - v.iacf.begin();
    EXPECT_EQ(peak, 48 - 10);  // lag -10 samples
    EXPECT_EQ(v.factors.iacc, r.factors[2].iacc);
    EXPECT_EQ(v.factors.tauIacc, r.factors[2].tauIacc);
    EXPECT_NEAR(v.iacf[static_cast<std::size_t>(peak)], r.factors[2].iacc, 1e-6);

    // Unusable conditions or an empty block give no frames.
    RunningAcfConditions bad = c;
    bad.runningStep = 0;
    EXPECT_EQ(AcfFrameViewer(stereo, 24000, bad, 0.1, nullptr, fs).Frames(), 0);
    EXPECT_EQ(AcfFrameViewer(SampleBlock{}, 24000, c, 0.1, nullptr, fs).Frames(), 0);
}

}  // namespace
}  // namespace vesk
