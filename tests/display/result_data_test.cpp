// The result loader on small stores with missing, damaged and hostile parts.
#include <gtest/gtest.h>

#include <filesystem>

#include "acf/acf_calculation.h"
#include "display/result_data.h"
#include "noise/noise_analysis.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// A plain stereo impulse response of 2^10 frames: a click and a short decay.
std::vector<unsigned char> ImpulseSamples() {
    std::vector<std::int16_t> s(2 * 1024, 0);
    for (std::size_t i = 0; i < 1024; ++i)
        for (std::size_t ch = 0; ch < 2; ++ch)
            s[2 * i + ch] = static_cast<std::int16_t>(
                i == 20 + ch ? 30000 : (i > 20 ? ((i * 7919 + ch) % 200) * 4000 / (i + 1) : 0));
    return MakeWaveBlock(2, s);
}

ImpulseRecord Measurement(std::int32_t id) {
    ImpulseRecord m;
    m.folderId = 1;
    m.impulseId = id;
    m.sampling = 48000;
    m.mesTime = 10;
    m.noMls = 1;
    m.channel = 2;
    m.multiplier = 1;
    m.title = "Seat";
    return m;
}

AcParamRecord Result(std::int32_t id) {
    AcParamRecord r;
    r.impulseId = id;
    r.nData = 1;
    r.splRefData = -2;
    r.bands[0].splL = 80;
    r.bands[0].iacc = 0.4;
    return r;
}

// Makes the first record of a table unreadable: a deletion flag that is neither ' ' nor '*'.
void DamageFirstRecord(const std::string& dbf) {
    std::vector<unsigned char> bytes = test::ReadFileBytes(dbf);
    ASSERT_GT(bytes.size(), 12u);
    const std::size_t header = bytes[8] | (bytes[9] << 8);
    ASSERT_LT(header, bytes.size());
    bytes[header] = 'X';
    test::WriteFileBytes(dbf, bytes);
}

class ImpulseLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        CFolderTable folders;
        CImpulseTable impulses;
        CAcParamTable results;
        ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I", "Hall", 2.0), 1);
        ImpulseRecord m = Measurement(1);
        ASSERT_TRUE(impulses.Append(m, ImpulseSamples()));
        ImpulseRecord bare = Measurement(2);
        ASSERT_TRUE(impulses.Append(bare, ImpulseSamples()));
        ImpulseRecord broken = Measurement(3);
        ASSERT_TRUE(impulses.Append(broken, {1, 2, 3}));  // samples that do not parse
        AcParamRecord r = Result(1);
        ASSERT_EQ(results.Write(r), db::kOk);
        AcParamRecord r3 = Result(3);
        ASSERT_EQ(results.Write(r3), db::kOk);
    }
    test::TempStore m_store;
    test::ScriptedMessages m_messages;
};

TEST_F(ImpulseLoad, ReadsTheMeasurementItsResponsesAndItsResult) {
    const ImpulseResultData d = LoadImpulseResult(1, 1);
    EXPECT_EQ(d.status, ResultLoad::Loaded);
    EXPECT_TRUE(d.folder.read);
    EXPECT_EQ(d.folder.record.title, "Hall");
    EXPECT_DOUBLE_EQ(d.fs, 24000);  // the folder's time scale applies
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.left.size(), 1024u);
    EXPECT_EQ(d.right.size(), 1024u);
    ASSERT_TRUE(d.hasResult);
    EXPECT_EQ(d.result.bands[0].splL, 80);
    EXPECT_EQ(d.splOffset, 0);
    EXPECT_TRUE(m_messages.shown.empty());

    // Without a result the measurement still loads whole.
    const ImpulseResultData bare = LoadImpulseResult(1, 2);
    EXPECT_EQ(bare.status, ResultLoad::Loaded);
    EXPECT_FALSE(bare.hasResult);
    EXPECT_EQ(bare.left.size(), 1024u);
}

