#include "store/file_io.h"

namespace vesk::detail {

std::uint64_t Checksum64(const void* data, std::size_t size, std::uint64_t seed) {
    // Multiply-xorshift over 8-byte words; fast enough to check megabytes at open.
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = seed ^ (size * kMul);
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < size; ++k)
        tail |= static_cast<std::uint64_t>(p[i + k]) << (8 * k);
    h = (h ^ tail) * kMul;
    h ^= h >> 32;
    return h;
}

}  // namespace vesk::detail
