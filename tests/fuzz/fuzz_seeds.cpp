// Writes a starting corpus for each fuzz target: a real IMPULSE table in the fuzz_dbf
// framing, a settings block, a wave block and two WAV files.
//   fuzz_seeds <folder>   ->   <folder>/{dbf,settings,wave,audio}/...
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "cli/audio.h"
#include "shell/settings.h"
#include "store/file_io.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/fuzz/fuzz_common.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::int16_t> Ramp(std::size_t n) {
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<std::int16_t>(i * 37);
    return s;
}

Bytes Framed(const Bytes& dbf, const Bytes& edx, const Bytes& bin) {
    Bytes out(12);
    vesk::detail::PutU32(out.data(), static_cast<std::uint32_t>(dbf.size()));
    vesk::detail::PutU32(out.data() + 4, static_cast<std::uint32_t>(edx.size()));
    vesk::detail::PutU32(out.data() + 8, static_cast<std::uint32_t>(bin.size()));
    for (const Bytes* part : {&dbf, &edx, &bin})
        out.insert(out.end(), part->begin(), part->end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vesk;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::string& dir = fuzz::ScratchDir();
    if (!ConnectStoreAt(dir)) return 1;
    {
        CImpulseTable impulses;
        if (!impulses.Open(dir)) return 1;
        for (int i = 1; i <= 3; ++i) {
            ImpulseRecord r;
            r.folderId = 1;
            r.impulseId = i;
            r.sampling = 48000;
            r.channel = 2;
            r.title = "seed";
            if (!impulses.Append(r, MakeWaveBlock(2, Ramp(16u * i)))) return 1;
        }
    }
    const Bytes dbf = ReadAll(dir + "/IMPULSE.DBF"), edx = ReadAll(dir + "/IMPULSE2.EDX"),
                bin = ReadAll(dir + "/IMPULSE.BIN");
    Write(out / "dbf" / "impulse", Framed(dbf, edx, bin));
    Write(out / "dbf" / "impulse-no-blobs", Framed(dbf, edx, {}));
    Write(out / "dbf" / "dbf-only", dbf);

    auto settings = AppSettings().Encode();
    Write(out / "settings" / "defaults", Bytes(settings.begin(), settings.end()));
    Write(out / "wave" / "stereo", MakeWaveBlock(2, Ramp(40)));
    Write(out / "wave" / "mono", MakeWaveBlock(1, Ramp(9)));
    const std::string wav = dir + "/seed.wav";
    if (!cli::WriteWavFile(wav, 2, 48000, Ramp(200))) return 1;
    Write(out / "audio" / "stereo.wav", ReadAll(wav));
    if (!cli::WriteWavFile(wav, 1, 8000, Ramp(50))) return 1;
    Write(out / "audio" / "mono.wav", ReadAll(wav));
    return 0;
}
