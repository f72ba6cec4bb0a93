// The running-ACF calculation of a folder into ACFFACT results, the stored form of its factor
// arrays, and the Phi(0) reference offset that displays and output files add.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "acf/acf_conditions.h"
#include "acf/running_acf.h"
#include "base/calculation.h"
#include "base/progress.h"

namespace vesk {

// The callback a run hands the engine: polls the run's progress for a confirmed cancel (1),
// else shows the percent of the current item (0). Empty without a progress.
AcfProgressCallback CallbackOf(Progress* progress);

// Runs over the folder's ACF records in the table's folder order (base/folder_run.h); writes
// one ACFFACT record with its blobs per computed recording.
RunSummary RunAcfCalculation(std::int32_t folderId, const RunningAcfConditions& conditions,
                             Target target, const std::set<std::int32_t>& selected,
                             Progress* progress);

// The ACFFACTOR blob's two parts and the NMSFACTOR blob: little-endian floats.
std::vector<unsigned char> EncodeAcfFactors(const std::vector<AcfFactorRecord>& factors);
std::vector<unsigned char> EncodeAcfPeaks(const std::vector<AcfPeakRecord>& peaks);
std::vector<AcfFactorRecord> DecodeAcfFactors(const std::vector<unsigned char>& bytes);
std::vector<AcfPeakRecord> DecodeAcfPeaks(const std::vector<unsigned char>& bytes);

// Added to every stored Phi(0): 0 for "Absolute value" (-2); level minus the largest Phi(0) of
// the folder's results for "Maximum value" (-1), or of the result of recording `reference`;
// the largest starts at 0.0. 0 when the reference result cannot be read.
double PhiZeroReferenceOffset(std::int32_t folderId, std::int32_t reference, double level);

}  // namespace vesk
