// The result dialogs' pages on the demo store, in real windows (run under Xvfb).
#include <gtest/gtest.h>
#include <wx/notebook.h>
#include <wx/wx.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

#include "acf/acf_calculation.h"
#include "cli/commands.h"
#include "display/curve_layout.h"
#include "display/iso_page.h"
#include "display/result_dialogs.h"
#include "resources/window_ids.h"
#include "store/tables.h"
#include "tests/display/scripted_saves.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// The folder view's order as a plain list of IDs.
class ListBrowser : public RecordBrowser {
  public:
    explicit ListBrowser(std::vector<std::int32_t> ids) : m_ids(std::move(ids)) {}
    std::int32_t NextRecord(std::int32_t id) const override {
        auto it = std::find(m_ids.begin(), m_ids.end(), id);
        return it == m_ids.end() || it + 1 == m_ids.end() ? -1 : *(it + 1);
    }
    std::int32_t PreviousRecord(std::int32_t id) const override {
        auto it = std::find(m_ids.begin(), m_ids.end(), id);
        return it == m_ids.end() || it == m_ids.begin() ? -1 : *(it - 1);
    }
    void ActivateMainFrame() override {}

  private:
    std::vector<std::int32_t> m_ids;
};

// The demo store, made once for the whole file; tests that use it connect it again, since other
// tests connect stores of their own.
class DemoStore : public ::testing::Environment {
  public:
    void SetUp() override {
        m_dir = std::make_unique<test::TempDir>();
        ASSERT_EQ(cli::CmdDemo({m_dir->File("demo")}), 0);
        s_data = m_dir->File("demo/DATA");
    }
    void TearDown() override { m_dir.reset(); }
    static void Use() { ASSERT_TRUE(ConnectStoreAt(s_data)); }

  private:
    std::unique_ptr<test::TempDir> m_dir;
    static inline std::string s_data;
};
const auto* const kDemo = ::testing::AddGlobalTestEnvironment(new DemoStore);

AcParamRecord Stored(std::int32_t id) {
    CAcParamTable table;
    AcParamRecord r;
    EXPECT_TRUE(table.Open() && table.Read(id, &r));
    return r;
}

void ShowEveryPage(CResultDialog* d) {
    for (std::size_t k = 0; k < d->Pages()->GetPageCount(); ++k) {
        d->Pages()->SetSelection(k);
        wxTheApp->Yield(true);
    }
    d->Pages()->SetSelection(0);
}

