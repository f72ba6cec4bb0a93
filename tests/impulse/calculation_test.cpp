#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "base/progress.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// A binaural room response: direct sound, one reflection, a decaying tail.
SampleBlock RoomBlock(int order, int channels, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    const std::size_t n = std::size_t{1} << order;
    std::vector<std::int16_t> s(n * static_cast<std::size_t>(channels), 0);
    for (std::size_t i = 0; i < n; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            double v =
                i > 960 ? 3000 * g(random) * std::exp(-6.9 * (i - 960) / (48000 * 0.3)) : 0.0;
            if (i == 240 + static_cast<std::size_t>(ch) * 10) v += 30000;
            if (i == 1200) v += 12000;
            s[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(ch)] =
                static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    }
    SampleBlock b;
    b.channels = static_cast<std::uint16_t>(channels);
    b.bits = 16;
    b.samples = s;
    return b;
}

ImpulseRecord Measurement(int order, int channels) {
    ImpulseRecord m;
    m.impulseId = 1;
    m.mesTime = order;
    m.noMls = 1;
    m.channel = channels;
    m.multiplier = 1;
    m.title = "Seat";
    return m;
}

TEST(ImpulseCalculation, BandLoopEntries) {
    ImpulseConditions c;
    c.bandFrom = 0;
    AcParamRecord r;
    auto block = RoomBlock(14, 2, 1);
    ASSERT_EQ(CalculateImpulseParameters(Measurement(14, 2), block, &r, 48000, c, nullptr),
              CalcResult::Finished);
    EXPECT_EQ(r.nData, 1);
    EXPECT_EQ(r.bands[0].freq, 0);
    EXPECT_NEAR(r.deltaT0L, 240 / 48.0, 1e-9);
    EXPECT_NEAR(r.deltaT0R, 250 / 48.0, 1e-9);
    // The first reflection is searched from 10 ms after the direct sound.
    EXPECT_GE(r.deltaT1L, r.deltaT0L + 10.0);
    EXPECT_GE(r.bands[0].iacc, 0.0);
    EXPECT_LE(r.bands[0].iacc, 1.0);
    EXPECT_GT(r.bands[0].tsubL, 0.0);
    EXPECT_LE(r.bands[0].aL, 20.0);

    c.aFilter = 1;
    AcParamRecord a;
    CalculateImpulseParameters(Measurement(14, 2), block, &a, 48000, c, nullptr);
    EXPECT_EQ(a.nData, 2);
    EXPECT_EQ(a.bands[1].freq, -1);

    // Third-octave bands 1..32 at 32 kHz stop before the first band above 16 kHz.
    ImpulseConditions t;
    t.freqBand = 1;
    t.bandFrom = 1;
    t.bandTo = 31;
    AcParamRecord third;
    CalculateImpulseParameters(Measurement(14, 2), block, &third, 32000, t, nullptr);
    EXPECT_EQ(third.bands[static_cast<std::size_t>(third.nData - 1)].freq, 31);
    for (int k = 1; k < third.nData; ++k)
        EXPECT_GT(third.bands[static_cast<std::size_t>(k)].freq,
                  third.bands[static_cast<std::size_t>(k - 1)].freq);

    // One channel: the right-channel and interaural values stay 0.
    AcParamRecord mono;
    auto monoBlock = RoomBlock(14, 1, 2);
    CalculateImpulseParameters(Measurement(14, 1), monoBlock, &mono, 48000, ImpulseConditions(),
                               nullptr);
    EXPECT_EQ(mono.nData, 12);  // All(F) and octave bands 1..11 (band to 10 means band 11)
    for (int k = 0; k < mono.nData; ++k) {
        const auto& e = mono.bands[static_cast<std::size_t>(k)];
        EXPECT_EQ(e.splR, 0.0);
        EXPECT_EQ(e.iacc, 0.0);
        EXPECT_EQ(e.wiacc, 0.0);
    }
    EXPECT_EQ(mono.deltaT1R, 0.0);

    // A silent channel gives the missing value, never NaN.
    SampleBlock silent = RoomBlock(12, 2, 3);
    std::fill(silent.samples.begin(), silent.samples.end(), 0);
    AcParamRecord quiet;
    CalculateImpulseParameters(Measurement(12, 2), silent, &quiet, 48000, ImpulseConditions(),
                               nullptr);
    EXPECT_EQ(quiet.bands[0].splL, kNoValue);
    EXPECT_EQ(quiet.bands[0].tsubL, kNoValue);
    EXPECT_EQ(quiet.bands[0].iacc, kNoValue);
    EXPECT_EQ(CalculateImpulseParameters(Measurement(40, 2), silent, &quiet, 48000,
                                         ImpulseConditions(), nullptr),
              CalcResult::Unusable);
}

