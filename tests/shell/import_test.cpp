// The shared import: per-file outcomes, MLS orders, cancel between files, and the store edits
// the desktop uses (deleting measurements with their results, titles, folder fields).
#include "shell/import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "store/iso_result.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// A decaying binaural response after 20 ms of leading silence, with trailing digital silence.
std::vector<std::int16_t> Response(int rate, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    const std::size_t lead = static_cast<std::size_t>(0.02 * rate);
    const std::size_t frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> s(2 * (frames + lead + rate / 10), 0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double envelope = 20000.0 * std::exp(-6.9 * static_cast<double>(i) / rate / 0.4);
        for (int c = 0; c < 2; ++c)
            s[2 * (lead + i) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::clamp(envelope * noise(random), -32767.0, 32767.0));
    }
    return s;
}

class Import : public ::testing::Test {
  protected:
    void SetUp() override {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I", "Hall"), 1);
        ASSERT_EQ(test::AppendFolder(folders, 2, "N", "Street"), 1);
    }
    std::string Wav(const std::string& name, int channels, int rate,
                    const std::vector<std::int16_t>& samples) {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(WriteWavFile(path, channels, rate, samples));
        return path;
    }
    test::TempStore m_store;
    test::ScriptedMessages m_messages;
    test::TempDir m_dir;
};

