// The output files of a folder of 1,000 computed third-octave impulse responses (34 entries,
// reference "Maximum value"), text and CSV, and `vesk-cli demo` as a whole.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/bench_support.h"
#include "export/output_files.h"

namespace {

using namespace vesk;

std::string MakeStore() {
    return bench::MakeImpulseStore("vesk-export-bench", 1000, std::vector<std::int16_t>(64, 0), 60);
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
