// The "Noise Source Template" editor and its Export and Import dialogs in real windows (run
// under Xvfb). The file choosers and the modal runs of Export and Import are replaced through
// the editor's seams; everything else goes through the controls' own events.
#include <gtest/gtest.h>
#include <wx/wx.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/main_frame.h"
#include "app/template_dialogs.h"
#include "resources/window_ids.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/app/gui_support.h"
#include "tests/noise/learnt_template.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using test::Learnt;

NoiseTemplate Stored(std::int32_t id) {
    NoiseTemplate t;
    EXPECT_EQ(ReadNoiseTemplate(id, &t), 1) << id;
    return t;
}

std::size_t TemplateCount() {
    std::vector<NoiseTemplate> all;
    EXPECT_TRUE(LoadTemplates(&all));
    return all.size();
}

void Click(wxWindow& dialog, int id) {
    test::Press(&dialog, id);
}

wxListBox* List(wxWindow& dialog) {
    return static_cast<wxListBox*>(dialog.FindWindow(id::kTemplateList));
}

wxTextCtrl* Edit(wxWindow& dialog, int id) {
    return static_cast<wxTextCtrl*>(dialog.FindWindow(id));
}

wxCheckBox* Check(wxWindow& dialog, int id) {
    return static_cast<wxCheckBox*>(dialog.FindWindow(id));
}

// A click on a row, as the list reports it.
void Select(CTemplateEditorDlg& editor, const wxString& name) {
    wxListBox* list = List(editor);
    const int row = list->FindString(name, true);
    ASSERT_NE(row, wxNOT_FOUND) << name;
    list->SetSelection(row);
    wxCommandEvent e(wxEVT_LISTBOX, id::kTemplateList);
    e.SetEventObject(list);
    e.SetInt(row);
    list->GetEventHandler()->ProcessEvent(e);
}

void Toggle(wxWindow& dialog, int id) {
    wxCheckBox* box = Check(dialog, id);
    box->SetValue(!box->GetValue());
    wxCommandEvent e(wxEVT_CHECKBOX, id);
    e.SetEventObject(box);
    e.SetInt(box->GetValue());
    box->GetEventHandler()->ProcessEvent(e);
}

std::vector<wxString> Rows(wxListBox* list) {
    std::vector<wxString> rows;
    for (unsigned i = 0; i < list->GetCount(); ++i)
        rows.push_back(list->GetString(i));
    return rows;
}

std::vector<bool> Selection(wxListBox* list) {
    std::vector<bool> rows;
    for (unsigned i = 0; i < list->GetCount(); ++i)
        rows.push_back(list->IsSelected(static_cast<int>(i)));
    return rows;
}

