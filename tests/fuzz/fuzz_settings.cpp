// AppSettings::Load on arbitrary file contents: any length, any bytes.
#include <cstring>

#include "shell/settings.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesk;
    static const std::string path = fuzz::ScratchDir() + "/" + kSettingsFileName;
    fuzz::WriteWhole(path, data, size);
    auto block = AppSettings::Load(path).Encode();
    // A whole block round-trips byte for byte; a short file gives the defaults.
    if (size >= kAppSettingsSize) {
        if (std::memcmp(block.data(), data, kAppSettingsSize) != 0) abort();
        if (AppSettings::Decode(data).Encode() != block) abort();
    } else if (block != AppSettings().Encode()) {
        abort();
    }
    return 0;
}
