#include "app/import_dialog.h"

#include <wx/filedlg.h>

#include <cmath>
#include <sstream>

#include "app/dialogs.h"
#include "base/messages.h"
#include "resources/import_ids.h"

namespace vesk {

bool ParseChannelText(const std::string& text, std::vector<int>* channels) {
    channels->clear();
    std::string compact;
    for (char c : text)
        if (c != ' ') compact += c;
    if (compact.empty()) return true;
    std::istringstream list(compact);
    for (std::string item; std::getline(list, item, ',');) {
        if (item.empty() || item.size() > 4 ||
            item.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const int n = std::stoi(item);
        if (n < 1) return false;
        channels->push_back(n);
    }
    return (channels->size() == 1 || channels->size() == 2) &&
           (channels->size() == 1 || (*channels)[0] != (*channels)[1]);
}

wxBEGIN_EVENT_TABLE(CImportDlg, wxDialog) EVT_BUTTON(id::kImportAdd, CImportDlg::OnAdd)
    EVT_BUTTON(id::kImportRemove, CImportDlg::OnRemove)
        EVT_RADIOBOX(id::kImportForm, CImportDlg::OnForm)
            EVT_BUTTON(id::kImportBrowseExcitation, CImportDlg::OnBrowseExcitation)
                EVT_BUTTON(wxID_OK, CImportDlg::OnOk) wxEND_EVENT_TABLE()

                    CImportDlg::CImportDlg(wxWindow* parent, char kind,
                                           const std::vector<std::string>& files)
    : wxDialog(parent, id::kImportDialog, "Import Recordings", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    m_choices.kind = kind;
    const wxSizerFlags label = wxSizerFlags().CenterVertical();
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* fileBox = new wxStaticBoxSizer(wxVERTICAL, this, "Files");
    m_list = new wxListBox(fileBox->GetStaticBox(), id::kImportFiles, wxDefaultPosition,
                           FromDIP(wxSize(460, 140)), 0, nullptr, wxLB_EXTENDED | wxLB_HSCROLL);
    fileBox->Add(m_list, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(4)));
    auto* fileButtons = new wxBoxSizer(wxHORIZONTAL);
    fileButtons->Add(new wxButton(fileBox->GetStaticBox(), id::kImportAdd, "&Add Files..."),
                     wxSizerFlags().Border(wxRIGHT, FromDIP(4)));
    fileButtons->Add(new wxButton(fileBox->GetStaticBox(), id::kImportRemove, "&Remove"));
    fileBox->Add(fileButtons, wxSizerFlags().Border(wxALL, FromDIP(4)));
    top->Add(fileBox, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(8)));

    auto* options = new wxStaticBoxSizer(wxVERTICAL, this, "Options");
    wxWindow* box = options->GetStaticBox();
    auto* grid = new wxFlexGridSizer(2, FromDIP(wxSize(8, 6)));
    grid->AddGrowableCol(1);
    if (kind == 'I') {
        const wxString forms[] = {"MLS recording", "Plain impulse response", "Sweep recording"};
        m_form = new wxRadioBox(box, id::kImportForm, "Impulse responses as", wxDefaultPosition,
                                wxDefaultSize, 3, forms, 3, wxRA_SPECIFY_COLS);
        m_form->SetSelection(1);
        options->Add(m_form, wxSizerFlags().Expand().Border(wxALL, FromDIP(4)));
        wxArrayString orders;
        orders.Add("From the length (2^order frames)");
        for (int r = 10; r <= 19; ++r)
            orders.Add(wxString::Format("%d (%d frames)", r, 1 << r));
        grid->Add(new wxStaticText(box, wxID_ANY, "MLS &order:"), label);
        m_mlsOrder =
            new wxChoice(box, id::kImportMlsOrder, wxDefaultPosition, wxDefaultSize, orders);
        m_mlsOrder->SetSelection(0);
        grid->Add(m_mlsOrder, wxSizerFlags().Expand());
        grid->Add(new wxStaticText(box, wxID_ANY, "&Excitation (sweep):"), label);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        m_excitation = new wxTextCtrl(box, id::kImportExcitation);
        m_browse = new wxButton(box, id::kImportBrowseExcitation, "&Browse...");
        row->Add(m_excitation, wxSizerFlags(1).CenterVertical().Border(wxRIGHT, FromDIP(4)));
        row->Add(m_browse, wxSizerFlags().CenterVertical());
        grid->Add(row, wxSizerFlags().Expand());
    }
    grid->Add(
        new wxStaticText(box, wxID_ANY,
                         kind == 'I' ? "&Channels or ears (L,R or C):" : "&Channels (L,R or C):"),
        label);
    m_channels = new wxTextCtrl(box, id::kImportChannels);
    m_channels->SetToolTip(
        "For files of more than two channels (SOFA files: receivers), numbered from 1: two "
        "for left and right, or one. Empty for mono and stereo files.");
    grid->Add(m_channels, wxSizerFlags().Expand());
    if (kind == 'N') {
        grid->Add(new wxStaticText(box, wxID_ANY, "Calibration &level (dB):"), label);
        m_calLevel = new wxTextCtrl(box, id::kImportCalLevel, "0");
        grid->Add(m_calLevel, wxSizerFlags().Expand());
    }
    options->Add(grid, wxSizerFlags().Expand().Border(wxALL, FromDIP(4)));
    top->Add(options, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, FromDIP(8)));

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    auto* ok = new wxButton(this, wxID_OK, "&Import");
    ok->SetDefault();
    buttons->Add(ok, wxSizerFlags().Border(wxRIGHT, FromDIP(4)));
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"));
    top->Add(buttons, wxSizerFlags().Expand().Border(wxALL, FromDIP(8)));
    SetSizerAndFit(top);
    AddFiles(files);
    UpdateEnabling();
    CentreOnParent();
}

