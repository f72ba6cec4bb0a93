// The desktop program's frame, document and view in a real window (run under Xvfb).
#include <gtest/gtest.h>
#include <wx/evtloop.h>
#include <wx/wx.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <wx/notebook.h>

#include <functional>

#include "app/dialogs.h"

#include "acf/acf_calculation.h"
#include "app/main_frame.h"
#include "display/graph_view.h"
#include "display/graph_window.h"
#include "impulse/impulse_analysis.h"
#include "impulse/preference.h"
#include "impulse/spl_reference.h"
#include "resources/window_ids.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/app/gui_support.h"
#include "tests/display/scripted_saves.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

bool Enabled(wxFrame* frame, int id) {
    frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    return frame->GetMenuBar()->IsEnabled(id);
}

void MakeStore() {
    CFolderTable folders;
    CImpulseTable impulses;
    CNmsTable noise;
    ASSERT_TRUE(folders.Open() && impulses.Open() && noise.Open());
    ASSERT_EQ(test::AppendFolder(folders, 1, "I", "Hall"), 1);
    ASSERT_EQ(test::AppendFolder(folders, 2, "N", "Street"), 1);
    const char* titles[] = {"b seat", "c seat", "a seat"};
    for (int id = 1; id <= 3; ++id) {
        ImpulseRecord r;
        r.folderId = 1;
        r.impulseId = id;
        r.title = titles[id - 1];
        ASSERT_EQ(impulses.Append(r, MakeWaveBlock(1, {0, 0})), 1);
    }
    NmsRecord n;
    n.folderId = 2;
    n.nmsId = 1;
    ASSERT_EQ(noise.Append(n, MakeWaveBlock(2, {0, 0}), {}), 1);
}

TEST(Desktop, CommandsViewAndPlacement) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeStore();
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxPoint(10, 20), wxSize(700, 400));
    frame->Show();
    EXPECT_TRUE(Enabled(frame, id::kFileOpen));
    for (int id : {id::kCalculation, id::kOutputFile, id::kRefreshViews, id::kNoiseTemplates,
                   id::kShowParameters, id::kFilePrint})
        EXPECT_FALSE(Enabled(frame, id)) << id;

    frame->Document().OpenFolder(2, 'N', "Street");
    EXPECT_TRUE(Enabled(frame, id::kCalculation));
    EXPECT_TRUE(Enabled(frame, id::kOutputFile));
    EXPECT_TRUE(Enabled(frame, id::kShowParameters));
    EXPECT_EQ(frame->View().GetColumnCount(), 4);
    EXPECT_EQ(frame->View().GetItemText(0, 0), "1");  // "No." is NUMBER + 1
    EXPECT_EQ(frame->GetTitle(), "Street - Orvanel");

    settings.impulse.splRefData = 5;
    frame->Document().OpenFolder(1, 'I', "Hall");
    EXPECT_EQ(settings.impulse.splRefData, -1);  // opening a folder resets the SPL reference
    CVeskView& view = frame->View();
    ASSERT_EQ(view.GetItemCount(), 3);
    EXPECT_EQ(view.GetItemText(0, 0), "b seat");  // the store's order until a header click
    // A header click sorts by title; Next and Previous follow the new order.
    wxListEvent click(wxEVT_LIST_COL_CLICK, view.GetId());
    click.SetEventObject(&view);
    click.m_col = 0;
    view.GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(view.GetItemText(0, 0), "a seat");
    EXPECT_EQ(view.Next(3), 1);
    EXPECT_EQ(view.Previous(1), 3);
    EXPECT_EQ(view.Previous(3), -1);
    EXPECT_EQ(view.Next(2), -1);
    view.SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    EXPECT_TRUE(view.IsSelected(1));
    EXPECT_FALSE(view.IsSelected(2));
    EXPECT_EQ(view.SelectedIds(), (std::set<std::int32_t>{1}));

    // Show Parameters opens a result dialog for the first selected row; two may show one
    // record; they browse in the view's order; closing the frame destroys them.
    view.SetItemState(1, 0, wxLIST_STATE_SELECTED);
    view.SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);  // "a seat", ID 3
    view.OnShowParameters();
    view.OnShowParameters();
    ASSERT_EQ(CResultDialog::OpenCount(), 2u);
    EXPECT_TRUE(messages.shown.empty());
    wxWindow* last = wxTopLevelWindows.GetLast()->GetData();
    auto* dialog = dynamic_cast<CResultDialog*>(last);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->RecordId(), 3);
    EXPECT_TRUE(dialog->Rows().empty());  // no result stored
    EXPECT_FALSE(dialog->Step(false));    // the first row
    EXPECT_TRUE(dialog->Step(true));
    EXPECT_EQ(dialog->RecordId(), 1);

    // Closing stores the placement for the next start.
    frame->Close(true);
    EXPECT_EQ(CResultDialog::OpenCount(), 0u);
    EXPECT_EQ(settings.frameWidth, frame->GetRect().width);
    EXPECT_GT(settings.frameHeight, 0);
    frame->Destroy();
    EXPECT_TRUE(messages.shown.empty());
}

