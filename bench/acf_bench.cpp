// Running ACF: a 10 s stereo recording at 48 kHz with the default conditions (78 frames,
// N = 131072) against the 312 FFTW transforms of that length the frames need, and recordings
// of 1, 5, 10 and 60 minutes for the growth with length and the peak resident size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "acf/running_acf.h"

#include "bench/bench_support.h"
#include "bench/fftw_yardstick.h"

namespace {

using namespace vesk;

SampleBlock Stereo(double seconds) {
    std::mt19937 random(7);
    std::normal_distribution<double> g(0.0, 1500.0);
    const std::size_t n = static_cast<std::size_t>(seconds * 48000);
    SampleBlock b;
    b.channels = 2;
    b.bits = 16;
    b.samples.resize(2 * n);
    double l = 0, r = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double tone =
            4000 * std::sin(2 * 3.14159265358979 * 330 * static_cast<double>(i) / 48000);
        l = 0.9 * l + g(random);
        r = 0.9 * r + g(random);
        b.samples[2 * i] = static_cast<std::int16_t>(std::clamp(tone + l, -32768.0, 32767.0));
        b.samples[2 * i + 1] = static_cast<std::int16_t>(std::clamp(tone + r, -32768.0, 32767.0));
    }
    return b;
}

void BM_CalcRunningAcf(benchmark::State& state) {
    const double seconds = static_cast<double>(state.range(0));
    SampleBlock block = Stereo(seconds);
    AcfConditionBlock c;
    c.sampleNum = static_cast<std::int32_t>(block.Frames());
    std::int32_t frames = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RunningAcfResult r;
        if (CalcRunningAcf(block, c, 48000, nullptr, &r) != CalcResult::Finished)
            state.SkipWithError("not finished");
        frames = r.frames;
        benchmark::DoNotOptimize(r.factors.data());
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["frames"] = frames;
    state.counters["s_per_min_of_recording"] = wall * 60.0 / seconds;
    state.counters["block_MiB"] = static_cast<double>(block.samples.size() * 2) / (1 << 20);
    state.counters["float_copies_MiB"] = static_cast<double>(block.samples.size() * 4) / (1 << 20);
    state.counters["peak_rss_MiB"] = bench::PeakMiB();
}
// CPU time of both threads: on a shared machine it says more than the wall time.
BENCHMARK(BM_CalcRunningAcf)
    ->Arg(10)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_CalcRunningAcf)
    ->Arg(60)
    ->Arg(300)
    ->Arg(600)
    ->Arg(3600)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

#ifdef VESK_HAVE_FFTW
void BM_Fftw312Transforms(benchmark::State& state) {
    bench::FftwTransforms(state, 131072, 312);
}
BENCHMARK(BM_Fftw312Transforms)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
#endif

}  // namespace

int main(int argc, char** argv) {
    std::printf("idle peak resident size: %.1f MiB\n", bench::PeakMiB());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