TEST(ResultPages, AcousticParametersRecalculateAndAskToSave) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    test::ScriptedSaves saves;
    ListBrowser browser({3, 1, 2});
    CResultDialog* d = CResultDialog::Open('I', 1, 3, &browser);
    ASSERT_EQ(d->Pages()->GetPageCount(), 7u);
    EXPECT_EQ(d->Pages()->GetPageText(0), "Impulse response");
    EXPECT_EQ(d->Pages()->GetPageText(1), "Reverberation");
    EXPECT_EQ(d->Pages()->GetPageText(5), "Parameters");
    ShowEveryPage(d);
    EXPECT_TRUE(messages.shown.empty());
    const AcParamRecord before = Stored(3);

    // A typed "L-Reflection" moves the left marker at once and enables Calculate; Calculate
    // takes the four fields into the result, recalculates Tsub and disables itself.
    auto* impulse = dynamic_cast<CImpulseResponsePage*>(d->Page("Impulse response"));
    ASSERT_NE(impulse, nullptr);
    EXPECT_FALSE(impulse->CalculateButton()->IsEnabled());
    EXPECT_EQ(impulse->Graph(0)->Marker(1), before.deltaT1L);
    impulse->Field(id::kLeftReflection)->SetValue("80");
    EXPECT_EQ(impulse->Graph(0)->Marker(1), 80);
    EXPECT_TRUE(impulse->CalculateButton()->IsEnabled());
    EXPECT_EQ(d->Result().deltaT1L, before.deltaT1L);  // nothing changes before Calculate
    impulse->Calculate();
    EXPECT_FALSE(impulse->CalculateButton()->IsEnabled());
    EXPECT_EQ(d->Result().deltaT1L, 80);
    EXPECT_NE(d->Result().bands[0].tsubL, before.bands[0].tsubL);
    EXPECT_TRUE(d->ResultChanged());
    // Dragging the right direct-sound marker fills "R-Direct".
    const wxRect plot = impulse->Graph(1)->PlotRect();
    impulse->Graph(1)->DragMarker(0, plot.GetLeft() + plot.width / 2);
    double typed = 0;
    ASSERT_TRUE(impulse->Field(id::kRightDirect)->GetValue().ToCDouble(&typed));
    EXPECT_NEAR(typed, impulse->Zoom()->View().total * 500, 0.1);

    // "Next" asks; Cancel stays on the record with the change, No drops the recalculation and
    // writes nothing.
    saves.answers = {SaveAnswer::Cancel, SaveAnswer::Discard};
    EXPECT_FALSE(d->Step(true));
    EXPECT_EQ(d->RecordId(), 3);
    EXPECT_TRUE(d->ResultChanged());
    EXPECT_EQ(d->Result().deltaT1L, 80);
    ASSERT_TRUE(d->Step(true));
    EXPECT_EQ(saves.asked, std::vector<std::string>(2, "Save calculation output?"));
    EXPECT_EQ(saves.owners[0], d);
    EXPECT_EQ(d->RecordId(), 1);
    EXPECT_EQ(Stored(3).deltaT1L, before.deltaT1L);
    EXPECT_FALSE(d->ResultChanged());
    EXPECT_EQ(d->Pages()->GetSelection(), 0);

    // A Tsub recalculation with "Rate of Noise Range" 50 stores 0.5; Exit asks and OK writes.
    auto* reverberation = dynamic_cast<CReverberationPage*>(d->Page("Reverberation"));
    ASSERT_NE(reverberation, nullptr);
    TsubSettings offered;
    reverberation->askTsub = [&](wxWindow*, TsubSettings* s) {
        offered = *s;
        s->ratePercent = 50;
        return true;
    };
    reverberation->Recalculate();
    EXPECT_EQ(offered.ratePercent, Stored(1).tsubNoise * 100);
    EXPECT_EQ(d->Result().tsubNoise, 0.5);
    const AcParamRecord recalculated = d->Result();
    // A cancelled dialog changes nothing.
    reverberation->askTsub = [](wxWindow*, TsubSettings* s) {
        s->ratePercent = 10;
        return false;
    };
    reverberation->Recalculate();
    EXPECT_EQ(d->Result().tsubNoise, 0.5);
    // "Change WIACC..." recalculates the interaural widths on the dialog's copy.
    auto* cross = dynamic_cast<CCrossCorrelationPage*>(d->Page("Cross correlation"));
    cross->askWidth = [](wxWindow*, double* w) {
        *w = 0.5;
        return true;
    };
    cross->ChangeWidth();
    EXPECT_EQ(d->Result().iaccWLevel, 0.5);
    // A wider threshold widens every peak that has one.
    int wider = 0;
    for (int k = 0; k < d->Result().nData; ++k) {
        EXPECT_GE(d->Result().bands[k].wiacc, recalculated.bands[k].wiacc) << k;
        wider += d->Result().bands[k].wiacc > recalculated.bands[k].wiacc;
    }
    EXPECT_GT(wider, 0);
    saves.answers = {SaveAnswer::Save};
    const AcParamRecord shown = d->Result();
    EXPECT_TRUE(d->Exit());
    wxTheApp->Yield(true);
    EXPECT_EQ(saves.asked.size(), 3u);
    EXPECT_TRUE(messages.asked.empty());
    const AcParamRecord saved = Stored(1);
    EXPECT_EQ(saved.tsubNoise, 0.5);
    EXPECT_EQ(saved.iaccWLevel, 0.5);
    EXPECT_NEAR(saved.bands[1].tsubL, shown.bands[1].tsubL, 0.005);  // stored with two decimals
    EXPECT_NEAR(saved.bands[1].wiacc, shown.bands[1].wiacc, 0.005);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ResultPages, IsoPageShowsEveryBandAndEarWithoutStoredNoValues) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    CResultDialog* d = CResultDialog::Open('I', 1, 3, nullptr);
    auto* page = dynamic_cast<CIsoPage*>(d->Page("ISO 3382"));
    ASSERT_NE(page, nullptr);
    d->Pages()->SetSelection(d->Pages()->FindPage(page));
    wxTheApp->Yield(true);
    wxListCtrl* list = page->List();
    // Broadband and every octave of the record, two ears each.
    ASSERT_GE(list->GetItemCount(), 2 * 2);
    EXPECT_EQ(list->GetItemCount() % 2, 0);
    for (long row = 0; row < list->GetItemCount(); ++row)
        for (int c = 0; c < list->GetColumnCount(); ++c) {
            const wxString text = list->GetItemText(row, c);
            EXPECT_FALSE(text.Contains("-1000") || text.Contains("nan") || text.Contains("inf"))
                << "row " << row << " column " << c << ": " << text;
        }
    // A chosen row draws its decay: the picture is not blank below the axis.
    for (long row : {0L, static_cast<long>(list->GetItemCount()) - 1}) {
        page->SelectRow(row);
        wxTheApp->Yield(true);
        EXPECT_TRUE(page->Graph()->Picture().IsOk()) << "row " << row;
    }
    // Nothing was reported on the way.
    d->Destroy();
    wxTheApp->Yield(true);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ResultPages, HiddenSpectrumFollowsTheBand) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    CResultDialog* d = CResultDialog::Open('I', 1, 2, nullptr);
    d->Pages()->SetSelection(3);  // "Spectrum", broadband
    auto* spectrum = dynamic_cast<CSpectrumPage*>(d->Page("Spectrum"));
    ASSERT_NE(spectrum, nullptr);
    const std::vector<float> broadband = spectrum->Graph(0)->Power();
    ASSERT_FALSE(broadband.empty());
    d->Pages()->SetSelection(5);
    d->SelectRow(4);  // a band while the spectrum is hidden
    wxTheApp->Yield(true);
    EXPECT_EQ(spectrum->Graph(0)->Power(), broadband);  // not drawn while hidden
    d->Pages()->SetSelection(3);
    EXPECT_NE(spectrum->Graph(0)->Power(), broadband);
    CResultDialog::DestroyAll();
    wxTheApp->Yield(true);
    EXPECT_TRUE(messages.asked.empty());
}