TEST_F(ImpulseLoad, MissingOrUnreadablePartsGiveTheirStatus) {
    const ImpulseResultData none = LoadImpulseResult(1, 99);
    EXPECT_EQ(none.status, ResultLoad::NoMeasurement);
    EXPECT_FALSE(none.hasResult);
    EXPECT_TRUE(none.left.empty());

    // Unparsable samples: the result is still there, nothing is drawn.
    const ImpulseResultData broken = LoadImpulseResult(1, 3);
    EXPECT_EQ(broken.status, ResultLoad::NoSamples);
    EXPECT_TRUE(broken.hasResult);
    EXPECT_TRUE(broken.left.empty() && broken.right.empty());

    // A folder that is gone leaves a scale of 1.
    const ImpulseResultData orphan = LoadImpulseResult(7, 1);
    EXPECT_FALSE(orphan.folder.read);
    EXPECT_DOUBLE_EQ(orphan.fs, 48000);
}

TEST_F(ImpulseLoad, DamagedTablesAreReportedNeverRead) {
    DamageFirstRecord(m_store.File("ACPARAM.DBF"));
    const ImpulseResultData d = LoadImpulseResult(1, 1);
    EXPECT_EQ(d.status, ResultLoad::DamagedResult);
    EXPECT_FALSE(d.hasResult);
    EXPECT_EQ(d.result.nData, 0);  // nothing of a half-read record
    EXPECT_EQ(d.left.size(), 1024u);
    EXPECT_FALSE(m_messages.shown.empty());

    // Torn samples in the blob file.
    std::filesystem::resize_file(m_store.File("IMPULSE.BIN"),
                                 std::filesystem::file_size(m_store.File("IMPULSE.BIN")) / 2);
    const ImpulseResultData torn = LoadImpulseResult(1, 2);
    EXPECT_NE(torn.status, ResultLoad::Loaded);
    EXPECT_TRUE(torn.left.empty());

    DamageFirstRecord(m_store.File("IMPULSE.DBF"));
    EXPECT_EQ(LoadImpulseResult(1, 1).status, ResultLoad::NoMeasurement);
}

TEST_F(ImpulseLoad, SavedRecalculationIsReadBack) {
    AcParamRecord r = Result(2);
    r.tsubEnd = -7;
    ASSERT_TRUE(SaveImpulseResult(r));
    const ImpulseResultData d = LoadImpulseResult(1, 2);
    ASSERT_TRUE(d.hasResult);
    EXPECT_EQ(d.result.tsubEnd, -7);
    AcParamRecord gone = Result(42);  // no measurement to hold it
    EXPECT_FALSE(SaveImpulseResult(gone));
    EXPECT_FALSE(m_messages.shown.empty());
}