TEST_F(Import, RefusedFilesAreNamedAndTheOthersStillImported) {
    const std::string good = Wav("seat 1.wav", 2, 16000, Response(16000, 0.5, 1));
    const std::string quad = Wav("quad.wav", 4, 16000, std::vector<std::int16_t>(4 * 4000, 100));
    const std::string text = m_dir.File("notes.wav");
    test::WriteFileBytes(text, {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    const std::string other = Wav("seat 2.wav", 2, 44100, Response(44100, 0.3, 2));
    ImportChoices choices;
    const ImportSummary s = ImportFiles(1, {good, quad, text, other}, choices, nullptr);
    ASSERT_EQ(s.files.size(), 4u);
    EXPECT_EQ(s.Imported(), 2);
    EXPECT_EQ(s.files[1].status, ImportOutcome::Status::kRefused);
    EXPECT_NE(s.files[1].reason.find("quad.wav: 4 channels"), std::string::npos)
        << s.files[1].reason;
    EXPECT_EQ(s.files[2].status, ImportOutcome::Status::kRefused);
    EXPECT_NE(s.Refusals().find("notes.wav"), std::string::npos);
    // Leading silence trimmed to the pre-delay, trailing silence dropped, padded to 2^r.
    CImpulseTable impulses;
    ImpulseRecord r;
    ASSERT_TRUE(impulses.Open() && impulses.Read(s.files[0].ids.at(0), &r));
    EXPECT_EQ(r.title, "seat 1");
    EXPECT_EQ(r.noMls, 1);
    EXPECT_EQ(r.mesTime, 13);  // 0.505 s at 16 kHz fit 2^13 frames
    SampleBlock block;
    ASSERT_EQ(ReadWaveData(impulses, &block), db::kOk);
    EXPECT_EQ(block.Frames(), 8192u);
    EXPECT_EQ(block.At(0, 0), 0);
    EXPECT_EQ(test::CountInFolder(impulses, 1), 2);
}

TEST_F(Import, MlsOrderComesFromTheLengthOrIsRefused) {
    const std::string period = Wav("period.wav", 2, 48000, std::vector<std::int16_t>(2 << 14, 7));
    const std::string odd = Wav("odd.wav", 2, 48000, std::vector<std::int16_t>(2 * 20000, 7));
    ImportChoices choices;
    choices.form = ResponseForm::kMls;
    ImportSummary s = ImportFiles(1, {period, odd}, choices, nullptr);
    ASSERT_EQ(s.files[0].status, ImportOutcome::Status::kImported);
    EXPECT_NE(s.files[1].reason.find("give the order"), std::string::npos) << s.files[1].reason;
    CImpulseTable impulses;
    ImpulseRecord r;
    ASSERT_TRUE(impulses.Open() && impulses.Read(s.files[0].ids.at(0), &r));
    EXPECT_EQ(r.mesTime, 14);
    EXPECT_EQ(r.noMls, 0);
    // A given order must match the length.
    choices.mlsOrder = 15;
    s = ImportFiles(1, {period}, choices, nullptr);
    EXPECT_EQ(s.files[0].status, ImportOutcome::Status::kRefused);
}

TEST_F(Import, CancelKeepsTheStoreAsBeforeThatFileAndSweepNeedsItsExcitation) {
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k)
        files.push_back(Wav("n" + std::to_string(k) + ".wav", 1, 16000,
                            std::vector<std::int16_t>(16000, static_cast<std::int16_t>(k + 1))));
    ImportChoices choices;
    choices.kind = 'N';
    choices.calLevel = 94;
    // Two polls per file: the second file is cancelled before it reaches the store.
    test::ScriptedProgress sink;
    sink.cancelAtPoll = 3;
    Progress progress(sink);
    const ImportSummary s = ImportFiles(2, files, choices, &progress);
    EXPECT_EQ(s.Imported(), 1);
    EXPECT_TRUE(s.Cancelled());
    EXPECT_EQ(s.files[2].status, ImportOutcome::Status::kSkipped);
    CNmsTable noises;
    EXPECT_EQ(test::CountInFolder(noises, 2), 1);
    std::int64_t next = 0;
    ASSERT_TRUE(NextNoiseNumber(2, &next));
    EXPECT_EQ(next, 1);

    ImportChoices sweep;
    sweep.form = ResponseForm::kSweep;
    sweep.excitation = m_dir.File("missing.wav");
    const ImportSummary refused = ImportFiles(1, {files[0]}, sweep, nullptr);
    EXPECT_EQ(refused.files[0].status, ImportOutcome::Status::kRefused);
    CImpulseTable impulses;
    EXPECT_EQ(test::CountInFolder(impulses, 1), 0);
}

TEST_F(Import, DeletedMeasurementsTakeTheirResultsAndEditsKeepTheSamples) {
    const ImportSummary s = ImportFiles(1,
                                        {Wav("a.wav", 2, 16000, Response(16000, 0.3, 3)),
                                         Wav("b.wav", 2, 16000, Response(16000, 0.3, 4))},
                                        ImportChoices{}, nullptr);
    ASSERT_EQ(s.Imported(), 2);
    const std::int32_t a = s.files[0].ids.at(0), b = s.files[1].ids.at(0);
    {
        CAcParamTable results;
        CIsoParamTable iso;
        ASSERT_TRUE(results.Open() && iso.Open());
        for (std::int32_t id : {a, b}) {
            AcParamRecord r;
            r.impulseId = id;
            IsoResultRecord stored;
            stored.impulseId = id;
            stored.channels = 2;
            stored.bands.resize(1);
            ASSERT_EQ(WriteImpulseResult(results, iso, r, &stored), db::kOk);
        }
    }
    ASSERT_TRUE(SetMeasurementText('I', b, "front row", "after the rehearsal"))
        << (m_messages.shown.empty() ? "" : m_messages.shown.back());
    ASSERT_TRUE(DeleteMeasurements('I', {a, 999}));
    CImpulseTable impulses;
    ImpulseRecord r;
    ASSERT_TRUE(impulses.Open());
    EXPECT_FALSE(impulses.Exists(a));
    ASSERT_TRUE(impulses.Read(b, &r));
    EXPECT_EQ(r.title, "front row");
    EXPECT_EQ(r.comment, "after the rehearsal");
    EXPECT_EQ(r.noMls, 1);
    SampleBlock block;
    EXPECT_EQ(ReadWaveData(impulses, &block), db::kOk);
    CAcParamTable after;
    ASSERT_TRUE(after.Open());
    EXPECT_FALSE(after.Exists(a));
    EXPECT_TRUE(after.Exists(b));
    IsoResultRecord iso;
    EXPECT_EQ(LoadIsoResult(a, &iso), IsoLoad::Absent);
    EXPECT_EQ(LoadIsoResult(b, &iso), IsoLoad::Loaded);
    std::string report;
    EXPECT_EQ(impulses.Verify(&report), db::kOk) << report;
    EXPECT_EQ(after.Verify(&report), db::kOk) << report;

    FolderRecord f;
    f.folderId = 1;
    f.title = "Great hall";
    f.type = "N";  // the kind is not the dialog's to change
    f.scale = 10;
    ASSERT_TRUE(UpdateFolderFields(f));
    CFolderTable folders;
    ASSERT_TRUE(folders.Open() && folders.Read(1, &f));
    EXPECT_EQ(f.title, "Great hall");
    EXPECT_EQ(f.type, "I");
    EXPECT_DOUBLE_EQ(f.scale, 10);
}

TEST(ImportPaths, AudioAndSofaNamesAreImportable) {
    for (const char* p : {"/a/seat.wav", "x.WAV", "y.flac", "z.aiff", "h.sofa", "q.aif"})
        EXPECT_TRUE(IsImportablePath(p)) << p;
    for (const char* p : {"notes.txt", "wav", "/dir/", "a.pdf"})
        EXPECT_FALSE(IsImportablePath(p)) << p;
}

}  // namespace
}  // namespace vesk
