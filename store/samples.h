// The recorded samples of a measurement: the wave block in its WAVEDATA blob.
//
// Wave block, little-endian: uint16 channels (1 mono, 2 stereo), uint16 bits per sample,
// 4 bytes not read, uint32 number of sample bytes, then signed 16-bit samples, stereo
// interleaved left, right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "store/db_engine.h"

namespace vesk {

constexpr std::size_t kWaveHeaderSize = 12;

// An owned wave block; released when its owner ends.
struct SampleBlock {
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    std::vector<std::int16_t> samples;  // interleaved

    std::size_t Frames() const { return channels ? samples.size() / channels : 0; }
    // Sample of one channel (0 left, 1 right) at a frame.
    std::int16_t At(std::size_t frame, int channel) const {
        return samples[frame * channels + static_cast<std::size_t>(channel)];
    }
};

// Parses a wave block. Refused (false) unless the header's byte count matches the block,
// there are one or two channels of 16 bits, and the bytes hold whole frames.
bool ParseWaveBlock(const unsigned char* data, std::size_t size, SampleBlock* block);

// Builds the wave block of interleaved 16-bit samples.
std::vector<unsigned char> MakeWaveBlock(int channels, const std::vector<std::int16_t>& samples);

// Reads the WAVEDATA of the table's current record. Status 0 when a block was delivered;
// a block that is missing or does not parse gives db::kNoRecord ("no samples").
DbStatus ReadWaveData(CDbTable& table, SampleBlock* block);

}  // namespace vesk
