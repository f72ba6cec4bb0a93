// Impulse-response calculation: one binaural measurement in third-octave bands 1 to 32 plus
// A-weighting (34 entries), against the 68 FFTW transforms its band filters alone would need.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"

#include "bench/bench_support.h"
#include "bench/fftw_yardstick.h"

namespace {

using namespace vesk;

ImpulseConditions ThirdOctaveAll() {
    ImpulseConditions c;
    c.freqBand = 1;
    c.bandFrom = 1;
    c.bandTo = 31;
    c.aFilter = 1;
    return c;
}

void BM_CalculateImpulseParameters(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    SampleBlock block = bench::DecayingStereoRoom(order);
    ImpulseRecord m;
    m.mesTime = order;
    m.noMls = 0;
    m.channel = 2;
    m.multiplier = 1;
    m.title = "Seat";
    for (auto _ : state) {
        AcParamRecord r;
        CalculateImpulseParameters(m, block, &r, 48000, ThirdOctaveAll(), nullptr);
        if (r.nData != 34) state.SkipWithError("expected 34 entries");
        benchmark::DoNotOptimize(r.bands[33].wiacc);
    }
    state.counters["peak_rss_MiB"] = bench::PeakMiB();
}
// The responses recovered from the MLS recording, the first step of every calculation.
void BM_RecoverImpulseResponses(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    SampleBlock block = bench::DecayingStereoRoom(order);
    ImpulseRecord m;
    m.mesTime = order;
    m.noMls = 0;
    m.channel = 2;
    m.multiplier = 1;
    for (auto _ : state) {
        std::vector<float> left, right;
        RecoverImpulseResponses(m, block, 48000, &left, &right);
        benchmark::DoNotOptimize(left.data());
    }
}
BENCHMARK(BM_RecoverImpulseResponses)->Arg(16)->Arg(19)->Unit(benchmark::kMillisecond);

// CPU time of both threads: on a shared machine it says more than the wall time.
BENCHMARK(BM_CalculateImpulseParameters)
    ->Arg(16)
    ->Arg(19)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// The IACF of one band at 48 kHz (191 lags), the part of each band entry that grows with
// lags times samples.
void BM_ComputeIacf(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const std::vector<std::int16_t> s = bench::DecayingStereoNoise(order);
    const std::size_t n = s.size() / 2;
    std::vector<float> l(n), r(n);
    for (std::size_t i = 0; i < n; ++i) {
        l[i] = s[2 * i];
        r[i] = s[2 * i + 1];
    }
    const std::int32_t m = IacfLength(48000);
    std::vector<float> iacf(static_cast<std::size_t>(m));
    for (auto _ : state) {
        ComputeIacf(l.data(), r.data(), static_cast<std::int32_t>(n), iacf.data(), m);
        benchmark::DoNotOptimize(iacf.data());
    }
}
BENCHMARK(BM_ComputeIacf)
    ->Arg(16)
    ->Arg(19)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Where one band entry's time goes, piece by piece on one thread (order 16, the 630 Hz
// third-octave): 0 the band filter of both channels, 1 both levels, 2 both Tsub fits, 3 the IACF.
void BM_BandEntryParts(benchmark::State& state) {
    const int part = static_cast<int>(state.range(0));
    const std::vector<std::int16_t> s = bench::DecayingStereoNoise(16);
    const std::int32_t n = static_cast<std::int32_t>(s.size() / 2);
    std::vector<float> l(static_cast<std::size_t>(n)), r(l.size());
    for (std::size_t i = 0; i < l.size(); ++i) {
        l[i] = s[2 * i];
        r[i] = s[2 * i + 1];
    }
    auto x = l, y = r;
    ApplyBandFilter(x.data(), y.data(), n, 48000, 17, 1);
    std::vector<float> iacf(static_cast<std::size_t>(IacfLength(48000)));
    for (auto _ : state) {
        switch (part) {
            case 0:
                state.PauseTiming();
                x = l;
                y = r;
                state.ResumeTiming();
                ApplyBandFilter(x.data(), y.data(), n, 48000, 17, 1);
                break;
            case 1:
                benchmark::DoNotOptimize(BandLevel(x.data(), n, 1) + BandLevel(y.data(), n, 1));
                break;
            case 2:
                benchmark::DoNotOptimize(
                    ComputeTsub(x.data(), nullptr, n, 48000, 4.0, -20.0, 1, 0.1).tsub +
                    ComputeTsub(y.data(), nullptr, n, 48000, 4.0, -20.0, 1, 0.1).tsub);
                break;
            default:
                ComputeIacf(x.data(), y.data(), n, iacf.data(), IacfLength(48000));
                benchmark::DoNotOptimize(iacf.data());
        }
    }
}
BENCHMARK(BM_BandEntryParts)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The levels of a decay curve (2^16 sums falling 100 dB): 0 the library's log10 per value,
// 1 DecayLevels, which gives the same floats.
void BM_DecayLevels(benchmark::State& state) {
    const std::size_t n = 1 << 16;
    std::vector<double> sums(n);
    for (std::size_t i = 0; i < n; ++i)
        sums[i] = std::pow(10.0, -10.0 * static_cast<double>(i) / n) * (1.0 + 0.01 * (i % 7));
    std::vector<float> out(n);
    const double r = sums[0];
    for (auto _ : state) {
        if (state.range(0) == 0) {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = static_cast<float>(10.0 * std::log10(sums[i] / r));
        } else {
            DecayLevels(sums.data(), r, static_cast<std::int32_t>(n), out.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_DecayLevels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

#ifdef VESK_HAVE_FFTW
void BM_Fftw68Transforms(benchmark::State& state) {
    bench::FftwTransforms(state, 1 << state.range(0), 68);
}
BENCHMARK(BM_Fftw68Transforms)
    ->Arg(16)
    ->Arg(19)
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