TEST(Desktop, OnlineUpdateLoadsTheLibraryBesideTheProgramOrInLibVesk) {
    test::ScriptedMessages messages;
    namespace fs = std::filesystem;
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path library = program.parent_path() / "QZUPDATE.DLL";
    fs::remove(library);
    OnlineUpdate(2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Can't find QZUPDATE.DLL.");

    fs::copy_file(VESK_UPDATE_STUB, library, fs::copy_options::overwrite_existing);
    test::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    OnlineUpdate(2);
    const auto bytes = test::ReadFileBytes(dir.File("qzupdate-call.txt"));
    const std::string call(bytes.begin(), bytes.end());
    EXPECT_EQ(call.substr(0, 10), "MERIDAXED\n");
    EXPECT_NE(call.find(program.string()), std::string::npos);
    EXPECT_NE(call.find("\n128\n"), std::string::npos);
    EXPECT_NE(call.find("SoftWare\\Velmoran\\Tessaron"), std::string::npos);
    fs::remove(dir.File("qzupdate-call.txt"));
    OnlineUpdate(0);  // another language: nothing is called
    EXPECT_FALSE(fs::exists(dir.File("qzupdate-call.txt")));
    fs::remove(library);

    // Installed, the program is in bin/ and the library in lib/vesk/.
    const fs::path installed = program.parent_path() / "../lib/vesk";
    fs::create_directories(installed);
    fs::copy_file(VESK_UPDATE_STUB, installed / "QZUPDATE.DLL",
                  fs::copy_options::overwrite_existing);
    OnlineUpdate(2);
    EXPECT_TRUE(fs::exists(dir.File("qzupdate-call.txt")));
    fs::remove(installed / "QZUPDATE.DLL");
    fs::remove(installed);  // the folders only when they were made here, that is empty
    fs::remove(installed.parent_path());
    fs::current_path(before);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(Desktop, FolderChooserListsFiltersSortsAndDeletes) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeStore();
    CSelectFolderDlg chooser(nullptr);
    auto* list = static_cast<wxListCtrl*>(chooser.FindWindow(id::kFolderList));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(list->GetItemText(0, 0), "Hall");  // title ascending
    wxListEvent click(wxEVT_LIST_COL_CLICK, list->GetId());
    click.SetEventObject(list);
    click.m_col = 0;
    list->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(list->GetItemText(0, 0), "Street");  // the same column again: descending
    auto* kind = static_cast<wxRadioBox*>(chooser.FindWindow(id::kKindAll));
    kind->SetSelection(1);  // "IR"
    wxCommandEvent radio(wxEVT_RADIOBOX, id::kKindAll);
    radio.SetEventObject(kind);
    kind->GetEventHandler()->ProcessEvent(radio);
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0, 1), "IR");

    // Delete asks; Cancel keeps the folder, OK deletes it with its measurements.
    list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    wxCommandEvent remove(wxEVT_BUTTON, id::kDeleteFolder);
    messages.answers = {false};
    chooser.GetEventHandler()->ProcessEvent(remove);
    EXPECT_EQ(list->GetItemCount(), 1);
    messages.answers = {true};
    chooser.GetEventHandler()->ProcessEvent(remove);
    EXPECT_EQ(list->GetItemCount(), 0);
    ASSERT_EQ(messages.asked.size(), 2u);
    EXPECT_EQ(messages.asked[0], "Delete selected folder with all data in. Are you sure?");
    CFolderTable folders;
    FolderRecord f;
    ASSERT_TRUE(folders.Open());
    EXPECT_EQ(folders.Read(1, &f), 0);
}

