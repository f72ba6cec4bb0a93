#include "base/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace vesk {

namespace detail {

long g_killAtWrite = 0;

void CountWrite() {
    if (g_killAtWrite > 0 && --g_killAtWrite == 0) ::raise(SIGKILL);
}

}  // namespace detail

using detail::CountWrite;

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

}  // namespace vesk
