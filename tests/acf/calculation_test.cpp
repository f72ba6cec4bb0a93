#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "acf/acf_calculation.h"
#include "base/progress.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

std::vector<std::int16_t> Music(std::size_t frames, int channels, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 200.0);
    std::vector<std::int16_t> s;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000;
        const double v = 6000 * std::sin(2 * 3.14159265358979 * 440 * t) *
                         (0.6 + 0.4 * std::sin(2 * 3.14159265358979 * 2 * t));
        for (int ch = 0; ch < channels; ++ch)
            s.push_back(static_cast<std::int16_t>(std::lround(v + g(random))));
    }
    return s;
}

// Folder `folderId` of kind A with one recording per entry of `channels`, IDs from `firstId`.
void MakeFolder(std::int32_t folderId, double scale, std::int32_t firstId,
                const std::vector<int>& channels, unsigned seed = 0) {
    const std::size_t frames = 48000;
    CFolderTable folders;
    CAcfTable recordings;
    ASSERT_TRUE(folders.Open() && recordings.Open());
    ASSERT_EQ(test::AppendFolder(folders, folderId, "A", "", scale), 1);
    for (std::size_t k = 0; k < channels.size(); ++k) {
        AcfRecord r;
        r.folderId = folderId;
        r.acfId = firstId + static_cast<std::int32_t>(k);
        r.sampling = 48000;
        r.channel = channels[k];
        r.sampleNum = static_cast<std::int32_t>(frames);
        r.title = "Take " + std::to_string(r.acfId);
        ASSERT_EQ(recordings.Append(
                      r, MakeWaveBlock(channels[k], Music(frames, channels[k],
                                                          seed + static_cast<unsigned>(k)))),
                  1);
    }
}

RunningAcfConditions Short() {
    RunningAcfConditions c;
    c.integrationTime = 0.2;
    c.maxDelayTime = 0.02;
    c.runningStep = 0.1;
    return c;
}

std::vector<AcfFactorRecord> Stored(std::int32_t id, AcfConditionBlock* cond = nullptr) {
    CAcfFactTable results;
    AcfFactRecord r;
    AcfFactBlobs blobs;
    if (!results.Open() || !results.Read(id, &r, &blobs)) return {};
    if (cond) *cond = DecodeAcfConditionBlock(blobs.cond.data());
    EXPECT_EQ(r.condSize, 84);
    EXPECT_EQ(r.factSize, 20);
    EXPECT_EQ(DecodeAcfPeaks(blobs.peaks).size(), static_cast<std::size_t>(r.nAcfFact));
    return DecodeAcfFactors(blobs.factors);
}

TEST(AcfCalculation, StoresResultsWithTargetsCancelAndReference) {
    test::TempStore store;
    test::Threads one(1);
    test::ScriptedMessages messages;
    MakeFolder(1, 0, 1, {2, 1, 2, 2});
    test::ScriptedProgress sink;
    // Polls: one per frame (7 frames a recording); the 17th is in the third recording.
    sink.cancelAtPoll = 17;
    {
        Progress p(sink);
        RunSummary s = RunAcfCalculation(1, Short(), Target::All, {}, &p);
        EXPECT_TRUE(s.cancelled);
        EXPECT_EQ(s.computed, 2);
    }
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"Take 1", "Take 2", "Take 3"}));
    AcfConditionBlock cond;
    std::vector<AcfFactorRecord> first = Stored(1, &cond);
    ASSERT_EQ(first.size(), 7u);  // (48000 - 10560) / 4800
    EXPECT_EQ(cond.sampleNum, 48000);
    EXPECT_EQ(cond.wiaccWidth, 0.1);
    EXPECT_EQ(cond.conditions.integrationTime, 0.2);
    EXPECT_NE(first[0].iacc, 0.0f);
    std::vector<AcfFactorRecord> mono = Stored(2);
    ASSERT_EQ(mono.size(), 7u);
    EXPECT_EQ(mono[0].iacc, 0.0f);  // one channel: no interaural factors
    EXPECT_EQ(mono[0].binauralLevel, 0.0f);
    EXPECT_TRUE(Stored(3).empty());  // cancelled in the middle: not stored

    test::ScriptedProgress quiet;
    Progress p(quiet);
    RunSummary rest = RunAcfCalculation(1, Short(), Target::NonCalculated, {}, &p);
    EXPECT_EQ(rest.computed, 2);
    EXPECT_EQ(RunAcfCalculation(1, Short(), Target::NonCalculated, {}, &p).computed, 0);
    EXPECT_EQ(RunAcfCalculation(1, Short(), Target::Selected, {4}, &p).computed, 1);
    // Progress runs over the chosen recordings only: the second of two starts at half.
    EXPECT_NE(std::find(quiet.positions.begin(), quiet.positions.end(), 50), quiet.positions.end());

    // "Maximum value": the folder's largest Phi(0) is shown as the reference level.
    double largest = 0;
    for (int id = 1; id <= 4; ++id)
        for (const AcfFactorRecord& f : Stored(id))
            largest = std::max(largest, static_cast<double>(f.phi0));
    EXPECT_GT(largest, 0.0);
    EXPECT_DOUBLE_EQ(PhiZeroReferenceOffset(1, -1, 90.0), 90.0 - largest);
    EXPECT_EQ(PhiZeroReferenceOffset(1, -2, 90.0), 0.0);
    double ofTwo = 0;
    for (const AcfFactorRecord& f : Stored(2))
        ofTwo = std::max(ofTwo, static_cast<double>(f.phi0));
    EXPECT_DOUBLE_EQ(PhiZeroReferenceOffset(1, 2, 90.0), 90.0 - ofTwo);
    EXPECT_EQ(PhiZeroReferenceOffset(1, 77, 90.0), 0.0);  // no such result
    EXPECT_TRUE(messages.shown.empty());
}

