#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/bands.h"
#include "dsp/fft.h"
#include "sweep/sweep.h"
#include "tests/sweep/convolve.h"

namespace vesk {
namespace {

using test::Convolve;
using test::PowerOfTwoAtLeast;

constexpr double kRate = 48000, kFrom = 20, kTo = 20000;

double Db(double ratio) {
    return 10 * std::log10(ratio);
}

// Keeps a measured figure in the test report (--gtest_output=xml) and returns it.
double Figure(const std::string& name, double value) {
    ::testing::Test::RecordProperty(name, std::to_string(value));
    return value;
}

double Energy(const std::vector<float>& x, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    double e = 0;
    for (std::size_t i = from; i < std::min(to, x.size()); ++i)
        e += double(x[i]) * x[i];
    return e;
}

// x limited to [from, to] Hz by a brick-wall mask on a transform of n >= x.size() points
// (zero-padded; the mask's ringing before sample 0 wraps to the end of the n points).
std::vector<float> BandLimit(const std::vector<float>& x, std::size_t n, double from, double to) {
    std::vector<float> re(n), im(n);
    std::copy(x.begin(), x.end(), re.begin());
    const auto size = static_cast<std::int32_t>(n);
    FftForward(SharedFftTables(size), size, re.data(), im.data());
    for (std::size_t k = 0; k < n; ++k) {
        const double f = double(std::min(k, n - k)) * kRate / double(n);
        const float keep = f >= from && f <= to ? 1.0f / float(n) : 0.0f;
        re[k] *= keep;
        im[k] *= keep;
    }
    FftInverse(SharedFftTables(size), size, re.data(), im.data());
    return re;
}

// A binaural room: a direct sound (the right ear 0.3 ms later and 2 dB weaker), three
// reflections, and from 5 ms on a diffuse tail decaying 60 dB in `t60` seconds, partly common to
// both ears (the common share sets the interaural correlation). Fixed seed.
std::vector<std::vector<float>> BinauralRoom(double seconds, double t60) {
    const auto n = static_cast<std::size_t>(seconds * kRate);
    std::vector<std::vector<float>> h(2, std::vector<float>(n, 0.0f));
    std::mt19937 random(21);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double decay = std::log(1000.0) / t60 / kRate;  // amplitude: -60 dB over t60
    for (std::size_t i = static_cast<std::size_t>(0.005 * kRate); i < n; ++i) {
        const double common = gauss(random), envelope = 0.15 * std::exp(-decay * double(i));
        h[0][i] = float(envelope * (0.6 * common + 0.8 * gauss(random)));
        h[1][i] = float(envelope * (0.6 * common + 0.8 * gauss(random)));
    }
    const std::size_t direct = 96;
    h[0][direct] += 1.0f;
    h[1][direct + 14] += 0.79f;
    const double reflections[][3] = {{0.0031, 0.5, 0.3}, {0.0074, 0.35, 0.45}, {0.0121, 0.3, 0.2}};
    for (const auto& r : reflections) {
        const auto at = direct + static_cast<std::size_t>(r[0] * kRate);
        h[0][at] += float(r[1]);
        h[1][at + 9] += float(r[2]);
    }
    return h;
}

// The k-th harmonic of the sweep, `level` below it: the same closed-form phase times k, while
// k times the instantaneous frequency stays within the band, with 10 ms raised-cosine fades.
// Written out rather than made with a memoryless polynomial on the samples, whose harmonics
// above half the rate would alias back; a real converter filters those away.
std::vector<float> Harmonic(const SweepParameters& parameters, int k, double levelDb) {
    const double l = SweepTimeConstantS(parameters),
                 start = parameters.fromHz * std::exp2(-1.0 / 12);
    const double stop = parameters.lengthS - HarmonicAdvanceS(k, parameters);
    const double fade = 0.01, gain = parameters.peak * std::pow(10.0, levelDb / 20);
    std::vector<float> h(static_cast<std::size_t>(stop * parameters.rate), 0.0f);
    for (std::size_t i = 0; i < h.size(); ++i) {
        const double t = double(i) / parameters.rate;
        const double phase = 2 * std::numbers::pi * start * l * std::expm1(t / l);
        const double w = std::min({1.0, t / fade, (stop - t) / fade});
        h[i] = float(gain * 0.5 * (1 - std::cos(std::numbers::pi * w)) * std::sin(k * phase));
    }
    return h;
}

// The excitation with 2nd and 3rd harmonics at `distortionDb`, through each ear of `room`, after
// `latency` samples of silence, with white noise `noiseDb` below the excitation's peak (the
// rooms' direct sound has gain 1; fixed seed, so two recordings differ only in their distortion).
std::vector<std::vector<float>> Record(const std::vector<float>& excitation,
                                       const SweepParameters& parameters,
                                       const std::vector<std::vector<float>>& room,
                                       std::size_t latency, double distortionDb, double noiseDb) {
    std::vector<float> driven = excitation;
    for (int k : {2, 3}) {
        if (distortionDb < -200) break;  // none
        const std::vector<float> h = Harmonic(parameters, k, distortionDb);
        for (std::size_t i = 0; i < h.size(); ++i)
            driven[i] += h[i];
    }
    std::vector<std::vector<float>> recording;
    for (const auto& ear : room) {
        const std::vector<float> wet = Convolve(driven, ear);
        std::vector<float> channel(latency + excitation.size(), 0.0f);
        std::copy(wet.begin(), wet.begin() + long(excitation.size()),
                  channel.begin() + long(latency));
        recording.push_back(std::move(channel));
    }
    std::mt19937 random(7);
    std::normal_distribution<float> gauss(
        0.0f, float(parameters.peak) * std::pow(10.0f, float(noiseDb) / 20));
    for (auto& channel : recording)
        for (float& v : channel)
            v += gauss(random);
    return recording;
}

// Normalised interaural cross-correlation of the first `length` samples, its maximum over
// +-1 ms.
double Iacc(const std::vector<float>& left, const std::vector<float>& right, std::size_t length) {
    const double norm = std::sqrt(Energy(left, 0, length) * Energy(right, 0, length));
    const long span = long(0.001 * kRate), n = long(length);
    double best = 0;
    for (long tau = -span; tau <= span; ++tau) {
        double sum = 0;
        for (long i = std::max(0L, -tau); i < std::min(n, n - tau); ++i)
            sum += double(left[std::size_t(i)]) * right[std::size_t(i + tau)];
        best = std::max(best, std::abs(sum) / norm);
    }
    return best;
}

// Decay rate in dB per second: a least-squares line through the Schroeder backward integral of
// x[0..end) between -5 and -25 dB.
double DecaySlope(const std::vector<float>& x, std::size_t end) {
    std::vector<double> curve(end);
    double sum = 0;
    for (std::size_t i = end; i-- > 0;)
        curve[i] = (sum += double(x[i]) * x[i]);
    double n = 0, st = 0, sd = 0, stt = 0, std_ = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const double d = Db(curve[i] / curve[0]);
        if (d > -5 || d < -25) continue;
        const double t = double(i) / kRate;
        n += 1, st += t, sd += d, stt += t * t, std_ += t * d;
    }
    return (n * std_ - st * sd) / (n * stt - st * st);
}

// Centre time in seconds, sum of t x^2 over sum of x^2 for x[from..end), t from sample `from`.
double CentreTime(const std::vector<float>& x, std::size_t from, std::size_t end) {
    double moment = 0;
    for (std::size_t i = from; i < end; ++i)
        moment += double(i - from) / kRate * x[i] * x[i];
    return moment / Energy(x, from, end);
}

// ---- The excitation ----

TEST(MakeSweep, FollowsTheClosedFormBetweenTheFadesAndEndsInSilence) {
    const SweepParameters parameters{
        .rate = kRate, .fromHz = kFrom, .toHz = kTo, .lengthS = 2, .tailS = 0.5, .peak = 0.5};
    const SweepSignal s = MakeSweep(parameters);
    ASSERT_EQ(s.status, SweepStatus::kDone) << s.message;
    ASSERT_EQ(s.samples.size(), 120000u);
    // The sweep runs a twelfth of an octave beyond the band at each end.
    const double f1 = kFrom * std::exp2(-1.0 / 12), f2 = kTo * std::exp2(1.0 / 12);
    const double l = 2 / std::log(f2 / f1);
    EXPECT_NEAR(SweepTimeConstantS(parameters), l, 1e-12);
    const auto closedForm = [&](double t) {
        return 0.5 * std::sin(2 * std::numbers::pi * f1 * l * (std::exp(t / l) - 1));
    };
    const double fade = l * std::log(2.0) / 12;  // the time to rise a twelfth of an octave
    double worst = 0, largest = 0;
    for (std::size_t i = 0; i < 96000; ++i) {
        const double t = double(i) / kRate;
        largest = std::max(largest, double(std::abs(s.samples[i])));
        if (t < fade || t > 2 - fade - 1 / kRate) continue;
        worst = std::max(worst, std::abs(s.samples[i] - closedForm(t)));
    }
    EXPECT_LT(worst, 1e-6) << "sweep against its closed form outside the fades";
    EXPECT_LE(largest, 0.5);
    EXPECT_GT(largest, 0.499);
    EXPECT_EQ(s.samples[0], 0.0f) << "fade-in starts from silence";
    EXPECT_EQ(s.samples[95999], 0.0f) << "fade-out ends in silence";
    const double t = 0.004, rise = std::pow(std::sin(std::numbers::pi / 2 * t / fade), 2);
    EXPECT_NEAR(s.samples[192], rise * closedForm(t), 1e-6) << "raised-cosine fade-in";
    EXPECT_EQ(Energy(s.samples, 96000), 0.0) << "silent tail";
}

TEST(MakeSweep, HarmonicAdvanceIsLTimesLnK) {
    // 20 Hz..20 kHz and a twelfth of an octave beyond at both ends: ln(1000) + ln(2)/6 nepers.
    const SweepParameters parameters{.lengthS = 5};
    const double l = 5 / (std::log(1000.0) + std::log(2.0) / 6);
    EXPECT_NEAR(HarmonicAdvanceS(2, parameters), l * std::log(2.0), 1e-12);
    EXPECT_NEAR(HarmonicAdvanceS(3, parameters), 0.78212, 1e-5);
    EXPECT_EQ(HarmonicAdvanceS(1, parameters), 0.0);
}

TEST(MakeSweep, RefusesParametersOutOfRange) {
    const SweepParameters bad[] = {
        {.rate = 0},
        {.rate = std::nan("")},
        {.fromHz = 0},
        {.fromHz = 200, .toHz = 100},
        {.fromHz = 1000, .toHz = 1500},  // less than an octave
        {.toHz = 23000},                 // its fade would pass 24 kHz
        {.lengthS = 0.05},
        {.lengthS = std::nan("")},
        {.tailS = -1},
        {.peak = 1.5},
        {.peak = 0},
    };
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        const SweepSignal s = MakeSweep(bad[i]);
        EXPECT_EQ(s.status, SweepStatus::kBadParameters) << "case " << i;
        EXPECT_FALSE(s.message.empty()) << "case " << i;
        EXPECT_TRUE(s.samples.empty()) << "case " << i;
    }
    EXPECT_EQ(MakeSweep({}).samples.size(), 7u * 48000u) << "defaults: 5 s sweep, 2 s tail";
    EXPECT_EQ(MakeSweep({.rate = 44100}).status, SweepStatus::kDone) << "20 kHz at 44.1 kHz";
}

