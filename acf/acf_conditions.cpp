#include "acf/acf_conditions.h"

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

}  // namespace vesk
