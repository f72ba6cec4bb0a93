// The ISO result table: its blob, the pairing with ACPARAM, and its life with the folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "store/iso_result.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

IsoResultRecord SampleResult(std::int32_t id, int bands, double t30) {
    IsoResultRecord r;
    r.impulseId = id;
    r.channels = 2;
    r.bandSystem = 1;
    r.bands.resize(static_cast<std::size_t>(bands));
    for (int i = 0; i < bands; ++i) {
        IsoBandStored& b = r.bands[static_cast<std::size_t>(i)];
        b.nominalCentre = i == 0 ? 0 : 100.0 * i;
        b.timeReversed = i == 1;
        b.channel[0].t30.seconds = t30 + i;
        b.channel[0].t30.missing = 0;
        b.channel[1].t30.missing = 3;
        b.channel[1].t30.flags = 1;
        b.channel[1].c80 = -2.5;
        b.channel[0].tsubRangeDb = 21.5;
        b.early.value = 0.25;
        b.late.tauMs = -0.5;
    }
    r.single.iaccE3 = 0.4;
    r.single.t30[1] = 1.75;
    return r;
}

AcParamRecord Params(std::int32_t id, int nData, int freqBand) {
    AcParamRecord p;
    p.impulseId = id;
    p.nData = nData;
    p.freqBand = freqBand;
    for (int i = 0; i < nData; ++i)
        p.bands[static_cast<std::size_t>(i)].freq = i;
    return p;
}

void SameResult(const IsoResultRecord& a, const IsoResultRecord& b) {
    ASSERT_EQ(a.bands.size(), b.bands.size());
    EXPECT_EQ(a.channels, b.channels);
    EXPECT_EQ(a.bandSystem, b.bandSystem);
    EXPECT_EQ(a.single.iaccE3, b.single.iaccE3);
    EXPECT_EQ(a.single.t30[1], b.single.t30[1]);
    for (std::size_t i = 0; i < a.bands.size(); ++i) {
        EXPECT_EQ(a.bands[i].nominalCentre, b.bands[i].nominalCentre) << i;
        EXPECT_EQ(a.bands[i].timeReversed, b.bands[i].timeReversed) << i;
        EXPECT_EQ(a.bands[i].channel[0].t30.seconds, b.bands[i].channel[0].t30.seconds) << i;
        EXPECT_EQ(a.bands[i].channel[1].t30.missing, b.bands[i].channel[1].t30.missing) << i;
        EXPECT_EQ(a.bands[i].channel[1].t30.flags, b.bands[i].channel[1].t30.flags) << i;
        EXPECT_EQ(a.bands[i].channel[1].c80, b.bands[i].channel[1].c80) << i;
        EXPECT_EQ(a.bands[i].channel[0].tsubRangeDb, b.bands[i].channel[0].tsubRangeDb) << i;
        EXPECT_EQ(a.bands[i].late.tauMs, b.bands[i].late.tauMs) << i;
    }
}

TEST(IsoBlob, RoundTripsAndRefusesEveryDamagedForm) {
    const IsoResultRecord r = SampleResult(7, 5, 1.0);
    std::vector<unsigned char> blob;
    EncodeIsoResult(r, &blob);
    IsoResultRecord back;
    ASSERT_EQ(DecodeIsoResult(blob.data(), blob.size(), &back), db::kOk);
    SameResult(r, back);

    IsoResultRecord untouched = SampleResult(1, 1, 9.0);
    auto refused = [&](std::vector<unsigned char> bytes, const char* what) {
        IsoResultRecord out = untouched;
        EXPECT_EQ(DecodeIsoResult(bytes.data(), bytes.size(), &out), db::kBlobDamaged) << what;
        SameResult(out, untouched);  // a refused blob leaves the caller's result as it was
    };
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{20}, blob.size() - 1})
        refused(std::vector<unsigned char>(blob.begin(), blob.begin() + cut), "truncated");
    std::vector<unsigned char> longer = blob;
    longer.push_back(0);
    refused(longer, "trailing byte");
    std::vector<unsigned char> bad = blob;
    bad[12] = 0xFF;  // band count far beyond the bytes
    refused(bad, "band count");
    bad = blob;
    bad[4] = 3;  // three channels
    refused(bad, "channels");
    // A missing code out of range: the first band's first decay code (after 16 single numbers,
    // centre, reversed flag, 4 channel values and 6 decay values).
    bad = blob;
    const std::size_t code = 20 + 8 * (16 + 2 + 4 + 6);
    double nine = 9.0;
    std::memcpy(bad.data() + code, &nine, 8);
    refused(bad, "missing code");
    EXPECT_EQ(DecodeIsoResult(nullptr, 0, &back), db::kBlobDamaged);

    // Any byte changed anywhere: refused, or a result whose codes stay in their ranges.
    for (std::size_t at = 0; at < blob.size(); ++at) {
        std::vector<unsigned char> flipped = blob;
        flipped[at] ^= static_cast<unsigned char>(0x5A + at);
        IsoResultRecord out;
        if (DecodeIsoResult(flipped.data(), flipped.size(), &out) != db::kOk) continue;
        ASSERT_EQ(out.bands.size(), r.bands.size()) << at;
        for (const IsoBandStored& b : out.bands)
            for (const IsoChannelStored& c : b.channel) {
                EXPECT_LE(c.t30.missing, 4) << at;
                EXPECT_LE(c.flags, 0x1Fu) << at;
            }
    }
}

