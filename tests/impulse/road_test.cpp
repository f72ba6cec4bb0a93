// A binaural MLS recording made by the test, stored, recovered, computed and read back.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dsp/mls.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

constexpr double kFs = 48000;
constexpr int kOrder = 14;
constexpr std::size_t kN = std::size_t{1} << kOrder, kL = kN - 1;
constexpr int kDirect = 200, kGap = 720;  // 15 ms
constexpr double kT60 = 0.1;

// A band-limited pulse (Hann-windowed sinc, up to fs/8) peaking at `at`. Its side lobes are
// what a microphone records around a reflection: the lobe that rises above a tenth of the
// reflection switches the search on, and the main peak after it is the one taken.
void AddPulse(std::vector<double>& h, int at, double amplitude) {
    for (int k = -40; k <= 40; ++k) {
        double x = k * 0.25;
        double sinc = k == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
        double window = 0.5 * (1 + std::cos(M_PI * k / 41.0));
        h[static_cast<std::size_t>(at + k)] += amplitude * sinc * window;
    }
}

std::vector<double> Response(unsigned seed, int shift) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<double> h(kL, 0.0);
    AddPulse(h, kDirect + shift, 1.0);
    AddPulse(h, kDirect + shift + kGap, 0.5);
    AddPulse(h, kDirect + shift + kGap + 400, 0.25);
    const double tau = kT60 / std::log(1000.0);
    for (std::size_t i = kDirect + kGap + 60; i < kL; ++i)
        h[i] += 0.1 * g(random) *
                    std::exp(-(static_cast<double>(i) - kDirect - kGap - 60) / kFs / tau) +
                1e-6 * g(random);
    return h;
}

// One period of the MLS recording of h: position j + 1 holds the circular convolution at j.
std::vector<double> Convolve(const std::vector<double>& h) {
    const auto& seq = SharedMls().sequence;
    std::vector<double> s(kL);
    for (std::size_t i = 0; i < kL; ++i)
        s[i] = seq[i] ? -1.0 : 1.0;
    std::vector<double> y(kN, 0.0);
    for (std::size_t j = 0; j < kL; ++j) {
        double acc = 0;
        for (std::size_t k = 0; k <= j; ++k)
            acc += h[k] * s[j - k];
        for (std::size_t k = j + 1; k < kL; ++k)
            acc += h[k] * s[j + kL - k];
        y[j + 1] = acc;
    }
    return y;
}

TEST(ImpulseRoad, MlsRecordingToStoredParameters) {
    ASSERT_TRUE(MlsPrepare(kOrder));
    auto left = Response(1, 0), right = Response(2, 3);
    auto recL = Convolve(left), recR = Convolve(right);
    double peak = 0;
    for (std::size_t i = 0; i < kN; ++i)
        peak = std::max({peak, std::fabs(recL[i]), std::fabs(recR[i])});
    const double gain = 30000 / peak;  // the recording fills 16 bits without clipping
    std::vector<std::int16_t> interleaved(2 * kN);
    for (std::size_t i = 0; i < kN; ++i) {
        interleaved[2 * i] = static_cast<std::int16_t>(std::lround(recL[i] * gain));
        interleaved[2 * i + 1] = static_cast<std::int16_t>(std::lround(recR[i] * gain));
    }
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CImpulseTable impulses;
        ASSERT_TRUE(folders.Open() && impulses.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I", "", 1.0), 1);
        ImpulseRecord m;
        m.folderId = 1;
        m.impulseId = 7;
        m.sampling = 48000;
        m.mesTime = kOrder;
        m.channel = 2;
        m.bit = 16;
        m.multiplier = 1;
        ASSERT_EQ(impulses.Append(m, MakeWaveBlock(2, interleaved)), 1);
    }
    ImpulseConditions c;
    c.bandFrom = 0;
    RunSummary s = RunImpulseCalculation(1, c, Target::All, {}, nullptr);
    ASSERT_EQ(s.computed, 1);
    CAcParamTable results;
    ASSERT_EQ(results.Open(), 1);
    AcParamRecord r;
    ASSERT_EQ(results.Read(7, &r), 1);

    // The stored record is the computed one in N8.2 text; the checks below use the unrounded
    // values, since a hundredth of a second or millisecond is coarser than they need.
    ImpulseRecord m;
    m.mesTime = kOrder;
    m.channel = 2;
    m.multiplier = 1;
    SampleBlock block;
    block.channels = 2;
    block.bits = 16;
    block.samples = interleaved;
    AcParamRecord mem;
    ASSERT_EQ(CalculateImpulseParameters(m, block, &mem, kFs, c, nullptr), CalcResult::Finished);
    EXPECT_NEAR(r.bands[0].tsubL, mem.bands[0].tsubL, 0.005);
    EXPECT_NEAR(r.bands[0].splR, mem.bands[0].splR, 0.005);
    EXPECT_NEAR(r.deltaT1R, mem.deltaT1R, 0.005);
    EXPECT_NEAR(r.bands[0].iacc, mem.bands[0].iacc, 0.005);
    r = mem;

    // The reflection lies one gap after the direct sound, to within a sample.
    EXPECT_NEAR(r.deltaT0L, kDirect / kFs * 1000, 0.01);
    EXPECT_NEAR(r.deltaT1L - r.deltaT0L, kGap / kFs * 1000, 1000 / kFs + 0.01);
    EXPECT_NEAR(r.deltaT1R - r.deltaT0R, kGap / kFs * 1000, 1000 / kFs + 0.01);
    EXPECT_NEAR(r.bands[0].tsubL, kT60, 0.05 * kT60);
    EXPECT_NEAR(r.bands[0].tsubR, kT60, 0.05 * kT60);

    // The recovered channel is gain * (N * h[k] - sum h) (the recording is rounded to 16 bits,
    // which the tolerance covers); its level and A-value follow from h in closed form.
    double sum = 0;
    for (double v : left)
        sum += v;
    std::vector<double> y(kN, 0.0);
    y[0] = gain * (kN * left[0] - sum);
    for (std::size_t k = 1; k + 1 < kN; ++k)
        y[k] = gain * (kN * left[k] - sum);
    double mean = 0;
    for (double v : y)
        mean += v / kN;
    double e = 0;
    for (double v : y)
        e += (v - mean) * (v - mean);
    EXPECT_NEAR(r.bands[0].splL, 10 * std::log10(e / kN), 0.05);
    double before = 0, after = 0;
    const std::size_t t1 = static_cast<std::size_t>(kFs * r.deltaT1L * 0.001);
    for (std::size_t k = 0; k < kN; ++k)
        (k < t1 ? before : after) += y[k] * y[k];
    EXPECT_NEAR(r.bands[0].aL, std::sqrt(after / before), 0.02 * std::sqrt(after / before));
    EXPECT_GT(r.bands[0].iacc, 0.0);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
