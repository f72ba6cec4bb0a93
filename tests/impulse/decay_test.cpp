// Tsub, levels and delta-t1 of impulse responses with a designed decay, as real files come:
// with and without a noise floor, ending in digital silence, padded, with a lead-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"
#include "tests/impulse/synthetic_rooms.h"

namespace vesk {
namespace {

// The response as the import stores it: 16 bits, direct sound at 30000, zero-padded to a power
// of two.
SampleBlock Stored(const test::RoomDesign& d, ImpulseRecord* m) {
    const std::vector<double> h = test::RoomResponse(d, 30000.0);
    const std::size_t frames = h.size() / static_cast<std::size_t>(d.channels);
    int order = 0;
    while ((std::size_t{1} << order) < frames)
        ++order;
    SampleBlock b;
    b.channels = static_cast<std::uint16_t>(d.channels);
    b.bits = 16;
    b.samples.assign((std::size_t{1} << order) * b.channels, 0);
    for (std::size_t i = 0; i < h.size(); ++i)
        b.samples[i] = static_cast<std::int16_t>(std::lround(std::clamp(h[i], -32768.0, 32767.0)));
    m->impulseId = 1;
    m->mesTime = order;
    m->noMls = 1;
    m->channel = d.channels;
    m->multiplier = 1;
    m->sampling = static_cast<std::int32_t>(d.fs);
    m->title = "Seat";
    return b;
}

AcParamRecord Calculate(const test::RoomDesign& d, int freqBand, int tsubAuto = 1) {
    ImpulseRecord m;
    const SampleBlock b = Stored(d, &m);
    ImpulseConditions c;
    c.freqBand = freqBand;
    c.bandFrom = 1;
    c.bandTo = freqBand == 0 ? 10 : 31;
    c.tsubAuto = tsubAuto;
    AcParamRecord r;
    EXPECT_EQ(CalculateImpulseParameters(m, b, &r, d.fs, c, nullptr), CalcResult::Finished);
    return r;
}

// The automatic end's window: 64 samples for the broadband entries and every band at least
// fs/128 wide (the octaves from 1 kHz up at 48 kHz and below), otherwise half of 1/width, which
// for an octave is half a period of its lower edge.
TEST(EndWindow, KeepsWideBandsAndCoversNarrowOnes) {
    for (double fs : {16000.0, 44100.0, 48000.0, 96000.0}) {
        EXPECT_EQ(TsubEndWindow(fs, 0.0), 64);
        for (int system : {0, 1}) {
            const BandTable& table = GetBandTable(system);
            for (int k = 1; k < table.count; ++k) {
                const double width = BandWidth(k, system);
                const double lower = table.exactCentre[k] / table.halfBandFactor;
                if (system == 0) {
                    EXPECT_NEAR(width, lower, 1e-9 * lower);
                }
                const std::int32_t w = TsubEndWindow(fs, width);
                const std::string where = std::to_string(fs) + " " + BandLabel(k, system, false);
                EXPECT_GE(w, fs / (2 * width)) << where;
                EXPECT_LE(w, std::max(64.0, std::ceil(fs / (2 * width)))) << where;
                if (system == 0 && table.nominalCentre[k] >= 1000 && fs <= 48000) {
                    EXPECT_EQ(w, 64) << where;
                }
            }
        }
    }
    EXPECT_EQ(TsubEndWindow(48000, BandWidth(4, 0)), 272);  // 125 Hz octave: 88.4 Hz wide
    EXPECT_EQ(BandWidth(0, 0), 0.0);
    EXPECT_EQ(BandWidth(-1, 1), 0.0);
}

// One band's exponential decay (decaying noise filtered to the band) from `start` on, over a
// white noise floor `floorDb` below the band's initial level (none when 0), filtered as the
// calculation filters it.
std::vector<float> BandDecay(double fs, int system, int band, double t60, double floorDb,
                             std::size_t n, std::size_t start, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> decay(n, 0.0f), noise(n, 0.0f);
    const double rate = std::log(1000.0) / t60 / fs;
    for (std::size_t i = start; i < n; ++i)
        decay[i] = static_cast<float>(1000.0 * g(random) * std::exp(-rate * (i - start)));
    const std::int32_t len = static_cast<std::int32_t>(n);
    ApplyBandFilter(decay.data(), nullptr, len, fs, band, system);
    if (floorDb > 0) {
        // Both are white before the filter, so the band keeps their ratio.
        const double sigma = 1000.0 * std::pow(10.0, -floorDb / 20);
        for (std::size_t i = 0; i < n; ++i)
            noise[i] = static_cast<float>(sigma * g(random));
        ApplyBandFilter(noise.data(), nullptr, len, fs, band, system);
        for (std::size_t i = 0; i < n; ++i)
            decay[i] += noise[i];
    }
    return decay;
}

struct BandCase {
    const char* name;
    double fs;
    int system, band;
    double t60, floorDb;
};

std::string BandCaseName(const testing::TestParamInfo<BandCase>& info) {
    return info.param.name;
}

class LowBandEnd : public testing::TestWithParam<BandCase> {};

// The automatic end in bands narrower than fs/128. The classic 64-sample window ends these fits
// at a dip of the band's waveform, tens of dB above the noise (Tsub 7.1 s for a 2 s decay in the
// 16 Hz octave at 48 kHz, 15 % short in the 125 Hz octave). With the longer window the octaves
// from 63 Hz up come within 10 % of the decay, everything else within a factor of 2; a single
// third-octave decay below 200 Hz holds too few independent fluctuations for 10 %.
TEST_P(LowBandEnd, TsubFollowsTheDecay) {
    const BandCase& p = GetParam();
    // The decay starts a quarter in, so that the filter's ringing ahead of its start, which
    // wraps around the transform, stays out of the noise range (the last half); it meets the
    // floor before that range.
    const double meet = p.floorDb / 60 * p.t60;
    std::size_t n = 1;
    while (n < 4.4 * meet * p.fs)
        n *= 2;
    const std::size_t start = n / 4;
    const std::vector<float> x = BandDecay(p.fs, p.system, p.band, p.t60, p.floorDb, n, start, 5);
    const std::int32_t len = static_cast<std::int32_t>(n);
    const double t1 = start / p.fs * 1000.0;
    const double width = BandWidth(p.band, p.system);
    EXPECT_GT(TsubEndWindow(p.fs, width), 64) << p.name;
    const TsubResult now = ComputeTsub(x.data(), nullptr, len, p.fs, t1, -20, 1, 0.5, width);
    ASSERT_NE(now.tsub, kNoValue) << p.name;
    if (p.system == 0 && GetBandTable(0).nominalCentre[p.band] >= 63) {
        EXPECT_NEAR(now.tsub, p.t60, 0.1 * p.t60) << p.name;
    } else {
        EXPECT_GT(now.tsub, p.t60 / 2) << p.name;
        EXPECT_LT(now.tsub, p.t60 * 2) << p.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Bands, LowBandEnd,
                         testing::Values(BandCase{"oct16_16k", 16000, 0, 1, 5.0, 45},
                                         BandCase{"oct63_16k", 16000, 0, 3, 3.0, 50},
                                         BandCase{"third40_16k", 16000, 1, 5, 4.0, 45},
                                         BandCase{"oct31_44k", 44100, 0, 2, 3.0, 45},
                                         BandCase{"oct250_44k", 44100, 0, 5, 2.0, 50},
                                         BandCase{"oct16_48k", 48000, 0, 1, 2.0, 50},
                                         BandCase{"oct125_48k", 48000, 0, 4, 2.4, 50},
                                         BandCase{"third630_48k", 48000, 1, 17, 6.8, 40},
                                         BandCase{"third100_48k", 48000, 1, 9, 1.5, 50},
                                         BandCase{"oct63_96k", 96000, 0, 3, 1.5, 50},
                                         BandCase{"third50_96k", 96000, 1, 6, 1.5, 45}),
                         BandCaseName);

// Whole seats with a frequency-dependent decay: the mean of both ears' Tsub within 10 %
// of the designed decay in every octave from 63 Hz up, within a factor of 2 (or no value) in the
// 16 and 31.5 Hz octaves. Third octaves below 250 Hz scatter by up to 40 % and more: a decay
// in so narrow a band holds too few independent fluctuations, and the band's own ring lies under
// it.
TEST(SeatDecay, OctavesFollowTheDesignedDecay) {
    struct Seat {
        const char* name;
        double fs, noiseDb, seconds;
        int channels;
    };
    // Higher rates give the same within 10 % but cost seconds each. One ear alone scatters by up
    // to 17 % in the octaves below 1 kHz: one decay's fluctuations, not the analysis.
    for (Seat seat :
         {Seat{"16 kHz", 16000, 60, 1.6, 2}, Seat{"16 kHz, no floor", 16000, 0, 1.6, 2}}) {
        test::RoomDesign d = test::BinauralSeat16k();
        d.fs = seat.fs;
        d.noiseDb = seat.noiseDb;
        d.channels = seat.channels;
        d.seconds = seat.seconds;
        const AcParamRecord r = Calculate(d, 0);
        const BandTable& t = GetBandTable(0);
        ASSERT_GE(r.nData, 10) << seat.name;
        for (int k = 1; k < r.nData; ++k) {
            AcParamBand e = r.bands[static_cast<std::size_t>(k)];
            if (d.channels == 1) e.tsubR = e.tsubL;
            const std::string where = std::string(seat.name) + " " + BandLabel(e.freq, 0, false);
            const double designed = test::DesignedT(d, t.exactCentre[e.freq]);
            if (t.exactCentre[e.freq] * std::sqrt(2.0) > d.fs / 2) continue;  // no design there
            if (t.nominalCentre[e.freq] < 63) {
                if (e.tsubL == kNoValue || e.tsubR == kNoValue) continue;
                EXPECT_GT(e.tsubL + e.tsubR, designed) << where;
                EXPECT_LT(e.tsubL + e.tsubR, 4 * designed) << where;
            } else {
                EXPECT_NEAR(0.5 * (e.tsubL + e.tsubR), designed, 0.1 * designed) << where;
            }
        }
    }
}

// A broadband exponential decay of white noise from `start`, ending in digital silence after
// `seconds`, zero-padded to n: a denoised response as it is stored.
std::vector<float> SilentEnding(double fs, double t60, double seconds, std::size_t n,
                                std::size_t start) {
    std::mt19937 random(3);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> x(n, 0.0f);
    const double rate = std::log(1000.0) / t60 / fs;
    for (std::size_t i = start; i < start + static_cast<std::size_t>(seconds * fs); ++i)
        x[i] = static_cast<float>(10000.0 * g(random) * std::exp(-rate * (i - start)));
    return x;
}

// A noise range of digital silence: the automatic end comes from the part with energy. Before,
// the end fell back to the start of the noise range, past the last sample with energy, and the
// fit took the -1000 marks as levels.
TEST(SilentNoiseRange, AutomaticEndFromTheDecayItself) {
    const double fs = 48000, t60 = 1.6;
    const std::size_t n = std::size_t{1} << 18, start = 960;  // 5.5 s, decay 2.2 s
    const std::vector<float> x = SilentEnding(fs, t60, 2.2, n, start);
    const std::int32_t len = static_cast<std::int32_t>(n);
    for (double rate : {0.0, 0.3, 0.5}) {
        const TsubResult t = ComputeTsub(x.data(), nullptr, len, fs, 20.0, -20, 1, rate);
        EXPECT_NEAR(t.tsub, t60, 0.1 * t60) << "rate " << rate;
    }
    // Padding does not move it: the same decay in twice the length.
    std::vector<float> longer = x;
    longer.resize(2 * n, 0.0f);
    EXPECT_EQ(ComputeTsub(x.data(), nullptr, len, fs, 20.0, -20, 1, 0.5).tsub,
              ComputeTsub(longer.data(), nullptr, 2 * len, fs, 20.0, -20, 1, 0.5).tsub);
}

// No fit takes a -1000 mark: an end above the first reflection's level (manual, positive
// "End of Regression") used to fall back to the last sample, across all the marks.
TEST(NoEnergyMarks, NoFitReachesThem) {
    const double fs = 16000, t60 = 0.8;
    const std::size_t n = std::size_t{1} << 15, start = 320;  // 2 s, decay 1 s
    const std::vector<float> x = SilentEnding(fs, t60, 1.0, n, start);
    const std::int32_t len = static_cast<std::int32_t>(n);
    std::vector<float> curve(n);
    DecayCurve(x.data(), nullptr, curve.data(), len, fs, 20.0, 0.0);
    ASSERT_EQ(curve[n - 1], -1000.0f);
    // The fit runs to the last sample with energy, where the integral bends down to nothing:
    // the line is steeper than the decay but of its order, not the -1000 dB of the marks.
    const TsubResult manual = ComputeTsub(x.data(), nullptr, len, fs, 20.0, +5, 0, 0.0);
    EXPECT_GT(manual.tsub, 0.5 * t60);
    EXPECT_LT(manual.tsub, t60);
    const TsubResult usual = ComputeTsub(x.data(), nullptr, len, fs, 20.0, -20, 0, 0.0);
    EXPECT_NEAR(usual.tsub, t60, 0.05 * t60);
    // The regression line of the reverberation page is the same fit.
    const DecayDisplay d =
        ComputeDecayDisplay(x.data(), nullptr, len, fs, 20.0, 0.0, +5, 0, 0.0, DecayChannel::Left);
    EXPECT_EQ(d.slope, manual.slope);
}

// The same response with trailing silence, padded to a longer power of two, or with a lead-in
// of low noise: the same band levels within 0.01 dB, the same delta-t1 and, with trailing
// silence in the same length, the same Tsub. (Levels once came from the padded period, and the
// coarser grid of a shorter transform moved the 16 to 125 Hz octaves by up to 0.2 dB.)
TEST(PaddingAndLeadIn, LevelsAndDeltaT1Unchanged) {
    test::RoomDesign d = test::BinauralSeat16k();
    const AcParamRecord base = Calculate(d, 0);
    struct Variant {
        const char* name;
        double trailing, leadIn;
        bool sameLength;
    };
    for (Variant v :
         {Variant{"2741 zeros", 2741 / d.fs, 0, true}, Variant{"lead-in", 0, 0.4, true},
          Variant{"next power", 1.0, 0, false}, Variant{"3 s lead-in", 0.5, 3.0, false}}) {
        test::RoomDesign e = d;
        e.trailing = v.trailing;
        e.leadIn = v.leadIn;
        const AcParamRecord r = Calculate(e, 0);
        ASSERT_EQ(r.nData, base.nData) << v.name;
        for (int k = 0; k < r.nData; ++k) {
            const AcParamBand &a = base.bands[static_cast<std::size_t>(k)],
                              &b = r.bands[static_cast<std::size_t>(k)];
            const std::string where = std::string(v.name) + " band " + std::to_string(a.freq);
            // A long lead-in's own noise counts in a band that holds next to nothing.
            if (v.leadIn < 1 || a.splL > base.bands[0].splL - 30) {
                EXPECT_NEAR(b.splL, a.splL, 0.01) << where;
                EXPECT_NEAR(b.splR, a.splR, 0.01) << where;
            }
            if (v.trailing > 0 && v.sameLength) {
                EXPECT_EQ(b.tsubL, a.tsubL) << where;
            }
        }
        EXPECT_NEAR(r.deltaT1L - r.deltaT0L, base.deltaT1L - base.deltaT0L, 1e-9) << v.name;
        EXPECT_NEAR(r.deltaT1R - r.deltaT0R, base.deltaT1R - base.deltaT0R, 1e-9) << v.name;
    }
    // A direct sound past the searched half is reported, not silently taken.
    test::RoomDesign late = d;
    late.leadIn = 3.0;  // in 2^16 frames, whose first half ends at 2.05 s
    late.seconds = 0.8;
    ImpulseRecord m;
    const SampleBlock block = Stored(late, &m);
    AcParamRecord r;
    CalcNotes notes;
    ImpulseConditions c;
    ASSERT_EQ(CalculateImpulseParameters(m, block, &r, d.fs, c, nullptr, &notes),
              CalcResult::Finished);
    EXPECT_TRUE(notes.directSoundBeyondSearch);
    ASSERT_EQ(CalculateImpulseParameters(m, Stored(d, &m), &r, d.fs, c, nullptr, &notes),
              CalcResult::Finished);
    EXPECT_FALSE(notes.directSoundBeyondSearch);
}

// Third octaves of a one-channel response at another rate: padding to the next power of two
// and a lead-in leave every band's level, down to the 16 Hz band, within 0.01 dB.
TEST(PaddingAndLeadIn, ThirdOctaveLevelsUnchanged) {
    test::RoomDesign d;
    d.fs = 22050;
    d.seconds = 1.2;
    d.tLow = 1.5;
    d.tHigh = 0.3;
    d.noiseDb = 50;
    const AcParamRecord base = Calculate(d, 1);
    test::RoomDesign e = d;
    e.leadIn = 0.6;
    e.trailing = 0.9;
    const AcParamRecord r = Calculate(e, 1);
    ASSERT_EQ(r.nData, base.nData);
    ASSERT_GT(r.nData, 25);
    for (int k = 0; k < r.nData; ++k) {
        const AcParamBand &a = base.bands[static_cast<std::size_t>(k)],
                          &b = r.bands[static_cast<std::size_t>(k)];
        EXPECT_NEAR(b.splL, a.splL, 0.01) << "band " << a.freq;
    }
}

// Band energies of a response taken over the response alone: independent of where it lies in
// how much padding, all bands together hold its energy, and a long padded transform agrees with
// them as far as its grid allows (its edges err by a share of a bin, 0.03 Hz here).
TEST(ResponseSpectrum, BandEnergyOfTheResponseAlone) {
    const double fs = 16000;
    std::mt19937 random(9);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> x(3000);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(2000 * g(random) * std::exp(-0.002 * i));
    auto placed = [&](std::size_t at, std::size_t n) {
        std::vector<float> v(n, 0.0f);
        std::copy(x.begin(), x.end(), v.begin() + static_cast<std::ptrdiff_t>(at));
        return v;
    };
    const std::vector<float> a = placed(0, 4096), b = placed(7000, 16384);
    const ResponseSpectrum sa(a.data(), 4096), sb(b.data(), 16384);
    double energy = 0;
    for (float v : x)
        energy += static_cast<double>(v) * v;
    EXPECT_NEAR(sa.BandEnergy(0, fs / 2, fs), energy, 1e-5 * energy);
    EXPECT_EQ(sa.BandEnergy(0, 2 * fs, fs), sa.BandEnergy(0, fs / 2, fs));
    const std::size_t fine = std::size_t{1} << 19;  // a grid of 0.03 Hz
    for (auto [band, system] : {std::pair{7, 0}, std::pair{7, 1}, std::pair{1, 0}}) {
        const BandTable& t = GetBandTable(system);
        const double lower = t.exactCentre[band] / t.halfBandFactor,
                     upper = t.exactCentre[band] * t.halfBandFactor;
        const double e = sa.BandEnergy(lower, upper, fs);
        EXPECT_DOUBLE_EQ(sb.BandEnergy(lower, upper, fs), e) << BandLabel(band, system, false);
        std::vector<float> f = placed(0, fine);
        ApplyBandFilter(f.data(), nullptr, static_cast<std::int32_t>(fine), fs, band, system);
        double filtered = 0;
        for (float v : f)
            filtered += static_cast<double>(v) * v;
        EXPECT_NEAR(e, filtered, 5e-3 * filtered) << BandLabel(band, system, false);
        EXPECT_NEAR(BandLevel(sa, lower, upper, fs, 2, 16000), 10 * std::log10(4 * e / 16000),
                    1e-9);
    }
    const std::vector<float> silent(64, 0.0f);
    const ResponseSpectrum none(silent.data(), 64);
    EXPECT_TRUE(none.Empty());
    EXPECT_EQ(BandLevel(none, 100, 200, fs, 1, 16000), kNoValue);
}

// The recalculation after a change of the Tsub conditions reproduces the calculation's values
// for a padded response whose noise range is only padding (the decay from the response's part).
TEST(PaddingAndLeadIn, RecalculationTakesTheSameSamples) {
    test::RoomDesign d;
    d.fs = 16000;
    d.seconds = 0.9;
    d.trailing = 0.8;  // 2^15 frames, the noise range (from 1.02 s) all padding
    d.noiseDb = 60;
    ImpulseRecord m;
    const SampleBlock block = Stored(d, &m);
    ImpulseConditions c;
    AcParamRecord r;
    ASSERT_EQ(CalculateImpulseParameters(m, block, &r, d.fs, c, nullptr), CalcResult::Finished);
    AcParamRecord again = r;
    for (int k = 0; k < again.nData; ++k)
        again.bands[static_cast<std::size_t>(k)].tsubL = 0;
    ASSERT_TRUE(RecalculateTsub(m, block, &again, d.fs));
    for (int k = 0; k < r.nData; ++k) {
        EXPECT_EQ(again.bands[static_cast<std::size_t>(k)].tsubL,
                  r.bands[static_cast<std::size_t>(k)].tsubL)
            << "entry " << k;
        EXPECT_NE(r.bands[static_cast<std::size_t>(k)].tsubL, kNoValue) << "entry " << k;
    }
    std::vector<float> l, right;
    ASSERT_TRUE(RecoverImpulseResponses(m, block, d.fs, &l, &right));
    EXPECT_LT(DecayLength(m, l, right, 0.5), static_cast<std::int32_t>(l.size() / 2));
}

// The length an impulse response's decay is taken from ends before its trailing silence, over
// both channels, when the noise range would hold only that silence; an MLS recording keeps its
// period.
TEST(DecayLength, EndsBeforeSilenceThatFillsTheNoiseRange) {
    ImpulseRecord m;
    m.noMls = 1;
    std::vector<float> l(16, 0.0f), r(16, 0.0f);
    l[5] = 1;
    r[6] = -1;
    EXPECT_EQ(DecayLength(m, l, r, 0.5), 7);
    EXPECT_EQ(DecayLength(m, l, {}, 0.0), 6);
    EXPECT_EQ(DecayLength(m, l, r, 0.3), 7);   // noise range from 11
    EXPECT_EQ(DecayLength(m, l, r, 0.6), 16);  // from 6: it holds data
    r[9] = 1;
    EXPECT_EQ(DecayLength(m, l, r, 0.5), 16);
    m.noMls = 0;
    r[9] = 0;
    EXPECT_EQ(DecayLength(m, l, r, 0.5), 16);
    EXPECT_EQ(LevelLength(m, 16, 48000), 16.0);
    m.noMls = 1;
    m.sampling = 44100;
    EXPECT_EQ(LevelLength(m, 16, 48000), 44100.0);
}

// The decay levels are taken by a series where that cannot change a float: every level must be
// the library logarithm's float, also next to a rounding boundary and at the ends of the range.
TEST(DecayLevels, TheFloatsOfTheLibraryLogarithm) {
    auto literal = [](double sum, double r) {
        return r > 0 && sum > 0 ? static_cast<float>(10.0 * std::log10(sum / r)) : -1000.0f;
    };
    std::vector<double> sums;
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-320, 310);
    for (int i = 0; i < 200000; ++i)
        sums.push_back(std::pow(10.0, exponent(random)));
    // Right at the midpoints between neighbouring floats, where the slack must send a value to
    // the library's path.
    for (float f = -99.0f; f < 0; f += 0.37f) {
        const double mid = (static_cast<double>(f) + std::nextafter(f, 0.0f)) / 2;
        for (double nudge : {-1e-13, 0.0, 1e-13})
            sums.push_back(std::pow(10.0, (mid + nudge) / 10));
    }
    for (double v :
         {0.0, -1.0, 1.0, 4.9e-324, 2.2e-308, 1.7e308, std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()})
        sums.push_back(v);
    const std::int32_t n = static_cast<std::int32_t>(sums.size());
    for (double r : {1.0, 3.7e-5, 2.5e10, 0.0, std::numeric_limits<double>::quiet_NaN()}) {
        std::vector<float> levels(sums.size());
        DecayLevels(sums.data(), r, n, levels.data());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < sums.size(); ++i) {
            const float want = literal(sums[i], r);
            if (std::memcmp(&want, &levels[i], sizeof want) != 0 && ++wrong < 5)
                ADD_FAILURE() << "sum " << sums[i] << " r " << r << ": " << levels[i]
                              << " instead of " << want;
        }
        EXPECT_EQ(wrong, 0u) << "r " << r;
    }
}

// Both ears are summed side by side; each ear's Tsub, fit figures and level must be the
// doubles it has alone, with their own first reflections, noise ranges and silent tails.
TEST(PairedEars, EachEarAsAlone) {
    std::mt19937 random(5);
    std::normal_distribution<float> g(0.0f, 0.3f);
    const std::int32_t n = 40000;
    std::vector<float> l(n), r(n);
    for (std::int32_t i = 0; i < n; ++i) {
        l[static_cast<std::size_t>(i)] = g(random) * std::exp(-i / 5000.0f) + 1e-4f * g(random);
        r[static_cast<std::size_t>(i)] = i < 30000 ? g(random) * std::exp(-i / 3000.0f) : 0.0f;
    }
    auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (int automatic : {1, 0})
        for (double q : {0.1, 0.0, 0.5}) {
            TsubResult a, b;
            ComputeTsubPair(l.data(), r.data(), n, 48000, 3.0, 7.5, -20, automatic, q, 125, &a, &b);
            const TsubResult la = ComputeTsub(l.data(), nullptr, n, 48000, 3.0, -20, automatic, q,
                                              125),
                             rb = ComputeTsub(r.data(), nullptr, n, 48000, 7.5, -20, automatic, q,
                                              125);
            for (auto [x, y] : {std::pair{a, la}, std::pair{b, rb}}) {
                EXPECT_TRUE(same(x.tsub, y.tsub)) << automatic << " " << q;
                EXPECT_TRUE(same(x.aValue, y.aValue));
                EXPECT_TRUE(same(x.slope, y.slope));
                EXPECT_TRUE(same(x.rangeDb, y.rangeDb));
                EXPECT_TRUE(same(x.r, y.r));
            }
        }
    double levelL = 0, levelR = 0;
    BandLevelPair(l.data(), r.data(), n, 3, 48000, &levelL, &levelR);
    EXPECT_TRUE(same(levelL, BandLevel(l.data(), n, 3, 48000)));
    EXPECT_TRUE(same(levelR, BandLevel(r.data(), n, 3, 48000)));
    // The band levels of plain responses, from both ears' spectra at once (the right ear's
    // spectrum is shorter: its response ends in silence).
    const ResponseSpectrum sl(l.data(), n), sr(r.data(), n);
    for (double lower : {44.0, 700.0, 7000.0}) {
        BandLevelPair(sl, sr, lower, 2 * lower, 48000, 2, n, &levelL, &levelR);
        EXPECT_TRUE(same(levelL, BandLevel(sl, lower, 2 * lower, 48000, 2, n))) << lower;
        EXPECT_TRUE(same(levelR, BandLevel(sr, lower, 2 * lower, 48000, 2, n))) << lower;
    }
    std::vector<float> silent(n, 0.0f);
    BandLevelPair(silent.data(), r.data(), n, 1, n, &levelL, &levelR);
    EXPECT_EQ(levelL, kNoValue);
    EXPECT_TRUE(same(levelR, BandLevel(r.data(), n, 1)));
}

}  // namespace
}  // namespace vesk
