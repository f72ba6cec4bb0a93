// The result dialogs: "Acoustic Parameters", "ACF Factor" and "Factor". Modeless top-level
// windows, any number open, browsing the records in the folder view's order.
#pragma once

#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/wx.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/acf_pages.h"
#include "display/graph_window.h"
#include "display/impulse_pages.h"
#include "display/result_data.h"
#include "display/result_lists.h"
#include "store/records.h"

namespace vesk {

// What a result dialog asks of the folder view it came from.
class RecordBrowser {
  public:
    virtual ~RecordBrowser() = default;
    virtual std::int32_t NextRecord(std::int32_t id) const = 0;
    virtual std::int32_t PreviousRecord(std::int32_t id) const = 0;
    virtual void ActivateMainFrame() = 0;
};

// The top-level window the user works in: the frame or result dialog activated last, else the
// active window, else `fallback`. Dialogs are parented to it so that they open in front of it;
// a modal dialog hidden behind a result dialog would block the program invisibly.
wxWindow* DialogParent(wxWindow* fallback);
// Follows the activation of `window` for DialogParent.
void TrackActivation(wxTopLevelWindow* window);

// The answer to "Save calculation output?".
enum class SaveAnswer { Save, Discard, Cancel };
// Puts the question with Yes, No and Cancel in front of `owner`; tests script it.
using SaveQuestion = std::function<SaveAnswer(wxWindow* owner, const std::string& text)>;
void SetSaveQuestion(SaveQuestion question);  // an empty one restores the message box

class CResultDialog : public wxDialog {
  public:
    // kind 'I', 'A' or 'N'. The dialog deletes itself when its window is destroyed.
    static CResultDialog* Open(char kind, std::int32_t folderId, std::int32_t recordId,
                               RecordBrowser* browser);
    // Destroys every open result dialog without asking (the frame is closing).
    static void DestroyAll();
    static std::size_t OpenCount();
    // Offers to save each changed result before the program ends; false when the user chose
    // Cancel (that dialog is then in front). Without `mayCancel` Cancel is not offered.
    static bool OfferToSaveAll(bool mayCancel);

    std::int32_t RecordId() const { return m_recordId; }
    const std::vector<ResultRow>& Rows() const { return m_rows; }
    wxListCtrl* List() const { return m_list; }
    // Moves to the neighbouring record in the view's order (offering to save a changed
    // result first); false at the ends or when the user chose Cancel.
    bool Step(bool next);
    // Ends the dialog as "E&xit" does; false when the user chose Cancel and it stays open.
    bool Exit();
    // The result as the dialog holds it, recalculations included.
    const AcParamRecord& Result() const { return m_impulse.result; }
    bool ResultChanged() const { return m_changed; }
    wxNotebook* Pages() const { return m_pages; }
    // The page with a title, or nullptr.
    wxWindow* Page(const wxString& title) const;
    // Selects a list row as a click would (band entry or frame).
    void SelectRow(long row);
    // Ctrl+P and Ctrl+Shift+P: prints the stored record, or shows its print preview, in the
    // report's per-measurement layout.
    void PrintStored(bool preview);

  private:
    CResultDialog(char kind, std::int32_t folderId, std::int32_t recordId, RecordBrowser* browser);
    ~CResultDialog() override;
    void Load();
    void ShowFolder(const LoadedFolder& folder);
    void ShowList();
    void SetField(int field, const wxString& text);
    void OnButton(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnColumn(wxListEvent& event);
    void OnRowSelected(wxListEvent& event);
    void OnPageChanged(wxBookCtrlEvent& event);
    void FillGraphs();
    // The pages that draw samples, told of a new band, frame or result.
    void NotifyPages();
    void OnResultChanged();
    // Asks about a changed result; false for Cancel.
    bool OfferToSave(bool mayCancel = true);
    void ShowConditions();
    void ShowInterauralPages(bool shown);
    // Shares a client height of `height` pixels between the header, the list and the pages.
    void ShareHeight(int height);
    void BuildParametersPage();
    std::vector<CResultPage*> m_samplePages;
    ImpulseView m_impulse;
    AcfView m_acf;
    CIacfPage* m_iacfPage = nullptr;
    bool m_changed = false;
    bool m_reportMissing = false;
    RunningAcfConditions m_conditionsAcf;
    bool m_hasConditions = false;

    char m_kind;
    std::int32_t m_folderId, m_recordId;
    RecordBrowser* m_browser;
    std::vector<wxTextCtrl*> m_fields;
    wxScrolledWindow* m_header;
    wxStaticBoxSizer* m_listBox = nullptr;  // the list above the pages (impulse responses)
    wxStaticText* m_conditions;
    wxListCtrl* m_list;
    wxButton *m_previous, *m_next;
    std::vector<ResultColumn> m_columns;
    std::vector<ResultRow> m_rows;
    int m_sortColumn = -1, m_direction = 1;
    wxNotebook* m_pages = nullptr;
    std::vector<CFactorGraph*> m_graphs;  // the factor-over-time pages
    // Every page of a recording's dialog in tab order; the interaural ones only for two channels.
    struct FactorPage {
        wxWindow* window;
        wxString tab;
        bool interaural;
    };
    std::vector<FactorPage> m_factorPages;
    CBandGraph* m_bandGraph = nullptr;  // the "Parameters" page
    wxRadioBox* m_parameter = nullptr;  // its "Show Parameter" choice
    std::vector<ResultRow> m_bandRows;  // the bands in result order
    int m_channels = 2;
    // The running-ACF result as loaded, for the list's peak layouts.
    std::vector<AcfFactorRecord> m_factors;
    std::vector<AcfPeakRecord> m_peaks;
    double m_step = 0.1, m_phiOffset = 0;
    FactorLayout m_layout = FactorLayout::General;
    void FillBandGraph();
    // The "Preference" page: the sweep over tau-e and the five values at the chosen tau-e.
    void BuildPreferencePage();
    // On opening the fields start at the measured level and the optimum tau-e; the Calculate
    // button reports a tau-e that is not positive; a refresh after a recalculation does not.
    enum class PreferenceFill { Opening, Button, Refresh };
    void FillPreference(PreferenceFill fill);
    CCurveGraph* m_preferenceGraph = nullptr;
    wxTextCtrl *m_optimumSpl = nullptr, *m_tauE = nullptr, *m_optimumTauE = nullptr;
    std::vector<wxTextCtrl*> m_scaleValues;  // S1, S2, S3, S4, SS
    double m_offset = 0;
};

}  // namespace vesk
