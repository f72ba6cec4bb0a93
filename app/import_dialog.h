// "Import Recordings": the files and the options of their kind, for the core's import.
#pragma once

#include <wx/wx.h>

#include <string>
#include <vector>

#include "shell/import.h"

namespace vesk {

class CImportDlg : public wxDialog {
  public:
    // `kind` is the open folder's ('I', 'A' or 'N'); `files` are listed from the start (dropped).
    CImportDlg(wxWindow* parent, char kind, const std::vector<std::string>& files);
    std::vector<std::string> m_files;
    ImportChoices m_choices;

  private:
    void AddFiles(const std::vector<std::string>& files);
    void UpdateEnabling();
    void OnAdd(wxCommandEvent& event);
    void OnRemove(wxCommandEvent& event);
    void OnForm(wxCommandEvent& event);
    void OnBrowseExcitation(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);
    wxListBox* m_list;
    wxRadioBox* m_form = nullptr;
    wxChoice* m_mlsOrder = nullptr;
    wxTextCtrl* m_excitation = nullptr;
    wxButton* m_browse = nullptr;
    wxTextCtrl* m_channels;
    wxTextCtrl* m_calLevel = nullptr;
    wxDECLARE_EVENT_TABLE();
};

// "L,R" or "C" (from 1) into channel numbers; false for anything else. Empty text: none.
bool ParseChannelText(const std::string& text, std::vector<int>* channels);

}  // namespace vesk
