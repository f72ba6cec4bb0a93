// ReadAudioFile on arbitrary file contents.
#include "cli/audio.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = vesk::fuzz::ScratchDir() + "/in.wav";
    vesk::fuzz::WriteWhole(path, data, size);
    vesk::cli::AudioData audio;
    std::string error;
    if (vesk::cli::ReadAudioFile(path, &audio, &error)) {
        if (audio.channels != 1 && audio.channels != 2) abort();
        if (audio.frames == 0 ||
            audio.samples.size() != audio.frames * static_cast<std::size_t>(audio.channels))
            abort();
        if (audio.sampleRate <= 0 || audio.sampleRate > 999999) abort();
    } else if (error.empty()) {
        abort();
    }
    return 0;
}
