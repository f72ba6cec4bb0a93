// Folders, imports, drops and deletions through the desktop program's frame (run under Xvfb).
#include <gtest/gtest.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/radiobox.h>
#include <wx/wx.h>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "app/dialogs.h"
#include "app/folder_dialog.h"
#include "app/main_frame.h"
#include "resources/import_ids.h"
#include "resources/window_ids.h"
#include "shell/audio.h"
#include "store/tables.h"
#include "tests/app/gui_support.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using test::Press;

void SetText(wxWindow* dialog, int id, const wxString& text) {
    auto* t = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowById(id, dialog));
    ASSERT_NE(t, nullptr) << id;
    t->SetValue(text);
}

// The modal dialog with `id`, once it shows: `fill` sets it up, then `button` is pressed.
void WhenShown(int id, std::function<void(wxDialog*)> fill, int button = wxID_OK) {
    wxTheApp->CallAfter([id, fill, button] {
        auto* d = dynamic_cast<wxDialog*>(wxWindow::FindWindowById(id));
        ASSERT_NE(d, nullptr) << id;
        fill(d);
        Press(d, button);
        if (d->IsShown()) FinishDialog(d, wxID_CANCEL);  // refused: do not hang the test
    });
}

// A decaying two-channel response after leading silence, or a steady recording.
std::vector<std::int16_t> Signal(int rate, double seconds, bool decaying, unsigned seed) {
    std::vector<std::int16_t> s(2 * static_cast<std::size_t>(seconds * rate), 0);
    unsigned x = seed;
    for (std::size_t i = rate / 50; i < s.size() / 2; ++i) {
        x = x * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / rate;
        const double level = decaying ? 20000 * std::exp(-10 * t) : 8000;
        s[2 * i] = static_cast<std::int16_t>(level * ((x >> 16) / 32768.0 - 1.0));
        s[2 * i + 1] = static_cast<std::int16_t>(-s[2 * i] / 2);
    }
    return s;
}

class DesktopImport : public ::testing::Test {
  protected:
    void SetUp() override {
        m_frame = new CMainFrame(m_settings, wxDefaultPosition, wxSize(700, 400));
        m_frame->Show();
    }
    void TearDown() override {
        m_frame->Destroy();
        wxTheApp->ProcessIdle();
    }
    std::vector<std::string> Files(const std::string& stem, int count, double seconds,
                                   bool decaying) {
        std::vector<std::string> files;
        for (int k = 0; k < count; ++k) {
            files.push_back(m_dir.File(stem + std::to_string(k + 1) + ".wav"));
            EXPECT_TRUE(WriteWavFile(files.back(), 2, 16000,
                                     Signal(16000, seconds, decaying, static_cast<unsigned>(k))));
        }
        return files;
    }
    std::int32_t NewFolder(const char* kind, const std::string& title) {
        FolderRecord f;
        f.type = kind;
        f.title = title;
        std::string refusal;
        const std::int32_t id = SaveFolder(f, &refusal);
        EXPECT_GT(id, 0) << refusal;
        m_frame->Document().OpenFolder(id, kind[0], title);
        return id;
    }
    test::TempStore m_store;
    test::ScriptedMessages m_messages;
    test::TempDir m_dir;
    wxEventLoop m_loop;
    wxEventLoopActivator m_active{&m_loop};
    AppSettings m_settings;
    CMainFrame* m_frame = nullptr;
};

