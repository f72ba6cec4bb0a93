// Synthetic but physically plausible measurements for the demo and the README's first command.
#pragma once

#include <cstdint>
#include <vector>

namespace vesk::cli {

// A binaural room impulse response: direct sound, early reflections and an exponentially
// decaying diffuse tail (reverberation time t60 in seconds), interleaved left, right.
std::vector<std::int16_t> SynthRoomImpulse(int sampleRate, double seconds, double t60,
                                           unsigned seed);

// Running sound: a melody of harmonic tones with note envelopes, slightly different at the ears.
std::vector<std::int16_t> SynthMusic(int sampleRate, double seconds, unsigned seed);

// Environmental noise: a passing source (low-passed noise with a rising and falling level).
std::vector<std::int16_t> SynthPassingNoise(int sampleRate, double seconds, double cutoffHz,
                                            unsigned seed);

}  // namespace vesk::cli