// ---- Deconvolution ----

class Deconvolution : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        parameters = {
            .rate = kRate, .fromHz = kFrom, .toHz = kTo, .lengthS = 2, .tailS = 0.5, .peak = 0.5};
        excitation = MakeSweep(parameters).samples;
    }
    static SweepParameters parameters;
    static std::vector<float> excitation;
};
SweepParameters Deconvolution::parameters;
std::vector<float> Deconvolution::excitation;

TEST_F(Deconvolution, RefusesWithAReason) {
    const std::vector<float> ok = excitation;
    std::vector<float> nan = excitation;
    nan[1000] = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        std::vector<std::vector<float>> recording;
        double recordingRate;
        std::vector<float> excitation;
        SweepStatus expected;
    } cases[] = {
        {{}, kRate, ok, SweepStatus::kBadChannels},
        {{ok, ok, ok}, kRate, ok, SweepStatus::kBadChannels},
        {{ok}, 44100, ok, SweepStatus::kRateMismatch},
        {{ok, std::vector<float>(ok.size() - 1)}, kRate, ok, SweepStatus::kUnequalChannels},
        {{std::vector<float>(ok.begin(), ok.end() - 1)}, kRate, ok, SweepStatus::kShortRecording},
        {{ok}, kRate, {}, SweepStatus::kSilentExcitation},
        {{ok}, kRate, std::vector<float>(100), SweepStatus::kSilentExcitation},
        {{std::vector<float>(ok.size())}, kRate, ok, SweepStatus::kSilentRecording},
        {{ok, std::vector<float>(ok.size())}, kRate, ok, SweepStatus::kSilentRecording},
        {{std::vector<float>()}, kRate, ok, SweepStatus::kSilentRecording},
        {{ok, nan}, kRate, ok, SweepStatus::kNotFinite},
        {{ok}, kRate, nan, SweepStatus::kNotFinite},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const DeconvolvedResponse r =
            Deconvolve(cases[i].recording, cases[i].recordingRate, cases[i].excitation, kRate);
        EXPECT_EQ(r.status, cases[i].expected) << "case " << i << ": " << r.message;
        EXPECT_FALSE(r.message.empty()) << "case " << i;
        EXPECT_TRUE(r.channels.empty()) << "case " << i;
    }
    EXPECT_EQ(Deconvolve({ok}, kRate, ok, kRate, {.preDelayS = -1}).status,
              SweepStatus::kBadParameters);
}

