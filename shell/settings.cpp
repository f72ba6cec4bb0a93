#include "shell/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

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

AppSettings AppSettings::Load(const std::string& path) {
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::array<unsigned char, kAppSettingsSize> block{};
    if (file.Valid() && file.ReadAt(0, block.data(), block.size())) return Decode(block.data());
    return AppSettings();
}

bool AppSettings::Save(const std::string& path) const {
    auto block = Encode();
    return WriteFileAtomically(path, block.data(), block.size());
}

}  // namespace vesk
