// Conditions of a running-ACF (and noise) calculation, as kept in the settings block and in
// every stored result.
#pragma once

#include <cstdint>

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

}  // namespace vesk
