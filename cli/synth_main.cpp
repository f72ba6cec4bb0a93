// vesk-synth: writes a few synthetic measurements as WAV files into a folder.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/audio.h"
#include "cli/synth.h"

// `vesk-synth --seats N DIR`: N impulse responses of 2^16 frames at 48 kHz (seat-NN.wav), the
// folder of the calculation benchmark.
int WriteSeats(int count, const std::string& dir) {
    using namespace vesk::cli;
    std::filesystem::create_directories(dir);
    for (int k = 1; k <= count; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/seat-%02d.wav", k);
        const std::string path = dir + name;
        auto samples = SynthRoomImpulse(48000, 65536.0 / 48000, 1.4 + 0.05 * k,
                                        static_cast<unsigned>(100 + k));
        if (!WriteWavFile(path, 2, 48000, samples)) {
            std::fprintf(stderr, "vesk-synth: cannot write %s\n", path.c_str());
            return 2;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

// `vesk-synth --street N DIR`: N binaural street recordings of 10 s (street-NN.wav), the
// folder of the noise calculation benchmark.
int WriteStreet(int count, const std::string& dir) {
    using namespace vesk::cli;
    std::filesystem::create_directories(dir);
    for (int k = 1; k <= count; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/street-%02d.wav", k);
        const std::string path = dir + name;
        if (!WriteWavFile(path, 2, 48000,
                          SynthPassingNoise(48000, 10.0, 300.0 + 100.0 * (k % 5),
                                            static_cast<unsigned>(200 + k)))) {
            std::fprintf(stderr, "vesk-synth: cannot write %s\n", path.c_str());
            return 2;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

const char kUsage[] =
    "usage: vesk-synth [DIR]            six demo measurements into DIR (default wav)\n"
    "       vesk-synth --seats N DIR    N impulse responses of 2^16 frames (seat-NN.wav)\n"
    "       vesk-synth --street N DIR   N street recordings of 10 s (street-NN.wav)\n";

int main(int argc, char** argv) {
    using namespace vesk::cli;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // Anything else that looks like an option is a mistake, never a folder name.
    const bool counted =
        argc == 4 && (std::string(argv[1]) == "--street" || std::string(argv[1]) == "--seats");
    if (!counted && (argc > 2 || (argc == 2 && argv[1][0] == '-'))) {
        std::fprintf(stderr, "vesk-synth: bad usage\n%s", kUsage);
        return 2;
    }
    if (argc == 4 && std::string(argv[1]) == "--street") {
        const int count = std::atoi(argv[2]);
        if (count < 1 || count > 99) {
            std::fprintf(stderr, "vesk-synth: --street takes 1 to 99\n");
            return 2;
        }
        return WriteStreet(count, argv[3]);
    }
    if (argc == 4 && std::string(argv[1]) == "--seats") {
        const int count = std::atoi(argv[2]);
        if (count < 1 || count > 99) {
            std::fprintf(stderr, "vesk-synth: --seats takes 1 to 99\n");
            return 2;
        }
        return WriteSeats(count, argv[3]);
    }
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
