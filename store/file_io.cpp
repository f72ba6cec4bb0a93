#include "store/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace vesk::detail {

long g_killAtWrite = 0;

void CountWrite() {
    if (g_killAtWrite > 0 && --g_killAtWrite == 0) ::raise(SIGKILL);
}

void FileHandle::Reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool FileHandle::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool FileHandle::WriteAt(std::uint64_t offset, const void* buffer, std::size_t size) const {
    CountWrite();
    const auto* p = static_cast<const char*>(buffer);
    while (size > 0) {
        ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool FileHandle::Size(std::uint64_t* size) const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool FileHandle::Sync() const {
    return ::fsync(m_fd) == 0;
}

bool FileHandle::Truncate(std::uint64_t size) const {
    CountWrite();
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0;
}

void SyncParentFolder(const std::string& path) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) parent = ".";
    int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
    std::string temp = path + ".tmp";
    FileHandle file(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid()) return false;
    bool ok = file.WriteAt(0, data, size) && file.Sync();
    file.Reset();
    if (ok) CountWrite();
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncParentFolder(path);
    return true;
}

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