// A measurement the impulse calculation can take: an order-12 response stored as it is.
void AddSeat(CImpulseTable& table, std::int32_t id) {
    std::vector<std::int16_t> s(2 * 4096, 0);
    for (std::size_t i = 0; i < 4096; ++i) {
        const double decay = std::exp(-static_cast<double>(i) / 600.0);
        // Signed steps: in unsigned arithmetic "- 6" wraps to a value no sample can hold.
        const int left = static_cast<int>((i * 7919 + id) % 13) - 6;
        const int right = static_cast<int>((i * 104729 + id) % 11) - 5;
        s[2 * i] = static_cast<std::int16_t>(8000 * decay * left / 6.0);
        s[2 * i + 1] = static_cast<std::int16_t>(7000 * decay * right / 5.0);
    }
    s[200] = 30000;
    s[201] = 28000;
    ImpulseRecord r;
    r.folderId = 1;
    r.impulseId = id;
    r.sampling = 48000;
    r.mesTime = 12;
    r.noMls = 1;
    r.channel = 2;
    r.bit = 16;
    r.multiplier = 1;
    r.title = "Seat " + std::to_string(id);
    ASSERT_EQ(table.Append(r, MakeWaveBlock(2, s)), 1);
}

// A folder of three seats the impulse calculation can take.
void MakeSeats() {
    CFolderTable folders;
    CImpulseTable impulses;
    ASSERT_TRUE(folders.Open() && impulses.Open());
    ASSERT_EQ(test::AppendFolder(folders, 1, "I", "Hall"), 1);
    ASSERT_EQ(test::AppendFolder(folders, 2, "I", "Foyer"), 1);
    for (int id = 1; id <= 3; ++id)
        AddSeat(impulses, id);
}

int Stored(std::int32_t id) {
    CAcParamTable results;
    EXPECT_TRUE(results.Open());
    return results.Exists(id);
}

TEST(Desktop, CalculationFromTheFrameWithCancelAnswered) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeSeats();
    // The progress dialog pumps the active event loop, as it does in the running program.
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    ImpulseConditions c;
    c.aFilter = 1;
    auto pressCancel = [] {
        wxTheApp->CallAfter([] { test::Press(nullptr, id::kProgressCancel); });
    };
    // Conditions no run can use (from a damaged settings file) are refused with their reason.
    ImpulseConditions impossible = c;
    impossible.tsubNoise = 7;
    EXPECT_EQ(frame->Document().RunImpulse(impossible, Target::All),
              "Rate of Noise Range must be from 0 to 100 %.");
    // Cancel pressed and confirmed: the run stops before anything is stored.
    pressCancel();
    messages.answers = {true};
    frame->Document().RunImpulse(c, Target::All);
    EXPECT_EQ(messages.asked, (std::vector<std::string>{"Cancel action?"}));
    EXPECT_EQ(Stored(1), 0);
    // Pressed and declined: the run completes every record, as the command line's would.
    pressCancel();
    messages.answers = {false};
    frame->Document().RunImpulse(c, Target::All);
    EXPECT_EQ(settings.impulse.aFilter, 1);  // the dialog's conditions went to the settings
    std::vector<AcParamRecord> fromFrame(3);
    {
        CAcParamTable results;
        ASSERT_TRUE(results.Open());
        for (int id = 1; id <= 3; ++id)
            ASSERT_EQ(results.Read(id, &fromFrame[static_cast<std::size_t>(id - 1)]), 1) << id;
    }
    EXPECT_EQ(frame->View().GetItemText(0, 3), " *");  // the view shows the results
    // The "Preference" page starts at the measured level, sweeps tau-e and shows the five
    // values at the optimum; a tau-e that is not positive is refused on "Calculate".
    {
        CResultDialog* d = CResultDialog::Open('I', 1, 1, &frame->View());
        auto text = [d](int id) { return static_cast<wxTextCtrl*>(d->FindWindow(id))->GetValue(); };
        const AcParamRecord& r = fromFrame[0];
        const double offset = SplReferenceOffset(r.splRefData, 1, r.splRefLevel);
        const double ll = ListeningLevel(r.bands[0].splL, r.bands[0].splR) + offset;
        EXPECT_EQ(text(1039), wxString::Format("%.2lf", ll));
        double llp = 0;
        ASSERT_TRUE(text(1039).ToCDouble(&llp));
        const PreferenceSweep sweep = SweepTauE(r, offset, llp);
        EXPECT_EQ(text(1047), sweep.optimumTauE > 0 ? wxString::Format("%d", sweep.optimumTauE)
                                                    : wxString("----"));
        EXPECT_EQ(text(1040), text(1047));
        static_cast<wxTextCtrl*>(d->FindWindow(1040))->SetValue("0");
        wxCommandEvent calculate(wxEVT_BUTTON, 1046);
        d->FindWindow(1046)->GetEventHandler()->ProcessEvent(calculate);
        ASSERT_FALSE(messages.shown.empty());
        EXPECT_EQ(messages.shown.back(), "Tau-e must be positive number.");
        d->Destroy();
    }
    ASSERT_EQ(RunImpulseCalculation(1, c, Target::All, {}, nullptr).computed, 3);
    CAcParamTable results;
    ASSERT_TRUE(results.Open());
    for (int id = 1; id <= 3; ++id) {
        AcParamRecord direct;
        ASSERT_EQ(results.Read(id, &direct), 1);
        const AcParamRecord& mine = fromFrame[static_cast<std::size_t>(id - 1)];
        EXPECT_EQ(direct.nData, mine.nData);
        for (int k = 0; k < direct.nData; ++k) {
            EXPECT_EQ(direct.bands[static_cast<std::size_t>(k)].splL,
                      mine.bands[static_cast<std::size_t>(k)].splL);
            EXPECT_EQ(direct.bands[static_cast<std::size_t>(k)].wiacc,
                      mine.bands[static_cast<std::size_t>(k)].wiacc);
        }
    }
    frame->Destroy();
}

