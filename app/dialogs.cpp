#include "app/dialogs.h"

#include <wx/artprov.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/statline.h>

#include <cstdio>

#include "app/folder_dialog.h"
#include "display/result_dialogs.h"
#include "dsp/bands.h"
#include "resources/import_ids.h"
#include "resources/strings.h"
#include "resources/window_ids.h"
#include "shell/band_choice.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

wxString S(int id) {
    return wxString::FromUTF8(LoadString(id));
}

// One small icon: a folder, a page (with a check mark when a result is stored) or a
// loudspeaker, in the colour of its kind.
wxBitmap Icon(int shape, const wxColour& colour) {
    wxBitmap bitmap(16, 16);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetPen(wxPen(colour.ChangeLightness(60)));
    dc.SetBrush(wxBrush(colour));
    if (shape == 0) {  // folder
        dc.DrawRectangle(1, 3, 6, 3);
        dc.DrawRectangle(1, 5, 14, 9);
    } else if (shape == 3) {  // loudspeaker
        const wxPoint cone[] = {{2, 6}, {5, 6}, {9, 2}, {9, 14}, {5, 10}, {2, 10}};
        dc.DrawPolygon(6, cone);
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawArc(11, 11, 11, 5, 10, 8);
    } else {  // page
        dc.SetBrush(*wxWHITE_BRUSH);
        dc.DrawRectangle(3, 1, 10, 14);
        dc.SetPen(wxPen(colour));
        for (int y = 4; y < 12; y += 3)
            dc.DrawLine(5, y, 11, y);
        if (shape == 2) {
            dc.SetPen(wxPen(wxColour(0, 140, 0), 2));
            dc.DrawLine(6, 10, 8, 13);
            dc.DrawLine(8, 13, 14, 5);
        }
    }
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

double Number(wxTextCtrl* edit, bool* ok) {
    double v = 0;
    if (!edit->GetValue().ToCDouble(&v)) *ok = false;
    return v;
}

wxString Text(double v) {
    return wxString::FromCDouble(v);
}

ReferenceChoice References(char kind, std::int32_t folderId) {
    ReferenceChoice c;
    c.data = {-2, -1};
    c.texts.Add("Absolute value");
    c.texts.Add("Maximum value");
    std::vector<ListRow> rows;
    if (FolderViewRows(kind, folderId, &rows))
        for (const ListRow& r : rows) {
            c.data.push_back(r.id);
            c.texts.Add(wxString::FromUTF8(r.texts[0]));
        }
    return c;
}

int IndexOf(const ReferenceChoice& c, std::int32_t data) {
    for (std::size_t i = 0; i < c.data.size(); ++i)
        if (c.data[i] == data) return static_cast<int>(i);
    return wxNOT_FOUND;
}

// A label, a control and a unit in one row of a grid.
void Row(wxWindow* parent, wxFlexGridSizer* grid, const wxString& label, wxWindow* control,
         const wxString& unit = "") {
    grid->Add(new wxStaticText(parent, wxID_ANY, label), wxSizerFlags().CenterVertical());
    grid->Add(control, wxSizerFlags().Expand());
    grid->Add(new wxStaticText(parent, wxID_ANY, unit), wxSizerFlags().CenterVertical());
}

wxFlexGridSizer* Grid() {
    auto* grid = new wxFlexGridSizer(3, wxSize(8, 4));
    grid->AddGrowableCol(1);
    return grid;
}

wxStaticBoxSizer* Group(wxWindow* parent, const wxString& title, wxSizer* content) {
    auto* box = new wxStaticBoxSizer(wxVERTICAL, parent, title);
    box->Add(content, wxSizerFlags(1).Expand().Border(wxALL, 4));
    return box;
}

wxSizer* StartCancel(wxDialog* dialog) {
    auto* buttons = new wxStdDialogButtonSizer();
    auto* start = new wxButton(dialog, wxID_OK, "&Start");
    start->SetDefault();
    buttons->AddButton(start);
    buttons->AddButton(new wxButton(dialog, wxID_CANCEL, "Cancel"));
    buttons->Realize();
    return buttons;
}

// A conditions dialog: two columns of groups above "&Start" and "Cancel", centred on its parent.
void LayOutConditions(wxDialog* dialog, wxSizer* left, wxSizer* right) {
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    columns->Add(left, wxSizerFlags(1).Expand());
    columns->Add(right, wxSizerFlags(1).Expand().Border(wxLEFT, 12));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(columns, wxSizerFlags(1).Expand().Border(wxALL, 10));
    top->Add(StartCancel(dialog), wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, 10));
    dialog->SetSizerAndFit(top);
    dialog->CentreOnParent();
}

