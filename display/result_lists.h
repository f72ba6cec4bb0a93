// The parameter lists of the result dialogs, without a window: their columns and rows for a
// stored result, and their numeric sort.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acf/acf_conditions.h"
#include "acf/running_acf.h"
#include "plot/table_rows.h"
#include "store/records.h"

namespace vesk {

// "Acoustic Parameters": one row per band entry; the last column of two-channel results is the
// preference value "S". Empty for a record without a result (nData 0).
std::vector<ResultColumn> AcousticParameterColumns(int channels, bool hasResult);
std::vector<ResultRow> AcousticParameterRows(const AcParamRecord& result, int channels,
                                             double splOffset);

enum class FactorLayout { General, Tau, Phi };

// "ACF Factor" (with `peaks`) and "Factor" (noise, `noise` true): one row per frame, time =
// frame x running step.
std::vector<ResultColumn> FactorColumns(bool noise, int channels, FactorLayout layout);
std::vector<ResultRow> FactorRows(const std::vector<AcfFactorRecord>& factors,
                                  const std::vector<AcfPeakRecord>& peaks, double step,
                                  double phi0Offset, bool noise, int channels, FactorLayout layout);

// The "Calculation Conditions" stored with a result, one line per group of the conditions
// dialog ("Frequency band: 1/3 Oct., 25 - 8000 Hz, A-weighting"), reference choices and weightings
// by name. Noise levels come from the calibration, so their conditions show no Phi(0) reference.
std::string ImpulseConditionText(const AcParamRecord& result);
std::string AcfConditionText(const RunningAcfConditions& conditions, bool withReference);

// Sorts by the numeric value of a column (a difference of zero counts as equal), times the
// direction; the factor lists' "Time" column sorts by frame.
void SortResultRows(std::vector<ResultRow>* rows, int column, int direction);

}  // namespace vesk