// Conditions come from a settings file as well as from the dialog: a band bound at the integer
// limit cannot overflow, and values no dialog offers are refused before anything is computed.
TEST(ImpulseCalculation, ConditionsFromAFileAreChecked) {
    ImpulseConditions wide;
    wide.bandTo = std::numeric_limits<std::int32_t>::max();
    AcParamRecord r, usual;  // band to 10 already reaches the last octave band
    auto block = RoomBlock(12, 2, 1);
    ASSERT_EQ(CalculateImpulseParameters(Measurement(12, 2), block, &r, 48000, wide, nullptr),
              CalcResult::Finished);
    CalculateImpulseParameters(Measurement(12, 2), block, &usual, 48000, ImpulseConditions(),
                               nullptr);
    EXPECT_GT(r.nData, 2);
    EXPECT_EQ(r.nData, usual.nData);

    EXPECT_EQ(CheckImpulseConditions(ImpulseConditions()), "");
    const std::pair<const char*, void (*)(ImpulseConditions&)> hostile[] = {
        {"band to", [](ImpulseConditions& c) { c.bandTo = 1 << 30; }},
        {"band system", [](ImpulseConditions& c) { c.freqBand = 7; }},
        {"ref data", [](ImpulseConditions& c) { c.splRefData = 0; }},
        {"ref level", [](ImpulseConditions& c) { c.splRefLevel = 1e6; }},
        {"noise range", [](ImpulseConditions& c) { c.tsubNoise = 2; }},
        {"WIACC", [](ImpulseConditions& c) { c.iaccWLevel = std::nan(""); }},
    };
    for (const auto& [what, spoil] : hostile) {
        ImpulseConditions c;
        spoil(c);
        EXPECT_NE(CheckImpulseConditions(c), "") << what;
        EXPECT_NE(RunImpulseCalculation(1, c, Target::All, {}, nullptr).refused, "") << what;
    }
}

TEST(ImpulseCalculation, RecalculationsReproduceAndChangeOnlyTheirValues) {
    auto block = RoomBlock(13, 2, 4);
    ImpulseRecord m = Measurement(13, 2);
    AcParamRecord r;
    ImpulseConditions c;
    c.aFilter = 1;  // 13 entries: the bands computed two at a time leave one alone at the end
    ASSERT_EQ(CalculateImpulseParameters(m, block, &r, 48000, c, nullptr), CalcResult::Finished);
    ASSERT_EQ(r.nData, 13);
    // The recalculations walk the bands one by one on one thread: every value must match the
    // calculation's bit for bit.
    AcParamRecord same = r;
    ASSERT_TRUE(RecalculateTsub(m, block, &same, 48000));
    ASSERT_TRUE(RecalculateWiacc(m, block, &same, 48000));
    for (int k = 0; k < r.nData; ++k) {
        const auto &a = r.bands[static_cast<std::size_t>(k)],
                   &b = same.bands[static_cast<std::size_t>(k)];
        EXPECT_EQ(a.tsubL, b.tsubL) << k;
        EXPECT_EQ(a.tsubR, b.tsubR) << k;
        EXPECT_EQ(a.aL, b.aL) << k;
        EXPECT_EQ(a.aR, b.aR) << k;
        EXPECT_EQ(a.iacc, b.iacc) << k;
        EXPECT_EQ(a.tiacc, b.tiacc) << k;
        EXPECT_EQ(a.wiacc, b.wiacc) << k;
    }
    AcParamRecord wider = r;
    wider.iaccWLevel = 0.5;
    wider.tsubNoise = 0.2;
    ASSERT_TRUE(RecalculateWiacc(m, block, &wider, 48000));
    ASSERT_TRUE(RecalculateTsub(m, block, &wider, 48000));
    EXPECT_GT(wider.bands[0].wiacc, r.bands[0].wiacc);
    EXPECT_EQ(wider.bands[0].iacc, r.bands[0].iacc);
    EXPECT_EQ(wider.bands[0].splL, r.bands[0].splL);
    EXPECT_EQ(wider.deltaT1L, r.deltaT1L);
    EXPECT_FALSE(RecalculateTsub(Measurement(30, 2), block, &wider, 48000));
}