wxRadioBox* TargetBox(wxWindow* parent, const char* first) {
    const wxString choices[] = {first, "Selected Data", "All data"};
    return new wxRadioBox(parent, id::kTargetNonCalculation, "Target Data", wxDefaultPosition,
                          wxDefaultSize, 3, choices, 1, wxRA_SPECIFY_COLS);
}

}  // namespace

void FinishDialog(wxDialog* dialog, int result) {
    if (dialog->IsModal()) {
        dialog->EndModal(result);
    } else {
        dialog->SetReturnCode(result);
        dialog->Hide();
    }
}

wxImageList* SharedImageList() {
    static wxImageList* list = [] {
        auto* l = new wxImageList(16, 16, true, 9);
        const wxColour ir(70, 110, 200), acf(40, 150, 90), nf(220, 130, 30);
        const std::pair<int, wxColour> images[] = {{0, ir},  {1, ir}, {2, ir}, {0, acf}, {1, acf},
                                                   {2, acf}, {0, nf}, {1, nf}, {3, nf}};
        for (const auto& [shape, colour] : images)
            l->Add(Icon(shape, colour), *wxWHITE);
        return l;
    }();
    return list;
}

void FillList(wxListCtrl* list, const std::vector<ListRow>& rows) {
    list->DeleteAllItems();
    std::vector<int> needed(static_cast<std::size_t>(list->GetColumnCount()), 0);
    for (std::size_t c = 0; c < needed.size(); ++c) {
        wxListItem header;
        header.SetMask(wxLIST_MASK_TEXT);
        if (list->GetColumn(static_cast<int>(c), header))
            needed[c] = list->GetTextExtent(header.GetText()).x + list->FromDIP(20);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ListRow& r = rows[i];
        const long item =
            list->InsertItem(static_cast<long>(i), wxString::FromUTF8(r.texts[0]), r.icon);
        for (std::size_t c = 0; c < r.texts.size() && c < needed.size(); ++c) {
            const wxString text = wxString::FromUTF8(r.texts[c]);
            if (c > 0) list->SetItem(item, static_cast<long>(c), text);
            // Column 0 also holds the icon.
            const int width = list->GetTextExtent(text).x + list->FromDIP(c == 0 ? 36 : 16);
            needed[c] = std::max(needed[c], width);
        }
        list->SetItemData(item, r.id);
    }
    for (std::size_t c = 0; c < needed.size(); ++c)
        if (needed[c] > list->GetColumnWidth(static_cast<int>(c)))
            list->SetColumnWidth(static_cast<int>(c), needed[c]);
}

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CSelectFolderDlg, wxDialog) EVT_RADIOBOX(id::kKindAll, CSelectFolderDlg::OnKind)
    EVT_LIST_COL_CLICK(id::kFolderList, CSelectFolderDlg::OnColumn)
        EVT_LIST_ITEM_ACTIVATED(id::kFolderList, CSelectFolderDlg::OnActivated)
            EVT_BUTTON(wxID_OK, CSelectFolderDlg::OnOk)
                EVT_BUTTON(id::kDeleteFolder, CSelectFolderDlg::OnDelete)
                    EVT_UPDATE_UI(wxID_OK, CSelectFolderDlg::OnUpdateFolderCommand)
                        EVT_UPDATE_UI(id::kDeleteFolder, CSelectFolderDlg::OnUpdateFolderCommand)
                            wxEND_EVENT_TABLE()

                                CSelectFolderDlg::CSelectFolderDlg(wxWindow* parent,
                                                                   std::int32_t busyFolder)
    : wxDialog(parent, id::kSelectFolderDialog, "Select Folder", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_busyFolder(busyFolder) {
    m_list = new wxListCtrl(this, id::kFolderList, wxDefaultPosition, wxDefaultSize,
                            wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_list->SetImageList(SharedImageList(), wxIMAGE_LIST_SMALL);
    int width = 0;
    for (const ListColumn& c : SelectFolderColumns()) {
        const int w = FromDIP(c.width);
        m_list->AppendColumn(S(c.stringId), wxLIST_FORMAT_LEFT, w);
        width += w;
    }
    m_list->SetMinSize(wxSize(width + FromDIP(24), FromDIP(260)));
    const wxString kinds[] = {"ALL", "IR", "ACF", "NF"};
    m_kindBox = new wxRadioBox(this, id::kKindAll, "Kind", wxDefaultPosition, wxDefaultSize, 4,
                               kinds, 4, wxRA_SPECIFY_COLS);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(m_kindBox, wxSizerFlags().CenterVertical());
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, id::kEditFolder, "&Edit..."),
                 wxSizerFlags().CenterVertical().Border(wxRIGHT, FromDIP(4)));
    Bind(wxEVT_BUTTON, &CSelectFolderDlg::OnEdit, this, id::kEditFolder);
    Bind(wxEVT_UPDATE_UI, &CSelectFolderDlg::OnUpdateFolderCommand, this, id::kEditFolder);
    buttons->Add(new wxButton(this, id::kDeleteFolder, "&Delete"),
                 wxSizerFlags().CenterVertical().Border(wxRIGHT, FromDIP(16)));
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    buttons->Add(ok, wxSizerFlags().CenterVertical().Border(wxRIGHT, FromDIP(4)));
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), wxSizerFlags().CenterVertical());
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(m_list, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(8)));
    top->Add(buttons, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8)));
    SetSizerAndFit(top);
    ListFolders();
    CentreOnParent();
}

