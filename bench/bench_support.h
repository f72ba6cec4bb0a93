// What several benchmarks share: the peak resident size, a binaural room response of decaying
// noise, and a store with a folder of computed impulse responses.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "store/samples.h"
#include "store/tables.h"

namespace vesk::bench {

inline double PeakMiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// 2^order frames of interleaved stereo noise decaying by 60 dB in 1.5 s at 48 kHz.
inline std::vector<std::int16_t> DecayingStereoNoise(int order) {
    std::mt19937 random(1);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<std::int16_t> s(std::size_t{2} << order);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i / 2) / 48000;
        s[i] = static_cast<std::int16_t>(
            std::clamp(8000 * g(random) * std::exp(-6.9 * t / 1.5), -32768.0, 32767.0));
    }
    return s;
}

// That noise as a measurement's 16-bit stereo samples, with a strong direct sound at frame 100.
inline SampleBlock DecayingStereoRoom(int order) {
    SampleBlock b;
    b.channels = 2;
    b.bits = 16;
    b.samples = DecayingStereoNoise(order);
    b.samples[200] = 30000;
    b.samples[201] = 28000;
    return b;
}

// A store under the temporary folder `name` holding folder 1 with `count` binaural
// measurements of `samples` and random third-octave results (34 entries, levels from
// `levelBase` to 10 dB above); the store's directory.
inline std::string MakeImpulseStore(const std::string& name, int count,
                                    const std::vector<std::int16_t>& samples, double levelBase) {
    const std::string dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    ConnectStoreAt(dir + "/DATA");
    CFolderTable folders;
    CImpulseTable m;
    CAcParamTable r;
    folders.Open();
    m.Open();
    r.Open();
    FolderRecord f;
    f.folderId = 1;
    f.type = "I";
    f.title = "Hall";
    folders.Append(f);
    std::mt19937 random(1);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const std::vector<unsigned char> wave = MakeWaveBlock(2, samples);
    for (int id = 1; id <= count; ++id) {
        ImpulseRecord rec;
        rec.folderId = 1;
        rec.impulseId = id;
        rec.sampling = 48000;
        rec.mesTime = 16;
        rec.mesNum = 1;
        rec.channel = 2;
        rec.bit = 16;
        rec.title = "Seat " + std::to_string(id);
        rec.time = "20240303090507";
        m.Append(rec, wave);
        AcParamRecord a;
        a.impulseId = id;
        a.nData = 34;
        a.freqBand = 1;
        a.aFilter = 1;
        a.splRefData = -1;
        a.splRefLevel = 90;
        a.prefTauE = 100;
        a.tsubEnd = -20;
        a.tsubNoise = 0.5;
        a.iaccWLevel = 0.1;
        a.deltaT1L = 20 + 10 * u(random);
        a.deltaT1R = 20 + 10 * u(random);
        for (int k = 0; k < 34; ++k)
            a.bands[static_cast<std::size_t>(k)] = {k == 0   ? 0
                                                    : k == 1 ? -1
                                                             : k - 1,
                                                    levelBase + 10 * u(random),
                                                    levelBase + 10 * u(random),
                                                    2 * u(random),
                                                    2 * u(random),
                                                    1 + u(random),
                                                    1 + u(random),
                                                    u(random),
                                                    u(random) - 0.5,
                                                    u(random)};
        r.Write(a);
    }
    return dir;
}

}  // namespace vesk::bench
