// Conditions of a running-ACF (and noise) calculation, as kept in the settings block and in
// every stored result, the sample counts derived from them, and their check.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vesk {

struct RunningAcfConditions {
    double integrationTime = 2.0;    // "Integration Time", s
    double runningStep = 0.1;        // "Running Step", s
    std::uint32_t weighting = 1;     // 0 "Flat", 1 "A-weighting", 2 "B-weighting", 3 "C-weighting"
    double maxDelayTime = 0.2;       // "Max Delay Time", s
    std::int32_t phi0RefData = -1;   // record ID, -1 "Maximum value", -2 "Absolute value"
    double phi0RefLevel = 0.0;       // "Ref. Level", dB
    double peakDetectTime = 5.0;     // tau-e "Peak Detection Time", ms
    double tauERegLevel = -5.0;      // tau-e "End of Regression(level)", dB
    double tauERegTime = 50.0;       // tau-e "End of Regression(time)", ms
    std::int16_t includeOrigin = 0;  // tau-e "Including Origin"
    std::int16_t tau1PeakRule = 0;   // 0 "Peak Detection A", 1 "Peak Detection B (High Frequency)"
};

constexpr int kRunningAcfConditionsSize = 68;

// The defaults of the noise block, which has the same layout.
RunningAcfConditions NoiseConditionDefaults();

// The 68-byte little-endian layout (4-byte packing) of the settings file and result blobs.
void EncodeRunningAcfConditions(const RunningAcfConditions& c, unsigned char* out);
RunningAcfConditions DecodeRunningAcfConditions(const unsigned char* in);

// The ACFCOND2 blob of a running-ACF result; bytes 0..83 of a noise condition block.
struct AcfConditionBlock {
    std::int32_t sampleNum = 0;  // samples per channel the calculation used (SAMPLENUM)
    RunningAcfConditions conditions;
    double wiaccWidth = 0.1;  // relative width delta of WIACC
};

constexpr int kAcfConditionBlockSize = 84;
void EncodeAcfConditionBlock(const AcfConditionBlock& b, unsigned char* out);  // 84 bytes
AcfConditionBlock DecodeAcfConditionBlock(const unsigned char* in);

// The microphone calibration of a noise recording (bytes 84..415 of its condition block).
struct MicCalibration {
    static constexpr int kMaxPoints = 20;
    double referenceLevel = 0.0;  // dB; the signal is scaled by 10^(-level/20)
    std::uint32_t count = 0;      // points in use; more than kMaxPoints counts as kMaxPoints
    std::array<double, kMaxPoints> frequency{};  // Hz
    std::array<double, kMaxPoints> level{};      // dB
};

constexpr int kMicCalibrationSize = 332;
void EncodeMicCalibration(const MicCalibration& c, unsigned char* out);  // 332 bytes
MicCalibration DecodeMicCalibration(const unsigned char* in);

// The sample counts of a run, each truncated toward zero from fs times a time.
struct AcfFraming {
    std::int32_t integration = 0;    // L
    std::int32_t maxDelay = 0;       // D
    std::int32_t step = 0;           // P
    std::int32_t peakWindow = 0;     // W, the tau-e envelope window
    std::int32_t regressionEnd = 0;  // E, the lag that ends the tau-e regression
    std::int32_t transform = 1;      // N, the smallest power of two not below L + D
    std::int32_t frames = 0;         // F over the samples given
};

// The framing of `samples` samples per channel. Only meaningful for conditions that pass
// CheckRunningAcfConditions.
AcfFraming FrameRunningAcf(const RunningAcfConditions& c, double fs, std::int64_t samples);

// The largest transform the engine takes (2^24 points, 350 s at 48 kHz).
constexpr std::int32_t kMaxAcfTransform = 1 << 24;

// Refuses conditions under which the analysis is undefined at this sampling rate: empty text
// when they can be used, otherwise a message in the conditions' own words. `channels` 2 also
// requires the +-1 ms interaural window to fit the transform.
std::string CheckRunningAcfConditions(const RunningAcfConditions& c, double fs, int channels);

}  // namespace vesk
