// The stored form of a measurement's ISO 3382-1 result (table ISOPARAM, beside ACPARAM) and the
// one function that loads it. Missing values are kNoValue (-1000), as in every result table;
// `missing` codes and `flags` bits are those of iso::Missing and iso::Flag (iso/iso3382.h), so
// iso::MissingText and iso::FlagWords name them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/no_value.h"
#include "store/db_engine.h"
#include "store/records.h"

namespace vesk {

struct IsoDecayStored {
    double seconds = kNoValue;
    double r = kNoValue;            // correlation coefficient of the fitted line
    double xi = kNoValue;           // non-linearity, per mille
    double lineAtOnset = kNoValue;  // dB, the fitted line's level at the onset (to draw it)
    double fromDb = kNoValue, toDb = kNoValue;  // evaluation range on the decay curve
    std::int32_t missing = 0;                   // iso::Missing
    std::uint32_t flags = 0;                    // iso::Flag bits
};

struct IsoChannelStored {
    double onset = kNoValue;       // s from the start of the response
    double truncation = kNoValue;  // s after the onset
    double noiseDb = kNoValue;     // dB re the largest squared sample
    double inr = kNoValue;         // dB, impulse-to-noise ratio
    IsoDecayStored edt, t20, t30;
    double curvature = kNoValue;                                           // %
    double c50 = kNoValue, c80 = kNoValue, d50 = kNoValue, ts = kNoValue;  // dB, dB, 1, s
    std::int32_t energyMissing = 0;  // iso::Missing of c50 .. ts
    std::uint32_t flags = 0;         // iso::Flag bits
    // The fit behind the ACPARAM record's Tsub of this band and ear: its regression range (dB
    // down from its start) and correlation coefficient.
    double tsubRangeDb = kNoValue, tsubR = kNoValue;
};

struct IsoIaccStored {
    double value = kNoValue;
    double tauMs = kNoValue;
};

struct IsoBandStored {
    double nominalCentre = 0;  // Hz; 0 for broadband
    bool timeReversed = false;
    IsoChannelStored channel[2];  // [1] unused for one channel
    IsoIaccStored early, late, all;
    std::int32_t iaccMissing = 0;  // iso::Missing
};

// ISO 3382-1 Table A.1 single numbers per ear, and IACC_E3/IACC_L3.
struct IsoSingleStored {
    double edt[2] = {kNoValue, kNoValue}, t20[2] = {kNoValue, kNoValue},
           t30[2] = {kNoValue, kNoValue}, c50[2] = {kNoValue, kNoValue},
           c80[2] = {kNoValue, kNoValue}, d50[2] = {kNoValue, kNoValue},
           ts[2] = {kNoValue, kNoValue};
    double iaccE3 = kNoValue, iaccL3 = kNoValue;
};

struct IsoResultRecord {
    std::int32_t impulseId = 0;
    std::int32_t channels = 0;         // 1 or 2
    std::int32_t bandSystem = 0;       // 0 octaves, 1 third-octaves
    std::vector<IsoBandStored> bands;  // [0] broadband, then every band in rising order
    IsoSingleStored single;
};

// The blob of one result; Decode refuses (db::kBlobDamaged) anything that is not exactly one
// encoded result, so a damaged or hostile blob never yields a half-read result.
void EncodeIsoResult(const IsoResultRecord& result, std::vector<unsigned char>* out);
DbStatus DecodeIsoResult(const unsigned char* data, std::size_t size, IsoResultRecord* result);

// What ties a stored ISO result to the ACPARAM record it was calculated with: the band set of
// that record. Only a calculation changes it; the desktop's Tsub, WIACC and delta-t1
// recalculations do not, and leave the ISO result standing.
std::string IsoStampOf(const AcParamRecord& record);

enum class IsoLoad {
    Loaded,  // *result holds the result that belongs to the measurement's ACPARAM record
    Absent,  // no ISO result (never calculated, an older store, or no ACPARAM record)
    Failed,  // the store failed or the stored result is damaged (a message was shown)
};
// Loads the ISO result of a measurement. Never creates the table: a store made before it
// opens unchanged.
IsoLoad LoadIsoResult(long impulseId, IsoResultRecord* result);

}  // namespace vesk