bool Closing(wxWindow* w) {
    return w->IsBeingDeleted() || wxPendingDelete.Member(w);
}

// The position on the progress dialog that stays, or -1. A dialog closed with its parent is
// skipped: it lingers until idle time with the position it had.
int ShownPosition() {
    for (wxWindow* w : wxTopLevelWindows) {
        if (w->GetId() != id::kProgressDialog || Closing(w)) continue;
        if (auto* bar = dynamic_cast<wxGauge*>(w->FindWindow(id::kProgressBar)))
            return bar->GetValue();
    }
    return -1;
}

// Calls `act` once, from inside the run, at the first poll once the progress bar shows
// `position` or more (each poll yields, and a yield ends with idle processing).
class AtPosition {
  public:
    AtPosition(int position, std::function<void()> act) : m_position(position), m_act(act) {
        wxTheApp->Bind(wxEVT_IDLE, &AtPosition::OnIdle, this);
    }
    ~AtPosition() { wxTheApp->Unbind(wxEVT_IDLE, &AtPosition::OnIdle, this); }
    void OnIdle(wxIdleEvent& event) {
        event.Skip();
        if (!m_act || ShownPosition() < m_position) return;
        std::exchange(m_act, nullptr)();
    }

  private:
    int m_position;
    std::function<void()> m_act;
};

// The modal dialog with `id`, once it shows: `inspect` looks at it, then it is cancelled.
void WhenShown(int id, std::function<void(wxDialog*)> inspect) {
    wxTheApp->CallAfter([id, inspect] {
        auto* d = dynamic_cast<wxDialog*>(wxWindow::FindWindowById(id));
        ASSERT_NE(d, nullptr) << id;
        inspect(d);
        FinishDialog(d, wxID_CANCEL);
    });
}

TEST(Desktop, ClosingDuringACalculationAsksStopsAndClosesAfterTheRun) {
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    ImpulseConditions c;
    {
        // "No": the run goes on to the end and the program stays.
        test::TempStore store;
        test::ScriptedMessages messages;
        MakeSeats();
        AppSettings settings;
        auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
        frame->Show();
        frame->Document().OpenFolder(1, 'I', "Hall");
        messages.answers = {false};
        AtPosition close(1, [frame] { frame->Close(); });
        frame->Document().RunImpulse(c, Target::All);
        EXPECT_EQ(messages.asked, std::vector<std::string>{"Cancel action?"});
        EXPECT_FALSE(Closing(frame));
        for (int id = 1; id <= 3; ++id)
            EXPECT_EQ(Stored(id), 1) << id;
        frame->Destroy();
    }
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeSeats();
    // "Yes" once the first seat is done: the run stops without asking again, the frame stays
    // until the run has returned and then closes as usual, keeping its placement.
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    messages.answers = {true};
    bool closingDuringRun = true;
    AtPosition close(33, [&] {
        frame->Close();
        closingDuringRun = Closing(frame);
    });
    frame->Document().RunImpulse(c, Target::All);
    EXPECT_FALSE(closingDuringRun);
    EXPECT_EQ(messages.asked, std::vector<std::string>{"Cancel action?"});
    EXPECT_TRUE(Closing(frame));
    EXPECT_GT(settings.frameWidth, 0);
    EXPECT_EQ(Stored(1), 1);  // finished before the close
    EXPECT_EQ(Stored(3), 0);
    EXPECT_EQ(wxWindow::FindWindowById(id::kProgressDialog), nullptr);
    wxTheApp->ProcessIdle();  // deletes the frame
}

