// Room impulse responses with a designed, frequency-dependent exponential decay: a direct sound,
// one reflection 12 ms later, and from there a diffuse tail that is the sum of one decaying noise
// per octave, each limited to its octave so that every analysis band holds one known decay.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "dsp/bands.h"

namespace vesk::test {

struct RoomDesign {
    double fs = 48000;
    double tLow = 2.0, tHigh = 0.5;  // s: decay time at 16 Hz and at 16 kHz, log-log in between
    double seconds = 3.0;            // from the direct sound to the end of the recording
    double noiseDb = 0;              // noise floor below the tail's start; 0 for none
    double leadIn = 0;               // s of low noise before the direct sound
    double trailing = 0;             // s of digital silence after the recording
    int channels = 1;
    unsigned seed = 1;
};

// A binaural seat at 16 kHz with a 60 dB noise floor: short enough for quick end-to-end tests.
inline RoomDesign BinauralSeat16k() {
    RoomDesign d;
    d.fs = 16000;
    d.tLow = 1.2;
    d.tHigh = 0.4;
    d.seconds = 1.6;
    d.noiseDb = 60;
    d.channels = 2;
    return d;
}

// The designed decay time at frequency f.
inline double DesignedT(const RoomDesign& d, double f) {
    const double u = std::clamp(std::log2(f / 16.0) / 10.0, 0.0, 1.0);
    return d.tLow * std::pow(d.tHigh / d.tLow, u);
}

// Tail amplitude at the reflection, direct sound 1: a seat beyond the critical distance, where the
// reverberant energy far exceeds the direct sound's. (The band filters spread a strong direct
// sound over the whole response some 40 dB down, which would be a floor of its own.)
constexpr double kTail = 0.3;
constexpr double kLeadIn = 3e-5;  // lead-in noise amplitude (-90 dB below the direct sound)

// A band-limited pulse (Hann-windowed sinc up to fs/8) peaking at `at`; its side lobes are what
// the first-reflection search expects of a real reflection.
inline void AddPulse(std::vector<double>& h, std::size_t at, double amplitude) {
    for (int k = -40; k <= 40; ++k) {
        const double x = k * 0.25;
        const double sinc = k == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
        const double window = 0.5 * (1 + std::cos(M_PI * k / 41.0));
        h[at + static_cast<std::size_t>(k + 40) - 40] += amplitude * sinc * window;
    }
}

// One channel of the response with the lead-in and trailing silence of the design, in units of
// the direct sound.
inline std::vector<double> RoomChannel(const RoomDesign& d, unsigned seed) {
    const std::size_t lead = static_cast<std::size_t>(d.leadIn * d.fs) + 64;
    const std::size_t body = static_cast<std::size_t>(d.seconds * d.fs);
    // Twice the body, so that the filters' ringing before the tail's start wraps into the part
    // that is cut away, not into the tail.
    std::size_t n = 1;
    while (n < 2 * body)
        n *= 2;
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    // The tail is built on its own power-of-two length (so the band filters apply) and cut.
    std::vector<double> tail(body, 0.0);
    const BandTable& octaves = GetBandTable(0);
    std::vector<float> part(n);
    for (int k = 1; k < octaves.count && octaves.exactCentre[k] * std::sqrt(2.0) < d.fs / 2; ++k) {
        const double rate = std::log(1000.0) / DesignedT(d, octaves.exactCentre[k]) / d.fs;
        // Steady noise is limited to the octave before the envelope decays it: a decaying noise
        // limited afterwards carries the filter's ring of all its early energy, a floor falling
        // only 6 dB per doubling of time at the octave's edges, under the designed decay.
        for (std::size_t i = 0; i < n; ++i)
            part[i] = static_cast<float>(g(random));
        ApplyBandFilter(part.data(), nullptr, static_cast<std::int32_t>(n), d.fs, k, 0);
        for (std::size_t i = 0; i < n; ++i)
            part[i] = static_cast<float>(kTail * part[i] * std::exp(-rate * i));
        // Octave-wide noise holds a share of the white noise's power; the tail's bands carry
        // equal power per octave instead, as rooms roughly do.
        const double share = std::sqrt(d.fs / 2 / (octaves.exactCentre[k] / std::sqrt(2.0)));
        for (std::size_t i = 0; i < body; ++i)
            tail[i] += part[i] * share / 4;
    }
    std::vector<double> h(lead + body + static_cast<std::size_t>(d.trailing * d.fs), 0.0);
    const std::size_t reflection = static_cast<std::size_t>(0.012 * d.fs);
    for (std::size_t i = 0; i + reflection < body; ++i)
        h[lead + reflection + i] = tail[i];
    AddPulse(h, lead, 1.0);
    AddPulse(h, lead + reflection, 0.6);
    if (d.noiseDb > 0) {
        const double floor = kTail * std::pow(10.0, -d.noiseDb / 20);
        for (std::size_t i = 0; i < body; ++i)
            h[lead + i] += floor * g(random);
    }
    // Drawn last, so that a lead-in leaves the response itself as it is.
    for (std::size_t i = 0; i + 64 < lead; ++i)
        h[i] = kLeadIn * g(random);
    return h;
}

// Interleaved channels scaled so that the direct sound is `peak`.
inline std::vector<double> RoomResponse(const RoomDesign& d, double peak) {
    std::vector<double> out;
    for (int ch = 0; ch < d.channels; ++ch) {
        std::vector<double> h = RoomChannel(d, d.seed * 7 + static_cast<unsigned>(ch));
        if (out.empty()) out.assign(h.size() * static_cast<std::size_t>(d.channels), 0.0);
        for (std::size_t i = 0; i < h.size(); ++i)
            out[i * static_cast<std::size_t>(d.channels) + static_cast<std::size_t>(ch)] =
                h[i] * peak;
    }
    return out;
}

}  // namespace vesk::test
