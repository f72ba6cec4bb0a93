// vesk-synth: writes a few synthetic measurements as WAV files into a folder.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/audio.h"
#include "cli/synth.h"

int main(int argc, char** argv) {
    using namespace vesk::cli;
    std::string dir = argc > 1 ? argv[1] : "wav";
    std::filesystem::create_directories(dir);
    struct File {
        const char* name;
        std::vector<std::int16_t> samples;
    } files[] = {
        {"hall-seat-A.wav", SynthRoomImpulse(48000, 1.5, 1.8, 1)},
        {"hall-seat-B.wav", SynthRoomImpulse(48000, 1.5, 2.1, 2)},
        {"hall-seat-C.wav", SynthRoomImpulse(48000, 1.5, 1.5, 3)},
        {"music-solo.wav", SynthMusic(48000, 6.0, 4)},
        {"street-car.wav", SynthPassingNoise(48000, 6.0, 400.0, 5)},
        {"street-scooter.wav", SynthPassingNoise(48000, 6.0, 1500.0, 6)},
    };
    for (auto& f : files) {
        std::string path = dir + "/" + f.name;
        if (!WriteWavFile(path, 2, 48000, f.samples)) {
            std::fprintf(stderr, "vesk-synth: cannot write %s\n", path.c_str());
            return 2;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
