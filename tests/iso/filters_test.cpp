#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "iso/iso3382.h"

namespace vesk::iso {
namespace {

// IEC 61260-1:2014 Table 1, class 1, transcribed here on its own: Omega = G^e of an octave
// filter, least and greatest relative attenuation in dB.
struct Limit {
    double exponent, least, most;
};
const Limit kTable1[] = {
    {0.0, -0.4, 0.4}, {0.125, -0.4, 0.6}, {0.25, -0.4, 0.8}, {0.375, -0.4, 1.6}, {0.5, -0.4, 5.3},
    {1.0, 16.6, 1e9}, {2.0, 40.5, 1e9},   {3.0, 60.0, 1e9},  {4.0, 70.0, 1e9},   {5.0, 70.0, 1e9}};

// The cascade's magnitude from its coefficients, written out as the z-domain ratio.
double MagnitudeDb(const BandFilter& f, double hz, double fs) {
    const double w = 2.0 * std::numbers::pi * hz / fs;
    double db = 0;
    for (const Biquad& s : f.sections) {
        const std::complex<double> z1(std::cos(w), -std::sin(w));
        const std::complex<double> num = s.b0 + s.b1 * z1 + s.b2 * z1 * z1;
        const std::complex<double> den = 1.0 + s.a1 * z1 + s.a2 * z1 * z1;
        db += 20.0 * std::log10(std::abs(num / den));
    }
    return db;
}

TEST(BandFilters, MeetClass1AtEveryBreakpointOfEveryBand) {
    const double G = std::pow(10.0, 0.3);
    for (double fs : {44100.0, 48000.0, 96000.0}) {
        for (int b : {1, 3}) {
            const auto system = b == 1 ? BandSystem::Octave : BandSystem::ThirdOctave;
            const auto filters = DesignBandFilters(system, fs, 0, 1e9);
            ASSERT_FALSE(filters.empty());
            // The highest band is the last whose upper edge lies below Nyquist (the 16 kHz
            // octave's is 22.4 kHz, the 20 kHz third's too).
            const double highest = b == 1 ? (fs == 44100 ? 8000 : 16000)  //
                                          : (fs == 44100 ? 16000 : 20000);
            EXPECT_EQ(filters.back().nominalCentre, highest) << fs << " b=" << b;
            EXPECT_EQ(filters.size(), (b == 1 ? 11u : 32u) - (fs == 44100 ? 1u : 0u));
            for (const BandFilter& f : filters) {
                const double fm = f.exactCentre;
                const double atCentre = MagnitudeDb(f, fm, fs);
                const double scale = (std::pow(G, 0.5 / b) - 1.0) / (std::pow(G, 0.5) - 1.0);
                for (const Limit& l : kTable1) {
                    const double upper = 1.0 + scale * (std::pow(G, l.exponent) - 1.0);
                    for (double omega : {upper, 1.0 / upper}) {
                        if (omega * fm >= 0.5 * fs) continue;
                        const double a = atCentre - MagnitudeDb(f, omega * fm, fs);
                        EXPECT_GE(a, l.least) << fs << " Hz, 1/" << b << " octave "
                                              << f.nominalCentre << " Hz, Omega " << omega;
                        EXPECT_LE(a, l.most) << fs << " Hz, 1/" << b << " octave "
                                             << f.nominalCentre << " Hz, Omega " << omega;
                    }
                }
            }
        }
    }
}

TEST(BandFilters, BandsCentresAndEdgesAreBaseTen) {
    const auto thirds = DesignBandFilters(BandSystem::ThirdOctave, 48000, 16, 20000);
    ASSERT_EQ(thirds.size(), 32u);
    EXPECT_EQ(thirds[18].nominalCentre, 1000);
    EXPECT_NEAR(thirds[18].exactCentre, 1000.0, 1e-9);
    EXPECT_NEAR(thirds[19].exactCentre, 1258.925, 1e-3);
    EXPECT_NEAR(thirds[18].upperEdge / thirds[18].lowerEdge, std::pow(10.0, 0.1), 1e-12);
    const auto octaves = DesignBandFilters(BandSystem::Octave, 44100, 31.5, 16000);
    ASSERT_EQ(octaves.size(), 9u);  // 16 kHz octave reaches beyond 22.05 kHz
    EXPECT_EQ(octaves.back().nominalCentre, 8000);
    // A low sampling rate keeps the bands it can hold and fails none.
    const auto low = DesignBandFilters(BandSystem::ThirdOctave, 16000, 16, 20000);
    ASSERT_FALSE(low.empty());
    EXPECT_EQ(low.back().nominalCentre, 6300);
    EXPECT_TRUE(DesignBandFilters(BandSystem::Octave, 0, 16, 20000).empty());
    // Direction: time-reversed below 250 Hz only.
    for (const BandFilter& f : octaves)
        EXPECT_EQ(f.timeReversed, f.nominalCentre < 250) << f.nominalCentre;
}

// The running filter realises the designed response: a steady sine comes out with the gain
// of the coefficients, forwards and backwards, and reversed filtering mirrors the impulse
// response in time.
TEST(BandFilters, RunningFilterHasTheDesignedGainInBothDirections) {
    const double fs = 48000;
    auto filters = DesignBandFilters(BandSystem::ThirdOctave, fs, 100, 100);
    ASSERT_EQ(filters.size(), 1u);
    BandFilter f = filters[0];
    const std::size_t n = 96000;
    for (double hz : {100.0, 125.0, 80.0}) {
        std::vector<float> x(n);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / fs));
        std::vector<double> y(n);
        for (bool reversed : {false, true}) {
            f.timeReversed = reversed;
            ApplyBandFilter(f, x.data(), y.data(), n);
            // Amplitude in the middle second, away from both ends' transients.
            double peak = 0;
            for (std::size_t i = n / 4; i < 3 * n / 4; ++i)
                peak = std::max(peak, std::abs(y[i]));
            EXPECT_NEAR(20 * std::log10(peak), MagnitudeDb(f, hz, fs), 0.05)
                << hz << " Hz reversed=" << reversed;
        }
    }
    std::vector<float> impulse(4001, 0.0f);
    impulse[2000] = 1.0f;
    std::vector<double> forward(4001), backward(4001);
    f.timeReversed = false;
    ApplyBandFilter(f, impulse.data(), forward.data(), 4001);
    f.timeReversed = true;
    ApplyBandFilter(f, impulse.data(), backward.data(), 4001);
    for (int k = 0; k <= 2000; ++k)
        ASSERT_DOUBLE_EQ(forward[2000 + k], backward[2000 - k]) << k;
}

}  // namespace
}  // namespace vesk::iso
