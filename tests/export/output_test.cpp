// The six output writers against files written by hand from the format (tests/export/golden),
// on a store whose results are set by the test, not computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "acf/acf_calculation.h"
#include "export/output_files.h"
#include "impulse/preference.h"
#include "noise/noise_analysis.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

const std::vector<unsigned char> kTinyWave = MakeWaveBlock(1, {0, 1, 2, 3});

void Folder(std::int32_t id, const char* type, const char* title, double scale) {
    CFolderTable t;
    ASSERT_TRUE(t.Open());
    FolderRecord f;
    f.folderId = id;
    f.type = type;
    f.title = title;
    f.name = "Ono";
    f.place = "Tokyo";
    f.date = "20240303";
    f.scale = scale;
    ASSERT_EQ(t.Append(f), 1);
}

AcParamBand Band(int freq, double splL, double splR, double aL, double aR, double tL, double tR,
                 double iacc, double tiacc, double wiacc) {
    return {freq, splL, splR, aL, aR, tL, tR, iacc, tiacc, wiacc};
}

void ImpulseFolder() {
    Folder(1, "I", "Hall \"A\"", 0);
    CImpulseTable m;
    CAcParamTable r;
    ASSERT_TRUE(m.Open() && r.Open());
    ImpulseRecord seat;
    seat.folderId = 1;
    seat.impulseId = 1;
    seat.sampling = 48000;
    seat.mesTime = 16;
    seat.mesNum = 4;
    seat.channel = 2;
    seat.bit = 16;
    seat.time = "20240303090507";
    seat.title = "Seat 1";
    seat.comment = "front row";
    ASSERT_EQ(m.Append(seat, kTinyWave), 1);
    seat.impulseId = 2;
    seat.sampling = 44100;
    seat.mesTime = 15;
    seat.mesNum = 1;
    seat.channel = 1;
    seat.time = "20240303091000";
    seat.title = "Seat 2";
    seat.comment = "";
    ASSERT_EQ(m.Append(seat, kTinyWave), 1);
    seat.impulseId = 3;
    seat.channel = 2;
    seat.title = "Seat 3";  // no result
    ASSERT_EQ(m.Append(seat, kTinyWave), 1);

    AcParamRecord a;
    a.impulseId = 1;
    a.nData = 3;
    a.freqBand = 0;
    a.aFilter = 1;
    a.splRefData = -1;
    a.splRefLevel = 90;
    a.prefSpl = 80;
    a.prefTauE = 100;
    a.deltaT0L = 5;
    a.deltaT0R = 5.5;
    a.deltaT1L = 25;
    a.deltaT1R = 27.5;
    a.bands[0] = Band(0, 60, 62, 2, 3, 1.5, 1.7, 0.35, 0.1, 0.2);
    a.bands[1] = Band(-1, 55, 56, 1, 1.2, 1.4, 1.6, 0.4, -0.05, 0.3);
    a.bands[2] = Band(6, 50.5, -1000, 4, 6, 1.2, -1000, -1000, -1000, -1000);
    ASSERT_EQ(r.Write(a), db::kOk);
    AcParamRecord b;
    b.impulseId = 2;
    b.nData = 2;
    b.freqBand = 1;
    b.splRefData = -1;
    b.splRefLevel = 90;
    b.prefSpl = 80;
    b.prefTauE = 100;
    b.deltaT0L = 4;
    b.deltaT1L = 20;
    b.bands[0] = Band(0, 58, 0, 2.5, 0, 1.1, 0, 0, 0, 0);
    b.bands[1] = Band(18, 51.25, 0, 3.5, 0, 0.9, 0, 0, 0, 0);
    ASSERT_EQ(r.Write(b), db::kOk);
}

AcfFactorRecord F(float phi0, float tauE, float tau1, float phi1, float spl = 0, float iacc = 0,
                  float tauIacc = 0, float wiacc = 0) {
    return {phi0, tauE, tau1, phi1, -1, spl, iacc, tauIacc, wiacc, wiacc / 2};
}

