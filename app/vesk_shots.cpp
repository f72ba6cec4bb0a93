// vesk-shots: screenshots of the desktop program for the README. Run in a working folder with a
// store (the demo's), under Xvfb: it opens the first folder of each kind, and saves PNGs of the
// main window, the folder chooser, the folder and import dialogs, the three conditions dialogs, the
// progress dialog, every page of the three result dialogs and the noise-source template editor.
#include <wx/notebook.h>
#include <wx/wx.h>

#include <cctype>
#include <cstdlib>

#include <filesystem>

#include "app/dialogs.h"
#include "app/folder_dialog.h"
#include "app/import_dialog.h"
#include "app/main_frame.h"
#include "app/measure_dialog.h"
#include "app/statistics_dialog.h"
#include "app/template_dialogs.h"
#include "resources/window_ids.h"
#include "store/tables.h"

namespace vesk {

namespace {

void Settle() {
    for (int k = 0; k < 20; ++k) {
        wxTheApp->Yield(true);
        wxMilliSleep(20);
    }
}

// The screen's pixels under the window, read by xwd from the X server and cut out by
// ImageMagick (the process's own view of the root window can lag behind the server's).
void Save(wxWindow* window, const std::string& path) {
    window->Raise();
    window->Refresh();
    window->Update();
    Settle();
    const wxRect r = window->GetScreenRect();
    const std::string command = "xwd -root -silent | convert xwd:- -crop " +
                                std::to_string(r.width) + "x" + std::to_string(r.height) + "+" +
                                std::to_string(r.x) + "+" + std::to_string(r.y) + " +repage png:'" +
                                path + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "vesk-shots: cannot save %s\n", path.c_str());
    else
        std::printf("%s\n", path.c_str());
}

}  // namespace

