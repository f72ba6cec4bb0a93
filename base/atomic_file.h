// Files written so that a crash leaves the old contents or the new, never a mix: an owned file
// descriptor, the whole-file write through a renamed temporary, and the folder sync that makes
// a rename durable. The store, the settings file, templates and pictures all write this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk {

namespace detail {
// Test hook: when set above 0, the write call that brings it to 0 kills the process with
// SIGKILL before writing, so tests can stop an operation at each of its writes in turn.
extern long g_killAtWrite;
void CountWrite();
}  // namespace detail

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

// Writes a whole file through a temporary beside it, synced and renamed over the old one,
// so that a reader sees either the old contents or the new, never a mix.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

// Syncs the folder that holds the path, making a rename durable.
void SyncParentFolder(const std::string& path);

}  // namespace vesk
