#include "impulse/impulse_conditions.h"

#include <cstring>

#include "store/file_io.h"

namespace vesk {

using detail::GetF64;
using detail::GetU32;
using detail::PutF64;
using detail::PutU32;

void EncodeImpulseConditions(const ImpulseConditions& c, unsigned char* p) {
    std::memset(p, 0, kImpulseConditionsSize);
    PutU32(p + 0, static_cast<std::uint32_t>(c.freqBand));
    PutU32(p + 4, static_cast<std::uint32_t>(c.bandFrom));
    PutU32(p + 8, static_cast<std::uint32_t>(c.bandTo));
    PutU32(p + 12, static_cast<std::uint32_t>(c.aFilter));
    PutU32(p + 16, static_cast<std::uint32_t>(c.splRefData));
    PutF64(p + 24, c.splRefLevel);
    PutF64(p + 32, c.dt1MinTime);
    PutF64(p + 40, c.tsubEnd);
    PutU32(p + 48, static_cast<std::uint32_t>(c.tsubAuto));
    PutF64(p + 56, c.tsubNoise);
    PutF64(p + 64, c.iaccWLevel);
    PutF64(p + 72, c.prefSpl);
    PutF64(p + 80, c.prefTauE);
}

ImpulseConditions DecodeImpulseConditions(const unsigned char* p) {
    ImpulseConditions c;
    c.freqBand = static_cast<std::int32_t>(GetU32(p + 0));
    c.bandFrom = static_cast<std::int32_t>(GetU32(p + 4));
    c.bandTo = static_cast<std::int32_t>(GetU32(p + 8));
    c.aFilter = static_cast<std::int32_t>(GetU32(p + 12));
    c.splRefData = static_cast<std::int32_t>(GetU32(p + 16));
    c.splRefLevel = GetF64(p + 24);
    c.dt1MinTime = GetF64(p + 32);
    c.tsubEnd = GetF64(p + 40);
    c.tsubAuto = static_cast<std::int32_t>(GetU32(p + 48));
    c.tsubNoise = GetF64(p + 56);
    c.iaccWLevel = GetF64(p + 64);
    c.prefSpl = GetF64(p + 72);
    c.prefTauE = GetF64(p + 80);
    return c;
}

}  // namespace vesk
