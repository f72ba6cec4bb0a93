// A PDF report of a folder of 20 computed binaural third-octave impulse responses (MLS order
// 16, 34 band entries) against the folder's text output file, and one graph to PNG.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "bench/bench_support.h"
#include "export/output_files.h"
#include "plot/cairo_painter.h"
#include "plot/report.h"
#include "store/samples.h"
#include "store/tables.h"

namespace {

using namespace vesk;

std::string MakeStore() {
    const std::string dir = std::filesystem::temp_directory_path() / "vesk-plot-bench";
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
    const SampleBlock room = bench::DecayingStereoRoom(16);
    const std::vector<unsigned char> wave = MakeWaveBlock(2, room.samples);
    for (int id = 1; id <= 20; ++id) {
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
        a.splRefData = -1;
        a.tsubEnd = -20;
        a.tsubNoise = 0.5;
        a.iaccWLevel = 0.1;
        a.deltaT1L = 20 + 10 * u(random);
        a.deltaT1R = 20 + 10 * u(random);
        for (int k = 0; k < 34; ++k)
            a.bands[static_cast<std::size_t>(k)] = {k == 0   ? 0
                                                    : k == 1 ? -1
                                                             : k - 1,
                                                    -10 * u(random),
                                                    -10 * u(random),
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
