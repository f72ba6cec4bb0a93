// Noise source identification against a library of 1,000 templates (in memory, and read from
// the store as a calculation does), and the noise factors of one 10 s binaural recording.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "noise/noise_analysis.h"
#include "store/tables.h"

#include "bench/fftw_yardstick.h"

namespace {

using namespace vesk;

std::vector<NoiseTemplate> Library(int count) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<NoiseTemplate> out;
    for (int i = 0; i < count; ++i) {
        NoiseTemplate t;
        t.id = i;
        t.name = "Source " + std::to_string(i);
        t.data.standard = {50 + 40 * u(random), 0.001f + 0.1f * u(random),
                           0.0005f + 0.01f * u(random), 0.05f + 0.9f * u(random)};
        t.data.useUpper[kPhi0] = i % 3 == 0;
        t.data.upper[kPhi0] = 95;
        out.push_back(t);
    }
    return out;
}

void BM_IdentifyAgainst1000(benchmark::State& state) {
    const std::vector<NoiseTemplate> library = Library(1000);
    FactorWeights w{{0.2f, 1.0f, 0.7f, 0.5f}};
    const std::array<float, 5> frame{72, 0.03f, 0.004f, 0.6f, 0};
    for (auto _ : state) {
        NoiseSourceResult r;
        benchmark::DoNotOptimize(IdentifyAgainst(library, w, frame, &r));
    }
}
BENCHMARK(BM_IdentifyAgainst1000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The whole identification of a recording: the library read from a store, then the search.
void BM_IdentifyNoiseSourceFromStore(benchmark::State& state) {
    const std::string dir = std::filesystem::temp_directory_path() / "vesk-noise-bench";
    std::filesystem::remove_all(dir);
    ConnectStoreAt(dir);
    {
        CNsTmpTable table;
        table.Open();
        for (const NoiseTemplate& t : Library(1000)) {
            NsTmpRecord r{t.id, t.name};
            CNsTmpTable::TemplateData bytes{};
            EncodeTemplateData(t.data, bytes.data());
            table.Append(r, &bytes);
        }
    }
    std::vector<AcfFactorRecord> factors(50);
    for (std::size_t k = 0; k < factors.size(); ++k)
        factors[k] = {60.0f + static_cast<float>(k % 7), 0.03f, 0.004f, 0.6f, 0, 0, 0, 0, 0, 0};
    for (auto _ : state) {
        NoiseSourceResult r;
        benchmark::DoNotOptimize(IdentifyNoiseSource(factors, &r, IdentificationSettings{}));
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_IdentifyNoiseSourceFromStore)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_CalcNoiseFactors10s(benchmark::State& state) {
    std::mt19937 random(5);
    std::normal_distribution<double> g(0.0, 2000.0);
    SampleBlock block;
    block.channels = 2;
    block.bits = 16;
    double lp = 0;
    for (int i = 0; i < 480000; ++i) {
        lp = 0.95 * lp + g(random);
        block.samples.push_back(static_cast<std::int16_t>(std::clamp(lp, -32768.0, 32767.0)));
        block.samples.push_back(static_cast<std::int16_t>(std::clamp(0.8 * lp, -32768.0, 32767.0)));
    }
    NoiseConditionBlock c;
    c.acf.conditions = NoiseConditionDefaults();
    c.acf.sampleNum = 480000;
    c.calibration.referenceLevel = -94;
    for (auto _ : state) {
        std::vector<AcfFactorRecord> factors;
        std::int32_t frames = 0;
        CalcNoiseFactors(block, c, 48000, nullptr, &factors, &frames);
        benchmark::DoNotOptimize(factors.data());
    }
}
BENCHMARK(BM_CalcNoiseFactors10s)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

#ifdef VESK_HAVE_FFTW
// The default noise conditions frame 10 s as the running ACF does: 78 frames of N = 131072,
// four transforms of that length per frame.
void BM_Fftw312Transforms(benchmark::State& state) {
    bench::FftwTransforms(state, 131072, 312);
}
BENCHMARK(BM_Fftw312Transforms)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