void CSelectFolderDlg::ListFolders() {
    SelectFolderRows(m_kindBox->GetSelection(), &m_rows);
    SortRows(&m_rows, m_sortColumn, m_direction);
    ShowRows();
}

void CSelectFolderDlg::ShowRows() {
    FillList(m_list, m_rows);
}

long CSelectFolderDlg::FirstSelected() const {
    return m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

void CSelectFolderDlg::OnKind(wxCommandEvent&) {
    ListFolders();
}

void CSelectFolderDlg::OnColumn(wxListEvent& event) {
    ClickColumn(event.GetColumn(), &m_sortColumn, &m_direction);
    SortRows(&m_rows, m_sortColumn, m_direction);
    ShowRows();
}

void CSelectFolderDlg::OnActivated(wxListEvent&) {
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    OnOk(ok);
}

bool CSelectFolderDlg::SelectedIsBusy() const {
    const long item = FirstSelected();
    return item >= 0 && m_rows[static_cast<std::size_t>(item)].id == m_busyFolder;
}

void CSelectFolderDlg::OnUpdateFolderCommand(wxUpdateUIEvent& event) {
    event.Enable(!SelectedIsBusy());
}

void CSelectFolderDlg::OnOk(wxCommandEvent&) {
    const long item = FirstSelected();
    if (item < 0) {
        wxMessageBox(S(str::kSelectTheFolder), S(str::kAppName), wxOK | wxICON_INFORMATION, this);
        return;
    }
    if (SelectedIsBusy()) return;  // a double click on the folder being calculated
    const ListRow& r = m_rows[static_cast<std::size_t>(item)];
    m_folderId = r.id;
    m_title = r.texts[0];
    m_kind = TypeLetter(r.texts[1]);
    FinishDialog(this, wxID_OK);
}

void CSelectFolderDlg::OnDelete(wxCommandEvent&) {
    const long item = FirstSelected();
    if (item < 0) {
        wxMessageBox(S(str::kSelectTheFolder), S(str::kAppName), wxOK | wxICON_INFORMATION, this);
        return;
    }
    if (SelectedIsBusy()) return;
    if (!AskStoreQuestion(str::kDeleteFolderQuestion)) return;
    DeleteFolder(m_rows[static_cast<std::size_t>(item)].id);
    ListFolders();
}

void CSelectFolderDlg::OnEdit(wxCommandEvent&) {
    const long item = FirstSelected();
    if (item < 0) {
        wxMessageBox(S(str::kSelectTheFolder), S(str::kAppName), wxOK | wxICON_INFORMATION, this);
        return;
    }
    if (SelectedIsBusy()) return;
    CFolderTable folders;
    FolderRecord folder;
    if (!folders.Open() || !folders.Read(m_rows[static_cast<std::size_t>(item)].id, &folder))
        return;
    CFolderDlg dialog(this, folder);
    if (dialog.ShowModal() == wxID_OK) ListFolders();
}

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CProgressDlg, wxDialog) EVT_BUTTON(id::kProgressCancel, CProgressDlg::OnCancel)
    EVT_CLOSE(CProgressDlg::OnClose) wxEND_EVENT_TABLE()

        CProgressDlg::CProgressDlg(wxWindow* parent, const wxString& caption)
    : wxDialog(parent, id::kProgressDialog, caption.empty() ? wxString("Progress") : caption) {
    m_bar = new wxGauge(this, id::kProgressBar, 100, wxDefaultPosition, FromDIP(wxSize(320, 18)));
    m_text = new wxStaticText(this, id::kProgressText, "", wxDefaultPosition, wxDefaultSize,
                              wxST_ELLIPSIZE_END | wxST_NO_AUTORESIZE);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(m_bar, wxSizerFlags().Expand().Border(wxALL, FromDIP(10)));
    top->Add(m_text, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, FromDIP(10)));
    top->Add(new wxButton(this, id::kProgressCancel, "Cancel"),
             wxSizerFlags().Center().Border(wxALL, FromDIP(10)));
    SetSizerAndFit(top);
    if (parent) CentreOnParent();
    Show();
    Update();
}