TEST(TemplateEditor, NewUpdateDeleteAndSet) {
    test::TempStore store;
    test::ScriptedMessages messages;
    std::int32_t id = 0;
    NoiseTemplateData bus;
    bus.standard = {70, 0.03f, 0.004f, 0.6f};
    bus.upper[kTauE] = 0.035f;
    bus.useUpper[kTauE] = 1;
    ASSERT_EQ(SaveNewTemplate("bus", bus, &id), TemplateAction::Done);  // ID 0
    ASSERT_EQ(MergeLearntTemplate("Car", Learnt(5, 64, 0.02f, 0.005f, 0.7f), &id),
              TemplateAction::Done);  // ID 1, learnt from five measurements
    ASSERT_TRUE(WriteFactorWeights(FactorWeights{{0.25f, 0.5f, 0.75f, 1}}));

    CTemplateEditorDlg editor(nullptr);
    // Opening: the names sorted, nothing selected, empty fields, disabled limits, the weights.
    EXPECT_EQ(Rows(List(editor)), (std::vector<wxString>{"bus", "Car"}));
    EXPECT_EQ(editor.SelectedId(), -1);
    EXPECT_EQ(Edit(editor, id::kTemplateName)->GetValue(), "");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi0])->GetValue(), "");
    for (int f = 0; f < 4; ++f) {
        EXPECT_FALSE(Edit(editor, id::kTemplateUpper[f])->IsEnabled()) << f;
        EXPECT_FALSE(Edit(editor, id::kTemplateLower[f])->IsEnabled()) << f;
    }
    EXPECT_EQ(Edit(editor, 1026)->GetValue(), "0.25");  // Phi(0): w0
    EXPECT_EQ(Edit(editor, 1029)->GetValue(), "0.5");   // Tau-e: w1
    EXPECT_EQ(Edit(editor, 1035)->GetValue(), "0.75");  // Tau-1: w2
    EXPECT_EQ(Edit(editor, 1032)->GetValue(), "1");     // Phi1: w3

    // Without a selection "&Update" does nothing.
    Edit(editor, id::kTemplateName)->SetValue("Nothing");
    Click(editor, id::kTemplateUpdate);
    EXPECT_EQ(TemplateCount(), 2u);
    EXPECT_TRUE(messages.shown.empty());

    // Selecting shows the template in editor units, with its limits enabled as flagged.
    Select(editor, "bus");
    EXPECT_EQ(Edit(editor, id::kTemplateName)->GetValue(), "bus");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi0])->GetValue(), "70");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kTauE])->GetValue(), "30");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kTau1])->GetValue(), "4");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi1])->GetValue(), "0.6");
    EXPECT_EQ(Edit(editor, id::kTemplateUpper[kTauE])->GetValue(), "35");
    EXPECT_TRUE(Check(editor, id::kTemplateUseUpper[kTauE])->GetValue());
    EXPECT_TRUE(Edit(editor, id::kTemplateUpper[kTauE])->IsEnabled());
    EXPECT_FALSE(Edit(editor, id::kTemplateLower[kTauE])->IsEnabled());
    Toggle(editor, id::kTemplateUseLower[kPhi1]);
    EXPECT_TRUE(Edit(editor, id::kTemplateLower[kPhi1])->IsEnabled());
    Toggle(editor, id::kTemplateUseLower[kPhi1]);
    EXPECT_FALSE(Edit(editor, id::kTemplateLower[kPhi1])->IsEnabled());

    // "&Update" of the learnt template: new name and values, statistics cleared, still
    // selected, and the fields keep what was typed.
    Select(editor, "Car");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi0])->GetValue(), "64");
    Edit(editor, id::kTemplateName)->SetValue("Cars");
    Edit(editor, id::kTemplateStandard[kTauE])->SetValue("20.04");
    Click(editor, id::kTemplateUpdate);
    NoiseTemplate car = Stored(1);
    EXPECT_EQ(car.name, "Cars");
    EXPECT_EQ(car.data.standard[kTauE], static_cast<float>(20.04 * 0.001));
    EXPECT_EQ(car.data.count, 0);
    EXPECT_EQ(car.data.sumSquares, (std::array<float, 4>{}));
    EXPECT_EQ(editor.SelectedId(), 1);
    EXPECT_EQ(List(editor)->GetStringSelection(), "Cars");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kTauE])->GetValue(), "20.04");

    // Refusals: no name, a value that is not a number. Nothing is saved.
    Edit(editor, id::kTemplateName)->SetValue("");
    Click(editor, id::kTemplateUpdate);
    Click(editor, id::kTemplateNew);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0], "Please input a name for this noise source.");
    Edit(editor, id::kTemplateName)->SetValue("Tram");
    Edit(editor, id::kTemplateStandard[kPhi1])->SetValue("0,5");
    Click(editor, id::kTemplateNew);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[2], "Please input a number for Phi1 Standard Value.");
    EXPECT_EQ(TemplateCount(), 2u);
    EXPECT_EQ(Stored(1).name, "Cars");

    // "&New": the next free ID, selected in the list.
    Edit(editor, id::kTemplateStandard[kPhi1])->SetValue("0.5");
    Click(editor, id::kTemplateNew);
    EXPECT_EQ(editor.SelectedId(), 2);
    EXPECT_EQ(Rows(List(editor)), (std::vector<wxString>{"bus", "Cars", "Tram"}));
    EXPECT_EQ(Stored(2).data.standard[kPhi1], 0.5f);

    // "&Delete": no question, nothing selected after, the fields kept; "&New" brings the
    // template back under a new ID.
    Click(editor, id::kTemplateDelete);
    EXPECT_EQ(TemplateCount(), 2u);
    EXPECT_EQ(editor.SelectedId(), -1);
    EXPECT_EQ(Edit(editor, id::kTemplateName)->GetValue(), "Tram");
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi1])->GetValue(), "0.5");
    Click(editor, id::kTemplateDelete);  // nothing selected: nothing happens
    EXPECT_EQ(TemplateCount(), 2u);
    Click(editor, id::kTemplateNew);
    EXPECT_EQ(editor.SelectedId(), 2);
    EXPECT_TRUE(messages.asked.empty());

    // "&Set": the four edits into the file's order; a bad one writes nothing.
    Edit(editor, 1026)->SetValue("0.1");
    Edit(editor, 1029)->SetValue("0.2");
    Edit(editor, 1035)->SetValue("0.3");
    Edit(editor, 1032)->SetValue("0.4");
    Click(editor, id::kTemplateSetWeights);
    EXPECT_EQ(ReadFactorWeights().w, (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0.4f}));
    Edit(editor, 1032)->SetValue("heavy");
    Click(editor, id::kTemplateSetWeights);
    EXPECT_EQ(messages.shown.back(), "Please input a number for the Phi1 weighting.");
    EXPECT_EQ(ReadFactorWeights().w[3], 0.4f);
}