std::vector<AcfFactorRecord> Frames(int n) {
    std::vector<AcfFactorRecord> f(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        f[static_cast<std::size_t>(k)].phi0 = 60.0f + static_cast<float>(k);
    return f;
}

TEST(FactorLoad, RunningAcfResultWholeMissingAndDamaged) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CAcfTable recordings;
        CAcfFactTable results;
        ASSERT_TRUE(folders.Open() && recordings.Open() && results.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "A", "Solo"), 1);
        for (std::int32_t id : {1, 2}) {
            AcfRecord m;
            m.folderId = 1;
            m.acfId = id;
            m.sampling = 44100;
            m.channel = 2;
            m.sampleNum = 512;
            m.title = "Violin";
            ASSERT_TRUE(recordings.Append(m, MakeWaveBlock(2, std::vector<std::int16_t>(1024, 7))));
        }
        AcfConditionBlock cond;
        cond.sampleNum = 512;
        cond.conditions.runningStep = 0.25;
        cond.conditions.phi0RefData = -2;
        cond.wiaccWidth = 0.2;
        AcfFactRecord r;
        r.acfId = 1;
        AcfFactBlobs blobs;
        EncodeAcfConditionBlock(cond, blobs.cond.data());
        blobs.factors = EncodeAcfFactors(Frames(3));
        blobs.peaks = EncodeAcfPeaks(std::vector<AcfPeakRecord>(3));
        ASSERT_EQ(results.Write(r, blobs), db::kOk);
    }
    const FactorResultData d = LoadFactorResult('A', 1, 1);
    EXPECT_EQ(d.status, ResultLoad::Loaded);
    ASSERT_TRUE(d.hasResult);
    EXPECT_EQ(d.title, "Violin");
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.sampleNum, 512);
    EXPECT_DOUBLE_EQ(d.conditions.runningStep, 0.25);
    EXPECT_DOUBLE_EQ(d.wiaccWidth, 0.2);
    ASSERT_EQ(d.factors.size(), 3u);
    EXPECT_FLOAT_EQ(d.factors[2].phi0, 62.0f);
    EXPECT_EQ(d.peaks.size(), 3u);
    EXPECT_FALSE(d.hasCalibration);
    EXPECT_EQ(d.block.samples.size(), 1024u);

    const FactorResultData bare = LoadFactorResult('A', 1, 2);
    EXPECT_EQ(bare.status, ResultLoad::Loaded);
    EXPECT_FALSE(bare.hasResult);
    EXPECT_TRUE(bare.factors.empty());
    EXPECT_EQ(LoadFactorResult('A', 1, 3).status, ResultLoad::NoMeasurement);

    DamageFirstRecord(store.File("ACFFACT.DBF"));
    const FactorResultData damaged = LoadFactorResult('A', 1, 1);
    EXPECT_EQ(damaged.status, ResultLoad::DamagedResult);
    EXPECT_FALSE(damaged.hasResult);
    EXPECT_TRUE(damaged.factors.empty());
}

TEST(FactorLoad, NoiseRecordingBeforeAndAfterItsAnalysis) {
    test::TempStore store;
    test::ScriptedMessages messages;
    CNmsTable table;
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open() && table.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "N", "Site"), 1);
        NmsRecord m;
        m.folderId = 1;
        m.nmsId = 1;
        m.sampling = 48000;
        m.channel = 1;
        m.number = 4;
        std::array<unsigned char, blob::kNmsCondSize> cond{};
        ASSERT_TRUE(table.Append(m, MakeWaveBlock(1, std::vector<std::int16_t>(512, 3)), cond));
    }
    table.Close();
    const FactorResultData before = LoadFactorResult('N', 1, 1);
    EXPECT_EQ(before.status, ResultLoad::Loaded);
    EXPECT_EQ(before.title, "No. 5");
    EXPECT_EQ(before.channels, 1);
    EXPECT_FALSE(before.hasResult);
    EXPECT_FALSE(before.hasCalibration);

    {
        ASSERT_TRUE(table.Open());
        NmsRecord m;
        ASSERT_TRUE(table.Read(1, &m));
        NoiseConditionBlock nc;
        nc.acf.sampleNum = 512;
        nc.acf.conditions.runningStep = 0.5;
        nc.calibration.referenceLevel = 94;
        std::array<unsigned char, blob::kNmsCondSize> cond{};
        EncodeNoiseConditionBlock(nc, cond.data());
        NoiseSourceResult source;
        source.name = "=Crane";
        std::array<unsigned char, blob::kNoiseSourceSize> src{};
        EncodeNoiseSourceResult(source, src.data());
        ASSERT_EQ(table.WriteResult(m, cond, EncodeAcfFactors(Frames(4)), src), db::kOk);
        table.Close();
    }
    const FactorResultData after = LoadFactorResult('N', 1, 1);
    EXPECT_EQ(after.status, ResultLoad::Loaded);
    ASSERT_TRUE(after.hasResult);
    EXPECT_EQ(after.comment, "Crane");  // a name given by hand shows without its "="
    EXPECT_EQ(after.factors.size(), 4u);
    EXPECT_TRUE(after.hasCalibration);
    EXPECT_DOUBLE_EQ(after.calibration.referenceLevel, 94);
    EXPECT_TRUE(after.peaks.empty());
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