TEST(Desktop, TheFolderOfARunningCalculationCannotBeDeletedOrOpened) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeSeats();
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    bool inspected = false;
    AtPosition open(1, [&] {
        EXPECT_FALSE(Enabled(frame, id::kCalculation));  // no second run meanwhile
        WhenShown(id::kSelectFolderDialog, [&](wxDialog* chooser) {
            auto* list = static_cast<wxListCtrl*>(chooser->FindWindow(id::kFolderList));
            ASSERT_EQ(list->GetItemCount(), 2);
            for (long item = 0; item < 2; ++item) {
                list->SetItemState(item, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
                chooser->UpdateWindowUI(wxUPDATE_UI_RECURSE);
                const bool busy = list->GetItemData(item) == 1;
                EXPECT_EQ(chooser->FindWindow(id::kDeleteFolder)->IsEnabled(), !busy) << item;
                EXPECT_EQ(chooser->FindWindow(wxID_OK)->IsEnabled(), !busy) << item;
                if (busy) {  // the handlers refuse too (a double click reaches OK)
                    messages.answers = {true};
                    for (int id :
                         {static_cast<int>(id::kDeleteFolder), static_cast<int>(wxID_OK)}) {
                        wxCommandEvent press(wxEVT_BUTTON, id);
                        chooser->GetEventHandler()->ProcessEvent(press);
                    }
                    EXPECT_TRUE(messages.asked.empty());
                    EXPECT_EQ(list->GetItemCount(), 2);
                }
            }
            inspected = true;
        });
        frame->Document().OnOpen();
    });
    frame->Document().RunImpulse(ImpulseConditions(), Target::All);
    EXPECT_TRUE(inspected);
    EXPECT_EQ(frame->Document().State().folderId, 1);
    for (int id = 1; id <= 3; ++id)
        EXPECT_EQ(Stored(id), 1) << id;
    EXPECT_TRUE(Enabled(frame, id::kCalculation));
    frame->Destroy();
}

// Deleting the open folder in the chooser closes it: nothing is left to write, and a write
// that comes anyway says why nothing was written.
TEST(Desktop, DeletingTheOpenFolderClosesIt) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeStore();
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    ASSERT_TRUE(Enabled(frame, id::kOutputFile));
    WhenShown(id::kSelectFolderDialog, [&](wxDialog* chooser) {
        auto* list = static_cast<wxListCtrl*>(chooser->FindWindow(id::kFolderList));
        list->SetItemState(list->FindItem(-1, wxUIntPtr(1)), wxLIST_STATE_SELECTED,
                           wxLIST_STATE_SELECTED);
        messages.answers = {true};
        wxCommandEvent remove(wxEVT_BUTTON, id::kDeleteFolder);
        chooser->GetEventHandler()->ProcessEvent(remove);
    });
    frame->Document().OnOpen();
    EXPECT_FALSE(Enabled(frame, id::kOutputFile));
    EXPECT_FALSE(Enabled(frame, id::kCalculation));
    EXPECT_EQ(frame->View().GetItemCount(), 0);
    test::TempDir dir;
    frame->Document().WriteOutput(dir.File("hall.csv"));
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't find folder."});
    frame->Destroy();
}

// A result dialog of seat 1 with a recalculated (not yet saved) delta-t1.
CResultDialog* ChangedResult(CMainFrame* frame) {
    CResultDialog* d = CResultDialog::Open('I', 1, 1, &frame->View());
    auto* impulse = dynamic_cast<CImpulseResponsePage*>(d->Page("Impulse response"));
    impulse->Field(1018)->SetValue("80");
    impulse->Calculate();
    EXPECT_TRUE(d->ResultChanged());
    return d;
}