TEST_F(DesktopImport, NewFolderIsMadeOpenedAndEditedFromTheChooser) {
    m_frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    EXPECT_TRUE(m_frame->GetMenuBar()->IsEnabled(id::kFileNew));
    EXPECT_FALSE(m_frame->GetMenuBar()->IsEnabled(id::kImportRecordings));
    // A folder without a title is refused and the dialog stays; then it is made.
    WhenShown(id::kFolderDialog, [](wxDialog* d) {
        dynamic_cast<wxRadioBox*>(wxWindow::FindWindowById(id::kFolderKind, d))->SetSelection(2);
        SetText(d, id::kFolderTitle, "");
        SetText(d, id::kFolderScale, "1");
    });
    m_frame->Document().OnNewFolder();
    EXPECT_FALSE(m_frame->Document().State().FolderOpen());
    EXPECT_EQ(m_messages.shown, (std::vector<std::string>{"Give the folder a title."}));
    WhenShown(id::kFolderDialog, [](wxDialog* d) {
        dynamic_cast<wxRadioBox*>(wxWindow::FindWindowById(id::kFolderKind, d))->SetSelection(2);
        SetText(d, id::kFolderTitle, "Building site");
        SetText(d, id::kFolderPlace, "North gate");
        SetText(d, id::kFolderDate, "20260412");
    });
    m_frame->Document().OnNewFolder();
    const DocumentState& s = m_frame->Document().State();
    ASSERT_TRUE(s.FolderOpen());
    EXPECT_EQ(s.kind, 'N');
    CFolderTable folders;
    FolderRecord f;
    ASSERT_TRUE(folders.Open() && folders.Read(s.folderId, &f));
    EXPECT_EQ(f.title, "Building site");
    EXPECT_EQ(f.place, "North gate");
    EXPECT_EQ(f.date, "20260412");
    EXPECT_EQ(f.type, "N");

    // The chooser's Edit changes the fields but not the kind.
    WhenShown(
        id::kSelectFolderDialog,
        [](wxDialog* chooser) {
            auto* list =
                dynamic_cast<wxListCtrl*>(wxWindow::FindWindowById(id::kFolderList, chooser));
            list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
            WhenShown(id::kFolderDialog, [](wxDialog* d) {
                EXPECT_FALSE(wxWindow::FindWindowById(id::kFolderKind, d)->IsEnabled());
                SetText(d, id::kFolderTitle, "Site, week 2");
            });
            Press(chooser, id::kEditFolder);
        },
        wxID_CANCEL);
    m_frame->Document().OnOpen();
    FolderRecord edited;
    ASSERT_TRUE(folders.Read(s.folderId, &edited));
    EXPECT_EQ(edited.title, "Site, week 2");
    EXPECT_EQ(edited.type, "N");
}

TEST_F(DesktopImport, ThreeFilesOfEachKindComeInThroughTheDialog) {
    const std::vector<std::string> responses = Files("seat", 3, 0.4, true);
    const std::vector<std::string> music = Files("violin", 3, 1.0, false);
    struct Case {
        const char* kind;
        std::vector<std::string> files;
        std::function<void(wxDialog*)> fill;
    } cases[] = {
        {"I", responses, [](wxDialog*) {}},
        {"A", music, [](wxDialog*) {}},
        {"N", music, [](wxDialog* d) { SetText(d, id::kImportCalLevel, "94"); }},
    };
    for (const Case& c : cases) {
        const std::int32_t folder = NewFolder(c.kind, std::string("kind ") + c.kind);
        // The files come in as dropped ones would; the dialog takes them as listed.
        WhenShown(id::kImportDialog, c.fill);
        m_frame->Document().OnImport(c.files);
        EXPECT_EQ(m_frame->View().GetItemCount(), 3) << c.kind;
        EXPECT_TRUE(m_messages.shown.empty()) << c.kind << ": " << m_messages.shown.front();
        const long stored = c.kind[0] == 'I'   ? test::CountInFolder(CImpulseTable(), folder)
                            : c.kind[0] == 'A' ? test::CountInFolder(CAcfTable(), folder)
                                               : test::CountInFolder(CNmsTable(), folder);
        EXPECT_EQ(stored, 3) << c.kind;
    }
    // A refused file is named with its reason; the others are imported.
    const std::int32_t folder = NewFolder("I", "mixed");
    std::vector<std::string> mixed = {responses[0], m_dir.File("missing.wav"), responses[1]};
    const ImportSummary s = m_frame->Document().ImportRecordings(mixed, ImportChoices{});
    EXPECT_EQ(s.Imported(), 2);
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_NE(m_messages.shown[0].find("missing.wav"), std::string::npos) << m_messages.shown[0];
    EXPECT_EQ(test::CountInFolder(CImpulseTable(), folder), 2);
}

TEST_F(DesktopImport, ADroppedFileLandsInTheOpenFolder) {
    const std::int32_t folder = NewFolder("I", "Hall");
    const std::vector<std::string> files = Files("dropped", 1, 0.3, true);
    wxArrayString names;
    names.Add(wxString::FromUTF8(files[0]));
    names.Add(wxString::FromUTF8(m_dir.File("readme.txt")));  // not audio: left out
    auto* target = dynamic_cast<wxFileDropTarget*>(m_frame->View().GetDropTarget());
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->OnDropFiles(10, 10, names));
    WhenShown(id::kImportDialog, [](wxDialog* d) {
        auto* list = dynamic_cast<wxListBox*>(wxWindow::FindWindowById(id::kImportFiles, d));
        EXPECT_EQ(list->GetCount(), 1u);
    });
    wxTheApp->ProcessPendingEvents();
    EXPECT_EQ(test::CountInFolder(CImpulseTable(), folder), 1);
    EXPECT_EQ(m_frame->View().GetItemCount(), 1);
}