TEST(TemplateEditor, ExportSelectedOrAll) {
    test::TempStore store;
    test::ScriptedMessages messages;
    std::int32_t id = 0;
    for (const char* name : {"Train", "Bell", "Ship"})
        ASSERT_EQ(SaveNewTemplate(name, Learnt(0, 60, 0.01f, 0.002f, 0.4f), &id),
                  TemplateAction::Done);
    test::TempDir dir;
    CTemplateEditorDlg editor(nullptr);
    wxString chosen;
    editor.m_chooseExportFile = [&](wxWindow*) { return chosen; };
    std::vector<bool> shownSelection;
    int runs = 0;
    std::function<void(CTemplateExportDlg&)> act;
    editor.m_runDialog = [&](wxDialog& d) {
        auto& export_ = dynamic_cast<CTemplateExportDlg&>(d);
        ++runs;
        shownSelection = Selection(List(export_));
        act(export_);
        return export_.GetReturnCode();
    };

    // With the editor's selection only that one is chosen; Remove All, then an empty file.
    Select(editor, "Ship");
    chosen = wxString::FromUTF8(dir.File("none.nst"));
    act = [](CTemplateExportDlg& d) {
        Click(d, id::kRemoveAll);
        Click(d, wxID_OK);
        EXPECT_EQ(d.GetReturnCode(), wxID_OK);
    };
    Click(editor, id::kTemplateExport);
    EXPECT_EQ(shownSelection, (std::vector<bool>{false, true, false}));  // Bell, Ship, Train
    ASSERT_TRUE(std::filesystem::exists(dir.File("none.nst")));
    EXPECT_EQ(std::filesystem::file_size(dir.File("none.nst")), 0u);

    // The chooser cancelled, then a file that cannot be created: the dialog stays open.
    act = [&](CTemplateExportDlg& d) {
        chosen = "";
        Click(d, wxID_OK);
        EXPECT_NE(d.GetReturnCode(), wxID_OK);
        chosen = wxString::FromUTF8(dir.File("no/such/folder/x.nst"));
        Click(d, wxID_OK);
        EXPECT_NE(d.GetReturnCode(), wxID_OK);
        EXPECT_EQ(messages.shown.back(), "Can't open export file.");
        // Select All after Remove All, and the whole library in ID order.
        Click(d, id::kRemoveAll);
        Click(d, id::kSelectAll);
        chosen = wxString::FromUTF8(dir.File("all"));
        Click(d, wxID_OK);
        EXPECT_EQ(d.GetReturnCode(), wxID_OK);
    };
    Click(editor, id::kTemplateExport);
    std::vector<NstEntry> entries;
    ASSERT_TRUE(ReadNstFile(dir.File("all"), &entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "Train");
    EXPECT_EQ(entries[2].name, "Ship");
    EXPECT_EQ(entries[1].data.standard[kTauE], 0.01f);

    // Nothing selected in the editor: every template starts chosen.
    Click(editor, id::kTemplateDelete);  // Ship, the selection
    act = [](CTemplateExportDlg& d) { Click(d, wxID_CANCEL); };
    Click(editor, id::kTemplateExport);
    EXPECT_EQ(shownSelection, (std::vector<bool>{true, true}));
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(TemplateEditor, ImportMergesOrReplacesAndShowsTheResult) {
    test::TempStore store;
    test::ScriptedMessages messages;
    std::int32_t id = 0;
    ASSERT_EQ(SaveNewTemplate("Car", Learnt(0, 50, 0.01f, 0.002f, 0.4f), &id),
              TemplateAction::Done);
    test::TempDir dir;
    const std::string file = dir.File("in.nst");
    NoiseTemplateData car3 = Learnt(3, 60, 0.02f, 0.005f, 0.7f);
    car3.upper[kPhi0] = 66;
    car3.useUpper[kPhi0] = 1;
    ASSERT_TRUE(WriteNstFile(file, {{"Car", car3},
                                    {"Car", Learnt(1, 64, 0.03f, 0.004f, 0.6f)},
                                    {"Ship", Learnt(2, 50, 0.1f, 0.01f, 0.3f)}}));
    ASSERT_TRUE(WriteFactorWeights(FactorWeights{{0.5f, 9, 9, 9}}));

    CTemplateEditorDlg editor(nullptr);
    wxString chosen = wxString::FromUTF8(file);
    editor.m_chooseImportFile = [&](wxWindow*) { return chosen; };
    int runs = 0;
    std::function<void(CTemplateImportDlg&)> act;
    editor.m_runDialog = [&](wxDialog& d) {
        auto& import = dynamic_cast<CTemplateImportDlg&>(d);
        ++runs;
        act(import);
        return import.GetReturnCode();
    };

    // Every entry chosen, "Merge" by default: both Car entries go into Car one after the
    // other, Ship is added; the editor shows the merged Car and the recomputed weights.
    Select(editor, "Car");
    act = [](CTemplateImportDlg& d) {
        EXPECT_EQ(Rows(List(d)), (std::vector<wxString>{"Car", "Car", "Ship"}));  // file order
        EXPECT_EQ(Selection(List(d)), (std::vector<bool>{true, true, true}));
        EXPECT_TRUE(static_cast<wxRadioButton*>(d.FindWindow(id::kImportMerge))->GetValue());
        Click(d, wxID_OK);
    };
    Click(editor, id::kTemplateImport);
    NoiseTemplate car = Stored(0);
    EXPECT_EQ(car.data.count, 4);
    EXPECT_FLOAT_EQ(car.data.standard[kPhi0], 61.0f);  // (3 x 60 + 64) / 4
    EXPECT_EQ(car.data.useUpper[kPhi0], 0);            // the last entry's limits
    EXPECT_EQ(Rows(List(editor)), (std::vector<wxString>{"Car", "Ship"}));
    EXPECT_EQ(editor.SelectedId(), 0);
    EXPECT_EQ(Edit(editor, id::kTemplateStandard[kPhi0])->GetValue(), "61");
    const std::array<std::string, 4> weights = WeightTexts(ReadFactorWeights());
    EXPECT_EQ(weights[0], "0.5");  // w0 kept, the others recomputed
    EXPECT_NE(weights[1], "9");
    EXPECT_EQ(Edit(editor, 1029)->GetValue(), wxString(weights[1]));
    EXPECT_EQ(Edit(editor, 1035)->GetValue(), wxString(weights[2]));

    // "Replace" with the first entry only: Car becomes that entry, its ID stays.
    act = [](CTemplateImportDlg& d) {
        Click(d, id::kRemoveAll);
        List(d)->SetSelection(0);
        static_cast<wxRadioButton*>(d.FindWindow(id::kImportReplace))->SetValue(true);
        Click(d, wxID_OK);
    };
    Click(editor, id::kTemplateImport);
    car = Stored(0);
    EXPECT_EQ(car.data.count, 3);
    EXPECT_EQ(car.data.useUpper[kPhi0], 1);
    EXPECT_EQ(Edit(editor, id::kTemplateUpper[kPhi0])->GetValue(), "66");
    EXPECT_TRUE(Edit(editor, id::kTemplateUpper[kPhi0])->IsEnabled());

    // Nothing chosen: no template changes, yet the weights are recomputed.
    ASSERT_TRUE(WriteFactorWeights(FactorWeights{{0.5f, 9, 9, 9}}));
    act = [](CTemplateImportDlg& d) {
        Click(d, id::kRemoveAll);
        Click(d, wxID_OK);
    };
    Click(editor, id::kTemplateImport);
    EXPECT_EQ(Stored(0).data.count, 3);
    EXPECT_EQ(TemplateCount(), 2u);
    EXPECT_NE(ReadFactorWeights().w[1], 9.0f);
    EXPECT_EQ(runs, 3);

    // Cancel in the chooser shows nothing; a file that cannot be opened only the message.
    chosen = "";
    Click(editor, id::kTemplateImport);
    chosen = wxString::FromUTF8(dir.File("missing.nst"));
    Click(editor, id::kTemplateImport);
    EXPECT_EQ(runs, 3);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Can't open import file.");

    // The file gone before "OK": the message, and the dialog stays open.
    chosen = wxString::FromUTF8(file);
    act = [&](CTemplateImportDlg& d) {
        std::filesystem::remove(file);
        Click(d, wxID_OK);
        EXPECT_NE(d.GetReturnCode(), wxID_OK);
        EXPECT_FALSE(d.Imported());
    };
    Click(editor, id::kTemplateImport);
    EXPECT_EQ(runs, 4);
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1], "Can't open import file.");
}