TEST(ResultPages, FactorDialogsDrawTheFramesFunctions) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    for (char kind : {'A', 'N'}) {
        CResultDialog* d = CResultDialog::Open(kind, kind == 'A' ? 2 : 3, 2, nullptr);
        ASSERT_EQ(d->Pages()->GetPageCount(), kind == 'A' ? 9u : 10u);
        ShowEveryPage(d);
        auto* acf = dynamic_cast<CAcfPage*>(d->Page("ACF"));
        ASSERT_NE(acf, nullptr);
        d->Pages()->SetSelection(d->Pages()->FindPage(acf));
        const TimeView all = acf->Zoom()->View();
        EXPECT_NEAR(all.total, 0.2, 1e-9);  // the default maximum delay
        acf->Zoom()->Apply(ViewInput::ZoomIn);
        acf->Zoom()->Pan(0.5);
        EXPECT_EQ(acf->Graph()->View().width, all.total / 2);
        EXPECT_EQ(acf->Graph()->View().start, all.total / 4);
        // Another frame redraws the page from that frame's samples.
        const std::vector<float> first = acf->Graph()->Shown().phi;
        ASSERT_FALSE(first.empty());
        d->SelectRow(20);
        wxTheApp->Yield(true);
        EXPECT_NE(acf->Graph()->Shown().phi, first);
        d->Exit();  // factor dialogs have nothing to save
        wxTheApp->Yield(true);
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(messages.asked.empty());
}

