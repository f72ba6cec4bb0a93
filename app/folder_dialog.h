// The dialog that makes a new folder or edits an existing folder's fields.
#pragma once

#include <wx/wx.h>

#include "store/records.h"

namespace vesk {

class CFolderDlg : public wxDialog {
  public:
    // A folder with ID 0 is made on OK (its kind chosen in the dialog); another is edited, its
    // kind fixed. m_folder holds the stored fields after OK.
    CFolderDlg(wxWindow* parent, const FolderRecord& folder);
    FolderRecord m_folder;

  private:
    void OnOk(wxCommandEvent& event);
    wxRadioBox* m_kind;
    wxTextCtrl *m_title, *m_name, *m_place, *m_date, *m_comment, *m_scale;
    wxDECLARE_EVENT_TABLE();
};

// A measurement's title and comment.
class CMeasurementDlg : public wxDialog {
  public:
    CMeasurementDlg(wxWindow* parent, const std::string& title, const std::string& comment);
    std::string m_title, m_comment;

  private:
    void OnOk(wxCommandEvent& event);
    wxTextCtrl *m_titleText, *m_commentText;
    wxDECLARE_EVENT_TABLE();
};

// The fields of a new or edited folder checked and stored: the folder's ID (new or as given),
// or 0 with the reason in *refusal (empty after a store failure, whose message was shown).
std::int32_t SaveFolder(FolderRecord folder, std::string* refusal);

}  // namespace vesk