TEST(AcfCalculation, ScaleTenMakesEveryTimeTenTimesLongerAndBadConditionsAreRefused) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeFolder(1, 0, 1, {1}, 7);
    MakeFolder(2, 10, 2, {1}, 7);  // the same recording in a folder at model scale 1:10
    RunningAcfConditions c = Short();
    c.weighting = 0;  // the weighting curves depend on the sampling rate
    RunningAcfConditions model = c;
    model.integrationTime *= 10;
    model.maxDelayTime *= 10;
    model.runningStep *= 10;
    model.peakDetectTime *= 10;
    model.tauERegTime *= 10;
    ASSERT_EQ(RunAcfCalculation(1, c, Target::All, {}, nullptr).computed, 1);
    ASSERT_EQ(RunAcfCalculation(2, model, Target::All, {}, nullptr).computed, 1);
    std::vector<AcfFactorRecord> full = Stored(1), scaled = Stored(2);
    ASSERT_EQ(full.size(), scaled.size());
    ASSERT_FALSE(full.empty());
    // Same samples per frame and lag: the levels agree and every time is ten times longer.
    for (std::size_t k = 0; k < full.size(); ++k) {
        EXPECT_EQ(scaled[k].phi0, full[k].phi0) << k;
        EXPECT_EQ(scaled[k].phi1, full[k].phi1) << k;
        EXPECT_GT(full[k].tau1, 0.0f) << k;
        EXPECT_FLOAT_EQ(scaled[k].tau1, 10 * full[k].tau1) << k;
        if (full[k].tauE == kNoValue)
            EXPECT_EQ(scaled[k].tauE, kNoValue) << k;
        else
            EXPECT_NEAR(scaled[k].tauE, 10 * full[k].tauE, 1e-5 * std::fabs(scaled[k].tauE)) << k;
    }

    RunningAcfConditions bad = c;
    bad.runningStep = 0.0001;  // under one sample at 4800 Hz, fine at 48000
    RunSummary s = RunAcfCalculation(2, bad, Target::All, {}, nullptr);
    EXPECT_NE(s.refused.find("Running Step"), std::string::npos) << s.refused;
    EXPECT_EQ(s.computed, 0);
    EXPECT_TRUE(messages.shown.empty());
}

// A write that fails half-way (the blob file cannot grow) is reported, leaves no record whose
// blobs are missing, and stops the run.
TEST(AcfCalculation, FailedWritesAreReportedAndLeaveNoHalfResult) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeFolder(1, 0, 1, {2, 2, 2});
    {
        CAcfFactTable results;
        ASSERT_TRUE(results.Open());
    }
    const auto bin = std::filesystem::file_size(store.File("ACFFACT.BIN"));
    const auto dbf = std::filesystem::file_size(store.File("ACFFACT.DBF"));
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = std::max<rlim_t>(bin, dbf) + 300;  // records fit; factor blobs do not
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    RunSummary s = RunAcfCalculation(1, Short(), Target::All, {}, nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    // The first refused write stops the run: the store is not handed the next result.
    EXPECT_EQ(s.writeFailures, 1);
    EXPECT_TRUE(s.failed);
    EXPECT_EQ(s.computed, 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("Can't write calculation file."), std::string::npos)
        << messages.shown[0];
    {
        CAcfFactTable results;
        ASSERT_TRUE(results.Open());
        for (int id = 1; id <= 3; ++id)
            EXPECT_EQ(results.Exists(id), 0) << id;
    }
    // The store stays sound and the recordings count as not calculated.
    EXPECT_EQ(RunAcfCalculation(1, Short(), Target::NonCalculated, {}, nullptr).computed, 3);
    EXPECT_EQ(Stored(3).size(), 7u);
}

}  // namespace
}  // namespace vesk
