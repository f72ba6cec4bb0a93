// The ISO 3382-1 result of an impulse-response measurement in the stored form, computed in the
// same run as its ACPARAM record and with the same band system and range.
#pragma once

#include "impulse/impulse_calculation.h"
#include "impulse/impulse_conditions.h"
#include "iso/iso3382.h"
#include "store/iso_result.h"
#include "store/records.h"
#include "store/samples.h"

namespace vesk {

// The analysis options of the conditions: their band system, from the first to the last band of
// their range (no band, only broadband, for the range "None").
iso::Options IsoOptionsOf(const ImpulseConditions& conditions);

// Converts a result of the analysis (NaN to kNoValue) and attaches the Tsub fit quality of the
// record's band entries (notes.tsubFits, in the record's order) to the bands they belong to.
IsoResultRecord ToIsoStored(const iso::Results& results, const iso::Options& options,
                            const AcParamRecord& record, const CalcNotes& notes);

// Computes the ISO result of a measurement; false when it cannot be computed (as for
// CalculateImpulseParameters). The analyzer keeps its filters for the next measurement.
bool ComputeIsoResult(const ImpulseRecord& measurement, const SampleBlock& block, double fs,
                      const ImpulseConditions& conditions, const AcParamRecord& record,
                      const CalcNotes& notes, iso::Analyzer* analyzer, IsoResultRecord* out);

// The ISO analysis's bands on the shared pool of threads.
iso::ParallelFor PoolParallelFor();

}  // namespace vesk
