// Signal toolbox benchmarks: FFT against FFTW's single-precision in-place transform, band
// filtering of two channels, and MLS recovery.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dsp/bands.h"
#include "dsp/fft.h"
#include "dsp/mls.h"

#ifdef VESK_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

using namespace vesk;

std::vector<float> Noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> g(0.0f, 1000.0f);
    std::vector<float> v(n);
    for (auto& x : v)
        x = g(random);
    return v;
}

void BM_FftForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto re = Noise(static_cast<std::size_t>(n), 1), im = Noise(static_cast<std::size_t>(n), 2);
    FftTables tables;
    FftForward(tables, n, re.data(), im.data());
    for (auto _ : state) {
        FftForward(tables, n, re.data(), im.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftForward)
    ->Arg(1 << 16)
    ->Arg(1 << 19)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Each kernel forced in turn (0 baseline, 1 AVX2, 2 AVX-512F); skipped where the processor
// lacks it.
void BM_FftForwardKernel(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto kernel = static_cast<detail::FftKernel>(state.range(1));
    if (!detail::UseFftKernel(kernel)) {
        state.SkipWithError("the processor lacks this kernel's instructions");
        return;
    }
    auto re = Noise(static_cast<std::size_t>(n), 1), im = Noise(static_cast<std::size_t>(n), 2);
    FftTables tables;
    FftForward(tables, n, re.data(), im.data());
    for (auto _ : state) {
        FftForward(tables, n, re.data(), im.data());
        benchmark::ClobberMemory();
    }
    detail::UseBestFftKernel();
}
BENCHMARK(BM_FftForwardKernel)
    ->ArgsProduct({{1 << 16}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

#ifdef VESK_HAVE_FFTW
void BM_FftwForward(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto* data = fftwf_alloc_complex(static_cast<std::size_t>(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_MEASURE);
    auto re = Noise(static_cast<std::size_t>(n), 1);
    for (int i = 0; i < n; ++i) {
        data[i][0] = re[static_cast<std::size_t>(i)];
        data[i][1] = 0;
    }
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}
BENCHMARK(BM_FftwForward)
    ->Arg(1 << 16)
    ->Arg(1 << 19)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
#endif

// The inverses of a running-ACF frame (N = 131072 at 48 kHz, default conditions): whole, the
// ACFs' first 9600 lags, and the cross-correlation's lags -48 .. 47.
void BM_FftInverseEnds(benchmark::State& state) {
    const int n = 1 << 17;
    const auto low = static_cast<std::int32_t>(state.range(0));
    const auto high = static_cast<std::int32_t>(state.range(1));
    auto re = Noise(static_cast<std::size_t>(n), 1), im = Noise(static_cast<std::size_t>(n), 2);
    FftTables tables;
    FftInverseEnds(tables, n, re.data(), im.data(), low, high);
    for (auto _ : state) {
        FftInverseEnds(tables, n, re.data(), im.data(), low, high);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftInverseEnds)
    ->Args({1 << 17, 0})
    ->Args({9600, 0})
    ->Args({48, 48})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ApplyBandFilterTwoChannels(benchmark::State& state) {
    const int n = 1 << 19;
    auto left = Noise(static_cast<std::size_t>(n), 3),
         right = Noise(static_cast<std::size_t>(n), 4);
    auto x = left, y = right;
    for (auto _ : state) {
        state.PauseTiming();
        x = left;
        y = right;
        state.ResumeTiming();
        ApplyBandFilter(x.data(), y.data(), n, 48000, 7, 0);  // the 1 kHz octave
    }
}
BENCHMARK(BM_ApplyBandFilterTwoChannels)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_MlsRecoverOrder19(benchmark::State& state) {
    MlsPrepare(19);
    auto x = Noise(std::size_t{1} << 19, 5);
    for (auto _ : state) {
        MlsRecover(x.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MlsRecoverOrder19)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BM_MlsPrepareOrder19(benchmark::State& state) {
    for (auto _ : state) {
        MlsPrepare(0);
        MlsPrepare(19);
    }
}
BENCHMARK(BM_MlsPrepareOrder19)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