// The frame's command: enabled for a noise folder only, and it opens the editor modally.
TEST(TemplateEditor, OpenedFromTheFrameForNoiseFolders) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I"), 1);
        ASSERT_EQ(test::AppendFolder(folders, 2, "N"), 1);
    }
    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    auto enabled = [frame] {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return frame->GetMenuBar()->IsEnabled(id::kNoiseTemplates);
    };
    EXPECT_FALSE(enabled());
    frame->Document().OpenFolder(2, 'N', "Street");
    EXPECT_TRUE(enabled());

    bool opened = false;
    wxTheApp->CallAfter([&opened] {
        auto* editor =
            dynamic_cast<CTemplateEditorDlg*>(wxWindow::FindWindowById(id::kTemplateEditorDialog));
        opened = editor && editor->IsModal();
        if (editor) editor->EndModal(wxID_CANCEL);
    });
    wxCommandEvent command(wxEVT_MENU, id::kNoiseTemplates);
    frame->GetEventHandler()->ProcessEvent(command);
    EXPECT_TRUE(opened);

    frame->Document().OpenFolder(1, 'I', "Hall");
    EXPECT_FALSE(enabled());
    frame->Document().OnNoiseTemplates();  // not for this kind: returns at once
    EXPECT_EQ(wxWindow::FindWindowById(id::kTemplateEditorDialog), nullptr);
    frame->Destroy();
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
