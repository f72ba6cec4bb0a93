// Store benchmarks on a generated store of 100,000 IMPULSE records in 1,000 folders with 4 KiB
// of samples each. The store is built once per run in $TMPDIR (or /tmp) and removed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <unistd.h>

#include "store/samples.h"
#include "store/tables.h"

namespace {

using namespace vesk;

constexpr int kFolders = 1000;
constexpr int kPerFolder = 100;
constexpr int kRecords = kFolders * kPerFolder;

std::string g_root;

ImpulseRecord Record(int folder, int id) {
    ImpulseRecord r;
    r.folderId = folder;
    r.impulseId = id;
    r.sampling = 48000;
    r.mesTime = 10;
    r.noMls = 1;
    r.mesNum = 1;
    r.channel = 2;
    r.bit = 16;
    r.time = "20261206120000";
    r.title = "Seat " + std::to_string(id);
    r.multiplier = 1;
    return r;
}

std::vector<unsigned char> Samples(int id) {
    std::vector<std::int16_t> s(2048);  // 1024 stereo frames: 4 KiB of samples
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>((id * 31 + static_cast<int>(i) * 7) % 20000 - 10000);
    return MakeWaveBlock(2, s);
}

void BuildStore() {
    const char* tmp = std::getenv("TMPDIR");
    g_root = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-bench-" + std::to_string(::getpid());
    std::filesystem::remove_all(g_root);
    ConnectStoreAt(g_root + "/DATA");
    CFolderTable folders;
    CImpulseTable impulses;
    if (!folders.Open() || !impulses.Open()) std::abort();
    auto start = std::chrono::steady_clock::now();
    int id = 1;
    for (int f = 1; f <= kFolders; ++f) {
        FolderRecord folder;
        folder.folderId = f;
        folder.type = "I";
        folder.title = "Hall " + std::to_string(f);
        folder.scale = 1.0;
        folders.Append(folder);
        for (int k = 0; k < kPerFolder; ++k, ++id) {
            ImpulseRecord r = Record(f, id);
            if (!impulses.Append(r, Samples(id))) std::abort();
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("built %d records with samples in %.2f s: %.0f records/s\n", kRecords, seconds,
                kRecords / seconds);
    // Every table exists with valid indexes before the reopen benchmark.
    CNmsTable nms;
    CAcfTable acf;
    CNsTmpTable nstmp;
    CAcParamTable acparam;
    CAcfFactTable acffact;
    if (!nms.Open() || !acf.Open() || !nstmp.Open() || !acparam.Open() || !acffact.Open())
        std::abort();
}

void BM_AppendRecordsWithSamples(benchmark::State& state) {
    CImpulseTable impulses;
    if (!impulses.Open()) std::abort();
    int id = kRecords + 1;
    for (auto _ : state) {
        ImpulseRecord r = Record(kFolders + 1, id);
        if (!impulses.Append(r, Samples(id))) std::abort();
        ++id;
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AppendRecordsWithSamples)
    ->Iterations(20000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_ReopenAllTables(benchmark::State& state) {
    for (auto _ : state) {
        CFolderTable folders;
        CImpulseTable impulses;
        CAcfTable acf;
        CNmsTable nms;
        CNsTmpTable nstmp;
        CAcParamTable acparam;
        CAcfFactTable acffact;
        if (!folders.Open() || !impulses.Open() || !acf.Open() || !nms.Open() || !nstmp.Open() ||
            !acparam.Open() || !acffact.Open())
            std::abort();
    }
}
BENCHMARK(BM_ReopenAllTables)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_FindByKey(benchmark::State& state) {
    CImpulseTable impulses;
    if (!impulses.Open()) std::abort();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(1, kRecords);
    ImpulseRecord r;
    for (auto _ : state) {
        if (!impulses.Read(pick(random), &r)) std::abort();
        benchmark::DoNotOptimize(r.impulseId);
    }
}
BENCHMARK(BM_FindByKey)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_ScopeToFolderAndReadAll(benchmark::State& state) {
    CImpulseTable impulses;
    if (!impulses.Open()) std::abort();
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pick(1, kFolders);
    ImpulseRecord r;
    for (auto _ : state) {
        long count = 0;
        if (!impulses.SetScopeTo(pick(random), &count) || count != kPerFolder) std::abort();
        int n = 0;
        while (impulses.ReadNext(&r))
            ++n;
        if (n != kPerFolder) std::abort();
    }
}
BENCHMARK(BM_ScopeToFolderAndReadAll)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ScopeToFolderAndReadAllWithSamples(benchmark::State& state) {
    CImpulseTable impulses;
    if (!impulses.Open()) std::abort();
    std::mt19937 random(13);
    std::uniform_int_distribution<int> pick(1, kFolders);
    ImpulseRecord r;
    SampleBlock block;
    for (auto _ : state) {
        long count = 0;
        if (!impulses.SetScopeTo(pick(random), &count)) std::abort();
        for (long i = 0; i < count; ++i) {
            if (!impulses.Read(-1, &r) || ReadWaveData(impulses, &block) != db::kOk) std::abort();
            impulses.Skip(1);
        }
    }
}
BENCHMARK(BM_ScopeToFolderAndReadAllWithSamples)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    BuildStore();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(g_root);
    return 0;
}