// A one-microphone recording shows no interaural pages, and its two-channel neighbour all of
// them; no column header is cut.
TEST(ResultPages, OneMicrophoneRecordingsShowNoInterauralPages) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    ListBrowser browser({1, 2});
    CResultDialog* d = CResultDialog::Open('A', 2, 1, &browser);
    auto tabs = [d] {
        std::vector<std::string> t;
        for (std::size_t k = 0; k < d->Pages()->GetPageCount(); ++k)
            t.push_back(d->Pages()->GetPageText(k).utf8_string());
        return t;
    };
    EXPECT_EQ(tabs(), (std::vector<std::string>{"Phi(0)", "Tau-e", "Tau1", "Phi1", "ACF"}));
    ShowEveryPage(d);
    wxListCtrl* list = d->List();
    ASSERT_EQ(list->GetColumnCount(), 5);
    for (int c = 0; c < list->GetColumnCount(); ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        list->GetColumn(c, column);
        EXPECT_GT(list->GetColumnWidth(c), list->GetTextExtent(column.GetText()).x)
            << column.GetText();
    }
    ASSERT_TRUE(d->Step(true));
    EXPECT_EQ(tabs().size(), 9u);
    EXPECT_EQ(tabs()[4], "IACC");
    ShowEveryPage(d);
    ASSERT_TRUE(d->Step(false));
    EXPECT_EQ(tabs().size(), 5u);
    d->Exit();
    wxTheApp->Yield(true);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ResultPages, SpectrumAndParameterPixelsWhereTheFormulasSay) {
    wxFrame frame(nullptr, wxID_ANY, "graphs");
    frame.SetClientSize(640, 300);
    auto* graph = new CSpectrumGraph(&frame, "Left");
    graph->SetSize(frame.GetClientSize());
    graph->SetData(std::vector<float>(1024, 1e-4f), 48000, false);
    const wxImage picture = graph->Picture().ConvertToImage();
    const wxRect r = graph->PlotRect();
    const PlotArea plot{r.x, r.y, r.width, r.height};
    auto isCurve = [](const wxImage& p, int x, int y) {
        return p.GetBlue(x, y) > 150 && p.GetRed(x, y) < 100;
    };
    const int y = SpectrumRow(1e-4, plot);
    EXPECT_TRUE(isCurve(picture, SpectrumColumn(100, 48000, 1024, plot), y));
    EXPECT_FALSE(isCurve(picture, SpectrumColumn(100, 48000, 1024, plot), y - 6));

    auto* bands = new CBandGraph(&frame);
    bands->SetSize(frame.GetClientSize());
    ParameterPlot p;
    p.top = 1;
    p.bottom = 0;
    p.step = 0.1;
    p.series = {{0.5, -1000, 0.5}};
    p.names = {"IACC"};
    p.labels = {"All(F)", "125", "250"};
    bands->SetData(p);
    const wxImage b = bands->Picture().ConvertToImage();
    const wxRect br = bands->PlotRect();
    const PlotArea area{br.x, br.y, br.width, br.height};
    const int row = ValueRow(0.5, 1, 0, br.GetBottom(), br.height);
    EXPECT_TRUE(isCurve(b, BandColumn(0, 3, area), row));
    EXPECT_TRUE(isCurve(b, BandColumn(2, 3, area), row));
    EXPECT_FALSE(isCurve(b, BandColumn(1, 3, area), row));  // no value: no point, no line
}

TEST(ResultPages, UnreadableSamplesAreReportedAndDrawNothing) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CImpulseTable impulses;
        ASSERT_TRUE(folders.Open() && impulses.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I"), 1);
        ImpulseRecord m;
        m.folderId = 1;
        m.impulseId = 1;
        m.sampling = 48000;
        m.mesTime = 12;
        m.channel = 2;
        ASSERT_EQ(impulses.Append(m, {1, 2, 3}), 1);  // not a wave block
    }
    CResultDialog* d = CResultDialog::Open('I', 1, 1, nullptr);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't read measured data."});
    ShowEveryPage(d);
    EXPECT_TRUE(d->Rows().empty());
    d->Exit();
    wxTheApp->Yield(true);
    EXPECT_TRUE(messages.asked.empty());
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

int CurvePixels(const wxBitmap& picture) {
    const wxImage image = picture.ConvertToImage();
    int count = 0;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            count += image.GetBlue(x, y) > 150 && image.GetRed(x, y) < 100;
    return count;
}

TEST(ResultPages, FirstPageDrawsAndTypedNonsenseIsHarmless) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    CResultDialog* d = CResultDialog::Open('I', 1, 2, nullptr);
    auto* impulse = dynamic_cast<CImpulseResponsePage*>(d->Page("Impulse response"));
    ASSERT_NE(impulse, nullptr);
    wxTheApp->Yield(true);
    EXPECT_GT(CurvePixels(impulse->Graph(0)->Picture()), 100);  // drawn without a tab change

    // Times that are no numbers read as 0; the recalculation neither crashes nor stores NaN.
    for (const char* text : {"nan", "inf", "-1e300", "abc"}) {
        impulse->Field(id::kLeftReflection)->SetValue(text);
        impulse->Calculate();
        if (text[0] != '-') {
            EXPECT_EQ(d->Result().deltaT1L, 0) << text;
        }
        EXPECT_FALSE(std::isnan(d->Result().bands[0].tsubL)) << text;
    }
    auto* reverberation = dynamic_cast<CReverberationPage*>(d->Page("Reverberation"));
    reverberation->askTsub = [](wxWindow*, TsubSettings* s) {
        s->ratePercent = std::nan("");
        s->end = -std::numeric_limits<double>::infinity();
        return true;
    };
    reverberation->Recalculate();
    d->Pages()->SetSelection(1);
    EXPECT_TRUE(d->ResultChanged());
    // The frame closing destroys a changed dialog without a question.
    CResultDialog::DestroyAll();
    wxTheApp->Yield(true);
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_TRUE(messages.shown.empty());
}

