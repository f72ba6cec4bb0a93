// Small POSIX file helpers shared by the store's readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vesk::detail {

// Owns one file descriptor.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { Reset(); }
    FileHandle(FileHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Reset();

    // Whole reads and writes at an offset; false on any error or short read.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;
    bool WriteAt(std::uint64_t offset, const void* buffer, std::size_t size) const;
    bool Size(std::uint64_t* size) const;
    bool Sync() const;
    bool Truncate(std::uint64_t size) const;

  private:
    int m_fd = -1;
};

// Test hook: when set above 0, the write call that brings it to 0 kills the process with
// SIGKILL before writing, so tests can stop an operation at each of its writes in turn.
extern long g_killAtWrite;
void CountWrite();

// Writes a whole file through a temporary beside it, synced and renamed over the old one,
// so that a reader sees either the old contents or the new, never a mix.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

// Syncs the folder that holds the path, making a rename durable.
void SyncParentFolder(const std::string& path);

// 64-bit checksum for damage detection (not cryptographic).
std::uint64_t Checksum64(const void* data, std::size_t size, std::uint64_t seed = 0);

inline std::uint16_t GetU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t GetU64(const unsigned char* p) {
    return GetU32(p) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}
inline void PutU16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void PutU64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline double GetF64(const unsigned char* p) {
    std::uint64_t bits = GetU64(p);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline void PutF64(unsigned char* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof v);
    PutU64(p, bits);
}
inline float GetF32(const unsigned char* p) {
    std::uint32_t bits = GetU32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}
inline void PutF32(unsigned char* p, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof v);
    PutU32(p, bits);
}

}  // namespace vesk::detail