void AcfFolder() {
    Folder(2, "A", "Recital", 2);
    CAcfTable m;
    CAcfFactTable r;
    ASSERT_TRUE(m.Open() && r.Open());
    AcfRecord rec;
    rec.folderId = 2;
    rec.sampling = 48000;
    rec.sampleNum = 96000;
    rec.dataTime = 2.0;
    rec.time = "20240303100000";
    for (int id = 1; id <= 3; ++id) {
        rec.acfId = id;
        rec.channel = id == 1 ? 1 : 2;
        rec.title = id == 1 ? "Violin" : id == 2 ? "Violin, \"dummy\" head" : "Cello";
        ASSERT_EQ(m.Append(rec, kTinyWave), 1);
    }
    AcfConditionBlock c;
    c.sampleNum = 96000;
    c.conditions.runningStep = 0.25;
    c.conditions.phi0RefData = -1;  // "Maximum value" at 0 dB
    AcfFactBlobs blobs;
    EncodeAcfConditionBlock(c, blobs.cond.data());
    blobs.factors =
        EncodeAcfFactors({F(70, 0.0125f, 0.002f, 0.8f), F(72, kNoValue, 0.0025f, 0.75f)});
    blobs.peaks.assign(2 * 80, 0);
    AcfFactRecord f;
    f.acfId = 1;
    ASSERT_EQ(r.Write(f, blobs), db::kOk);
    c.conditions.runningStep = 0.1;
    c.conditions.phi0RefData = -2;
    EncodeAcfConditionBlock(c, blobs.cond.data());
    blobs.factors = EncodeAcfFactors({F(65.5f, 0.02f, 0.003f, 0.6f, 66, 0.45f, -0.0002f, 0.0004f)});
    blobs.peaks.assign(80, 0);
    f.acfId = 2;
    ASSERT_EQ(r.Write(f, blobs), db::kOk);
}

void NoiseFolder() {
    Folder(3, "N", "Street", 0);
    CNmsTable m;
    ASSERT_TRUE(m.Open());
    NoiseConditionBlock c;
    c.acf.conditions.runningStep = 0.1;
    std::array<unsigned char, blob::kNmsCondSize> cond{};
    EncodeNoiseConditionBlock(c, cond.data());
    const std::vector<std::vector<AcfFactorRecord>> factors{
        {F(80, 0.005f, 0.001f, 0.3f, 79.5f, 0.9f, 0, 0.0001f),
         F(81, 0.006f, 0.0011f, 0.35f, 80.5f, 0.85f, 0.0001f, 0.00015f)},
        {F(60, 0.04f, 0.0042f, 0.95f, 59, 0.2f, -0.0005f, 0.001f)},
        {}};
    const char* names[] = {"Car", "=Neighbour", nullptr};
    for (int k = 0; k < 3; ++k) {
        NmsRecord r;
        r.folderId = 3;
        r.nmsId = 10 + k;
        r.sampling = 48000;
        r.channel = 2;
        r.sampleNum = 240000;
        r.number = k;
        r.dataTime = 5;
        r.time = "20240303110000";
        ASSERT_EQ(m.Append(r, kTinyWave, cond), 1);
        if (!names[k]) continue;
        NoiseSourceResult source;
        source.name = names[k];
        std::array<unsigned char, blob::kNoiseSourceSize> src{};
        EncodeNoiseSourceResult(source, src.data());
        ASSERT_TRUE(m.Read(r.nmsId, &r));
        ASSERT_EQ(
            m.WriteResult(r, cond, EncodeAcfFactors(factors[static_cast<std::size_t>(k)]), src),
            db::kOk);
    }
}

std::string Golden(const std::string& name) {
    return test::ReadFileText(std::string(VESK_GOLDEN_DIR) + "/" + name);
}

