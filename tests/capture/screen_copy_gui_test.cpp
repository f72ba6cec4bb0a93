// The Screen Copy button on a real dialog (run under Xvfb), with the save dialog, the drag and
// the clock replaced.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <wx/wx.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "capture/screen_copy.h"
#include "resources/window_ids.h"
#include "tests/capture/gif_reader.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

void Pump(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
}

// A dialog with a red panel and the button, shown and painted.
struct ShownDialog {
    wxDialog* dialog;
    wxPanel* red;
    CScreenCopyButton* button;
    ShownDialog() {
        dialog = new wxDialog(nullptr, wxID_ANY, "Acoustic Parameters", wxPoint(40, 30));
        red = new wxPanel(dialog, wxID_ANY, wxDefaultPosition, wxSize(120, 80));
        red->SetBackgroundColour(*wxRED);
        button = new CScreenCopyButton(dialog);
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        sizer->Add(red, wxSizerFlags().Border(wxALL, 10));
        sizer->Add(button, wxSizerFlags().Border(wxALL, 10));
        dialog->SetSizerAndFit(sizer);
        dialog->Show();
        dialog->Raise();
        Pump(300);
    }
    // Closes the dialog as its Exit does: destroyed, then deleted when idle.
    void Close() {
        dialog->Destroy();
        wxTheApp->ProcessIdle();
        Pump(50);
    }
};

// Replaces the hooks for one test and puts the real ones back.
class HookScope {
  public:
    HookScope() : m_saved(CScreenCopyButton::Hooks()) {}
    ~HookScope() { CScreenCopyButton::Hooks() = m_saved; }

  private:
    ScreenCopyHooks m_saved;
};

