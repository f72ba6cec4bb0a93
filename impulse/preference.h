// The subjective preference of a sound field: four scale values from the listening level,
// delta-t1, Tsub and IACC, each against its preferred value for a source of a given tau-e.
// Nothing here is stored; it is derived from a result whenever it is shown or written.
#pragma once

#include <array>

#include "base/no_value.h"
#include "store/records.h"

namespace vesk {

struct PreferenceValues {
    double sv = kNoValue;  // the total ("SS")
    double s1 = kNoValue, s2 = kNoValue, s3 = kNoValue, s4 = kNoValue;
};

// 1 when SV is valid. A term whose input cannot be formed (p <= 0, A >= 5, and also a delta-t1,
// Tsub or A that is not positive or not finite) is -1000 and makes SV -1000.
int EvaluatePreference(double listeningLevel, double deltaT1Ms, double tsub, double iacc,
                       double aValue, double tauEMs, double optimumSpl, PreferenceValues* out);

// SV of band entry `entry` of a result with the reference offset; -1000 and 0 when invalid.
int BandPreference(const AcParamRecord& record, int entry, double offset, double* sv);

struct PreferenceSweep {
    std::array<double, 300> curve{};  // SV at tau-e = 1 .. 300 ms
    int optimumTauE = 0;              // the first tau-e of the largest SV; 0 when none is valid
    double maximum = kNoValue;
};

// The preference page's sweep over tau-e on band entry 0 with the given "Optimum SPL".
PreferenceSweep SweepTauE(const AcParamRecord& record, double offset, double optimumSpl);

}  // namespace vesk
