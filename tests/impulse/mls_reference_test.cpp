// A binaural MLS recording with a noise floor (order 14 at 32 kHz, 16 bits) and the results the
// calculation gave for it before the automatic end of the Tsub regression, the "no energy" marks,
// silent noise ranges and padding were dealt with. Those changes must leave well-conditioned
// MLS results exactly as they were: levels, delta-t and IACC values in every band; A and Tsub
// of the broadband entries, of the octaves from 1 kHz up, and of the third octaves from 1 kHz up
// whose automatic end still averages 64 samples (the 1 kHz third octave, 231 Hz wide, beats
// too slowly for them).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"

namespace vesk {
namespace {

constexpr int kOrder = 14;
constexpr double kFs = 32000;

SampleBlock ReferenceRecording() {
    SampleBlock b;
    b.channels = 2;
    b.bits = 16;
    b.samples.resize(std::size_t{2} << kOrder);
    std::ifstream in(std::string(VESK_IMPULSE_DATA_DIR) + "/mls_reference.raw", std::ios::binary);
    // The file is little-endian, as the machines the tests run on.
    in.read(reinterpret_cast<char*>(b.samples.data()),
            static_cast<std::streamsize>(b.samples.size() * 2));
    EXPECT_TRUE(in.good()) << "mls_reference.raw missing or short";
    return b;
}

struct Config {
    std::string name;
    int freqBand, bandTo, tsubAuto;
};

TEST(MlsReference, WellConditionedResultsAreUnchanged) {
    const SampleBlock block = ReferenceRecording();
    ImpulseRecord m;
    m.impulseId = 1;
    m.mesTime = kOrder;
    m.channel = 2;
    m.multiplier = 1;
    m.sampling = static_cast<std::int32_t>(kFs);
    std::ifstream ref(std::string(VESK_IMPULSE_DATA_DIR) + "/mls_reference.txt");
    ASSERT_TRUE(ref.good());
    const Config configs[] = {
        {"octave-auto", 0, 10, 1}, {"octave-manual", 0, 10, 0}, {"third-auto", 1, 31, 1}};
    for (const Config& cf : configs) {
        ImpulseConditions c;
        c.freqBand = cf.freqBand;
        c.bandFrom = 1;
        c.bandTo = cf.bandTo;
        c.aFilter = 1;
        c.tsubAuto = cf.tsubAuto;
        AcParamRecord r;
        ASSERT_EQ(CalculateImpulseParameters(m, block, &r, kFs, c, nullptr), CalcResult::Finished);
        std::string name;
        int count = 0;
        double t0L, t0R, t1L, t1R;
        ref >> name >> count >> t0L >> t0R >> t1L >> t1R;
        ASSERT_EQ(name, cf.name);
        ASSERT_EQ(r.nData, count) << cf.name;
        EXPECT_EQ(r.deltaT0L, t0L);
        EXPECT_EQ(r.deltaT0R, t0R);
        EXPECT_EQ(r.deltaT1L, t1L);
        EXPECT_EQ(r.deltaT1R, t1R);
        const BandTable& table = GetBandTable(cf.freqBand);
        for (int k = 0; k < count; ++k) {
            const AcParamBand& e = r.bands[static_cast<std::size_t>(k)];
            int freq = 0;
            double splL, splR, aL, aR, tsubL, tsubR, iacc, tiacc, wiacc;
            ref >> freq >> splL >> splR >> aL >> aR >> tsubL >> tsubR >> iacc >> tiacc >> wiacc;
            const std::string where = cf.name + " band " + std::to_string(freq);
            ASSERT_EQ(e.freq, freq) << where;
            EXPECT_EQ(e.splL, splL) << where;
            EXPECT_EQ(e.splR, splR) << where;
            EXPECT_EQ(e.iacc, iacc) << where;
            EXPECT_EQ(e.tiacc, tiacc) << where;
            EXPECT_EQ(e.wiacc, wiacc) << where;
            const bool wide = TsubEndWindow(kFs, BandWidth(freq, cf.freqBand)) == 64;
            if (freq <= 0 || (table.nominalCentre[freq] >= 1000 && (cf.freqBand == 0 || wide))) {
                EXPECT_EQ(e.aL, aL) << where;
                EXPECT_EQ(e.aR, aR) << where;
                EXPECT_EQ(e.tsubL, tsubL) << where;
                EXPECT_EQ(e.tsubR, tsubR) << where;
            }
        }
    }
}

}  // namespace
}  // namespace vesk