TEST(OutputFiles, SixWritersMatchTheFormatByteForByte) {
    test::TempStore store;
    test::ScriptedMessages messages;
    ImpulseFolder();
    AcfFolder();
    NoiseFolder();
    test::TempDir dir;
    struct Case {
        OutputStatus (*writer)(std::int32_t, const std::string&);
        std::int32_t folder;
        const char* file;
    } cases[] = {{WriteImpulseText, 1, "impulse.txt"}, {WriteImpulseCsv, 1, "impulse.csv"},
                 {WriteAcfText, 2, "acf.txt"},         {WriteAcfCsv, 2, "acf.csv"},
                 {WriteNoiseText, 3, "noise.txt"},     {WriteNoiseCsv, 3, "noise.csv"}};
    for (const Case& c : cases) {
        const std::string path = dir.File(c.file);
        ASSERT_EQ(c.writer(c.folder, path), OutputStatus::Written) << c.file;
        EXPECT_EQ(test::ReadFileText(path), Golden(c.file)) << c.file;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST(OutputFiles, ExtensionsEmptyFoldersAndFilesThatCannotBeWritten) {
    test::TempStore store;
    test::ScriptedMessages messages;
    Folder(4, "I", "Empty", 0);
    test::TempDir dir;
    ASSERT_EQ(WriteOutputFile(4, "I", dir.File("e.Txt")), OutputStatus::Written);
    EXPECT_EQ(
        test::ReadFileText(dir.File("e.Txt")),
        "[Folder]\r\nTitle=Empty\r\nName=Ono\r\nPlace=Tokyo\r\nComment=\r\nDate=2024/03/03\r\n"
        "Scale=1\r\n\r\n");
    EXPECT_EQ(WriteOutputFile(4, "I", dir.File("e.dat")), OutputStatus::BadExtension);
    EXPECT_EQ(messages.shown.back(), "Choose *.txt or *.csv as file extension.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("e.dat")));
    // A file that cannot be written leaves the older one as it was and names the path.
    test::WriteFileBytes(dir.File("old.csv"), {'o', 'l', 'd'});
    std::filesystem::create_directory(dir.File("old.csv.vesk-part"));  // the write cannot start
    EXPECT_EQ(WriteOutputFile(4, "I", dir.File("old.csv")), OutputStatus::CantCreate);
    EXPECT_EQ(test::ReadFileText(dir.File("old.csv")), "old");
    EXPECT_NE(messages.shown.back().find(dir.File("old.csv")), std::string::npos);
    EXPECT_EQ(WriteOutputFile(99, "I", dir.File("none.txt")), OutputStatus::StoreFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
}

TEST(Preference, ScaleValuesAndTheTauESweep) {
    PreferenceValues v;
    // LL = LLp gives S1 = 0; IACC = 1 gives S4 = -1.45.
    ASSERT_EQ(EvaluatePreference(80, 20, 2.3, 1.0, 1.0, 100, 80, &v), 1);
    EXPECT_EQ(v.s1, 0.0);
    EXPECT_DOUBLE_EQ(v.s4, -1.45);
    EXPECT_NEAR(v.s2, -1.11 * std::pow(std::fabs(std::log10(20.0 / 100)), 1.5), 1e-12);
    EXPECT_NEAR(v.s3, 0.0, 1e-12);  // Tsub = 23 tau-e is the preferred value
    EXPECT_DOUBLE_EQ(v.sv, v.s2 + v.s3 + v.s1 + v.s4);
    // A = 10: p = 0, no S2 and no SV; A = 5: no S3.
    EXPECT_EQ(EvaluatePreference(80, 20, 2.3, 0.5, 10.0, 100, 80, &v), 0);
    EXPECT_EQ(v.s2, kNoValue);
    EXPECT_EQ(v.sv, kNoValue);
    EXPECT_EQ(EvaluatePreference(80, 20, 2.3, 0.5, 5.0, 100, 80, &v), 0);
    EXPECT_EQ(v.s3, kNoValue);
    EXPECT_NE(v.s2, kNoValue);
    // A stored "no value" (-1000) never turns into a number.
    EXPECT_EQ(EvaluatePreference(80, 20, -1000, 0.5, 1.0, 100, 80, &v), 0);
    EXPECT_EQ(v.sv, kNoValue);

    AcParamRecord r;
    r.deltaT1L = r.deltaT1R = 20;
    r.bands[0] = Band(0, 80, 80, 1, 1, 2.3, 2.3, 0.5, 0, 0);
    const PreferenceSweep s = SweepTauE(r, 0.0, 80);
    // With A = 1 the preferred delay is tau-e and the preferred Tsub 23 tau-e: the optimum
    // lies where both meet the measured values, between 20 and 100 ms.
    EXPECT_GT(s.optimumTauE, 20);
    EXPECT_LT(s.optimumTauE, 100);
    EXPECT_EQ(s.maximum, *std::max_element(s.curve.begin(), s.curve.end()));
    r.bands[0].aL = r.bands[0].aR = 10;  // no tau-e gives a valid value
    EXPECT_EQ(SweepTauE(r, 0.0, 80).optimumTauE, 0);
}

}  // namespace
}  // namespace vesk
