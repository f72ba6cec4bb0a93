// vesk: the desktop program. Started in a working folder, it opens or creates DATA and Vesk.dat
// there, as the command line does, and writes the settings back at exit.
#include <signal.h>
#include <wx/timer.h>
#include <wx/wx.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>

#include "app/main_frame.h"
#include "resources/strings.h"
#include "shell/settings.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

volatile std::sig_atomic_t g_terminate = 0;

// Store messages and questions as message boxes, owned by the window the user is working in
// (a result dialog may lie in front of the frame, and a box behind it would look like a hang).
class DialogMessages : public MessageSink {
  public:
    void ShowMessage(const std::string& text) override {
        wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(LoadString(str::kAppName)),
                     wxOK | wxICON_EXCLAMATION, Owner());
    }
    bool AskOkCancel(const std::string& text) override {
        return wxMessageBox(wxString::FromUTF8(text), wxString::FromUTF8(LoadString(str::kAppName)),
                            wxOK | wxCANCEL | wxICON_QUESTION, Owner()) == wxOK;
    }

  private:
    static wxWindow* Owner() {
        if (wxWindow* active = wxGetActiveWindow()) return wxGetTopLevelParent(active);
        return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    }
};

}  // namespace

class CVeskApp : public wxApp {
  public:
    bool OnInit() override {
        // The settings path is fixed at start, as later changes of directory do not move it.
        const std::string cwd = std::filesystem::current_path().string();
        m_settingsPath = cwd + "/" + kSettingsFileName;
        m_settings = AppSettings::Load(m_settingsPath);
        SetMessages(&m_messages);
        SetAppName(wxString::FromUTF8(LoadString(str::kAppName)));
        if (!ConnectStore(cwd)) return false;
        const bool placed = m_settings.frameWidth != 0 && m_settings.frameHeight != 0;
        auto* frame = new CMainFrame(
            m_settings,
            placed ? wxPoint(m_settings.frameLeft, m_settings.frameTop) : wxDefaultPosition,
            placed ? wxSize(m_settings.frameWidth, m_settings.frameHeight) : wxSize(800, 500));
        frame->Show();
        frame->Update();
        // Ended by the session (SIGTERM), the program closes its frame as the user would, so
        // the placement and the conditions are saved. The handler only raises a flag; the
        // timer acts on it in the main loop.
        struct sigaction action {};
        action.sa_handler = [](int) { g_terminate = 1; };
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        m_terminateCheck.Bind(wxEVT_TIMER, [frame](wxTimerEvent&) {
            if (g_terminate) frame->Close(true);
        });
        m_terminateCheck.Start(200);
        return true;
    }
    int OnExit() override {
        m_terminateCheck.Stop();
        m_settings.Save(m_settingsPath);  // a settings file that cannot be written is let be
        SetMessages(nullptr);
        return wxApp::OnExit();
    }
    bool OnExceptionInMainLoop() override {
        try {
            throw;
        } catch (const std::exception& e) {
            wxMessageBox(e.what(), "Vesk", wxOK | wxICON_EXCLAMATION);
        } catch (...) {
            wxMessageBox("Unexpected failure.", "Vesk", wxOK | wxICON_EXCLAMATION);
        }
        std::_Exit(1);
    }

  private:
    std::string m_settingsPath;
    wxTimer m_terminateCheck;
    AppSettings m_settings;
    DialogMessages m_messages;
};

}  // namespace vesk

wxIMPLEMENT_APP(vesk::CVeskApp);
