// A PDF report of a folder of 20 computed binaural third-octave impulse responses (MLS order
// 16, 34 band entries) against the folder's text output file, and one graph to PNG.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/bench_support.h"
#include "export/output_files.h"
#include "plot/cairo_painter.h"
#include "plot/report.h"

namespace {

using namespace vesk;

std::string MakeStore() {
    return bench::MakeImpulseStore("vesk-plot-bench", 20, bench::DecayingStereoRoom(16).samples,
                                   -10);
}

void BM_ReportOf20(benchmark::State& state) {
    const std::string dir = MakeStore();
    int pages = 0;
    for (auto _ : state) {
        Report report;
        std::string message;
        bool failed = false;
        report.Load(1, {}, &message, &failed);
        report.Layout();
        report.WritePdf(dir + "/report.pdf", &message);
        pages = report.PageCount();
    }
    state.counters["pages"] = pages;
    state.counters["peak_MiB"] = bench::PeakMiB();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReportOf20)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_TextFileOf20(benchmark::State& state) {
    const std::string dir = MakeStore();
    for (auto _ : state)
        WriteImpulseText(1, dir + "/out.txt");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TextFileOf20)->Unit(benchmark::kMillisecond)->UseRealTime();

// An impulse response of 2^16 samples, 800 x 300 pixels.
void BM_OneGraphToPng(benchmark::State& state) {
    const SampleBlock room = bench::DecayingStereoRoom(16);
    ImpulseGraph graph;
    std::vector<float> left;
    for (std::size_t i = 0; i < room.samples.size(); i += 2)
        left.push_back(room.samples[i] / 32768.0f);
    graph.SetSamples(std::move(left), 48000, 1);
    graph.view = {graph.samples.size() / 48000.0, 0, 0};
    NormalizeView(&graph.view);
    graph.directMs = 2;
    graph.reflectionMs = 20;
    std::string bytes;
    for (auto _ : state) {
        RenderGraphs({&graph}, GraphFormat::Png, 800, 300, &bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["png_KiB"] = bytes.size() / 1024.0;
}
BENCHMARK(BM_OneGraphToPng)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