TEST(ImpulseCalculation, ProgressArithmeticAndDeclinedCancel) {
    test::ScriptedProgress sink;
    Progress p(sink);
    p.SetCount(3);
    p.BeginItem(0);
    p.BeginItem(1);
    p.ItemProgress(50);
    p.BeginItem(2);
    EXPECT_EQ(sink.positions, (std::vector<int>{0, 33, 49, 66}));
    sink.cancelAtPoll = 1;
    sink.confirm = false;
    EXPECT_EQ(p.PollCancel(), 0);  // declined: the run goes on
    sink.cancelAtPoll = 2;
    sink.confirm = true;
    EXPECT_EQ(p.PollCancel(), 1);
}

TEST(ImpulseCalculation, RunOverAFolderWithTargetsAndCancel) {
    test::TempStore store;
    test::Threads one(1);
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CImpulseTable impulses;
        ASSERT_TRUE(folders.Open() && impulses.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I", "", 0), 1);
        for (int id = 1; id <= 3; ++id) {
            ImpulseRecord m = Measurement(12, 2);
            m.folderId = 1;
            m.impulseId = id;
            m.sampling = 48000;
            SampleBlock b = RoomBlock(12, 2, static_cast<unsigned>(id));
            ASSERT_EQ(impulses.Append(m, MakeWaveBlock(2, b.samples)), 1);
        }
        ImpulseRecord broken = Measurement(12, 2);
        broken.folderId = 1;
        broken.impulseId = 4;
        ASSERT_EQ(impulses.Append(broken, {1, 2, 3}), 1);  // samples that do not parse
    }
    ImpulseConditions c;
    test::ScriptedProgress sink;
    sink.cancelAtPoll = 14;  // inside the second measurement (12 entries each, one poll per entry)
    {
        Progress p(sink);
        RunSummary s = RunImpulseCalculation(1, c, Target::All, {}, &p);
        EXPECT_TRUE(s.cancelled);
        EXPECT_EQ(s.computed, 1);
    }
    CAcParamTable results;
    ASSERT_EQ(results.Open(), 1);
    EXPECT_EQ(results.Exists(1), 1);
    EXPECT_EQ(results.Exists(2), 0);  // the measurement in progress is not written
    test::ScriptedProgress quiet;
    Progress p(quiet);
    RunSummary rest = RunImpulseCalculation(1, c, Target::NonCalculated, {}, &p);
    EXPECT_EQ(rest.computed, 2);
    EXPECT_EQ(rest.skipped, 1);
    EXPECT_FALSE(rest.failed);
    EXPECT_EQ(quiet.messages.front(), "Seat [All(F)]");
    EXPECT_EQ(quiet.messages[1], "Seat [16Hz]");
    EXPECT_EQ(RunImpulseCalculation(1, c, Target::NonCalculated, {}, &p).computed, 0);
    EXPECT_EQ(RunImpulseCalculation(1, c, Target::Selected, {3}, &p).computed, 1);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