void CProgressDlg::ShowPosition(int percent) {
    m_bar->SetValue(std::clamp(percent, 0, 100));
}

void CProgressDlg::ShowMessage(const std::string& text) {
    m_text->SetLabel(wxString::FromUTF8(text));
    Update();
}

void CProgressDlg::OnCancel(wxCommandEvent&) {
    m_cancelPressed = true;
}

void CProgressDlg::OnClose(wxCloseEvent&) {
    m_cancelPressed = true;  // closing the box asks as Cancel does; the run destroys it
}

ProgressWindow::ProgressWindow(wxWindow* fallbackParent, const wxString& caption)
    : m_fallbackParent(fallbackParent), m_caption(caption) {
    Shown();
}

ProgressWindow::~ProgressWindow() {
    delete m_dialog.get();  // at once, as a later run looks its buttons up by ID
}

CProgressDlg* ProgressWindow::Shown() {
    if (!m_dialog && !m_stopped) {
        m_dialog = new CProgressDlg(DialogParent(m_fallbackParent), m_caption);
        m_dialog->ShowPosition(m_percent);
        if (!m_text.empty()) m_dialog->ShowMessage(m_text);
    }
    return m_dialog;
}

void ProgressWindow::ShowPosition(int percent) {
    m_percent = percent;
    if (CProgressDlg* d = Shown()) d->ShowPosition(percent);
}

void ProgressWindow::ShowMessage(const std::string& text) {
    m_text = text;
    if (CProgressDlg* d = Shown()) d->ShowMessage(text);
}

bool ProgressWindow::PumpAndCheckCancel() {
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_ALL);
    if (m_stopped) return true;
    CProgressDlg* d = Shown();
    return d && d->TakeCancelPress();
}