TEST_F(DesktopImport, DeleteRemovesMeasurementsWithTheirResults) {
    const std::int32_t folder = NewFolder("I", "Hall");
    const ImportSummary s =
        m_frame->Document().ImportRecordings(Files("seat", 3, 0.4, true), ImportChoices{});
    ASSERT_EQ(s.Imported(), 3);
    ImpulseConditions c;
    m_frame->Document().RunImpulse(c, Target::All);
    {
        CAcParamTable results;
        ASSERT_TRUE(results.Open());
        ASSERT_TRUE(results.Exists(s.files[0].ids[0]));
    }
    CVeskView& view = m_frame->View();
    ASSERT_EQ(view.GetItemCount(), 3);
    // Ctrl+A's command selects every row; declining the question keeps them.
    wxCommandEvent all(wxEVT_MENU, id::kSelectAllMeasurements);
    m_frame->GetEventHandler()->ProcessEvent(all);
    EXPECT_EQ(view.GetSelectedItemCount(), 3);
    m_messages.answers = {false};
    m_frame->Document().OnDeleteMeasurements();
    EXPECT_EQ(view.GetItemCount(), 3);
    for (long i = 1; i < 3; ++i)
        view.SetItemState(i, 0, wxLIST_STATE_SELECTED);
    const std::int32_t doomed = view.Rows()[0].id;
    m_messages.answers = {true};
    wxCommandEvent del(wxEVT_MENU, id::kDeleteMeasurements);
    m_frame->GetEventHandler()->ProcessEvent(del);
    EXPECT_EQ(m_messages.asked.back(), "Delete the selected measurement with its results?");
    EXPECT_EQ(view.GetItemCount(), 2);
    EXPECT_EQ(test::CountInFolder(CImpulseTable(), folder), 2);
    {
        CAcParamTable after;
        ASSERT_TRUE(after.Open());
        EXPECT_FALSE(after.Exists(doomed));
    }  // closed, so that the check below may open it
    // The store's own check finds nothing left behind.
    const std::string command = std::string(VESK_CLI) + " --store '" + m_store.DataPath() +
                                "' check > '" + m_dir.File("check.txt") + "'";
    const int status = std::system((command + " 2>&1").c_str());
    const std::vector<unsigned char> bytes = test::ReadFileBytes(m_dir.File("check.txt"));
    const std::string report(bytes.begin(), bytes.end());
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find("store: ok"), std::string::npos) << report;

    // Title and comment of the remaining first row.
    view.SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    const std::int32_t edited = *view.SelectedIds().begin();
    WhenShown(id::kMeasurementDialog, [](wxDialog* d) {
        SetText(d, id::kMeasurementTitle, "Balcony");
        SetText(d, id::kMeasurementComment, "row 3");
    });
    m_frame->Document().OnEditMeasurement();
    CImpulseTable impulses;
    ImpulseRecord r;
    ASSERT_TRUE(impulses.Open() && impulses.Read(edited, &r));
    EXPECT_EQ(r.title, "Balcony");
    EXPECT_EQ(r.comment, "row 3");
}

TEST_F(DesktopImport, CancelOfALongImportKeepsTheStoreAsBeforeThatFile) {
    const std::int32_t folder = NewFolder("A", "Music");
    const std::vector<std::string> files = Files("long", 4, 6.0, false);
    // Cancel pressed as the progress shows, and confirmed.
    wxTheApp->CallAfter([] {
        if (wxWindow::FindWindowById(id::kProgressCancel))
            Press(wxWindow::FindWindowById(id::kProgressCancel)->GetParent(), id::kProgressCancel);
    });
    m_messages.answers = {true};
    const ImportSummary s = m_frame->Document().ImportRecordings(files, ImportChoices{});
    ASSERT_TRUE(s.Cancelled());
    EXPECT_LT(s.Imported(), 4);
    // Exactly the files before the cancelled one are in the store.
    EXPECT_EQ(test::CountInFolder(CAcfTable(), folder), s.Imported());
    std::string report;
    CAcfTable acfs;
    ASSERT_TRUE(acfs.Open());
    EXPECT_EQ(acfs.Verify(&report), db::kOk) << report;
}

}  // namespace
}  // namespace vesk