TEST(Desktop, LeavingTheProgramOffersToSaveEachChangedResult) {
    test::TempStore store;
    test::ScriptedMessages messages;
    test::ScriptedSaves saves;
    MakeSeats();
    ASSERT_EQ(RunImpulseCalculation(1, ImpulseConditions(), Target::All, {}, nullptr).computed, 3);
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    CResultDialog* changed = ChangedResult(frame);
    CResultDialog::Open('I', 1, 2, &frame->View());  // unchanged: not asked about
    // Exit (Ctrl+Q) and the frame's close button: Cancel keeps the program and the change.
    saves.answers = {SaveAnswer::Cancel, SaveAnswer::Cancel};
    wxCommandEvent exit(wxEVT_MENU, id::kAppExit);
    frame->GetEventHandler()->ProcessEvent(exit);
    frame->Close();
    EXPECT_EQ(saves.asked, std::vector<std::string>(2, "Save calculation output?"));
    EXPECT_EQ(saves.owners[0], changed);
    EXPECT_FALSE(Closing(frame));
    EXPECT_EQ(CResultDialog::OpenCount(), 2u);
    EXPECT_TRUE(changed->ResultChanged());
    // Yes saves, and the program ends.
    saves.answers = {SaveAnswer::Save};
    frame->GetEventHandler()->ProcessEvent(exit);
    EXPECT_EQ(saves.asked.size(), 3u);
    EXPECT_TRUE(Closing(frame));
    EXPECT_EQ(CResultDialog::OpenCount(), 0u);
    CAcParamTable results;
    AcParamRecord r;
    ASSERT_TRUE(results.Open() && results.Read(1, &r));
    EXPECT_EQ(r.deltaT1L, 80);
    wxTheApp->ProcessIdle();
}

TEST(Desktop, DialogsOpenInFrontOfTheWindowInUse) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeSeats();
    wxEventLoop loop;
    wxEventLoopActivator active(&loop);
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    frame->Document().OpenFolder(1, 'I', "Hall");
    CResultDialog* d = CResultDialog::Open('I', 1, 1, &frame->View());
    wxActivateEvent activate(wxEVT_ACTIVATE, true);
    d->GetEventHandler()->ProcessEvent(activate);  // the user works in the result dialog
    std::vector<int> seen;
    auto parentIs = [&](wxWindow* parent) {
        return [&seen, parent](wxDialog* shown) {
            EXPECT_EQ(shown->GetParent(), parent) << shown->GetId();
            seen.push_back(shown->GetId());
        };
    };
    WhenShown(id::kSelectFolderDialog, parentIs(d));
    wxCommandEvent open(wxEVT_MENU, id::kFileOpen);
    frame->GetEventHandler()->ProcessEvent(open);
    WhenShown(id::kImpulseConditionsDialog, parentIs(d));
    wxCommandEvent calculation(wxEVT_MENU, id::kCalculation);
    frame->GetEventHandler()->ProcessEvent(calculation);
    // The progress dialog too; closing the result dialog under it during the run costs only
    // that dialog, and the run shows a new one in front of the frame.
    wxWindow* second = nullptr;  // the parent of the second progress dialog
    AtPosition close(1, [&] {
        wxWindow* progress = wxWindow::FindWindowById(id::kProgressDialog);
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(progress->GetParent(), d);
        d->Close();
    });
    AtPosition look(67, [&] {
        wxWindow* progress = wxWindow::FindWindowById(id::kProgressDialog);
        ASSERT_NE(progress, nullptr);
        second = progress->GetParent();
    });
    frame->Document().RunImpulse(ImpulseConditions(), Target::All);
    EXPECT_EQ(second, frame);
    EXPECT_EQ(seen, (std::vector<int>{id::kSelectFolderDialog, id::kImpulseConditionsDialog}));
    for (int id = 1; id <= 3; ++id)
        EXPECT_EQ(Stored(id), 1) << id;
    frame->Destroy();
}

