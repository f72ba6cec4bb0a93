#include "shell/band_choice.h"

#include <gtest/gtest.h>

#include "dsp/bands.h"

namespace vesk {
namespace {

double Centre(int system, int band) {
    return GetBandTable(system).nominalCentre[band];
}

// Switching band systems keeps the chosen frequencies: 16 - 16000 Hz stays 16 - 16000 Hz, and a
// third-octave band between two octaves goes to the nearer one.
TEST(BandChoice, ASwitchOfBandSystemKeepsTheFrequencies) {
    const int octaves = GetBandTable(0).count, thirds = GetBandTable(1).count;
    for (int band = 1; band < octaves; ++band) {
        const int third = NearestBand(0, band, 1);
        EXPECT_EQ(Centre(1, third), Centre(0, band)) << band;
        EXPECT_EQ(NearestBand(1, third, 0), band) << band;
    }
    for (int third = 1; third < thirds; ++third) {
        const int band = NearestBand(1, third, 0);
        const double ratio = Centre(0, band) / Centre(1, third);
        EXPECT_TRUE(ratio > 0.7 && ratio < 1.42) << third;  // within two thirds of an octave
    }
    EXPECT_EQ(NearestBand(0, 0, 1), 0);  // none stays none
    EXPECT_EQ(NearestBand(1, 0, 0), 0);
}

}  // namespace
}  // namespace vesk
