// Conditions of an impulse-response calculation, as kept in the settings block.
#pragma once

#include <cstdint>

namespace vesk {

struct ImpulseConditions {
    std::int32_t freqBand = 0;  // FREQBAND: 0 "1 Oct.", 1 "1/3 Oct."
    std::int32_t bandFrom = 1;  // 0 = "None", k = band k
    std::int32_t bandTo = 10;   // j = band j + 1
    std::int32_t aFilter = 0;   // AFILTER: add the A-weighted broadband entry
    std::int32_t splRefData =
        -1;  // SPLREFDATA: -2 "Absolute value", -1 "Maximum value", else an IMPULSEID
    double splRefLevel = 0.0;   // SPLREFLVL, dB
    double dt1MinTime = 10.0;   // DT1MINTIME, ms
    double tsubEnd = -20.0;     // TSUBEND, dB
    std::int32_t tsubAuto = 1;  // TSUBAUTO
    double tsubNoise = 0.5;     // TSUBNOISE, a fraction (shown as percent)
    double iaccWLevel = 0.1;    // IACCWLEVEL, "Width for WIACC"
    double prefSpl = 0.0;       // PREFSPL, dB
    double prefTauE = 100.0;    // PREFTAUE, ms
};

constexpr int kImpulseConditionsSize = 88;

// The 88-byte little-endian layout of the settings file.
void EncodeImpulseConditions(const ImpulseConditions& c, unsigned char* out);
ImpulseConditions DecodeImpulseConditions(const unsigned char* in);

}  // namespace vesk
