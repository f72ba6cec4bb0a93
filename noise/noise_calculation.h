// The noise calculation of a folder: the factors of every chosen recording, its source
// identified, and the result written on the NMS record.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "acf/acf_calculation.h"
#include "base/calculation.h"
#include "base/progress.h"
#include "noise/noise_analysis.h"

namespace vesk {

// Runs over the folder's NMS records in the table's folder order (base/folder_run.h). Each
// computed recording's NMSCOND (with the conditions used and the stored calibration), NMSFACTOR
// and NOISESRC are written with the record as one unit; a name given by hand ("=...") survives.
RunSummary RunNoiseCalculation(std::int32_t folderId, RunningAcfConditions conditions,
                               const IdentificationSettings& identification, double wiaccWidth,
                               Target target, const std::set<std::int32_t>& selected,
                               Progress* progress);

// Phi(0), tau-e, tau1 and phi1 at the evaluation frame of each computed recording of a noise
// folder (all, or those whose "No." is listed), for learning a template. Recordings without a
// positive finite tau-e, tau1 and phi1 (the identification takes their logarithms) and
// recordings not yet computed are left out, each with a note. false after a store message.
bool EvaluationFactorsOfFolder(std::int32_t folderId, const std::set<long>& numbers,
                               const IdentificationSettings& identification,
                               std::vector<std::array<float, 4>>* factors,
                               std::vector<std::string>* notes);

}  // namespace vesk