bool ProgressWindow::ConfirmCancel() {
    // A question box of the program's messages.
    return m_stopped || AskStoreQuestion(str::kCancelAction);
}

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CImpulseConditionsDlg, wxDialog)
    EVT_RADIOBOX(id::kBandOctave, CImpulseConditionsDlg::OnBandSystem)
        EVT_CHOICE(id::kBandFrom, CImpulseConditionsDlg::OnChange)
            EVT_CHOICE(id::kRefData, CImpulseConditionsDlg::OnChange)
                EVT_CHECKBOX(id::kTsubAuto, CImpulseConditionsDlg::OnChange)
                    EVT_BUTTON(wxID_OK, CImpulseConditionsDlg::OnStart) wxEND_EVENT_TABLE()

                        CImpulseConditionsDlg::CImpulseConditionsDlg(wxWindow* parent,
                                                                     const ImpulseConditions& c,
                                                                     std::int32_t folderId)
    : wxDialog(parent, id::kImpulseConditionsDialog, "Calculation Conditions"), m_conditions(c) {
    m_targetBox = TargetBox(this, "non Calculation");
    const wxString systems[] = {"1 Oct.", "1/3 Oct."};
    m_bandSystem = new wxRadioBox(this, id::kBandOctave, "Frequency Band", wxDefaultPosition,
                                  wxDefaultSize, 2, systems, 2, wxRA_SPECIFY_COLS);
    m_bandSystem->SetSelection(c.freqBand == 1 ? 1 : 0);
    m_bandFrom = new wxChoice(this, id::kBandFrom);
    m_bandTo = new wxChoice(this, id::kBandTo);
    m_aWeighting = new wxCheckBox(this, id::kAWeighting, "A-weighting");
    m_aWeighting->SetValue(c.aFilter != 0);
    m_references = References('I', folderId);
    m_refData =
        new wxChoice(this, id::kRefData, wxDefaultPosition, wxDefaultSize, m_references.texts);
    m_refData->SetSelection(IndexOf(m_references, c.splRefData));
    auto edit = [this](int id, double v) {
        return new wxTextCtrl(this, id, Text(v), wxDefaultPosition, FromDIP(wxSize(80, -1)));
    };
    m_refLevel = edit(id::kRefLevel, c.splRefLevel);
    m_minimumDelay = edit(id::kMinimumDelay, c.dt1MinTime);
    m_endOfRegression = edit(id::kEndOfRegression, c.tsubEnd);
    m_auto = new wxCheckBox(this, id::kTsubAuto, "Auto");
    m_auto->SetValue(c.tsubAuto != 0);
    m_rateOfNoise = edit(id::kRateOfNoise, c.tsubNoise * 100);
    m_width = edit(id::kWidthForWiacc, c.iaccWLevel);
    m_optimumSpl = edit(id::kOptimumSpl, c.prefSpl);
    m_tauE = edit(id::kTauE, c.prefTauE);
    FillBands();

    auto* bands = new wxBoxSizer(wxHORIZONTAL);
    bands->Add(m_bandFrom, wxSizerFlags(1).CenterVertical());
    bands->Add(new wxStaticText(this, wxID_ANY, "-"),
               wxSizerFlags().CenterVertical().Border(wxLEFT | wxRIGHT, 6));
    bands->Add(m_bandTo, wxSizerFlags(1).CenterVertical());
    bands->Add(new wxStaticText(this, wxID_ANY, "Hz"),
               wxSizerFlags().CenterVertical().Border(wxLEFT, 4));
    auto* frequency = new wxBoxSizer(wxVERTICAL);
    frequency->Add(m_bandSystem, wxSizerFlags().Expand());
    frequency->Add(bands, wxSizerFlags().Expand().Border(wxTOP, 6));
    frequency->Add(m_aWeighting, wxSizerFlags().Border(wxTOP, 6));

    auto* spl = Grid();
    Row(this, spl, "Ref. Data", m_refData);
    Row(this, spl, "Ref. Level", m_refLevel, "dB");
    auto* dt1 = Grid();
    Row(this, dt1, "Minimum delay time", m_minimumDelay, "ms");
    auto* tsub = Grid();
    Row(this, tsub, "End of Regression", m_endOfRegression, "dB");
    tsub->Add(m_auto);
    tsub->AddSpacer(0);
    tsub->AddSpacer(0);
    Row(this, tsub, "Rate of Noise Range", m_rateOfNoise, "%");
    auto* iacc = Grid();
    Row(this, iacc, "Width for WIACC", m_width);
    auto* preference = Grid();
    Row(this, preference, "Optimum SPL", m_optimumSpl, "dB");
    Row(this, preference, "Tau-e", m_tauE, "ms");

    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(m_targetBox, wxSizerFlags().Expand());
    left->Add(Group(this, "Frequency", frequency), wxSizerFlags().Expand().Border(wxTOP, 8));
    left->Add(Group(this, "SPL", spl), wxSizerFlags().Expand().Border(wxTOP, 8));
    auto* right = new wxBoxSizer(wxVERTICAL);
    right->Add(Group(this, "Delta t1", dt1), wxSizerFlags().Expand());
    right->Add(Group(this, "Tsub", tsub), wxSizerFlags().Expand().Border(wxTOP, 8));
    right->Add(Group(this, "IACC", iacc), wxSizerFlags().Expand().Border(wxTOP, 8));
    right->Add(Group(this, "Preference", preference), wxSizerFlags().Expand().Border(wxTOP, 8));
    LayOutConditions(this, left, right);
    UpdateEnabling();
}

