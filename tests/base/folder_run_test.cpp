// Folder runs at any thread count: the same store bytes, results written in folder order, and a
// cancel that keeps what was written before and nothing after.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "acf/acf_calculation.h"
#include "impulse/impulse_calculation.h"
#include "noise/noise_calculation.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

// A deterministic noise source.
struct Noise {
    std::uint32_t state;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

// A measured-looking binaural response: leading silence, a direct sound, a decaying tail at
// full scale, then trailing digital silence.
std::vector<std::int16_t> Response(std::size_t frames, int channels, unsigned seed) {
    Noise noise{seed};
    std::vector<std::int16_t> s(frames * static_cast<std::size_t>(channels), 0);
    const std::size_t lead = 200 + seed % 97, end = frames - frames / 5;
    for (std::size_t i = lead; i < end; ++i) {
        const double t = static_cast<double>(i - lead) / 48000.0;
        for (int c = 0; c < channels; ++c) {
            double v = std::exp(-t * 9.0) * noise.Next() * 32000.0;
            if (i == lead) v = c ? 24000 : 32767;
            s[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    return s;
}

// Music-like sound: a few partials with a slow envelope and some noise.
std::vector<std::int16_t> Sound(std::size_t frames, int channels, unsigned seed) {
    Noise noise{seed};
    std::vector<std::int16_t> s(frames * static_cast<std::size_t>(channels));
    const double f = 180.0 + 40.0 * (seed % 5);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 1.3 * t);
        for (int c = 0; c < channels; ++c) {
            const double v =
                env * (std::sin(2 * M_PI * f * t + c) + 0.4 * std::sin(2 * M_PI * 2.01 * f * t)) +
                0.05 * noise.Next();
            s[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(v * 12000.0));
        }
    }
    return s;
}

// Folder 1 "I": impulse responses and MLS recordings of two orders and two rates, one mono, one
// whose channel field disagrees with its samples, one without parseable samples. Folder 2 "A"
// and folder 3 "N": short recordings, one mono each.
void MakeFolders(int impulses) {
    CFolderTable folders;
    CImpulseTable ir;
    CAcfTable acf;
    CNmsTable nms;
    // The result tables too: a table is created with a counter of its own, which the copies
    // compared below must share.
    CAcParamTable irResults;
    CAcfFactTable acfResults;
    CNsTmpTable templates;
    ASSERT_TRUE(folders.Open() && ir.Open() && acf.Open() && nms.Open() && irResults.Open() &&
                acfResults.Open() && templates.Open());
    ASSERT_EQ(test::AppendFolder(folders, 1, "I", "Hall"), 1);
    ASSERT_EQ(test::AppendFolder(folders, 2, "A", "Music"), 1);
    ASSERT_EQ(test::AppendFolder(folders, 3, "N", "Site"), 1);
    for (int k = 0; k < impulses; ++k) {
        ImpulseRecord m;
        m.folderId = 1;
        m.impulseId = k + 1;
        m.mesTime = 12 + k % 2;
        m.noMls = k % 3 == 0 ? 0 : 1;
        m.sampling = k % 4 == 3 ? 44100 : 48000;
        m.channel = k == 4 ? 1 : 2;
        m.multiplier = 1;
        m.title = "Seat " + std::to_string(k + 1);
        const int channels = k == 5 ? 1 : m.channel;  // k == 5: says two, holds one
        const std::size_t frames = (std::size_t{1} << m.mesTime) - 300;
        std::vector<unsigned char> wave =
            k == 6 ? std::vector<unsigned char>{1, 2, 3}
                   : MakeWaveBlock(channels, Response(frames, channels, 11u * k + 1));
        ASSERT_EQ(ir.Append(m, wave), 1);
    }
    for (int k = 0; k < 4; ++k) {
        const int channels = k == 2 ? 1 : 2;
        const std::size_t frames = 24000 + 4800 * static_cast<std::size_t>(k);
        AcfRecord r;
        r.folderId = 2;
        r.acfId = k + 1;
        r.sampling = 48000;
        r.channel = channels;
        r.sampleNum = static_cast<std::int32_t>(frames);
        r.title = "Take " + std::to_string(k + 1);
        ASSERT_EQ(acf.Append(r, MakeWaveBlock(channels, Sound(frames, channels, 7u * k + 3))), 1);

        NmsRecord n;
        n.folderId = 3;
        n.nmsId = k + 1;
        n.number = k;
        n.sampling = 48000;
        n.channel = channels;
        n.sampleNum = r.sampleNum;
        std::array<unsigned char, blob::kNmsCondSize> cond{};
        NoiseConditionBlock b;
        b.calibration.referenceLevel = -94;
        EncodeNoiseConditionBlock(b, cond.data());
        ASSERT_EQ(nms.Append(n, MakeWaveBlock(channels, Sound(frames, channels, 5u * k + 1)), cond),
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

using Snapshot = std::map<std::string, std::vector<unsigned char>>;

void Restore(const std::string& from, const std::string& to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

TEST(FolderRun, StoresTheSameBytesAtEveryThreadCount) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeFolders(9);
    {
        // Made on first use with a random change counter: made once, before the runs.
        CIsoParamTable iso;
        ASSERT_TRUE(iso.Open());
    }
    const std::string pristine = store.DataPath() + ".pristine";
    fs::copy(store.DataPath(), pristine, fs::copy_options::recursive);

    Snapshot reference;
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        test::Threads use(threads);
        Restore(pristine, store.DataPath());
        messages.shown.clear();
        RunSummary ir = RunImpulseCalculation(1, ImpulseConditions(), Target::All, {}, nullptr);
        EXPECT_EQ(ir.taken, 9);
        EXPECT_EQ(ir.computed, 7);
        EXPECT_EQ(ir.skipped, 2);  // channel field and samples disagree; samples that do not parse
        EXPECT_TRUE(messages.shown.empty());
        RunSummary acf = RunAcfCalculation(2, Short(), Target::All, {}, nullptr);
        EXPECT_EQ(acf.computed, 4);
        RunSummary noise = RunNoiseCalculation(3, Short(), IdentificationSettings(), 0.1,
                                               Target::All, {}, nullptr);
        EXPECT_EQ(noise.computed, 4);
        EXPECT_FALSE(ir.failed || acf.failed || noise.failed);

        Snapshot now = test::FolderBytes(store.DataPath());
        if (threads == 1) {
            reference = now;
            EXPECT_GT(reference.count("ACPARAM.DBF"), 0u);
            continue;
        }
        ASSERT_EQ(now.size(), reference.size());
        for (const auto& [name, bytes] : reference) {
            std::size_t at = 0;
            const std::vector<unsigned char>& other = now[name];
            while (at < bytes.size() && at < other.size() && bytes[at] == other[at])
                ++at;
            EXPECT_TRUE(other == bytes)
                << name << " differs from byte " << at << " of " << bytes.size();
        }
    }
    fs::remove_all(pristine);
}

// Cancels once the given message has been shown.
class CancelOnMessage : public ProgressSink {
  public:
    explicit CancelOnMessage(std::string prefix) : m_prefix(std::move(prefix)) {}
    void ShowPosition(int percent) override { positions.push_back(percent); }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (text.rfind(m_prefix, 0) == 0) m_seen = true;
    }
    bool PumpAndCheckCancel() override { return m_seen; }
    bool ConfirmCancel() override { return true; }
    std::vector<int> positions;
    std::vector<std::string> messages;

  private:
    std::string m_prefix;
    bool m_seen = false;
};

TEST(FolderRun, CancelKeepsEarlierResultsWholeAndWritesNothingAfter) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeFolders(5);
    {
        test::Threads one(1);
        ASSERT_EQ(RunImpulseCalculation(1, ImpulseConditions(), Target::All, {}, nullptr).computed,
                  5);
    }
    std::vector<AcParamRecord> whole(5);
    {
        CAcParamTable results;
        ASSERT_TRUE(results.Open());
        for (int id = 1; id <= 5; ++id)
            ASSERT_TRUE(results.Read(id, &whole[id - 1]));
    }
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        test::Threads use(threads);
        for (const auto& e : fs::directory_iterator(store.DataPath()))
            if (e.path().filename().string().rfind("ACPARAM", 0) == 0) fs::remove(e.path());
        CancelOnMessage sink("Seat 3");
        RunSummary s;
        {
            Progress p(sink);
            s = RunImpulseCalculation(1, ImpulseConditions(), Target::All, {}, &p);
        }
        EXPECT_TRUE(s.cancelled);
        EXPECT_EQ(s.computed, 2);
        // Shown in folder order: no message of a later measurement before an earlier one's.
        std::vector<std::string> order;
        for (const std::string& m : sink.messages)
            if (order.empty() || m.substr(0, 6) != order.back()) order.push_back(m.substr(0, 6));
        EXPECT_EQ(order, (std::vector<std::string>{"Seat 1", "Seat 2", "Seat 3"}));
        EXPECT_TRUE(std::is_sorted(sink.positions.begin(), sink.positions.end()));
        CAcParamTable results;
        ASSERT_TRUE(results.Open());
        for (int id = 1; id <= 5; ++id) {
            AcParamRecord r;
            if (id <= 2) {
                ASSERT_TRUE(results.Read(id, &r)) << id;
                EXPECT_EQ(r.nData, whole[id - 1].nData);
                for (int b = 0; b < r.nData; ++b) {
                    EXPECT_EQ(r.bands[b].splL, whole[id - 1].bands[b].splL);
                    EXPECT_EQ(r.bands[b].iacc, whole[id - 1].bands[b].iacc);
                    EXPECT_EQ(r.bands[b].tsubR, whole[id - 1].bands[b].tsubR);
                }
            } else {
                EXPECT_EQ(results.Exists(id), 0) << id;
            }
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
