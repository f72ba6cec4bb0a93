// Recovery of impulse responses from periodic maximum-length-sequence recordings by the fast
// Hadamard method. The generation rule and the tag table fix the sequence's phase, so they are
// part of the stored recordings' format.
#pragma once

#include <cstdint>
#include <vector>

namespace vesk {

struct MlsTransform {
    std::int32_t order = 0;                 // the order the arrays were built for; 0 = none
    std::vector<std::uint8_t> sequence;     // 2^order values 0/1
    std::vector<std::int32_t> permutation;  // entry 0 is 0; 1..L sample -> Hadamard position
    int builds = 0;                         // for tests
};

// The process-wide state.
MlsTransform& SharedMls();

// Builds the sequence and permutation of the order (orders outside 10..19 use the taps and
// tags of order 10); nothing when the order is held already; 0 disables recovery.
// Orders above 24 are refused (false) rather than allocating gigabytes.
bool MlsPrepare(std::int32_t order);

// Turns 2^order samples of one channel in place into its impulse response; nothing while the
// held order is 0.
void MlsRecover(float* samples);

}  // namespace vesk