void CImpulseConditionsDlg::FillBands() {
    const int system = m_bandSystem->GetSelection();
    int from = m_conditions.bandFrom, to = m_conditions.bandTo;
    if (m_bandFrom->GetSelection() >= 0) {
        // A change of band system keeps the chosen frequencies (From has "None" first, To not).
        from = NearestBand(m_shownSystem, m_bandFrom->GetSelection(), system);
        to = NearestBand(m_shownSystem, m_bandTo->GetSelection() + 1, system) - 1;
    }
    m_shownSystem = system;
    const BandTable& table = GetBandTable(system);
    m_bandFrom->Clear();
    m_bandTo->Clear();
    m_bandFrom->Append("None");
    for (int b = 1; b < table.count; ++b) {
        const wxString label = wxString::Format("%g", table.nominalCentre[b]);
        m_bandFrom->Append(label);
        m_bandTo->Append(label);
    }
    m_bandFrom->SetSelection(std::clamp(from, 0, static_cast<int>(m_bandFrom->GetCount()) - 1));
    m_bandTo->SetSelection(std::clamp(to, 0, static_cast<int>(m_bandTo->GetCount()) - 1));
}

void CImpulseConditionsDlg::UpdateEnabling() {
    m_bandTo->Enable(m_bandFrom->GetSelection() != 0);
    m_refLevel->Enable(m_refData->GetSelection() != 0);
    m_endOfRegression->Enable(!m_auto->GetValue());
}

void CImpulseConditionsDlg::OnBandSystem(wxCommandEvent&) {
    FillBands();
    UpdateEnabling();
}

void CImpulseConditionsDlg::OnChange(wxCommandEvent&) {
    UpdateEnabling();
}

