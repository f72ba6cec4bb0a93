// The desktop program's frame, document and folder view.
#pragma once

#include <wx/listctrl.h>
#include <wx/wx.h>

#include <set>
#include <string>
#include <vector>

#include "acf/acf_calculation.h"
#include "app/dialogs.h"
#include "display/result_dialogs.h"
#include "impulse/impulse_calculation.h"
#include "noise/noise_analysis.h"
#include "shell/folder_lists.h"
#include "shell/import.h"
#include "shell/settings.h"

namespace vesk {

class CVeskView;

// The open folder and the commands on the whole folder.
class CVeskDoc {
  public:
    CVeskDoc(AppSettings& settings, wxFrame* frame) : m_settings(settings), m_frame(frame) {}
    const DocumentState& State() const { return m_state; }
    void SetView(CVeskView* view) { m_view = view; }
    // Opens a folder as the Open command does after the chooser's OK.
    void OpenFolder(std::int32_t folderId, char kind, const std::string& title);
    void UpdateAllViews();

    void OnOpen();
    // The Calculation command: the conditions dialog of the folder's kind, then the run.
    void OnCalculation();
    // The runs after "&Start": conditions into the settings block, progress dialog, views
    // refreshed. They return the refusal of conditions that cannot be used (empty when run).
    std::string RunImpulse(const ImpulseConditions& conditions, Target target);
    std::string RunAcf(const RunningAcfConditions& conditions, Target target);
    std::string RunNoise(const RunningAcfConditions& conditions,
                         const IdentificationSettings& identification, Target target);
    void OnOutputFile();
    // Whether a calculation is running (its progress pumps the events that reach the frame).
    bool Running() const { return m_run != nullptr; }
    // The folder of the running calculation, or -1.
    std::int32_t RunningFolder() const { return m_run ? m_runningFolder : -1; }
    // The frame is closing during a run: the run stops without asking again, and the frame is
    // closed once it has ended (forced: without offering to cancel that close).
    void StopRunAndClose(bool forced);
    // The template editor, modal; only for a noise folder.
    void OnNoiseTemplates();
    // The output file of the open folder at `path` (the command after its file dialog).
    void WriteOutput(const wxString& path);

    // "New Folder...": the folder dialog, then the new folder opens.
    void OnNewFolder();
    // "Import Recordings..." with the files listed at the start (dropped ones).
    void OnImport(const std::vector<std::string>& files = {});
    // The import into the open folder under a progress window; views refreshed and refusals
    // shown afterwards.
    ImportSummary ImportRecordings(const std::vector<std::string>& files, ImportChoices choices);
    // Asks, then deletes the view's selected measurements with their results.
    void OnDeleteMeasurements();
    // The title and comment of the first selected measurement.
    void OnEditMeasurement();

  private:
    double FirstSamplingRate() const;
    // Runs `run` under a progress window; afterwards closes the frame if that was asked during
    // the run, else (or when the close was cancelled) refreshes the views. False when the frame
    // is closing.
    template <class Run>
    bool RunWithProgress(Run&& run, const wxString& caption = wxString());
    AppSettings& m_settings;
    ProgressWindow* m_run = nullptr;
    std::int32_t m_runningFolder = -1;
    enum class CloseAfterRun { No, Asked, Forced } m_closeAfterRun = CloseAfterRun::No;
    wxFrame* m_frame;
    CVeskView* m_view = nullptr;
    DocumentState m_state;
};

// The records of the open folder, one row each.
class CVeskView : public wxListCtrl, public RecordBrowser {
  public:
    CVeskView(wxWindow* parent, CVeskDoc& document);
    void OnUpdate();  // rebuilds from the store for the document's folder
    void Clear();     // no folder open
    bool IsSelected(std::int32_t recordId) const;
    std::set<std::int32_t> SelectedIds() const;
    std::int32_t Next(std::int32_t recordId) const { return vesk::NextRecord(m_rows, recordId); }
    std::int32_t Previous(std::int32_t recordId) const {
        return vesk::PreviousRecord(m_rows, recordId);
    }
    const std::vector<ListRow>& Rows() const { return m_rows; }
    // The result dialogs browse in the view's display order.
    std::int32_t NextRecord(std::int32_t id) const override { return Next(id); }
    std::int32_t PreviousRecord(std::int32_t id) const override { return Previous(id); }
    void ActivateMainFrame() override;
    void OnShowParameters();

  private:
    void ShowRows();
    void OnColumn(wxListEvent& event);
    void OnActivated(wxListEvent& event);
    CVeskDoc& m_document;
    std::vector<ListRow> m_rows;
    int m_sortColumn = -1, m_direction = 1;
    wxDECLARE_EVENT_TABLE();
};

class CMainFrame : public wxFrame {
  public:
    CMainFrame(AppSettings& settings, const wxPoint& position, const wxSize& size);
    CVeskDoc& Document() { return m_document; }
    CVeskView& View() { return *m_view; }

  private:
    void OnOpen(wxCommandEvent&) { m_document.OnOpen(); }
    void OnRefresh(wxCommandEvent&) { m_document.UpdateAllViews(); }
    void OnCalculation(wxCommandEvent&) { m_document.OnCalculation(); }
    void OnOutputFile(wxCommandEvent&) { m_document.OnOutputFile(); }
    void OnShowParameters(wxCommandEvent&) { m_view->OnShowParameters(); }
    void OnNoiseTemplates(wxCommandEvent&) { m_document.OnNoiseTemplates(); }
    void OnNewFolder(wxCommandEvent&) { m_document.OnNewFolder(); }
    void OnImport(wxCommandEvent&) { m_document.OnImport(); }
    void OnDeleteMeasurements(wxCommandEvent&) { m_document.OnDeleteMeasurements(); }
    void OnEditMeasurement(wxCommandEvent&) { m_document.OnEditMeasurement(); }
    void OnSelectAll(wxCommandEvent&);
    void OnUpdateMeasurementCommand(wxUpdateUIEvent& event);
    void OnMeasure(wxCommandEvent&);
    void OnAbout(wxCommandEvent&);
    void OnOnlineUpdate(wxCommandEvent&);
    void OnExit(wxCommandEvent&) { Close(); }
    void OnToggleToolbar(wxCommandEvent&);
    void OnToggleStatusBar(wxCommandEvent&);
    void OnUpdateDocumentCommand(wxUpdateUIEvent& event);
    void OnUpdateDisabled(wxUpdateUIEvent& event) { event.Enable(false); }
    void OnUpdateBars(wxUpdateUIEvent& event);
    void OnClose(wxCloseEvent& event);

    AppSettings& m_settings;
    CVeskDoc m_document;
    CVeskView* m_view;
    wxDECLARE_EVENT_TABLE();
};

// "QZUPDATE.DLL" beside the program: loaded and called with the product code of the language
// (1 Japanese, 2 English; 0 calls nothing). Failures are shown through the store's messages.
void OnlineUpdate(int languageCode);

}  // namespace vesk