// A recording that is the excitation delayed by d samples is a unit impulse at lag d: the result
// is the impulse band-limited to the sweep's band, whose -6 dB points a, b lie half a fade (a
// 24th of an octave) outside from and to. Its peak is the band's share of the spectrum,
// 2 (b - a) / rate; its energy is less by the raised-cosine edges: an edge w hertz wide keeps
// 3w/8 of the w/2 a brick wall would, so the energy is 2 (b - a - (wa + wb) / 8) / rate with
// w = f (2^(1/24) - 2^(-1/24)) at each -6 dB point f.
TEST_F(Deconvolution, UnitImpulseGivesTheBandLimitedUnitImpulse) {
    const long delay = 480, pre = 480;  // 10 ms: the default pre-delay
    const double a = kFrom * std::exp2(-1.0 / 24), b = kTo * std::exp2(1.0 / 24);
    const double width = std::exp2(1.0 / 24) - std::exp2(-1.0 / 24);
    const double peakShare = 2 * (b - a) / kRate;
    const double energyShare = 2 * (b - a - (a + b) * width / 8) / kRate;
    for (float gain : {1.0f, 0.25f}) {
        std::vector<float> recording(excitation.size() + std::size_t(delay), 0.0f);
        for (std::size_t i = 0; i < excitation.size(); ++i)
            recording[std::size_t(delay) + i] = gain * excitation[i];
        const DeconvolvedResponse r = Deconvolve({recording}, kRate, excitation, kRate);
        ASSERT_EQ(r.status, SweepStatus::kDone) << r.message;
        ASSERT_EQ(r.channels.size(), 1u);
        EXPECT_NEAR(r.bandFromHz, kFrom, 0.01 * kFrom) << "gain " << gain;
        EXPECT_NEAR(r.bandToHz, kTo, 0.001 * kTo) << "gain " << gain;
        const std::vector<float>& y = r.channels[0];
        EXPECT_LE(r.onsetLag, delay) << "gain " << gain;
        EXPECT_GE(r.onsetLag, delay - 3) << "gain " << gain;
        const auto at = std::size_t(pre + delay - r.onsetLag);
        const auto peak = std::max_element(
            y.begin(), y.end(), [](float a, float b) { return std::abs(a) < std::abs(b); });
        EXPECT_EQ(std::size_t(peak - y.begin()), at) << "gain " << gain;
        EXPECT_NEAR(y[at] / gain, peakShare, 0.002 * peakShare) << "gain " << gain;
        EXPECT_NEAR(Energy(y) / (gain * gain), energyShare, 0.002 * energyShare) << "gain " << gain;
        // The recording holds the response up to its own length less the sweep's active part.
        EXPECT_EQ(long(y.size()), pre + long(recording.size()) -
                                      long(parameters.lengthS * kRate - 1) + 1 - r.onsetLag)
            << "gain " << gain;
    }
}