TEST(Desktop, ConditionsDialogsTakeAndRefuseValues) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeStore();
    auto radio = [](wxDialog& d, int id, int selection) {
        auto* box = static_cast<wxRadioBox*>(d.FindWindow(id));
        box->SetSelection(selection);
        wxCommandEvent e(wxEVT_RADIOBOX, id);
        e.SetEventObject(box);
        e.SetInt(selection);
        d.GetEventHandler()->ProcessEvent(e);
    };
    {
        ImpulseConditions c;
        c.bandTo = 10;
        CImpulseConditionsDlg d(nullptr, c, 1);
        auto* to = static_cast<wxChoice*>(d.FindWindow(id::kBandTo));
        radio(d, id::kBandOctave, 1);  // third-octave: 16000 Hz stays 16000 Hz
        EXPECT_EQ(to->GetCount(), 32u);
        EXPECT_EQ(to->GetStringSelection(), "16000");
        to->SetSelection(31);
        radio(d, id::kBandOctave, 0);
        EXPECT_EQ(to->GetSelection(), 10);
        auto* refData = static_cast<wxChoice*>(d.FindWindow(id::kRefData));
        EXPECT_EQ(refData->GetCount(), 5u);  // Absolute, Maximum, and the three seats
        EXPECT_EQ(refData->GetSelection(), 1);
        EXPECT_FALSE(d.FindWindow(id::kEndOfRegression)->IsEnabled());  // "Auto" is on
        radio(d, id::kTargetNonCalculation, 2);
        static_cast<wxTextCtrl*>(d.FindWindow(id::kRateOfNoise))->SetValue("20");
        static_cast<wxTextCtrl*>(d.FindWindow(id::kTauE))->SetValue("soon");
        test::Press(&d, wxID_OK);
        ASSERT_EQ(messages.shown.size(), 1u);  // a value that is not a number: the dialog stays
        EXPECT_NE(d.GetReturnCode(), wxID_OK);
        static_cast<wxTextCtrl*>(d.FindWindow(id::kTauE))->SetValue("80");
        test::Press(&d, wxID_OK);
        EXPECT_EQ(d.GetReturnCode(), wxID_OK);
        EXPECT_EQ(d.m_target, Target::All);
        EXPECT_DOUBLE_EQ(d.m_conditions.tsubNoise, 0.2);
        EXPECT_EQ(d.m_conditions.prefTauE, 80.0);
        EXPECT_EQ(d.m_conditions.bandTo, 10);
    }
    {
        CAcfConditionsDlg d(nullptr, RunningAcfConditions(), 1, nullptr);
        static_cast<wxTextCtrl*>(d.FindWindow(id::kRunningStep))->SetValue("0.00001");
        test::Press(&d, wxID_OK);
        EXPECT_NE(messages.shown.back().find("Running Step"), std::string::npos);
        EXPECT_NE(d.GetReturnCode(), wxID_OK);
    }
    {
        IdentificationSettings identification;
        CAcfConditionsDlg d(nullptr, NoiseConditionDefaults(), 2, &identification);
        EXPECT_FALSE(d.FindWindow(id::kStepsBefore)->IsEnabled());
        radio(d, id::kMaximumSpl, 1);  // "Minimum Tau-e" enables the steps
        EXPECT_TRUE(d.FindWindow(id::kStepsBefore)->IsEnabled());
        test::Press(&d, wxID_OK);
        EXPECT_EQ(d.GetReturnCode(), wxID_OK);
        EXPECT_EQ(d.m_identification.mode, 1);
        EXPECT_EQ(d.m_conditions.phi0RefData, 0);  // noise results carry no reference
    }
}

// A factor graph's off-screen picture: the curve where the value-axis formula puts it, a gap
// where a value is missing, and the cursor at the chosen frame.
TEST(Desktop, FactorGraphDrawsWhereTheFormulasSay) {
    wxFrame frame(nullptr, wxID_ANY, "graph");
    auto* graph = new CFactorGraph(&frame, "IACC", false, true);  // range 0 .. 1
    frame.SetClientSize(500, 300);
    graph->SetSize(frame.GetClientSize());
    std::vector<double> values(10, 0.5);
    values[6] = values[7] = -1000;  // no value
    graph->SetData(values, 0.1);
    graph->SetFrame(2);
    wxImage picture = graph->Picture().ConvertToImage();
    const wxRect plot = graph->PlotRect();
    const int origin = plot.GetBottom();  // the bottom of the range is 0
    const int row = ValueRow(0.5, 1.0, 0.0, origin, plot.height);
    auto isCurve = [&](int x, int y) {
        return picture.GetBlue(x, y) > 150 && picture.GetRed(x, y) < 100;
    };
    auto column = [&](double t) { return plot.GetLeft() + static_cast<int>(t / 1.0 * plot.width); };
    EXPECT_TRUE(isCurve(column(0.15), row) || isCurve(column(0.15), row - 1) ||
                isCurve(column(0.15), row + 1));
    EXPECT_FALSE(isCurve(column(0.65), row));  // between frames 5 and 8 nothing is drawn
    EXPECT_FALSE(isCurve(column(0.75), row));
    const int cursor = column(0.2);
    EXPECT_GT(picture.GetRed(cursor, plot.GetTop() + 5), 200);  // the red cursor
    EXPECT_LT(picture.GetGreen(cursor, plot.GetTop() + 5), 100);

    // A value beyond the fixed top of 1 is drawn at the edge under an arrow; one inside is not.
    auto isMark = [&](int x, int y) {
        return picture.GetRed(x, y) == kClippedMark.Red() &&
               picture.GetGreen(x, y) == kClippedMark.Green() &&
               picture.GetBlue(x, y) == kClippedMark.Blue();
    };
    auto marked = [&](double t) {
        for (int y = plot.GetTop(); y < plot.GetTop() + 12; ++y)
            if (isMark(column(t), y)) return true;
        return false;
    };
    values[3] = 1.5;
    graph->SetData(values, 0.1);
    picture = graph->Picture().ConvertToImage();
    EXPECT_TRUE(marked(0.3));
    EXPECT_FALSE(marked(0.1));
}

