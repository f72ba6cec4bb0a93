#include "shell/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "store/file_io.h"

namespace vesk {

using namespace detail;

std::array<unsigned char, kAppSettingsSize> AppSettings::Encode() const {
    std::array<unsigned char, kAppSettingsSize> b{};
    unsigned char* p = b.data();
    PutU32(p + 0, static_cast<std::uint32_t>(frameLeft));
    PutU32(p + 4, static_cast<std::uint32_t>(frameTop));
    PutU32(p + 8, static_cast<std::uint32_t>(frameWidth));
    PutU32(p + 12, static_cast<std::uint32_t>(frameHeight));
    EncodeImpulseConditions(impulse, p + 16);
    PutU32(p + 36, impulseUnused[0]);
    PutU32(p + 68, impulseUnused[1]);
    EncodeRunningAcfConditions(acf, p + 104);
    EncodeRunningAcfConditions(noise, p + 172);
    PutF64(p + 240, noiseParameter);
    PutU32(p + 248, static_cast<std::uint32_t>(identifyMethod));
    PutU32(p + 252, static_cast<std::uint32_t>(stepsBeforeMax));
    PutU32(p + 256, static_cast<std::uint32_t>(stepsAfterMax));
    std::copy(unused.begin(), unused.end(), p + 260);
    return b;
}

AppSettings AppSettings::Decode(const unsigned char* p) {
    AppSettings s;
    s.frameLeft = static_cast<std::int32_t>(GetU32(p + 0));
    s.frameTop = static_cast<std::int32_t>(GetU32(p + 4));
    s.frameWidth = static_cast<std::int32_t>(GetU32(p + 8));
    s.frameHeight = static_cast<std::int32_t>(GetU32(p + 12));
    s.impulse = DecodeImpulseConditions(p + 16);
    s.impulseUnused[0] = GetU32(p + 36);
    s.impulseUnused[1] = GetU32(p + 68);
    s.acf = DecodeRunningAcfConditions(p + 104);
    s.noise = DecodeRunningAcfConditions(p + 172);
    s.noiseParameter = GetF64(p + 240);
    s.identifyMethod = static_cast<std::int32_t>(GetU32(p + 248));
    s.stepsBeforeMax = static_cast<std::int32_t>(GetU32(p + 252));
    s.stepsAfterMax = static_cast<std::int32_t>(GetU32(p + 256));
    std::copy(p + 260, p + 264, s.unused.begin());
    return s;
}

namespace {

// Bounds what a hostile settings file can make us read and keep.
constexpr std::uint64_t kMaxLatencyText = 64 * 1024;
constexpr long kMaxLatencyFrames = 10'000'000;

void ParseLatencies(const std::string& text, std::map<std::string, long>* latencies) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (line.rfind("latency ", 0) != 0) continue;
        const char* number = line.c_str() + 8;
        char* rest = nullptr;
        const long frames = std::strtol(number, &rest, 10);
        if (rest == number || *rest != ' ' || frames < 0 || frames > kMaxLatencyFrames) continue;
        const std::string name = rest + 1;
        if (!name.empty()) (*latencies)[name] = frames;
    }
}

}  // namespace

AppSettings AppSettings::Load(const std::string& path) {
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::array<unsigned char, kAppSettingsSize> block{};
    if (!file.Valid() || !file.ReadAt(0, block.data(), block.size())) return AppSettings();
    AppSettings s = Decode(block.data());
    std::uint64_t size = 0;
    if (file.Size(&size) && size > kAppSettingsSize) {
        std::string text(
            static_cast<std::size_t>(std::min(size - kAppSettingsSize, kMaxLatencyText)), '\0');
        if (file.ReadAt(kAppSettingsSize, text.data(), text.size()))
            ParseLatencies(text, &s.deviceLatency);
    }
    return s;
}

bool AppSettings::Save(const std::string& path) const {
    auto block = Encode();
    std::vector<unsigned char> bytes(block.begin(), block.end());
    for (const auto& [name, frames] : deviceLatency) {
        // A line break in a name would split its line; such a name is not kept.
        if (name.empty() || name.find_first_of("\r\n") != std::string::npos) continue;
        const std::string line = "latency " + std::to_string(frames) + " " + name + "\n";
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace vesk
