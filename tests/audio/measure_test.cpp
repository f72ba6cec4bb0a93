// Measurements through the simulated card against the parameters of the room it simulates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "audio/measurement.h"
#include "audio/simulated_device.h"
#include "dsp/fft.h"
#include "impulse/impulse_calculation.h"
#include "shell/settings.h"
#include "store/samples.h"
#include "tests/test_support.h"

namespace vesk::audio {
namespace {

constexpr int kRate = 16000;

// A binaural room: direct sound at 10 ms (right ear 5 samples later), a side reflection at
// 25 ms, and a diffuse tail decaying by 60 dB in 0.45 s, band-limited to 60 Hz..6 kHz so that a
// sweep over 30 Hz..7.5 kHz holds all of it. Peak near 0.5, as a measured response normalised
// with headroom.
std::vector<std::vector<float>> Room() {
    const std::size_t n = static_cast<std::size_t>(0.8 * kRate), size = 1 << 14;
    std::mt19937 random(7);
    std::normal_distribution<double> normal;
    std::vector<std::vector<float>> room(2, std::vector<float>(n, 0.0f));
    const std::size_t direct[2] = {160, 165}, reflection[2] = {400, 396};
    for (int c = 0; c < 2; ++c) {
        room[c][direct[c]] = 1.0f;
        room[c][reflection[c]] = c == 0 ? 0.45f : 0.35f;
        for (std::size_t i = 480; i < n; ++i)
            room[c][i] +=
                static_cast<float>(0.05 * normal(random) *
                                   std::exp(-6.91 * static_cast<double>(i - 480) / (0.45 * kRate)));
        std::vector<float> re(size, 0.0f), im(size, 0.0f);
        std::copy(room[c].begin(), room[c].end(), re.begin());
        FftTables tables;
        FftForward(tables, static_cast<std::int32_t>(size), re.data(), im.data());
        for (std::size_t k = 0; k < size; ++k) {
            const double f = static_cast<double>(std::min(k, size - k)) * kRate / size;
            const double keep = f < 40 || f > 6500 ? 0.0
                                : f < 60           ? 0.5 - 0.5 * std::cos(M_PI * (f - 40) / 20)
                                : f > 6000         ? 0.5 + 0.5 * std::cos(M_PI * (f - 6000) / 500)
                                                   : 1.0;
            re[k] = static_cast<float>(re[k] * keep / size);
            im[k] = static_cast<float>(im[k] * keep / size);
        }
        FftInverse(tables, static_cast<std::int32_t>(size), re.data(), im.data());
        for (std::size_t i = 0; i < n; ++i)
            room[c][i] = 0.5f * re[i];
    }
    return room;
}

AcParamRecord Parameters(const std::vector<std::vector<float>>& channels, bool mls) {
    std::size_t frames = channels[0].size();
    int order = 0;
    while ((std::size_t{1} << order) < frames)
        ++order;
    SampleBlock block;
    block.channels = static_cast<std::uint16_t>(channels.size());
    block.bits = 16;
    float peak = 0;
    for (const auto& c : channels)
        for (float v : c)
            peak = std::max(peak, std::fabs(v));
    block.samples.assign((std::size_t{1} << order) * channels.size(), 0);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels.size(); ++c)
            block.samples[i * channels.size() + c] =
                static_cast<std::int16_t>(std::lround(channels[c][i] * 30000.0f / peak));
    ImpulseRecord m;
    m.sampling = kRate;
    m.mesTime = order;
    m.noMls = mls ? 0 : 1;
    m.mesNum = 1;
    m.channel = static_cast<std::int32_t>(channels.size());
    m.bit = 16;
    AcParamRecord r;
    EXPECT_EQ(CalculateImpulseParameters(m, block, &r, kRate, ImpulseConditions(), nullptr),
              CalcResult::Finished);
    return r;
}

void ExpectSameRoom(const AcParamRecord& known, const AcParamRecord& measured, const char* how) {
    EXPECT_NEAR(measured.deltaT1L, known.deltaT1L, 1000.0 / kRate) << how;
    EXPECT_NEAR(measured.deltaT1R, known.deltaT1R, 1000.0 / kRate) << how;
    int compared = 0;
    for (int k = 0; k < known.nData; ++k) {
        const auto& a = known.bands[static_cast<std::size_t>(k)];
        const auto& b = measured.bands[static_cast<std::size_t>(k)];
        EXPECT_NEAR(b.iacc, a.iacc, 0.02) << how << " band " << a.freq;
        if (a.freq < 4 || a.freq > 9) continue;  // octaves 125 Hz..4 kHz
        ++compared;
        EXPECT_NEAR(b.tsubL, a.tsubL, 0.03 * a.tsubL) << how << " band " << a.freq;
        EXPECT_NEAR(b.tsubR, a.tsubR, 0.03 * a.tsubR) << how << " band " << a.freq;
    }
    EXPECT_EQ(compared, 6) << how;
}

MeasureSettings Ears() {
    MeasureSettings s;
    s.rate = kRate;
    s.inputs = {1, 2};
    s.loopback = 3;
    s.levelDb = -12;
    return s;
}

TEST(Measure, SimulatedRoomIsRecoveredByMlsAndSweep) {
    const auto room = Room();
    SimulatedDevice device(room, kRate);
    const AcParamRecord known = Parameters(room, false);

    Measurement mls = MeasureMls(device, Ears(), 14, 4, nullptr);
    ASSERT_EQ(mls.status, AudioStatus::kDone) << mls.message;
    EXPECT_EQ(mls.latency, 256);
    EXPECT_TRUE(mls.latencyMeasured);
    ASSERT_EQ(mls.channels.size(), 2u);
    ASSERT_EQ(mls.channels[0].size(), 1u << 14);
    ExpectSameRoom(known, Parameters(mls.channels, true), "MLS");

    SweepParameters sweep;
    sweep.fromHz = 30;
    sweep.toHz = 7500;
    sweep.lengthS = 2;
    sweep.tailS = 1;
    Measurement swept = MeasureSweep(device, Ears(), sweep, nullptr);
    ASSERT_EQ(swept.status, AudioStatus::kDone) << swept.message;
    EXPECT_EQ(swept.latency, 256);
    ExpectSameRoom(known, Parameters(swept.channels, false), "sweep");
    // With the latency removed the direct sound lands at its true time.
    const auto& left = swept.channels[0];
    EXPECT_EQ(std::max_element(left.begin(), left.end(),
                               [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
                  left.begin(),
              160);

    // A latency remembered from before takes the loopback's place.
    MeasureSettings remembered = Ears();
    remembered.loopback = 0;
    remembered.knownLatency = 256;
    Measurement again = MeasureMls(device, remembered, 14, 1, nullptr);
    ASSERT_EQ(again.status, AudioStatus::kDone) << again.message;
    EXPECT_FALSE(again.latencyMeasured);
    ExpectSameRoom(known, Parameters(again.channels, true), "MLS, remembered latency");
}

class CancelAfter : public RunMonitor {
  public:
    bool Update(std::size_t, std::size_t, const std::vector<float>& peaks) override {
        EXPECT_FALSE(peaks.empty());
        return ++calls < 3;
    }
    int calls = 0;
};

TEST(Measure, BadConditionsAreRefusedWithTheirMessage) {
    const auto room = Room();
    struct Case {
        const char* name;
        std::vector<std::vector<float>> response;
        SimulatedOptions options;
        AudioStatus expected;
        const char* words;
    };
    SimulatedOptions hot, dropout;
    hot.gainDb = 20;
    dropout.dropoutAt = 12000;
    const std::vector<Case> cases = {
        {"clipping", room, hot, AudioStatus::kClipping, "clips"},
        {"dropout", room, dropout, AudioStatus::kDropout, "dropouts"},
        {"silence",
         {std::vector<float>(1000, 0.0f), std::vector<float>(1000, 0.0f)},
         {},
         AudioStatus::kTooQuiet,
         "too quiet"},
    };
    SweepParameters sweep;
    sweep.fromHz = 30;
    sweep.toHz = 7500;
    sweep.lengthS = 1;
    sweep.tailS = 1;
    for (const Case& c : cases) {
        SimulatedDevice device(c.response, kRate, c.options);
        for (int method = 0; method < 2; ++method) {
            Measurement m = method == 0 ? MeasureMls(device, Ears(), 12, 2, nullptr)
                                        : MeasureSweep(device, Ears(), sweep, nullptr);
            EXPECT_EQ(m.status, c.expected) << c.name << " method " << method;
            EXPECT_NE(m.message.find(c.words), std::string::npos) << c.name << ": " << m.message;
            EXPECT_TRUE(m.channels.empty()) << c.name;
        }
    }
    // Quiet but not silent: a response 20 dB above the noise is still refused.
    SimulatedOptions noisy;
    noisy.noiseDb = -50;
    SimulatedDevice faint(room, kRate, noisy);
    MeasureSettings low = Ears();
    low.levelDb = -60;
    EXPECT_EQ(MeasureSweep(faint, low, sweep, nullptr).status, AudioStatus::kTooQuiet);

    SimulatedDevice device(room, kRate);
    MeasureSettings wrongRate = Ears();
    wrongRate.rate = 48000;
    Measurement m = MeasureMls(device, wrongRate, 12, 2, nullptr);
    EXPECT_EQ(m.status, AudioStatus::kUnsupportedRate);
    EXPECT_NE(m.message.find("48000"), std::string::npos) << m.message;
    MeasureSettings missing = Ears();
    missing.inputs = {1, 5};
    EXPECT_EQ(MeasureMls(device, missing, 12, 2, nullptr).status, AudioStatus::kBadChannels);

    CancelAfter cancel;
    m = MeasureSweep(device, Ears(), sweep, &cancel);
    EXPECT_EQ(m.status, AudioStatus::kCancelled);
    EXPECT_EQ(cancel.calls, 3);
    EXPECT_TRUE(m.channels.empty());
}

TEST(Measure, RecordingAndTestToneKeepTheirLevels) {
    std::vector<std::vector<float>> wire = {{1.0f}};
    SimulatedDevice clean(wire, kRate);
    SimulatedOptions quiet;
    quiet.noiseDb = -40;
    SimulatedDevice device(wire, kRate, quiet);
    MeasureSettings s;
    s.rate = kRate;
    s.inputs = {1};
    s.levelDb = -20;
    Measurement tone = CheckLevels(clean, s, 0.5, nullptr);
    ASSERT_EQ(tone.status, AudioStatus::kDone) << tone.message;
    EXPECT_NEAR(tone.peakDb, -20, 0.1);
    Measurement noise = MeasureRecording(device, s, 2.0, nullptr);
    ASSERT_EQ(noise.status, AudioStatus::kDone) << noise.message;
    ASSERT_EQ(noise.channels.size(), 1u);
    ASSERT_EQ(noise.channels[0].size(), 2u * kRate);
    double energy = 0;
    for (float v : noise.channels[0])
        energy += v * v;
    EXPECT_NEAR(10 * std::log10(energy / (2.0 * kRate)), -40, 0.5);
    s.levelDb = 0;  // the tone itself at full scale clips the input
    EXPECT_EQ(CheckLevels(device, s, 0.5, nullptr).status, AudioStatus::kClipping);
}

TEST(Measure, DeviceLatenciesSurviveTheSettingsFile) {
    test::TempDir dir;
    const std::string path = dir.File("Vesk.dat");
    AppSettings s;
    s.frameWidth = 800;
    s.deviceLatency["ALSA:USB Audio: #1 (hw:1,0)"] = 1234;
    s.deviceLatency["sim"] = 256;
    s.deviceLatency["bad\nname"] = 5;
    ASSERT_TRUE(s.Save(path));
    AppSettings back = AppSettings::Load(path);
    EXPECT_EQ(back.Encode(), s.Encode());
    EXPECT_EQ(back.deviceLatency.size(), 2u);
    EXPECT_EQ(back.deviceLatency["ALSA:USB Audio: #1 (hw:1,0)"], 1234);
    EXPECT_EQ(back.deviceLatency["sim"], 256);

    // A file of the old length keeps no latencies, and a damaged tail is skipped line by line.
    AppSettings plain;
    ASSERT_TRUE(plain.Save(path));
    auto bytes = test::ReadFileBytes(path);
    EXPECT_EQ(bytes.size(), kAppSettingsSize);
    const std::string tail =
        "latency x sim\nlatency -4 a\nlatency 99999999999 b\nlatency 12\n"
        "garbage\nlatency 7 good one";
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    test::WriteFileBytes(path, bytes);
    back = AppSettings::Load(path);
    ASSERT_EQ(back.deviceLatency.size(), 1u);
    EXPECT_EQ(back.deviceLatency["good one"], 7);
}

}  // namespace
}  // namespace vesk::audio