class IsoTable : public ::testing::Test {
  protected:
    void SetUp() override {
        CFolderTable folders;
        CImpulseTable impulses;
        ASSERT_TRUE(folders.Open() && impulses.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "I"));
        ASSERT_TRUE(test::AppendFolder(folders, 2, "I"));
        for (std::int32_t id : {1, 2, 3})
            ASSERT_TRUE(test::AppendImpulse(impulses, id == 3 ? 2 : 1, id,
                                            std::vector<unsigned char>(64, 1)));
    }
    bool TableFileThere() const { return std::filesystem::exists(store.File("ISOPARAM.DBF")); }
    test::TempStore store;
    test::ScriptedMessages messages;
};

TEST_F(IsoTable, AStoreWithoutTheTableLoadsNothingAndStaysUnchanged) {
    CAcParamTable acparams;
    ASSERT_TRUE(acparams.Open());
    AcParamRecord p = Params(1, 3, 0);
    ASSERT_EQ(acparams.Write(p), db::kOk);
    IsoResultRecord r;
    EXPECT_EQ(LoadIsoResult(1, &r), IsoLoad::Absent);
    EXPECT_FALSE(TableFileThere());
    EXPECT_TRUE(DeleteFolder(1));
    EXPECT_FALSE(TableFileThere());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(IsoTable, EachAcParamRecordFindsTheResultItWasWrittenWith) {
    CAcParamTable acparams;
    CIsoParamTable iso;
    ASSERT_TRUE(acparams.Open() && iso.Open());
    AcParamRecord octaves = Params(1, 4, 0);
    const IsoResultRecord first = SampleResult(1, 4, 1.0);
    ASSERT_EQ(WriteImpulseResult(acparams, iso, octaves, &first), db::kOk);
    IsoResultRecord loaded;
    ASSERT_EQ(LoadIsoResult(1, &loaded), IsoLoad::Loaded);
    SameResult(first, loaded);

    // A kill between the two writes of a recalculation: the new result stands beside the old
    // one, and the old ACPARAM record still finds its own.
    AcParamRecord thirds = Params(1, 6, 1);
    const IsoResultRecord second = SampleResult(1, 6, 2.0);
    ASSERT_EQ(iso.Write(second, IsoStampOf(thirds), IsoStampOf(octaves)), db::kOk);
    ASSERT_EQ(LoadIsoResult(1, &loaded), IsoLoad::Loaded);
    SameResult(first, loaded);
    ASSERT_EQ(acparams.Write(thirds), db::kOk);
    ASSERT_EQ(LoadIsoResult(1, &loaded), IsoLoad::Loaded);
    SameResult(second, loaded);

    // An ACPARAM record written without an ISO result (an older program) has none.
    AcParamRecord other = Params(1, 2, 0);
    ASSERT_EQ(WriteImpulseResult(acparams, iso, other, nullptr), db::kOk);
    EXPECT_EQ(LoadIsoResult(1, &loaded), IsoLoad::Absent);
    // Nor does a measurement that was never calculated.
    EXPECT_EQ(LoadIsoResult(2, &loaded), IsoLoad::Absent);
    // A result for a measurement that is gone is refused.
    AcParamRecord gone = Params(9, 2, 0);
    const IsoResultRecord ghost = SampleResult(9, 2, 1.0);
    EXPECT_EQ(WriteImpulseResult(acparams, iso, gone, &ghost), db::kNoMeasurement);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(IsoTable, ADamagedBlobIsAFailureNotAResult) {
    CAcParamTable acparams;
    CIsoParamTable iso;
    ASSERT_TRUE(acparams.Open() && iso.Open());
    AcParamRecord p = Params(1, 3, 0);
    const IsoResultRecord r = SampleResult(1, 3, 1.0);
    ASSERT_EQ(WriteImpulseResult(acparams, iso, p, &r), db::kOk);
    IsoParamRecord record;
    ASSERT_TRUE(iso.ReadRecord(1, &record));
    const unsigned char junk[40] = {'V', 'I', 'S', '1', 2};
    ASSERT_EQ(iso.WriteBlob("ISODATAA", junk, sizeof junk), db::kOk);
    IsoResultRecord loaded;
    EXPECT_EQ(LoadIsoResult(1, &loaded), IsoLoad::Failed);
    EXPECT_FALSE(messages.shown.empty());
}

TEST_F(IsoTable, DeletingAFolderDeletesItsRowsOnly) {
    CAcParamTable acparams;
    CIsoParamTable iso;
    ASSERT_TRUE(acparams.Open() && iso.Open());
    for (std::int32_t id : {1, 2, 3}) {
        AcParamRecord p = Params(id, 2, 0);
        const IsoResultRecord r = SampleResult(id, 2, 1.0);
        ASSERT_EQ(WriteImpulseResult(acparams, iso, p, &r), db::kOk);
    }
    iso.Close();
    acparams.Close();
    ASSERT_TRUE(DeleteFolder(1));
    CIsoParamTable after;
    IsoParamRecord record;
    ASSERT_TRUE(after.Open());
    EXPECT_FALSE(after.ReadRecord(1, &record));
    EXPECT_FALSE(after.ReadRecord(2, &record));
    EXPECT_TRUE(after.ReadRecord(3, &record));
    IsoResultRecord loaded;
    EXPECT_EQ(LoadIsoResult(3, &loaded), IsoLoad::Loaded);
}

}  // namespace
}  // namespace vesk
