// The dialogs of the application shell: folder chooser, progress, the three conditions dialogs
// and About. They copy values in and out of core types; the core does every computation.
#pragma once

#include <wx/listctrl.h>
#include <wx/spinctrl.h>
#include <wx/weakref.h>
#include <wx/wx.h>

#include <set>
#include <utility>
#include <vector>

#include "acf/acf_calculation.h"
#include "base/progress.h"
#include "impulse/impulse_calculation.h"
#include "noise/noise_analysis.h"
#include "shell/folder_lists.h"

namespace vesk {

// Ends a dialog with a result, whether it was shown modally or (in tests and screenshots) not.
void FinishDialog(wxDialog* dialog, int result);

// Nine 16 x 16 icons shared by both folder lists.
wxImageList* SharedImageList();
// Fills a report list with rows and widens any column whose texts would be cut at the
// template's width under the system font.
void FillList(wxListCtrl* list, const std::vector<ListRow>& rows);

// "Select Folder" (130).
class CSelectFolderDlg : public wxDialog {
  public:
    // `busyFolder`: the folder of a running calculation, which can be neither opened again nor
    // deleted (-1 for none).
    explicit CSelectFolderDlg(wxWindow* parent, std::int32_t busyFolder = -1);
    std::int32_t m_folderId = -1;
    char m_kind = 0;
    std::string m_title;

  private:
    void ListFolders();
    void ShowRows();
    long FirstSelected() const;
    void OnKind(wxCommandEvent& event);
    void OnColumn(wxListEvent& event);
    void OnActivated(wxListEvent& event);
    void OnOk(wxCommandEvent& event);
    void OnDelete(wxCommandEvent& event);
    void OnEdit(wxCommandEvent& event);  // the folder dialog on the selected folder
    void OnUpdateFolderCommand(wxUpdateUIEvent& event);
    bool SelectedIsBusy() const;

    std::int32_t m_busyFolder;
    wxListCtrl* m_list;
    wxRadioBox* m_kindBox;
    std::vector<ListRow> m_rows;
    int m_sortColumn = 0, m_direction = 1;
    wxDECLARE_EVENT_TABLE();
};

// "Progress" (144): modeless, shown at once.
class CProgressDlg : public wxDialog {
  public:
    CProgressDlg(wxWindow* parent, const wxString& caption);
    void ShowPosition(int percent);
    void ShowMessage(const std::string& text);
    // Whether "Cancel" was pressed since the last call.
    bool TakeCancelPress() { return std::exchange(m_cancelPressed, false); }

  private:
    void OnCancel(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    wxGauge* m_bar;
    wxStaticText* m_text;
    bool m_cancelPressed = false;
    wxDECLARE_EVENT_TABLE();
};

// The progress of one run, shown in a CProgressDlg in front of the window the user works in;
// the core's progress arithmetic drives it through the sink. The dialog may be destroyed with
// its parent (a result dialog closed during the run); the next update shows a new one.
class ProgressWindow : public ProgressSink {
  public:
    ProgressWindow(wxWindow* fallbackParent, const wxString& caption);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    // A stop confirmed elsewhere (the program is closing): the next poll ends the run without
    // asking, and no dialog is shown again.
    void Stop() { m_stopped = true; }
    CProgressDlg* Dialog() const { return m_dialog; }

    void ShowPosition(int percent) override;
    void ShowMessage(const std::string& text) override;
    bool PumpAndCheckCancel() override;
    bool ConfirmCancel() override;

  private:
    CProgressDlg* Shown();
    wxWindow* m_fallbackParent;
    wxString m_caption;
    wxWeakRef<CProgressDlg> m_dialog;
    int m_percent = 0;
    std::string m_text;
    bool m_stopped = false;
};

// The reference list of a conditions dialog: "Absolute value", "Maximum value", then the
// folder's records by title.
struct ReferenceChoice {
    std::vector<std::int32_t> data;
    wxArrayString texts;
};

// Impulse-response "Calculation Conditions" (135).
class CImpulseConditionsDlg : public wxDialog {
  public:
    CImpulseConditionsDlg(wxWindow* parent, const ImpulseConditions& conditions,
                          std::int32_t folderId);
    ImpulseConditions m_conditions;
    Target m_target = Target::NonCalculated;

  private:
    void FillBands();
    void UpdateEnabling();
    void OnBandSystem(wxCommandEvent& event);
    void OnChange(wxCommandEvent& event);
    void OnStart(wxCommandEvent& event);

    wxRadioBox* m_targetBox;
    wxRadioBox* m_bandSystem;
    wxChoice* m_bandFrom;
    wxChoice* m_bandTo;
    int m_shownSystem = 0;  // the band system the two lists show
    wxCheckBox* m_aWeighting;
    wxChoice* m_refData;
    wxTextCtrl *m_refLevel, *m_minimumDelay, *m_endOfRegression, *m_rateOfNoise, *m_width,
        *m_optimumSpl, *m_tauE;
    wxCheckBox* m_auto;
    ReferenceChoice m_references;
    wxDECLARE_EVENT_TABLE();
};

// Running-ACF (142) and noise (151) "Calculation Conditions": one class, two layouts.
class CAcfConditionsDlg : public wxDialog {
  public:
    // With `identification` the noise layout (no reference, no tau1 rule, identification).
    CAcfConditionsDlg(wxWindow* parent, const RunningAcfConditions& conditions,
                      std::int32_t folderId, const IdentificationSettings* identification);
    RunningAcfConditions m_conditions;
    IdentificationSettings m_identification;
    Target m_target = Target::NonCalculated;
    double m_fs = 48000;  // the rate the check of the conditions uses

  private:
    void UpdateEnabling();
    void OnChange(wxCommandEvent& event);
    void OnStart(wxCommandEvent& event);

    bool m_noise;
    wxRadioBox* m_targetBox;
    wxTextCtrl *m_integration, *m_step, *m_maxDelay, *m_refLevel = nullptr, *m_peakTime,
                                                     *m_endLevel, *m_endTime;
    wxChoice* m_weighting;
    wxChoice* m_refData = nullptr;
    wxCheckBox* m_origin;
    wxRadioBox* m_peakRule = nullptr;
    wxRadioBox* m_mode = nullptr;
    wxSpinCtrl *m_before = nullptr, *m_after = nullptr;
    ReferenceChoice m_references;
    wxDECLARE_EVENT_TABLE();
};

void ShowAboutBox(wxWindow* parent);

}  // namespace vesk
