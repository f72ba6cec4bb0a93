// Audio files read through libsndfile, as 16-bit samples the store keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct AudioData {
    int channels = 0;
    int sampleRate = 0;
    std::size_t frames = 0;
    std::vector<std::int16_t> samples;  // interleaved
    std::size_t clipped = 0;            // samples that did not fit 16 bits
};

// false with a message in *error when the file cannot be read. `channels` picks channels of the
// file, numbered from 1 (one or two of them); without it a file must be mono or stereo.
bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error,
                   const std::vector<int>& channels = {});

// A file's samples as they are, one vector per channel, full scale at +-1: for signal work that
// 16 bits would spoil, such as deconvolving a sweep recording.
struct FloatAudio {
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;
};
bool ReadAudioFileFloat(const std::string& path, FloatAudio* audio, std::string* error,
                        const std::vector<int>& channels = {});

// Writes 32-bit float WAV, samples interleaved; false with a message when it cannot.
bool WriteFloatWavFile(const std::string& path, int channels, int sampleRate,
                       const std::vector<float>& samples, std::string* error);

// Writes 16-bit PCM WAV (for the demo and tests).
bool WriteWavFile(const std::string& path, int channels, int sampleRate,
                  const std::vector<std::int16_t>& samples);

}  // namespace vesk
