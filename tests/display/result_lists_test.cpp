#include <gtest/gtest.h>

#include "display/result_lists.h"
#include "dsp/bands.h"

namespace vesk {
namespace {

TEST(ResultLists, AcousticParameterColumnsRowsAndNumericSort) {
    EXPECT_TRUE(AcousticParameterColumns(2, false).empty());  // no result: no columns
    EXPECT_EQ(AcousticParameterColumns(1, true).size(), 5u);
    const auto stereo = AcousticParameterColumns(2, true);
    ASSERT_EQ(stereo.size(), 17u);
    EXPECT_EQ(stereo[16].title, "S");
    AcParamRecord r;
    r.nData = 3;
    r.freqBand = 0;
    r.deltaT0L = 5;
    r.deltaT1L = 25;
    r.bands[0] = {0, 60, 0, 2, 0, 1.5, 0, 0, 0, 0};
    r.bands[1] = {7, 50, 0, 3, 0, -1000, 0, 0, 0, 0};  // 1 kHz, no Tsub
    r.bands[2] = {3, 55, 0, 1, 0, 1.8, 0, 0, 0, 0};    // 63 Hz
    auto rows = AcousticParameterRows(r, 1, 10.0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].texts,
              (std::vector<std::string>{"All(F)", "70.00", "20.00", "2.00", "1.50"}));
    EXPECT_EQ(rows[1].texts[0], "1000");
    EXPECT_EQ(rows[1].texts[4], "----");
    // The frequency column sorts by frequency, not by text ("1000" after "63").
    SortResultRows(&rows, 0, 1);
    EXPECT_EQ(rows[0].texts[0], "All(F)");
    EXPECT_EQ(rows[1].texts[0], "63");
    EXPECT_EQ(rows[2].texts[0], "1000");
    SortResultRows(&rows, 1, -1);  // SPL descending
    EXPECT_EQ(rows[0].texts[1], "70.00");
    EXPECT_EQ(rows[2].texts[1], "60.00");
}

TEST(ResultLists, FactorLayouts) {
    EXPECT_EQ(FactorColumns(true, 2, FactorLayout::General).size(), 9u);
    EXPECT_EQ(FactorColumns(false, 1, FactorLayout::General)[0].title, "Time [s]");
    EXPECT_EQ(FactorColumns(false, 2, FactorLayout::General).size(), 8u);
    const auto tau = FactorColumns(false, 2, FactorLayout::Tau);
    ASSERT_EQ(tau.size(), 11u);
    EXPECT_EQ(tau[10].title, "Tau10");
    std::vector<AcfFactorRecord> f(2);
    f[0] = {70, 0.012f, 0.002f, 0.8f, -1, 0, 0.5f, 0.0001f, 0.0002f, 0.0001f};
    f[1] = {72, kNoValue, 0.0025f, 0.7f, -1, 0, 0.4f, 0, 0.0003f, 0.0001f};
    std::vector<AcfPeakRecord> peaks(2);
    peaks[1].tau[1] = 0.005f;
    auto rows = FactorRows(f, peaks, 0.1, -72.0, false, 2, FactorLayout::General);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].texts[0], "0.10");
    EXPECT_EQ(rows[1].texts[1], "0.00");  // Phi(0) with the offset
    EXPECT_EQ(rows[1].texts[2], "----");  // no tau-e
    EXPECT_EQ(rows[0].texts[2], "12.00");
    EXPECT_EQ(rows[0].texts.size(), 8u);
    rows = FactorRows(f, peaks, 0.1, 0, false, 2, FactorLayout::Tau);
    EXPECT_EQ(rows[1].texts[2], "5.00");
    rows = FactorRows(f, {}, 0.1, 0, true, 2, FactorLayout::General);
    EXPECT_EQ(rows[0].texts.size(), 9u);  // noise: with SPL
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

TEST(ResultLists, ConditionTextsNameTheChoices) {
    AcParamRecord r;
    r.freqBand = 1;
    r.aFilter = 1;
    r.nData = 4;
    r.bands[0].freq = 0;
    r.bands[1].freq = -1;
    r.bands[2].freq = 14;  // 25 Hz
    r.bands[3].freq = 31;  // 1250 Hz
    r.splRefData = -2;
    r.tsubNoise = 0.5;
    r.tsubAuto = 1;
    const std::string text = ImpulseConditionText(r);
    EXPECT_NE(text.find("Frequency band: 1/3 Oct., " + BandLabel(14, 1, false) + " - " +
                        BandLabel(31, 1, false) + " Hz, A-weighting"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Ref. Data Absolute value"), std::string::npos);
    EXPECT_NE(text.find("Auto\n    Rate of Noise Range 50 %"), std::string::npos);
    r.splRefData = 7;
    EXPECT_NE(ImpulseConditionText(r).find("Ref. Data ID 7"), std::string::npos);

    RunningAcfConditions c;
    c.weighting = 3;
    c.phi0RefData = -1;
    const std::string acf = AcfConditionText(c, true);
    EXPECT_NE(acf.find("Max Delay Time 0.2 s, C-weighting\n"), std::string::npos) << acf;
    EXPECT_NE(acf.find("Phi(0): Ref. Data Maximum value"), std::string::npos);
    EXPECT_EQ(AcfConditionText(c, false).find("Phi(0)"), std::string::npos);
    c.weighting = 99;  // a stored value no dialog offers
    EXPECT_NE(AcfConditionText(c, true).find(", ?"), std::string::npos);
}

}  // namespace
}  // namespace vesk
