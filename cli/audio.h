// Audio files read through libsndfile, as 16-bit samples the store keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::cli {

struct AudioData {
    int channels = 0;
    int sampleRate = 0;
    std::size_t frames = 0;
    std::vector<std::int16_t> samples;  // interleaved
    std::size_t clipped = 0;            // samples that did not fit 16 bits
};

// false with a message in *error when the file cannot be read.
bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error);

// Writes 16-bit PCM WAV (for the demo and tests).
bool WriteWavFile(const std::string& path, int channels, int sampleRate,
                  const std::vector<std::int16_t>& samples);

}  // namespace vesk::cli
