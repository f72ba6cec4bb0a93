// File > "Measure..." in real windows (run under Xvfb) with the simulated device.
#include <gtest/gtest.h>
#include <wx/filepicker.h>
#include <wx/wx.h>

#include <cmath>

#include "app/main_frame.h"
#include "app/measure_dialog.h"
#include "cli/audio.h"
#include "resources/window_ids.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

MeasureDialog* OpenDialog() {
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* d = dynamic_cast<MeasureDialog*>(w)) return d;
    return nullptr;
}

void Press(wxWindow* dialog, const wxString& label) {
    auto* button = dynamic_cast<wxButton*>(dialog->FindWindowByLabel(label));
    ASSERT_NE(button, nullptr) << label;
    wxCommandEvent e(wxEVT_BUTTON, button->GetId());
    e.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(e);
}

template <class Control>
Control* Find(wxWindow* parent) {
    for (wxWindow* child : parent->GetChildren())
        if (auto* c = dynamic_cast<Control*>(child)) return c;
    return nullptr;
}

TEST(MeasureDialog, MeasuresIntoTheOpenFolderAndCancels) {
    test::TempStore store;
    test::TempDir dir;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        ASSERT_EQ(test::AppendFolder(folders, 1, "I"), 1);
    }
    std::vector<float> response(2 * 4000, 0.0f);
    for (std::size_t i = 0; i < 4000; ++i)
        for (std::size_t c = 0; c < 2; ++c)
            response[2 * i + c] =
                i == 50 + c
                    ? 0.5f
                    : static_cast<float>(0.02 * std::sin(0.7 * static_cast<double>(i * (c + 1))) *
                                         std::exp(-static_cast<double>(i) / 400.0));
    std::string error;
    const std::string path = dir.File("room.wav");
    ASSERT_TRUE(cli::WriteFloatWavFile(path, 2, 16000, response, &error)) << error;

    AppSettings settings;
    auto* frame = new CMainFrame(settings, wxDefaultPosition, wxSize(600, 300));
    frame->Show();
    auto enabled = [frame] {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return frame->GetMenuBar()->IsEnabled(id::kFileMeasure);
    };
    EXPECT_FALSE(enabled());
    frame->Document().OpenFolder(1, 'I', "Hall");
    EXPECT_TRUE(enabled());

    // Cancel while the sound plays: nothing is stored and the dialog stays for another try.
    bool cancelled = false;
    wxTheApp->CallAfter([&] {
        MeasureDialog* d = OpenDialog();
        ASSERT_NE(d, nullptr);
        Find<wxFilePickerCtrl>(d)->SetPath(path);
        wxTheApp->CallAfter([d] { Press(d, "Cancel"); });  // runs inside the measurement
        Press(d, "&Measure");
        cancelled = d->IsModal();
        Press(d, "Cancel");
    });
    wxCommandEvent command(wxEVT_MENU, id::kFileMeasure);
    frame->GetEventHandler()->ProcessEvent(command);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(frame->View().Rows().empty());

    wxTheApp->CallAfter([&] {
        MeasureDialog* d = OpenDialog();
        ASSERT_NE(d, nullptr);
        Find<wxFilePickerCtrl>(d)->SetPath(path);
        Press(d, "&Measure");
    });
    frame->GetEventHandler()->ProcessEvent(command);
    ASSERT_EQ(frame->View().Rows().size(), 1u);
    ImpulseRecord stored;
    CImpulseTable impulses;
    ASSERT_TRUE(impulses.Open());
    ASSERT_TRUE(impulses.Read(1, &stored));
    EXPECT_EQ(stored.title, "Seat 1");
    EXPECT_EQ(stored.sampling, 16000);
    EXPECT_EQ(stored.mesTime, 16);
    EXPECT_EQ(stored.channel, 2);
    frame->Destroy();
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace vesk
