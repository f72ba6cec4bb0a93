#include "app/folder_dialog.h"

#include <cmath>
#include <ctime>

#include "app/dialogs.h"
#include "base/messages.h"
#include "resources/import_ids.h"
#include "store/tables.h"

namespace vesk {

namespace {

constexpr char kKinds[] = {'I', 'A', 'N'};

std::string Today() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

wxTextCtrl* AddField(wxWindow* parent, wxFlexGridSizer* grid, int id, const wxString& label,
                     const std::string& value, long style = 0) {
    grid->Add(new wxStaticText(parent, wxID_ANY, label), wxSizerFlags().CenterVertical());
    auto* text = new wxTextCtrl(parent, id, wxString::FromUTF8(value), wxDefaultPosition,
                                wxDefaultSize, style);
    grid->Add(text, wxSizerFlags(1).Expand());
    return text;
}

wxSizer* OkCancel(wxWindow* parent) {
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    auto* ok = new wxButton(parent, wxID_OK, "OK");
    ok->SetDefault();
    buttons->Add(ok, wxSizerFlags().Border(wxRIGHT, parent->FromDIP(4)));
    buttons->Add(new wxButton(parent, wxID_CANCEL, "Cancel"));
    return buttons;
}

}  // namespace

std::int32_t SaveFolder(FolderRecord folder, std::string* refusal) {
    refusal->clear();
    if (folder.type != "I" && folder.type != "A" && folder.type != "N") {
        *refusal = "Choose the kind of the folder.";
        return 0;
    }
    if (folder.title.empty()) {
        *refusal = "Give the folder a title.";
        return 0;
    }
    if (!folder.date.empty() &&
        (folder.date.size() != 8 ||
         folder.date.find_first_not_of("0123456789") != std::string::npos)) {
        *refusal = "The date is written YYYYMMDD.";
        return 0;
    }
    if (!std::isfinite(folder.scale) || folder.scale < 0 || folder.scale > 99999.99) {
        *refusal = "The scale is a number from 0 to 99999.99.";
        return 0;
    }
    if (folder.folderId > 0) return UpdateFolderFields(folder) ? folder.folderId : 0;
    CFolderTable folders;
    if (!folders.Open() || !folders.NextId(&folder.folderId) || !folders.Append(folder)) return 0;
    return folder.folderId;
}

wxBEGIN_EVENT_TABLE(CFolderDlg, wxDialog) EVT_BUTTON(wxID_OK, CFolderDlg::OnOk) wxEND_EVENT_TABLE()

    CFolderDlg::CFolderDlg(wxWindow* parent, const FolderRecord& folder)
    : wxDialog(parent, id::kFolderDialog, folder.folderId > 0 ? "Edit Folder" : "New Folder"),
      m_folder(folder) {
    const wxString kinds[] = {"Impulse responses", "Running sound", "Noise"};
    m_kind = new wxRadioBox(this, id::kFolderKind, "Kind", wxDefaultPosition, wxDefaultSize, 3,
                            kinds, 3, wxRA_SPECIFY_COLS);
    for (int k = 0; k < 3; ++k)
        if (folder.type == std::string(1, kKinds[k])) m_kind->SetSelection(k);
    m_kind->Enable(folder.folderId <= 0);  // measurements never change their kind
    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 6)));
    grid->AddGrowableCol(1);
    m_title = AddField(this, grid, id::kFolderTitle, "&Title:", folder.title);
    m_name = AddField(this, grid, id::kFolderName, "&Name:", folder.name);
    m_place = AddField(this, grid, id::kFolderPlace, "&Place:", folder.place);
    m_date = AddField(this, grid, id::kFolderDate, "&Date (YYYYMMDD):",
                      folder.date.empty() && folder.folderId <= 0 ? Today() : folder.date);
    m_comment = AddField(this, grid, id::kFolderComment, "&Comment:", folder.comment);
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.2f", folder.scale == 0 ? 1.0 : folder.scale);
    m_scale = AddField(this, grid, id::kFolderScale, "&Scale (model):", scale);
    m_title->SetMinSize(FromDIP(wxSize(320, -1)));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(m_kind, wxSizerFlags().Expand().Border(wxALL, FromDIP(8)));
    top->Add(grid, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, FromDIP(8)));
    top->Add(OkCancel(this), wxSizerFlags().Expand().Border(wxALL, FromDIP(8)));
    SetSizerAndFit(top);
    CentreOnParent();
}

void CFolderDlg::OnOk(wxCommandEvent&) {
    FolderRecord f = m_folder;
    if (f.folderId <= 0) f.type = std::string(1, kKinds[std::max(0, m_kind->GetSelection())]);
    f.title = m_title->GetValue().utf8_string();
    f.name = m_name->GetValue().utf8_string();
    f.place = m_place->GetValue().utf8_string();
    f.date = m_date->GetValue().Trim().Trim(false).utf8_string();
    f.comment = m_comment->GetValue().utf8_string();
    double scale = 0;
    f.scale = m_scale->GetValue().ToCDouble(&scale) ? scale : -1;
    std::string refusal;
    const std::int32_t id = SaveFolder(f, &refusal);
    if (id == 0) {
        if (!refusal.empty()) Messages().ShowMessage(refusal);
        return;  // the store showed its message; the dialog stays for another try
    }
    f.folderId = id;
    m_folder = f;
    FinishDialog(this, wxID_OK);
}

wxBEGIN_EVENT_TABLE(CMeasurementDlg, wxDialog) EVT_BUTTON(wxID_OK, CMeasurementDlg::OnOk)
    wxEND_EVENT_TABLE()

        CMeasurementDlg::CMeasurementDlg(wxWindow* parent, const std::string& title,
                                         const std::string& comment)
    : wxDialog(parent, id::kMeasurementDialog, "Measurement"), m_title(title), m_comment(comment) {
    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 6)));
    grid->AddGrowableCol(1);
    m_titleText = AddField(this, grid, id::kMeasurementTitle, "&Title:", title);
    m_commentText = AddField(this, grid, id::kMeasurementComment, "&Comment:", comment);
    m_titleText->SetMinSize(FromDIP(wxSize(320, -1)));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(8)));
    top->Add(OkCancel(this), wxSizerFlags().Expand().Border(wxALL, FromDIP(8)));
    SetSizerAndFit(top);
    CentreOnParent();
}

void CMeasurementDlg::OnOk(wxCommandEvent&) {
    m_title = m_titleText->GetValue().utf8_string();
    m_comment = m_commentText->GetValue().utf8_string();
    FinishDialog(this, wxID_OK);
}

}  // namespace vesk