// Points TMPDIR somewhere for one test.
class TmpDirScope {
  public:
    explicit TmpDirScope(const std::string& dir) {
        const char* old = std::getenv("TMPDIR");
        m_had = old != nullptr;
        if (old) m_old = old;
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TmpDirScope() {
        if (m_had)
            ::setenv("TMPDIR", m_old.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

  private:
    bool m_had = false;
    std::string m_old;
};

std::tm Time(int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 3;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

void RightPress(wxWindow* button) {
    wxMouseEvent press(wxEVT_RIGHT_DOWN);
    press.SetEventObject(button);
    press.SetId(button->GetId());
    button->GetEventHandler()->ProcessEvent(press);
}

void Click(wxWindow* button) {
    wxCommandEvent click(wxEVT_BUTTON, button->GetId());
    click.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(click);
}

TEST(ScreenCopy, CapturesTheWholeDialogAsItShows) {
    ShownDialog shown;
    EXPECT_EQ(shown.button->GetId(), id::kScreenCopy);
    EXPECT_EQ(shown.button->GetLabel(), "Screen &Copy");

    // Under Xvfb there is no window manager: the frame is the window itself.
    const wxRect rect = CScreenCopyButton::CaptureRect(shown.button);
    EXPECT_EQ(rect.GetSize(), shown.dialog->GetSize());
    const RgbImage image = CScreenCopyButton::Capture(shown.button);
    ASSERT_EQ(image.width, rect.width);
    ASSERT_EQ(image.height, rect.height);
    const auto rgb = [&](wxPoint p) {
        const std::uint8_t* px =
            image.pixels.data() + 3 * (static_cast<std::size_t>(p.y) * image.width + p.x);
        return (px[0] << 16) | (px[1] << 8) | px[2];
    };
    // The red panel shows exactly where it lies on screen, corner to corner.
    const wxPoint corner = shown.red->GetScreenPosition() - rect.GetPosition();
    const wxPoint far = corner + shown.red->GetSize() - wxSize(1, 1);
    EXPECT_EQ(rgb(corner), 0xff0000);
    EXPECT_EQ(rgb(far), 0xff0000);
    EXPECT_NE(rgb(corner - wxPoint(1, 1)), 0xff0000);
    EXPECT_NE(rgb(far + wxPoint(1, 1)), 0xff0000);
    shown.Close();
}

TEST(ScreenCopy, LeftClickSavesWhereTheUserSaysAndReportsAFailure) {
    HookScope hooks;
    test::TempDir dir;
    test::ScriptedMessages messages;
    ShownDialog shown;
    std::string answer = dir.File("hall.gif");
    wxWindow* owner = nullptr;
    CScreenCopyButton::Hooks().askSavePath = [&](wxWindow* w) {
        owner = w;
        return answer;
    };

    Click(shown.button);
    EXPECT_EQ(owner, shown.dialog);
    const test::DecodedGif gif = test::ReadGif(dir.File("hall.gif"));
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.width, shown.dialog->GetSize().x);
    EXPECT_EQ(gif.height, shown.dialog->GetSize().y);
    const wxPoint corner =
        shown.red->GetScreenPosition() - CScreenCopyButton::CaptureRect(shown.button).GetPosition();
    EXPECT_EQ(gif.Rgb(corner.x, corner.y), 0xff0000u);
    EXPECT_NE(gif.Rgb(corner.x - 1, corner.y - 1), 0xff0000u);
    EXPECT_TRUE(messages.shown.empty());

    answer.clear();  // cancelled
    fs::remove(dir.File("hall.gif"));
    Click(shown.button);
    EXPECT_FALSE(fs::exists(dir.File("hall.gif")));
    EXPECT_TRUE(messages.shown.empty());

    answer = dir.File("no/such/folder/hall.gif");
    Click(shown.button);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find(answer), std::string::npos) << messages.shown[0];
    shown.Close();
}

TEST(ScreenCopy, RightPressReplacesThePreviousTempFileAndClosingDeletesTheLast) {
    HookScope hooks;
    test::TempDir dir;
    TmpDirScope tmp(dir.Path());
    test::ScriptedMessages messages;
    ShownDialog shown;
    std::vector<std::tm> times = {Time(9, 5, 7), Time(9, 5, 9)};
    std::size_t next = 0;
    CScreenCopyButton::Hooks().localTime = [&] { return times.at(next++); };
    std::vector<std::string> dragged;
    CScreenCopyButton::Hooks().dragFile = [&](wxWindow* source, const std::string& path) {
        EXPECT_EQ(source, shown.button);
        EXPECT_TRUE(test::ReadGif(path).ok) << "the file is complete when the drag starts";
        dragged.push_back(path);
    };
    const std::string first = dir.File("240303090507.gif");
    const std::string second = dir.File("240303090509.gif");

    RightPress(shown.button);
    ASSERT_EQ(dragged, std::vector<std::string>{first});
    EXPECT_TRUE(fs::exists(first)) << "kept after the drop, for the program that took it";
    EXPECT_EQ(CScreenCopyButton::LastTempFile(), first);

    RightPress(shown.button);
    ASSERT_EQ(dragged, (std::vector<std::string>{first, second}));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(CScreenCopyButton::LastTempFile(), second);

    shown.Close();
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(CScreenCopyButton::LastTempFile(), "");
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ScreenCopy, RightPressThatCannotWriteShowsWhyAndDragsNothing) {
    HookScope hooks;
    test::TempDir dir;
    TmpDirScope tmp(dir.File("gone"));
    test::ScriptedMessages messages;
    ShownDialog shown;
    CScreenCopyButton::Hooks().localTime = [] { return Time(9, 5, 7); };
    bool dragged = false;
    CScreenCopyButton::Hooks().dragFile = [&](wxWindow*, const std::string&) { dragged = true; };

    RightPress(shown.button);
    EXPECT_FALSE(dragged);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find(dir.File("gone/240303090507.gif")), std::string::npos)
        << messages.shown[0];
    shown.Close();
}

}  // namespace
}  // namespace vesk
