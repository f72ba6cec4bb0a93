// The ISO 3382-1 set beside the present impulse-response calculation, on the same binaural
// order-16 measurement at 48 kHz as impulse_bench, so that their ratio comes from one run.
// The ISO set starts from the recovered responses the calculation already holds.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "impulse/impulse_calculation.h"
#include "iso/iso3382.h"

#include "bench/bench_support.h"

namespace {

using namespace vesk;

ImpulseRecord Measurement(int order) {
    ImpulseRecord m;
    m.mesTime = order;
    m.noMls = 0;
    m.channel = 2;
    m.multiplier = 1;
    m.title = "Seat";
    return m;
}

// The present calculation in third-octave bands 1 to 31 plus A-weighting, as impulse_bench.
void BM_CalculateImpulseParameters(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const SampleBlock block = bench::DecayingStereoRoom(order);
    const ImpulseRecord m = Measurement(order);
    ImpulseConditions c;
    c.freqBand = 1;
    c.bandFrom = 1;
    c.bandTo = 31;
    c.aFilter = 1;
    for (auto _ : state) {
        AcParamRecord r;
        CalculateImpulseParameters(m, block, &r, 48000, c, nullptr);
        if (r.nData != 34) state.SkipWithError("expected 34 entries");
        benchmark::DoNotOptimize(r.bands[33].wiacc);
    }
}

// The ISO set, broadband and every band from 16 Hz to 16 kHz, plus the Table A.1 octaves.
void BM_IsoParameters(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    const bool thirds = state.range(1) != 0;
    std::vector<float> left, right;
    if (!RecoverImpulseResponses(Measurement(order), bench::DecayingStereoRoom(order), 48000, &left,
                                 &right)) {
        state.SkipWithError("no responses");
        return;
    }
    iso::Options o;
    o.system = thirds ? iso::BandSystem::ThirdOctave : iso::BandSystem::Octave;
    o.lowest = 16;
    o.highest = 16000;
    iso::Analyzer analyzer;
    iso::Results r;
    for (auto _ : state) {
        analyzer.Calculate(left.data(), right.data(), left.size(), 48000, o, &r);
        if (r.bands.size() != (thirds ? 32u : 12u)) state.SkipWithError("band count");
        benchmark::DoNotOptimize(r.single.iaccE3);
    }
    state.SetLabel(thirds ? "third-octaves" : "octaves");
}

// Process CPU time, so that the present calculation's helper thread counts too; real time
// beside it on a machine with other load is the noisier of the two.
BENCHMARK(BM_CalculateImpulseParameters)
    ->Arg(16)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_IsoParameters)
    ->Args({16, 0})
    ->Args({16, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
