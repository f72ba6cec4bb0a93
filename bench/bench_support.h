// What several benchmarks share: the peak resident size, and a binaural room response of
// decaying noise.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "store/samples.h"

namespace vesk::bench {

inline double PeakMiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// 2^order frames of interleaved stereo noise decaying by 60 dB in 1.5 s at 48 kHz.
inline std::vector<std::int16_t> DecayingStereoNoise(int order) {
    std::mt19937 random(1);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<std::int16_t> s(std::size_t{2} << order);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i / 2) / 48000;
        s[i] = static_cast<std::int16_t>(
            std::clamp(8000 * g(random) * std::exp(-6.9 * t / 1.5), -32768.0, 32767.0));
    }
    return s;
}

// That noise as a measurement's 16-bit stereo samples, with a strong direct sound at frame 100.
inline SampleBlock DecayingStereoRoom(int order) {
    SampleBlock b;
    b.channels = 2;
    b.bits = 16;
    b.samples = DecayingStereoNoise(order);
    b.samples[200] = 30000;
    b.samples[201] = 28000;
    return b;
}

}  // namespace vesk::bench
