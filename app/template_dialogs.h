// The "Noise Source Template" editor and its "Export" and "Import" dialogs. They hold no
// template between actions: each action goes to the template library and back to the fields.
#pragma once

#include <wx/wx.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "shell/template_fields.h"

namespace vesk {

// Chooses a file; an empty result is Cancel.
using FileChooser = std::function<wxString(wxWindow* parent)>;
// The save and open dialogs of template files ("template.nst" offered on save).
wxString ChooseExportFile(wxWindow* parent);
wxString ChooseImportFile(wxWindow* parent);

// "Noise Source Template" (500), modal.
class CTemplateEditorDlg : public wxDialog {
  public:
    explicit CTemplateEditorDlg(wxWindow* parent);

    // Seams for tests: the file choosers and the way the Export and Import dialogs are run.
    FileChooser m_chooseExportFile = ChooseExportFile;
    FileChooser m_chooseImportFile = ChooseImportFile;
    std::function<int(wxDialog&)> m_runDialog = [](wxDialog& d) { return d.ShowModal(); };

    // The list's templates in row order, and the selected one's ID (-1 when none).
    const std::vector<TemplateListItem>& Items() const { return m_items; }
    std::int32_t SelectedId() const;

  private:
    TemplateFields Fields() const;
    void ShowFields(const TemplateFields& fields);
    void FillList(std::int32_t selectId);
    void ShowWeights();
    void ShowSelectedTemplate();
    void UpdateLimitEnabling();
    void Save(bool asNew);
    void OnSelect(wxCommandEvent& event);
    void OnCheck(wxCommandEvent& event);
    void OnNew(wxCommandEvent& event);
    void OnUpdate(wxCommandEvent& event);
    void OnDelete(wxCommandEvent& event);
    void OnSetWeights(wxCommandEvent& event);
    void OnExport(wxCommandEvent& event);
    void OnImport(wxCommandEvent& event);

    wxListBox* m_list;
    wxTextCtrl* m_name;
    std::array<wxTextCtrl*, 4> m_standard, m_upper, m_lower, m_weight;
    std::array<wxCheckBox*, 4> m_useUpper, m_useLower;
    std::vector<TemplateListItem> m_items;
    wxDECLARE_EVENT_TABLE();
};

// "Export" (501): the templates to write, the editor's selection (or all) chosen at first.
class CTemplateExportDlg : public wxDialog {
  public:
    CTemplateExportDlg(wxWindow* parent, std::int32_t selectedId);
    FileChooser m_chooseFile = ChooseExportFile;
    const std::vector<TemplateListItem>& Items() const { return m_items; }

  private:
    void OnSelectAll(wxCommandEvent& event);
    void OnRemoveAll(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);
    wxListBox* m_list;
    std::vector<TemplateListItem> m_items;
    wxDECLARE_EVENT_TABLE();
};

// "Import" (502) of the entries of a ".nst" file, all chosen at first, merged by default.
class CTemplateImportDlg : public wxDialog {
  public:
    CTemplateImportDlg(wxWindow* parent, const wxString& path);
    // false when the file could not be opened; the dialog is not to be shown then.
    bool Loaded() const { return m_loaded; }
    // Whether a template changed, also when a failure kept the dialog open.
    bool Imported() const { return m_imported > 0; }

  private:
    void OnSelectAll(wxCommandEvent& event);
    void OnRemoveAll(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);
    wxListBox* m_list;
    wxRadioButton* m_merge;
    std::string m_path;
    bool m_loaded = false;
    int m_imported = 0;
    wxDECLARE_EVENT_TABLE();
};

}  // namespace vesk
