// The reference correction that turns stored band levels into displayed and exported levels.
#pragma once

#include <cstdint>

namespace vesk {

// Offset in dB added to every stored SPL: 0 for "Absolute value" (-2); for "Maximum value" (-1)
// the reference level minus the largest "All(F)" level of the folder's results (0 to start
// from); otherwise the reference level minus the listening level of the record whose
// IMPULSEID is the choice (its left level when its right one is 0), or 0 when it cannot be read.
double SplReferenceOffset(std::int32_t choice, std::int32_t folderId, double referenceLevel);

}  // namespace vesk