class CShotsApp : public wxApp {
  public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        m_out = argc > 1 ? argv[1].utf8_string() : std::string("screenshots");
        std::filesystem::create_directories(m_out);
        ConnectStore(std::filesystem::current_path().string());
        m_frame = new CMainFrame(m_settings, wxPoint(0, 0), wxSize(900, 420));
        m_frame->Show();
        // The windows paint only inside the main loop.
        CallAfter([this] { Shots(); });
        return true;
    }

  private:
    // Saves each page of a result dialog as <name>-<tab>.png, with list row `row` selected.
    void ShootPages(CResultDialog* d, const std::string& name, long row) {
        d->Move(10, 10);
        d->SelectRow(row);
        wxNotebook* pages = d->Pages();
        for (std::size_t k = 0; k < pages->GetPageCount(); ++k) {
            pages->SetSelection(k);
            std::string tab;
            for (char c : pages->GetPageText(k).Lower().utf8_string())
                if (std::isalnum(static_cast<unsigned char>(c)))
                    tab += c;
                else if (!tab.empty() && tab.back() != '-')
                    tab += '-';
            while (!tab.empty() && tab.back() == '-')
                tab.pop_back();
            Save(d, m_out + "/" + name + "-" + tab + ".png");
            if (pages->GetPageText(k) == "ACF") {
                if (auto* log = dynamic_cast<wxCheckBox*>(
                        pages->GetPage(k)->FindWindow(id::kAcfLogarithm))) {
                    log->SetValue(true);
                    wxCommandEvent e(wxEVT_CHECKBOX, 1083);
                    e.SetEventObject(log);
                    e.SetInt(1);
                    log->GetEventHandler()->ProcessEvent(e);
                    Save(d, m_out + "/" + name + "-acf-logarithm.png");
                }
            }
        }
        d->Destroy();
        Settle();
    }

    // A result dialog as laptops show it: at 1280 x 720, and at 1366 x 768 scaled by 1.25, that
    // is 1093 x 614 logical pixels. Saved as laptop-<W>x<H>-<name>.png.
    void ShootLaptop(char kind, std::int32_t folder, std::int32_t record, const wxString& tab,
                     const std::string& name) {
        for (const wxSize size : {wxSize(1280, 720), wxSize(1093, 614)}) {
            CResultDialog* d = CResultDialog::Open(kind, folder, record, nullptr);
            d->Move(0, 0);
            d->SetSize(size);
            d->SelectRow(3);
            for (std::size_t k = 0; k < d->Pages()->GetPageCount(); ++k)
                if (d->Pages()->GetPageText(k) == tab) d->Pages()->SetSelection(k);
            Save(d, m_out + "/laptop-" + std::to_string(size.x) + "x" + std::to_string(size.y) +
                        "-" + name + ".png");
            d->Destroy();
            Settle();
        }
    }

    void Shots() {
        CMainFrame* frame = m_frame;
        const std::string& out = m_out;
        Settle();
        frame->Document().OpenFolder(1, 'I', "Concert hall");
        frame->View().SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        Save(frame, out + "/main-window.png");
        frame->Hide();  // without a window manager a dialog may stay below its parent
        {
            CSelectFolderDlg chooser(frame);
            chooser.Move(40, 40);
            chooser.Show();
            Save(&chooser, out + "/select-folder.png");
        }
        {
            FolderRecord folder;
            folder.type = "I";
            folder.title = "Concert hall, second visit";
            folder.place = "Main hall";
            CFolderDlg d(frame, folder);
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/new-folder.png");
        }
        {
            CImportDlg d(frame, 'I',
                         {"/home/user/hall/seat A1.wav", "/home/user/hall/seat B7.wav",
                          "/home/user/hall/balcony.wav", "/home/user/hrtf/room.sofa"});
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/import-recordings.png");
        }
        {
            CImpulseConditionsDlg d(frame, m_settings.impulse, 1);
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/conditions-impulse.png");
        }
        {
            CAcfConditionsDlg d(frame, m_settings.acf, 2, nullptr);
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/conditions-running-acf.png");
        }
        {
            IdentificationSettings id;
            CAcfConditionsDlg d(frame, m_settings.noise, 3, &id);
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/conditions-noise.png");
        }
        {
            CProgressDlg p(frame, "Calculating the acoustic parameters.");
            p.ShowPosition(40);
            p.ShowMessage("Stalls row 15 centre [1000Hz]");
            Save(&p, out + "/progress.png");
        }
        frame->Show();
        // Every page of the three result dialogs.
        ShootPages(CResultDialog::Open('I', 1, 3, &frame->View()), "acoustic-parameters", 3);
        ShootPages(CResultDialog::Open('A', 2, 2, nullptr), "acf-factor", 30);
        ShootPages(CResultDialog::Open('N', 3, 2, nullptr), "factor", 30);
        frame->Hide();
        ShootLaptop('I', 1, 3, "Reverberation", "acoustic-parameters");
        ShootLaptop('A', 2, 2, "Phi(0)", "acf-factor");
        frame->Show();
        frame->Document().OpenFolder(3, 'N', "Building site");
        Save(frame, out + "/main-window-noise.png");
        frame->Hide();
        {
            CTemplateEditorDlg editor(frame);
            if (!editor.Items().empty()) {
                auto* list = static_cast<wxListBox*>(editor.FindWindow(id::kTemplateList));
                list->SetSelection(0);
                wxCommandEvent select(wxEVT_LISTBOX, id::kTemplateList);
                select.SetEventObject(list);
                list->GetEventHandler()->ProcessEvent(select);
            }
            editor.Move(40, 40);
            editor.Show();
            Save(&editor, out + "/templates.png");
        }
        {
            MeasureDialog d(frame, DocumentState{1, 'I', "Concert hall"}, m_settings);
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/measure.png");
        }
        {
            CStatisticsDlg d(frame, 1, {});
            d.Move(40, 40);
            d.Show();
            Save(&d, out + "/folder-statistics.png");
        }
        frame->Destroy();
    }

    AppSettings m_settings;
    CMainFrame* m_frame = nullptr;
    std::string m_out;
};

}  // namespace vesk

wxIMPLEMENT_APP(vesk::CShotsApp);