// The 2nd and 3rd harmonics' images land L ln k ahead of the linear response, as predicted; a
// pre-delay beyond them shows them, the default one leaves the result as without distortion.
TEST_F(Deconvolution, HarmonicImagesLandAheadAndAreCutAway) {
    const std::vector<std::vector<float>> dry = {std::vector<float>(1, 1.0f)};
    const long latency = 24000;
    const auto distorted = Record(excitation, parameters, dry, std::size_t(latency), -30, -90);
    const auto clean = Record(excitation, parameters, dry, std::size_t(latency), -1000, -90);

    const DeconvolvedResponse wide =
        Deconvolve(distorted, kRate, excitation, kRate, {.preDelayS = 0.4});
    ASSERT_EQ(wide.status, SweepStatus::kDone) << wide.message;
    const std::vector<float>& y = wide.channels[0];
    const auto linear = std::size_t(0.4 * kRate) + std::size_t(latency - wide.onsetLag);
    const double linearEnergy = Energy(y, linear - 48, linear + 48);
    for (int k : {2, 3}) {
        const auto image =
            linear - std::size_t(std::lround(HarmonicAdvanceS(k, parameters) * kRate));
        const auto found =
            std::max_element(y.begin() + long(image - 480), y.begin() + long(image + 480),
                             [](float a, float b) { return std::abs(a) < std::abs(b); });
        EXPECT_NEAR(double(found - y.begin()), double(image), 24) << "harmonic " << k;
        // A harmonic 30 dB down over nearly the whole band: its image is about 30 dB down.
        const double level = Figure("harmonic" + std::to_string(k) + "_image_db",
                                    Db(Energy(y, image - 48, image + 48) / linearEnergy));
        EXPECT_NEAR(level, -30, 2) << "harmonic " << k;
    }

    const DeconvolvedResponse cut = Deconvolve(distorted, kRate, excitation, kRate);
    const DeconvolvedResponse reference = Deconvolve(clean, kRate, excitation, kRate);
    ASSERT_EQ(cut.status, SweepStatus::kDone) << cut.message;
    ASSERT_EQ(reference.status, SweepStatus::kDone) << reference.message;
    ASSERT_EQ(cut.channels[0].size(), reference.channels[0].size());
    std::vector<float> residual(cut.channels[0].size());
    for (std::size_t i = 0; i < residual.size(); ++i)
        residual[i] = cut.channels[0][i] - reference.channels[0][i];
    EXPECT_LT(Figure("distortion_left_db", Db(Energy(residual) / Energy(reference.channels[0]))),
              -70)
        << "distortion left in the stored response";
}