void CImportDlg::AddFiles(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        bool listed = false;
        for (const std::string& g : m_files)
            listed = listed || g == f;
        if (listed) continue;
        m_files.push_back(f);
        m_list->Append(wxString::FromUTF8(f));
    }
}

void CImportDlg::UpdateEnabling() {
    if (!m_form) return;
    m_mlsOrder->Enable(m_form->GetSelection() == 0);
    m_excitation->Enable(m_form->GetSelection() == 2);
    m_browse->Enable(m_form->GetSelection() == 2);
}

void CImportDlg::OnAdd(wxCommandEvent&) {
    wxFileDialog dialog(this, "Add Files", "", "",
                        "Audio and SOFA files (*.wav;*.flac;*.aif;*.aiff;*.ogg;*.caf;*.w64;*.rf64;"
                        "*.sofa)|*.wav;*.WAV;*.flac;*.FLAC;*.aif;*.aiff;*.AIF;*.AIFF;*.ogg;*.caf;"
                        "*.w64;*.rf64;*.sofa;*.SOFA|All Files (*.*)|*.*",
                        wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return;
    wxArrayString paths;
    dialog.GetPaths(paths);
    std::vector<std::string> files;
    for (const wxString& p : paths)
        files.push_back(p.utf8_string());
    AddFiles(files);
}

void CImportDlg::OnRemove(wxCommandEvent&) {
    wxArrayInt selected;
    m_list->GetSelections(selected);
    for (std::size_t k = selected.size(); k-- > 0;) {
        const auto i = static_cast<std::size_t>(selected[k]);
        m_list->Delete(static_cast<unsigned>(i));
        m_files.erase(m_files.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void CImportDlg::OnForm(wxCommandEvent&) {
    UpdateEnabling();
}

void CImportDlg::OnBrowseExcitation(wxCommandEvent&) {
    wxFileDialog dialog(this, "Excitation", "", "",
                        "Audio files|*.wav;*.flac;*.aif;*.aiff|All Files (*.*)|*.*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() == wxID_OK) m_excitation->SetValue(dialog.GetPath());
}

void CImportDlg::OnOk(wxCommandEvent&) {
    auto refuse = [](const char* text) { Messages().ShowMessage(text); };
    if (m_files.empty()) return refuse("Add the files to import.");
    std::vector<int> channels;
    if (!ParseChannelText(m_channels->GetValue().utf8_string(), &channels))
        return refuse("Channels are one channel C or two channels L,R, numbered from 1.");
    m_choices.channels = channels;
    m_choices.sofa.receivers = channels;
    if (m_form) {
        const int form = m_form->GetSelection();
        m_choices.form = form == 0   ? ResponseForm::kMls
                         : form == 2 ? ResponseForm::kSweep
                                     : ResponseForm::kPlain;
        m_choices.mlsOrder = m_mlsOrder->GetSelection() <= 0 ? -1 : 9 + m_mlsOrder->GetSelection();
        m_choices.excitation = m_excitation->GetValue().utf8_string();
        if (m_choices.form == ResponseForm::kSweep && m_choices.excitation.empty())
            return refuse("Sweep recordings need the excitation's audio file.");
    }
    if (m_calLevel) {
        double level = 0;
        if (!m_calLevel->GetValue().ToCDouble(&level) || !std::isfinite(level) ||
            std::fabs(level) > 1000)
            return refuse("The calibration level is a level in dB.");
        m_choices.calLevel = level;
    }
    FinishDialog(this, wxID_OK);
}

}  // namespace vesk