// "ACF Factor": the "Tau1" and "Phi1" pages list the ten peaks of each frame, the others the
// factors; the selected frame stays selected across the change.
TEST(Desktop, AcfFactorListFollowsThePage) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CAcfTable recordings;
        ASSERT_TRUE(folders.Open() && recordings.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "A"), 1);
        std::vector<std::int16_t> s(2 * 24000);
        for (std::size_t i = 0; i < 24000; ++i)
            s[2 * i] = s[2 * i + 1] = static_cast<std::int16_t>(
                8000 * std::sin(2 * 3.14159265 * 440 * static_cast<double>(i) / 48000));
        AcfRecord r;
        r.folderId = 1;
        r.acfId = 1;
        r.sampling = 48000;
        r.channel = 2;
        r.sampleNum = 24000;
        ASSERT_EQ(recordings.Append(r, MakeWaveBlock(2, s)), 1);
    }
    RunningAcfConditions c;
    c.integrationTime = 0.1;
    c.maxDelayTime = 0.01;
    c.runningStep = 0.1;
    ASSERT_EQ(RunAcfCalculation(1, c, Target::All, {}, nullptr).computed, 1);
    CResultDialog* d = CResultDialog::Open('A', 1, 1, nullptr);
    wxListCtrl* list = d->List();
    EXPECT_EQ(list->GetColumnCount(), 8);  // two channels, general layout
    ASSERT_GE(list->GetItemCount(), 2);
    list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    auto* pages = static_cast<wxNotebook*>(d->FindWindow(1002));
    pages->SetSelection(2);  // "Tau1"
    EXPECT_EQ(list->GetColumnCount(), 11);
    wxListItem column;
    column.SetMask(wxLIST_MASK_TEXT);
    list->GetColumn(1, column);
    EXPECT_EQ(column.GetText(), "Tau1");
    EXPECT_NE(list->GetItemState(1, wxLIST_STATE_SELECTED), 0);
    pages->SetSelection(3);  // "Phi1"
    list->GetColumn(10, column);
    EXPECT_EQ(column.GetText(), "Phi10");
    pages->SetSelection(0);
    EXPECT_EQ(list->GetColumnCount(), 8);
    d->Destroy();
    EXPECT_TRUE(messages.shown.empty());
}

// The program itself: started in an empty working folder it makes DATA there, and ended by the
// session it writes Vesk.dat with its placement; a truncated file gives way to the defaults.
TEST(Desktop, ProgramKeepsItsSettingsInTheWorkingFolder) {
    test::TempDir dir;
    std::vector<unsigned char> truncated(100, 0xff);
    test::WriteFileBytes(dir.File("Vesk.dat"), truncated);
    const std::string command = "cd '" + dir.Path() + "' && exec '" VESK_PROGRAM "'";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int k = 0; k < 100 && !std::filesystem::exists(dir.File("DATA")); ++k)
        wxMilliSleep(50);
    wxMilliSleep(1000);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("DATA")));
    const auto bytes = test::ReadFileBytes(dir.File("Vesk.dat"));
    ASSERT_EQ(bytes.size(), kAppSettingsSize);
    const AppSettings saved = AppSettings::Decode(bytes.data());
    EXPECT_GT(saved.frameWidth, 0);  // the placement of the closed frame
    EXPECT_GT(saved.frameHeight, 0);
    EXPECT_EQ(saved.impulse.bandTo, 10);  // the defaults replaced the truncated block
    EXPECT_EQ(saved.acf.integrationTime, 2.0);
}

}  // namespace
}  // namespace vesk