// Stored results may hold anything: an infinite running step, levels beyond any axis or no
// number at all, a recording without a result. The dialogs open and draw.
TEST(ResultPages, HostileStoredFactorsOpenWithoutHanging) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CAcfTable recordings;
        CAcfFactTable results;
        ASSERT_TRUE(folders.Open() && recordings.Open() && results.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "A"), 1);
        for (int id = 1; id <= 3; ++id) {
            AcfRecord m;
            m.folderId = 1;
            m.acfId = id;
            m.sampling = 48000;
            m.channel = 2;
            m.sampleNum = 4800;
            ASSERT_EQ(recordings.Append(m, MakeWaveBlock(2, std::vector<std::int16_t>(9600, 7))),
                      1);
        }
        for (int id = 1; id <= 2; ++id) {
            AcfConditionBlock c;
            c.sampleNum = 4800;
            c.conditions.runningStep = id == 1 ? std::numeric_limits<double>::infinity() : 0.1;
            std::vector<AcfFactorRecord> factors(5);
            for (AcfFactorRecord& r : factors) {
                r.phi0 = id == 1 ? 1e20f : std::numeric_limits<float>::quiet_NaN();
                r.tauE = std::numeric_limits<float>::infinity();
                r.iacc = -std::numeric_limits<float>::infinity();
            }
            AcfFactBlobs blobs;
            EncodeAcfConditionBlock(c, blobs.cond.data());
            blobs.factors = EncodeAcfFactors(factors);
            blobs.peaks = EncodeAcfPeaks(std::vector<AcfPeakRecord>(5));
            AcfFactRecord r;
            r.acfId = id;
            ASSERT_EQ(results.Write(r, blobs), db::kOk);
        }
    }
    for (int id = 1; id <= 3; ++id) {
        CResultDialog* d = CResultDialog::Open('A', 1, id, nullptr);
        ShowEveryPage(d);
        d->SelectRow(4);
        d->Pages()->SetSelection(2);  // "Tau1": the peak layout
        if (id < 3) {
            ASSERT_EQ(d->Rows().size(), 5u);
            EXPECT_EQ(d->Rows()[4].texts.size(), 11u);
        } else {
            EXPECT_TRUE(d->Rows().empty());
        }
        d->Exit();
        wxTheApp->Yield(true);
    }
    EXPECT_TRUE(messages.shown.empty());
}

// Laptop screens: at 1280 x 720, and at 1366 x 768 scaled by 1.25 (1093 x 614 logical pixels),
// every list and graph of every page keeps at least 100 px each way, inside the dialog.
TEST(ResultPages, EveryPageIsUsableOnLaptopScreens) {
    DemoStore::Use();
    test::ScriptedMessages messages;
    const std::pair<char, std::int32_t> dialogs[] = {{'I', 1}, {'A', 2}, {'N', 3}};
    for (const auto& [kind, folder] : dialogs) {
        CResultDialog* d = CResultDialog::Open(kind, folder, 1, nullptr);
        for (const wxSize screen : {wxSize(1280, 720), wxSize(1093, 614)}) {
            d->SetSize(screen);
            for (std::size_t k = 0; k < d->Pages()->GetPageCount(); ++k) {
                d->Pages()->SetSelection(k);
                for (int k = 0; k < 5; ++k) {  // GTK lays the pages out in its frame clock
                    wxTheApp->Yield(true);
                    wxMilliSleep(5);
                }
                const wxRect inside(wxPoint(0, 0), d->GetClientSize());
                std::function<void(wxWindow*)> check = [&](wxWindow* w) {
                    if (!w->IsShown()) return;
                    const std::string where = std::string(1, kind) + " " +
                                              d->Pages()->GetPageText(k).utf8_string() + " " +
                                              std::to_string(screen.x);
                    const wxRect r(d->ScreenToClient(w->GetScreenPosition()), w->GetSize());
                    if (dynamic_cast<CGraphWnd*>(w) || dynamic_cast<wxListCtrl*>(w)) {
                        EXPECT_GE(w->GetClientSize().y, 100) << where;
                        EXPECT_GE(w->GetClientSize().x, 100) << where;
                        EXPECT_TRUE(inside.Contains(r)) << where;
                    } else if (dynamic_cast<wxButton*>(w)) {
                        EXPECT_TRUE(inside.Contains(r)) << where << " " << w->GetLabel();
                    }
                    for (wxWindow* child : w->GetChildren())
                        check(child);
                };
                check(d);
            }
        }
        d->Destroy();
    }
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
