#include "store/samples.h"

#include <cstring>

#include "store/file_io.h"

namespace vesk {

bool ParseWaveBlock(const unsigned char* data, std::size_t size, SampleBlock* block) {
    if (!data || size < kWaveHeaderSize) return false;
    std::uint16_t channels = detail::GetU16(data);
    std::uint16_t bits = detail::GetU16(data + 2);
    std::uint32_t bytes = detail::GetU32(data + 8);
    if ((channels != 1 && channels != 2) || bits != 16) return false;
    if (bytes != size - kWaveHeaderSize || bytes % (2u * channels) != 0) return false;
    block->channels = channels;
    block->bits = bits;
    block->samples.resize(bytes / 2);
    for (std::size_t i = 0; i < block->samples.size(); ++i)
        block->samples[i] =
            static_cast<std::int16_t>(detail::GetU16(data + kWaveHeaderSize + 2 * i));
    return true;
}

std::vector<unsigned char> MakeWaveBlock(int channels, const std::vector<std::int16_t>& samples) {
    std::vector<unsigned char> out(kWaveHeaderSize + samples.size() * 2, 0);
    detail::PutU16(out.data(), static_cast<std::uint16_t>(channels));
    detail::PutU16(out.data() + 2, 16);
    detail::PutU32(out.data() + 8, static_cast<std::uint32_t>(samples.size() * 2));
    for (std::size_t i = 0; i < samples.size(); ++i)
        detail::PutU16(out.data() + kWaveHeaderSize + 2 * i,
                       static_cast<std::uint16_t>(samples[i]));
    return out;
}

DbStatus ReadWaveData(CDbTable& table, SampleBlock* block) {
    std::uint32_t size = 0;
    DbStatus st = table.BlobSize("WAVEDATA", &size);
    if (st != db::kOk) return st;
    if (size < kWaveHeaderSize) return db::kNoRecord;
    std::vector<unsigned char> data(size);
    std::uint32_t read = 0;
    if ((st = table.ReadBlob("WAVEDATA", data.data(), size, &read)) != db::kOk) return st;
    if (read != size || !ParseWaveBlock(data.data(), size, block)) return db::kNoRecord;
    return db::kOk;
}

}  // namespace vesk