void CImpulseConditionsDlg::OnStart(wxCommandEvent&) {
    bool ok = true;
    ImpulseConditions c = m_conditions;
    c.freqBand = m_bandSystem->GetSelection();
    c.bandFrom = m_bandFrom->GetSelection();
    c.bandTo = m_bandTo->GetSelection();
    c.aFilter = m_aWeighting->GetValue() ? 1 : 0;
    const int ref = m_refData->GetSelection();
    c.splRefData = ref >= 0 ? m_references.data[static_cast<std::size_t>(ref)] : c.splRefData;
    c.splRefLevel = Number(m_refLevel, &ok);
    c.dt1MinTime = Number(m_minimumDelay, &ok);
    c.tsubEnd = Number(m_endOfRegression, &ok);
    c.tsubAuto = m_auto->GetValue() ? 1 : 0;
    c.tsubNoise = Number(m_rateOfNoise, &ok) / 100;
    c.iaccWLevel = Number(m_width, &ok);
    c.prefSpl = Number(m_optimumSpl, &ok);
    c.prefTauE = Number(m_tauE, &ok);
    if (!ok) {
        Messages().ShowMessage("Every value must be a number.");
        return;
    }
    m_conditions = c;
    m_target = static_cast<Target>(m_targetBox->GetSelection());
    FinishDialog(this, wxID_OK);
}

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CAcfConditionsDlg, wxDialog) EVT_CHOICE(id::kPhiZeroRefData,
                                                            CAcfConditionsDlg::OnChange)
    EVT_RADIOBOX(id::kMaximumSpl, CAcfConditionsDlg::OnChange)
        EVT_BUTTON(wxID_OK, CAcfConditionsDlg::OnStart) wxEND_EVENT_TABLE()

            CAcfConditionsDlg::CAcfConditionsDlg(wxWindow* parent, const RunningAcfConditions& c,
                                                 std::int32_t folderId,
                                                 const IdentificationSettings* identification)
    : wxDialog(parent, identification ? id::kNoiseConditionsDialog : id::kAcfConditionsDialog,
               "Calculation Conditions"),
      m_conditions(c),
      m_identification(identification ? *identification : IdentificationSettings{}),
      m_noise(identification != nullptr) {
    m_targetBox = TargetBox(this, m_noise ? "Non Calculation" : "non Calculation");
    auto edit = [this](int id, double v) {
        return new wxTextCtrl(this, id, Text(v), wxDefaultPosition, FromDIP(wxSize(80, -1)));
    };
    m_integration = edit(id::kIntegrationTime, c.integrationTime);
    m_step = edit(id::kRunningStep, c.runningStep);
    const wxString weightings[] = {"Flat", "A-weighting", "B-weighting", "C-weighting"};
    m_weighting =
        new wxChoice(this, id::kWeighting, wxDefaultPosition, wxDefaultSize, 4, weightings);
    m_weighting->SetSelection(c.weighting < 4 ? static_cast<int>(c.weighting) : 0);
    m_maxDelay = edit(id::kMaxDelayTime, c.maxDelayTime);
    m_peakTime = edit(id::kPeakDetectionTime, c.peakDetectTime);
    m_endLevel = edit(id::kEndOfRegressionLevel, c.tauERegLevel);
    m_endTime = edit(id::kEndOfRegressionTime, c.tauERegTime);
    m_origin = new wxCheckBox(this, id::kIncludingOrigin, "Including Origin");
    m_origin->SetValue(c.includeOrigin != 0);

    auto* acf = Grid();
    Row(this, acf, "Integration Time", m_integration, "sec");
    Row(this, acf, "Running Step", m_step, "sec");
    Row(this, acf, "Weighting", m_weighting);
    Row(this, acf, "Max Delay Time", m_maxDelay, "sec");
    auto* tauE = Grid();
    Row(this, tauE, "Peak Detection Time", m_peakTime, "ms");
    Row(this, tauE, "End of Regression(level)", m_endLevel, "dB");
    Row(this, tauE, "End of Regression(time)", m_endTime, "ms");
    tauE->Add(m_origin);

    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(m_targetBox, wxSizerFlags().Expand());
    left->Add(Group(this, "ACF", acf), wxSizerFlags().Expand().Border(wxTOP, 8));
    auto* right = new wxBoxSizer(wxVERTICAL);
    right->Add(Group(this, "Tau-e", tauE), wxSizerFlags().Expand());
    if (!m_noise) {
        m_references = References('A', folderId);
        m_refData = new wxChoice(this, id::kPhiZeroRefData, wxDefaultPosition, wxDefaultSize,
                                 m_references.texts);
        m_refData->SetSelection(IndexOf(m_references, c.phi0RefData));
        m_refLevel = edit(id::kPhiZeroRefLevel, c.phi0RefLevel);
        auto* phi0 = Grid();
        Row(this, phi0, "Ref. Data", m_refData);
        Row(this, phi0, "Ref. Level", m_refLevel, "dB");
        left->Add(Group(this, "Phi(0)", phi0), wxSizerFlags().Expand().Border(wxTOP, 8));
        const wxString rules[] = {"Peak Detection A", "Peak Detection B (High Frequency)"};
        m_peakRule = new wxRadioBox(this, id::kPeakDetectionA, "Tau-1", wxDefaultPosition,
                                    wxDefaultSize, 2, rules, 1, wxRA_SPECIFY_COLS);
        m_peakRule->SetSelection(c.tau1PeakRule ? 1 : 0);
        right->Add(m_peakRule, wxSizerFlags().Expand().Border(wxTOP, 8));
    } else {
        const wxString modes[] = {"Maximum SPL", "Minimum Tau-e"};
        m_mode = new wxRadioBox(this, id::kMaximumSpl, "Identification", wxDefaultPosition,
                                wxDefaultSize, 2, modes, 1, wxRA_SPECIFY_COLS);
        m_mode->SetSelection(m_identification.mode == 1 ? 1 : 0);
        m_before =
            new wxSpinCtrl(this, id::kStepsBefore, "", wxDefaultPosition, FromDIP(wxSize(80, -1)),
                           wxSP_ARROW_KEYS, 0, 100000, m_identification.stepsBefore);
        m_after =
            new wxSpinCtrl(this, id::kStepsAfter, "", wxDefaultPosition, FromDIP(wxSize(80, -1)),
                           wxSP_ARROW_KEYS, 0, 100000, m_identification.stepsAfter);
        auto* steps = Grid();
        Row(this, steps, "Before Max.SPL", m_before, "step");
        Row(this, steps, "After Max.SPL", m_after, "step");
        auto* box = new wxBoxSizer(wxVERTICAL);
        box->Add(m_mode, wxSizerFlags().Expand());
        box->Add(steps, wxSizerFlags().Expand().Border(wxTOP, 6));
        right->Add(box, wxSizerFlags().Expand().Border(wxTOP, 8));
    }
    LayOutConditions(this, left, right);
    UpdateEnabling();
}

