// Shared by the fuzz targets: one scratch folder per process and whole-file writes.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vesk::fuzz {

// A folder under the temporary path, made on first use and removed when the process ends.
inline const std::string& ScratchDir() {
    // Never destroyed: the exit handler that removes the folder runs after static destructors.
    static const std::string* path = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vesk-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) abort();
        auto* made = new std::string(pattern);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(ScratchDir(), ec);
        });
        return made;
    }();
    return *path;
}

// Empties the scratch folder, so that no input sees files left by the one before.
inline void ClearScratch() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchDir(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

inline void WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size && std::fwrite(data, 1, size, f) != size) abort();
    std::fclose(f);
}

}  // namespace vesk::fuzz
