#include "acf/acf_conditions.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "store/file_io.h"

namespace vesk {

using namespace detail;

RunningAcfConditions NoiseConditionDefaults() {
    RunningAcfConditions c;
    c.phi0RefData = -2;
    c.peakDetectTime = 1.0;
    c.tauERegLevel = -10.0;
    return c;
}

void EncodeRunningAcfConditions(const RunningAcfConditions& c, unsigned char* p) {
    std::memset(p, 0, kRunningAcfConditionsSize);
    PutF64(p + 0, c.integrationTime);
    PutF64(p + 8, c.runningStep);
    PutU32(p + 16, c.weighting);
    PutF64(p + 20, c.maxDelayTime);
    PutU32(p + 28, static_cast<std::uint32_t>(c.phi0RefData));
    PutF64(p + 32, c.phi0RefLevel);
    PutF64(p + 40, c.peakDetectTime);
    PutF64(p + 48, c.tauERegLevel);
    PutF64(p + 56, c.tauERegTime);
    PutU16(p + 64, static_cast<std::uint16_t>(c.includeOrigin));
    PutU16(p + 66, static_cast<std::uint16_t>(c.tau1PeakRule));
}

RunningAcfConditions DecodeRunningAcfConditions(const unsigned char* p) {
    RunningAcfConditions c;
    c.integrationTime = GetF64(p + 0);
    c.runningStep = GetF64(p + 8);
    c.weighting = GetU32(p + 16);
    c.maxDelayTime = GetF64(p + 20);
    c.phi0RefData = static_cast<std::int32_t>(GetU32(p + 28));
    c.phi0RefLevel = GetF64(p + 32);
    c.peakDetectTime = GetF64(p + 40);
    c.tauERegLevel = GetF64(p + 48);
    c.tauERegTime = GetF64(p + 56);
    c.includeOrigin = static_cast<std::int16_t>(GetU16(p + 64));
    c.tau1PeakRule = static_cast<std::int16_t>(GetU16(p + 66));
    return c;
}

void EncodeAcfConditionBlock(const AcfConditionBlock& b, unsigned char* p) {
    std::memset(p, 0, kAcfConditionBlockSize);
    PutU32(p + 4, static_cast<std::uint32_t>(b.sampleNum));
    EncodeRunningAcfConditions(b.conditions, p + 8);
    PutF64(p + 76, b.wiaccWidth);
}

AcfConditionBlock DecodeAcfConditionBlock(const unsigned char* p) {
    AcfConditionBlock b;
    b.sampleNum = static_cast<std::int32_t>(GetU32(p + 4));
    b.conditions = DecodeRunningAcfConditions(p + 8);
    b.wiaccWidth = GetF64(p + 76);
    return b;
}

void EncodeMicCalibration(const MicCalibration& c, unsigned char* p) {
    std::memset(p, 0, kMicCalibrationSize);
    PutF64(p + 0, c.referenceLevel);
    PutU32(p + 8, c.count);
    for (int i = 0; i < MicCalibration::kMaxPoints; ++i) {
        PutF64(p + 12 + 16 * i, c.frequency[static_cast<std::size_t>(i)]);
        PutF64(p + 20 + 16 * i, c.level[static_cast<std::size_t>(i)]);
    }
}

MicCalibration DecodeMicCalibration(const unsigned char* p) {
    MicCalibration c;
    c.referenceLevel = GetF64(p + 0);
    c.count = GetU32(p + 8);
    for (int i = 0; i < MicCalibration::kMaxPoints; ++i) {
        c.frequency[static_cast<std::size_t>(i)] = GetF64(p + 12 + 16 * i);
        c.level[static_cast<std::size_t>(i)] = GetF64(p + 20 + 16 * i);
    }
    return c;
}

namespace {

// fs times a time, truncated toward zero; values beyond the int32 range are held at its ends
// (the check refuses them before they are used).
std::int32_t Samples(double fs, double time) {
    const double v = std::trunc(fs * time);
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v > 2147483647.0) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

}  // namespace

AcfFraming FrameRunningAcf(const RunningAcfConditions& c, double fs, std::int64_t samples) {
    AcfFraming f;
    f.integration = Samples(fs, c.integrationTime);
    f.maxDelay = Samples(fs, c.maxDelayTime);
    f.step = Samples(fs, c.runningStep);
    f.peakWindow = Samples(fs, c.peakDetectTime * 0.001);
    f.regressionEnd = Samples(fs, c.tauERegTime * 0.001);
    const std::int64_t span = static_cast<std::int64_t>(f.integration) + f.maxDelay;
    std::int64_t n = 1;
    while (n < span && n < (std::int64_t{1} << 30))
        n *= 2;
    f.transform = static_cast<std::int32_t>(n);
    if (f.step > 0) {
        const std::int64_t frames = (samples - span) / f.step;
        f.frames = frames < 0           ? 0
                   : frames > INT32_MAX ? INT32_MAX
                                        : static_cast<std::int32_t>(frames);
    }
    return f;
}

std::string CheckRunningAcfConditions(const RunningAcfConditions& c, double fs, int channels) {
    char text[200];
    if (!(fs > 0) || !std::isfinite(fs))
        return "The sampling rate of the recording is not positive.";
    const double sample = 1.0 / fs;
    if (!(c.integrationTime > 0) || !std::isfinite(c.integrationTime))
        return "Integration Time must be a positive number.";
    if (!(c.maxDelayTime > 0) || !std::isfinite(c.maxDelayTime))
        return "Max Delay Time must be a positive number.";
    if (!std::isfinite(c.runningStep) || !(std::trunc(fs * c.runningStep) >= 1)) {
        std::snprintf(text, sizeof text, "Running Step must be at least one sample (%.6g sec).",
                      sample);
        return text;
    }
    if (!std::isfinite(c.peakDetectTime) || !(std::trunc(fs * c.peakDetectTime * 0.001) >= 1)) {
        std::snprintf(text, sizeof text,
                      "Peak Detection Time must be at least one sample (%.6g ms).", sample * 1000);
        return text;
    }
    if (!std::isfinite(c.tauERegTime) || !std::isfinite(c.tauERegLevel))
        return "End of Regression must be a number.";
    if (c.weighting > 3) return "Weighting must be Flat, A-weighting, B-weighting or C-weighting.";
    const double span = std::trunc(fs * c.integrationTime) + std::trunc(fs * c.maxDelayTime);
    if (std::trunc(fs * c.integrationTime) < 1 || std::trunc(fs * c.maxDelayTime) < 1) {
        std::snprintf(text, sizeof text,
                      "Integration Time and Max Delay Time must each be at least one sample "
                      "(%.6g sec).",
                      sample);
        return text;
    }
    if (span > kMaxAcfTransform) {
        std::snprintf(text, sizeof text,
                      "Integration Time plus Max Delay Time must not exceed %.6g sec.",
                      kMaxAcfTransform / fs);
        return text;
    }
    if (channels == 2) {
        // The interaural window takes lags -h .. h - 1 out of the transform of length N.
        const AcfFraming f = FrameRunningAcf(c, fs, 0);
        const double h = std::floor(std::floor(0.002 * fs) / 2);
        if (h > f.transform) {
            std::snprintf(text, sizeof text,
                          "Integration Time plus Max Delay Time must cover the interaural "
                          "window of 1 ms (%.6g sec).",
                          h / fs);
            return text;
        }
    }
    return {};
}

}  // namespace vesk