void CAcfConditionsDlg::UpdateEnabling() {
    if (m_refLevel) m_refLevel->Enable(m_refData->GetSelection() != 0);
    if (m_mode) {
        m_before->Enable(m_mode->GetSelection() == 1);
        m_after->Enable(m_mode->GetSelection() == 1);
    }
}

void CAcfConditionsDlg::OnChange(wxCommandEvent&) {
    UpdateEnabling();
}

void CAcfConditionsDlg::OnStart(wxCommandEvent&) {
    bool ok = true;
    RunningAcfConditions c = m_conditions;
    c.integrationTime = Number(m_integration, &ok);
    c.runningStep = Number(m_step, &ok);
    c.weighting = static_cast<std::uint32_t>(std::max(0, m_weighting->GetSelection()));
    c.maxDelayTime = Number(m_maxDelay, &ok);
    c.peakDetectTime = Number(m_peakTime, &ok);
    c.tauERegLevel = Number(m_endLevel, &ok);
    c.tauERegTime = Number(m_endTime, &ok);
    c.includeOrigin = m_origin->GetValue() ? 1 : 0;
    if (m_refData) {
        const int ref = m_refData->GetSelection();
        if (ref >= 0) c.phi0RefData = m_references.data[static_cast<std::size_t>(ref)];
        c.phi0RefLevel = Number(m_refLevel, &ok);
        c.tau1PeakRule = m_peakRule->GetSelection() == 1 ? 1 : 0;
    } else {
        c.phi0RefData = 0;
        c.phi0RefLevel = 0.0;
    }
    if (!ok) {
        Messages().ShowMessage("Every value must be a number.");
        return;
    }
    // Conditions under which the analysis is undefined are refused here, in their own words.
    const std::string why = CheckRunningAcfConditions(c, m_fs, 1);
    if (!why.empty()) {
        Messages().ShowMessage(why);
        return;
    }
    if (m_mode) {
        m_identification.mode = m_mode->GetSelection();
        m_identification.stepsBefore = m_before->GetValue();
        m_identification.stepsAfter = m_after->GetValue();
    }
    m_conditions = c;
    m_target = static_cast<Target>(m_targetBox->GetSelection());
    FinishDialog(this, wxID_OK);
}

void ShowAboutBox(wxWindow* parent) {
    wxDialog box(parent, id::kAboutDialog, "About Vesk");
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticBitmap(&box, wxID_ANY, wxArtProvider::GetBitmap(wxART_INFORMATION)),
             wxSizerFlags().Border(wxALL, 10));
    row->Add(new wxStaticText(&box, wxID_ANY, "Orvanel Version 1.0.1"),
             wxSizerFlags().CenterVertical().Border(wxALL, 10));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(row);
    top->Add(box.CreateButtonSizer(wxOK), wxSizerFlags().Center().Border(wxALL, 10));
    box.SetSizerAndFit(top);
    box.CentreOnParent();
    box.ShowModal();
}

}  // namespace vesk
