// The output files of a folder of 1,000 computed third-octave impulse responses (34 entries,
// reference "Maximum value"), text and CSV, and `vesk-cli demo` as a whole.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "export/output_files.h"
#include "store/samples.h"
#include "store/tables.h"

namespace {

using namespace vesk;

std::string MakeStore() {
    const std::string dir = std::filesystem::temp_directory_path() / "vesk-export-bench";
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
    const std::vector<unsigned char> wave = MakeWaveBlock(2, std::vector<std::int16_t>(64, 0));
    for (int id = 1; id <= 1000; ++id) {
        ImpulseRecord rec;
        rec.folderId = 1;
        rec.impulseId = id;
        rec.sampling = 48000;
        rec.mesTime = 16;
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
        a.deltaT1L = 20 + 10 * u(random);
        a.deltaT1R = 20 + 10 * u(random);
        for (int k = 0; k < 34; ++k)
            a.bands[static_cast<std::size_t>(k)] = {k == 0   ? 0
                                                    : k == 1 ? -1
                                                             : k - 1,
                                                    60 + 10 * u(random),
                                                    60 + 10 * u(random),
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

void BM_WriteTextAndCsvOf1000(benchmark::State& state) {
    const std::string dir = MakeStore();
    for (auto _ : state) {
        WriteImpulseText(1, dir + "/out.txt");
        WriteImpulseCsv(1, dir + "/out.csv");
    }
    state.counters["text_MiB"] =
        static_cast<double>(std::filesystem::file_size(dir + "/out.txt")) / (1 << 20);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WriteTextAndCsvOf1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
