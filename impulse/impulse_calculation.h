// The impulse-response calculation: every band of a measurement into one ACPARAM record, and
// the run over a folder's measurements.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "base/calculation.h"
#include "base/no_value.h"
#include "base/progress.h"
#include "impulse/impulse_conditions.h"
#include "store/records.h"
#include "store/samples.h"

namespace vesk {

// The quality of one band entry's Tsub fits (left, right), which the record has no room for.
struct TsubFit {
    double rangeDb[2] = {kNoValue, kNoValue};  // dB the curve falls over the regression
    double r[2] = {kNoValue, kNoValue};        // correlation coefficient of the fit
};

// What a calculation found worth telling the user beyond the record.
struct CalcNotes {
    bool directSoundBeyondSearch = false;  // the largest sample lies past the searched half
    std::vector<TsubFit> tsubFits;         // one per stored band entry, in the record's order
};

// Fills the record (zeroed by the caller, IMPULSEID set) with the conditions and every band of
// the measurement. Unusable when the measurement cannot be computed (no samples for 2^MESTIME,
// an order beyond 2^21, no sampling rate).
CalcResult CalculateImpulseParameters(const ImpulseRecord& measurement, const SampleBlock& block,
                                      AcParamRecord* record, double fs,
                                      const ImpulseConditions& conditions, Progress* progress,
                                      CalcNotes* notes = nullptr);

// The samples the decay and Tsub are taken from. All 2^MESTIME of an MLS recording, and of an
// impulse response whose data reaches into the noise range (the last noiseRate share, half for
// 0). When that range would hold nothing but trailing digital silence (the padding to a power of
// two and any silence the file ended with), only the samples before the silence: the noise
// range is then the response's own.
std::int32_t DecayLength(const ImpulseRecord& measurement, const std::vector<float>& left,
                         const std::vector<float>& right, double noiseRate);

// What a band's energy is divided by for its level. An MLS recording keeps its period, 2^MESTIME
// samples. An impulse response is padded and may carry silence, so its energy is taken per
// second of the recording (SAMPLING samples): the level no longer depends on the file's length.
double LevelLength(const ImpulseRecord& measurement, std::size_t n, double fs);

// The measurement's channels as impulse responses of 2^MESTIME samples (missing samples 0; right
// empty for one channel). false when the measurement cannot be computed.
bool RecoverImpulseResponses(const ImpulseRecord& measurement, const SampleBlock& block, double fs,
                             std::vector<float>* left, std::vector<float>* right);

// Recompute A and Tsub (from the record's Tsub conditions and DELTAT1 values), or IACC,
// tau-IACC and WIACC (from its IACCWLEVEL), of every stored band; the rest stays. false when the
// measurement cannot be computed.
bool RecalculateTsub(const ImpulseRecord& measurement, const SampleBlock& block,
                     AcParamRecord* record, double fs);
bool RecalculateWiacc(const ImpulseRecord& measurement, const SampleBlock& block,
                      AcParamRecord* record, double fs);

// Refuses conditions that cannot be computed or stored: empty text when they can be used,
// otherwise a message in the conditions dialog's words.
std::string CheckImpulseConditions(const ImpulseConditions& conditions);

// Runs over the folder's IMPULSE records in index order (base/folder_run.h); writes one ACPARAM
// record per computed measurement (replace or append).
RunSummary RunImpulseCalculation(std::int32_t folderId, const ImpulseConditions& conditions,
                                 Target target, const std::set<std::int32_t>& selected,
                                 Progress* progress);

}  // namespace vesk
