// The result display: opening "Acoustic Parameters" on a third-octave record until every page
// is drawn, and redrawing the running-ACF graph while the view is zoomed and panned. Needs a
// display (scripts/bench.sh runs it under Xvfb).
#include <benchmark/benchmark.h>
#include <wx/notebook.h>
#include <wx/wx.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "bench/bench_support.h"
#include "display/result_dialogs.h"
#include "impulse/impulse_calculation.h"
#include "store/tables.h"

namespace {

using namespace vesk;

std::vector<std::int16_t> Room(int order) {
    std::vector<std::int16_t> s = bench::DecayingStereoNoise(order);
    s[200] = 30000;
    return s;
}

// A store with one binaural measurement of each order, calculated in third-octave bands 1 to
// 32 plus A-weighting (34 entries); the record ID is the order.
bool MakeStore() {
    const std::string dir =
        (std::filesystem::temp_directory_path() / "vesk-display-bench").string();
    std::filesystem::remove_all(dir);
    if (!ConnectStoreAt(dir)) return false;
    CFolderTable folders;
    CImpulseTable impulses;
    CAcParamTable results;
    if (!folders.Open() || !impulses.Open() || !results.Open()) return false;
    FolderRecord f;
    f.folderId = 1;
    f.type = "I";
    f.title = "Bench";
    if (folders.Append(f) != 1) return false;
    ImpulseConditions c;
    c.freqBand = 1;
    c.bandFrom = 1;
    c.bandTo = 31;
    c.aFilter = 1;
    for (int order : {16, 19}) {
        ImpulseRecord m;
        m.folderId = 1;
        m.impulseId = order;
        m.sampling = 48000;
        m.mesTime = order;
        m.channel = 2;
        m.multiplier = 1;
        m.bit = 16;
        m.title = "Seat";
        const std::vector<unsigned char> wave = MakeWaveBlock(2, Room(order));
        if (impulses.Append(m, wave) != 1) return false;
        SampleBlock block;
        ParseWaveBlock(wave.data(), wave.size(), &block);
        AcParamRecord r;
        r.impulseId = order;
        if (CalculateImpulseParameters(m, block, &r, 48000, c, nullptr) != CalcResult::Finished ||
            results.Write(r) != db::kOk)
            return false;
    }
    return true;
}

void BM_OpenAcousticParameters(benchmark::State& state) {
    const int order = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CResultDialog* d = CResultDialog::Open('I', 1, order, nullptr);
        wxNotebook* pages = d->Pages();
        for (std::size_t k = 0; k < pages->GetPageCount(); ++k) {
            pages->SetSelection(k);
            if (auto* page = dynamic_cast<CResultPage*>(pages->GetPage(k))) page->Shown();
        }
        if (d->Rows().size() != 34) state.SkipWithError("expected 34 entries");
        state.PauseTiming();
        CResultDialog::DestroyAll();
        wxTheApp->Yield(true);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenAcousticParameters)
    ->Arg(16)
    ->Arg(19)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// One redraw of the running-ACF graph per step of a pan across a 10 s recording's frame, with
// a zoom in or out every eighth step, as a mouse drag and the zoom buttons would cause.
void BM_RunningAcfRedraw(benchmark::State& state) {
    const std::vector<unsigned char> wave = MakeWaveBlock(2, Room(19));
    SampleBlock block;
    ParseWaveBlock(wave.data(), wave.size(), &block);
    RunningAcfConditions c;  // 2 s integration, 0.2 s maximum delay
    const AcfFrameViewer viewer(block, static_cast<std::int32_t>(block.Frames()), c, 0.1, nullptr,
                                48000);
    wxFrame frame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(900, 420));
    auto* graph = new CRunningAcfGraph(&frame);
    frame.Show();
    graph->SetSize(frame.GetClientSize());
    graph->SetData(viewer.Frame(1, false), {}, 48000);
    TimeView view{0.2, 0.2, 0};
    const bool log = state.range(0) != 0;
    graph->SetLogarithm(log);
    int k = 0;
    for (auto _ : state) {
        if (k % 8 == 0)
            ApplyViewInput(&view, (k / 8) % 4 < 2 ? ViewInput::ZoomIn : ViewInput::ZoomOut);
        PanView(&view, (k / 32) % 2 ? -0.05 : 0.05);
        graph->SetView(view);  // draws the picture off screen
        ++k;
    }
}
BENCHMARK(BM_RunningAcfRedraw)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    wxApp::SetInstance(new wxApp);
    int wxArgc = 1;
    if (!wxEntryStart(wxArgc, argv)) {
        std::fprintf(stderr, "display_bench: no display (run it under xvfb-run)\n");
        return 2;
    }
    wxTheApp->CallOnInit();
    if (!MakeStore()) {
        std::fprintf(stderr, "display_bench: cannot make the bench store\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    wxEntryCleanup();
    return 0;
}