// The measurement the method is for: a binaural room through a 5 s sweep with -30 dB 2nd and 3rd
// harmonics and noise 70 dB below the excitation's peak, against the room itself band-limited to
// the sweep's band.
TEST(DeconvolutionOfARoom, MatchesTheRoomInLevelDecayCentreTimeAndInterauralCorrelation) {
    const SweepParameters parameters{
        .rate = kRate, .fromHz = kFrom, .toHz = kTo, .lengthS = 5, .tailS = 1.5, .peak = 0.5};
    const std::vector<float> excitation = MakeSweep(parameters).samples;
    const auto room = BinauralRoom(0.9, 0.7);
    const std::size_t latency = 1200;
    const auto recording = Record(excitation, parameters, room, latency, -30, -70);
    const DeconvolvedResponse r = Deconvolve(recording, kRate, excitation, kRate);
    ASSERT_EQ(r.status, SweepStatus::kDone) << r.message;
    ASSERT_EQ(r.channels.size(), 2u);
    // At the left direct sound, or up to 3 samples ahead on its band-limited side lobes.
    EXPECT_LE(r.onsetLag, long(latency + 96));
    EXPECT_GE(r.onsetLag, long(latency + 96 - 3));

    // Against the same recording without distortion (same noise): the 2nd harmonic's image of
    // the room, 30 dB down and 0.5 s ahead, has decayed another 60 * 0.5 / 0.7 dB by the onset,
    // so what is left of it lies near -73 dB and below; an image inside would be near -30 dB.
    const DeconvolvedResponse clean = Deconvolve(
        Record(excitation, parameters, room, latency, -1000, -70), kRate, excitation, kRate);
    ASSERT_EQ(clean.status, SweepStatus::kDone) << clean.message;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> residual(r.channels[c].size());
        for (std::size_t i = 0; i < residual.size(); ++i)
            residual[i] = r.channels[c][i] - clean.channels[c][i];
        const double left = Db(Energy(residual) / Energy(clean.channels[c]));
        EXPECT_LT(Figure("distortion_left_db_ear" + std::to_string(c), left), -65) << c;
    }

    // Both sides on one grid: sample i of the result is lag start + i of the room.
    const std::size_t n = PowerOfTwoAtLeast(2 * r.channels[0].size());
    const long start = r.onsetLag - 480 - long(latency);
    std::vector<std::vector<float>> got(2, std::vector<float>(n)), want = got;
    for (int c = 0; c < 2; ++c) {
        // The sweep's band between its -6 dB points, half a fade beyond from and to.
        const std::vector<float> limited =
            BandLimit(room[c], n, kFrom * std::exp2(-1.0 / 24), kTo * std::exp2(1.0 / 24));
        for (std::size_t i = 0; i < r.channels[c].size(); ++i) {
            got[c][i] = r.channels[c][i];
            want[c][i] = limited[std::size_t((start + long(i) + long(n)) % long(n))];
        }
    }
    const std::size_t roomEnd = std::size_t(long(room[0].size()) - start);
    const std::size_t direct = std::size_t(96 - start);  // the left ear's direct sound
    for (int c = 0; c < 2; ++c) {
        const double level = Db(Energy(got[c]) / Energy(want[c]));
        EXPECT_LT(std::abs(level), 0.2) << "broadband level, ear " << c;
        Figure("level_db_broadband_ear" + std::to_string(c), level);
    }
    EXPECT_LT(Figure("iacc_error_broadband",
                     std::abs(Iacc(got[0], got[1], roomEnd) - Iacc(want[0], want[1], roomEnd))),
              0.02);

    // Octaves 125 Hz..4 kHz.
    for (int band = 4; band <= 9; ++band) {
        std::vector<std::vector<float>> g = got, w = want;
        for (int c = 0; c < 2; ++c) {
            ApplyBandFilter(g[c].data(), nullptr, std::int32_t(n), kRate, band, 0);
            ApplyBandFilter(w[c].data(), nullptr, std::int32_t(n), kRate, band, 0);
            const double level = Db(Energy(g[c]) / Energy(w[c]));
            const std::string name = "_octave" + std::to_string(band) + "_ear" + std::to_string(c);
            EXPECT_LT(std::abs(Figure("level_db" + name, level)), 0.2) << name;
            const double slope = DecaySlope(g[c], roomEnd), reference = DecaySlope(w[c], roomEnd);
            EXPECT_NEAR(Figure("decay_ratio" + name, slope / reference), 1, 0.03) << name;
            const double centre = CentreTime(g[c], direct, roomEnd);
            const double wanted = CentreTime(w[c], direct, roomEnd);
            EXPECT_NEAR(Figure("centre_time_ratio" + name, centre / wanted), 1, 0.03) << name;
            // What differs is noise, some 60 dB down, and nothing else: a harmonic image in the
            // result would leave a residual near -30 dB.
            std::vector<float> residual(n);
            for (std::size_t i = 0; i < n; ++i)
                residual[i] = g[c][i] - w[c][i];
            EXPECT_LT(Figure("residual_db" + name, Db(Energy(residual) / Energy(w[c]))), -50)
                << "residual, octave " << band << ", ear " << c;
        }
        const double iaccError = std::abs(Iacc(g[0], g[1], roomEnd) - Iacc(w[0], w[1], roomEnd));
        EXPECT_LT(Figure("iacc_error_octave" + std::to_string(band), iaccError), 0.02) << band;
    }
}

}  // namespace
}  // namespace vesk
