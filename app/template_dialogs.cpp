#include "app/template_dialogs.h"

#include <wx/filedlg.h>
#include <wx/statline.h>

#include <algorithm>

#include "app/dialogs.h"
#include "resources/strings.h"
#include "resources/window_ids.h"
#include "store/messages.h"

namespace vesk {

namespace {

constexpr Factor kGroupOrder[4] = {kPhi0, kTauE, kPhi1, kTau1};  // as the dialog shows them
constexpr std::size_t kWeightOrder[4] = {0, 1, 3, 2};            // w0, w1, w3, w2

const char kNstFilter[] = "Template File (*.nst)|*.nst";

// Names come from the store and from foreign files: bytes that are not UTF-8 are shown one
// character per byte rather than as an empty name.
wxString NameText(const std::string& name) {
    const wxString text = wxString::FromUTF8(name);
    return text.empty() && !name.empty() ? wxString::From8BitData(name.data(), name.size()) : text;
}

wxArrayString Names(const std::vector<TemplateListItem>& items) {
    wxArrayString names;
    for (const TemplateListItem& item : items)
        names.Add(NameText(item.name));
    return names;
}

std::string Text(const wxTextCtrl* edit) {
    return edit->GetValue().utf8_string();
}

wxTextCtrl* NumberEdit(wxWindow* parent, int id) {
    return new wxTextCtrl(parent, id, "", wxDefaultPosition, parent->FromDIP(wxSize(72, -1)),
                          wxTE_RIGHT);
}

wxStaticText* Label(wxWindow* parent, const wxString& text) {
    return new wxStaticText(parent, wxID_ANY, text);
}

// The list and its buttons beside it: the shape of the Export and Import dialogs.
wxSizer* ListWithButtons(wxWindow* parent, wxListBox* list, wxSizer* below,
                         std::initializer_list<wxButton*> buttons) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    for (wxButton* b : buttons)
        if (b)
            column->Add(b, wxSizerFlags().Expand().Border(wxBOTTOM, parent->FromDIP(4)));
        else
            column->AddSpacer(parent->FromDIP(12));
    auto* left = new wxStaticBoxSizer(wxVERTICAL, parent, "Template List");
    left->Add(list, wxSizerFlags(1).Expand().Border(wxALL, parent->FromDIP(4)));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(left, wxSizerFlags(1).Expand());
    row->Add(column, wxSizerFlags().Border(wxLEFT, parent->FromDIP(10)));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(row, wxSizerFlags(1).Expand().Border(wxALL, parent->FromDIP(10)));
    if (below)
        top->Add(below,
                 wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, parent->FromDIP(10)));
    return top;
}

void SelectEvery(wxListBox* list, bool select) {
    for (unsigned i = 0; i < list->GetCount(); ++i)
        if (select)
            list->SetSelection(static_cast<int>(i));
        else
            list->Deselect(static_cast<int>(i));
}

}  // namespace

wxString ChooseExportFile(wxWindow* parent) {
    wxFileDialog dialog(parent, "Export", "", "template.nst", kNstFilter,
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return "";
    return wxString::FromUTF8(WithTemplateExtension(dialog.GetPath().utf8_string()));
}

wxString ChooseImportFile(wxWindow* parent) {
    wxFileDialog dialog(parent, "Import", "", "", kNstFilter, wxFD_OPEN);
    return dialog.ShowModal() == wxID_OK ? dialog.GetPath() : wxString();
}

// ---------------------------------------------------------------------------------------------

// clang-format off
wxBEGIN_EVENT_TABLE(CTemplateEditorDlg, wxDialog)
    EVT_LISTBOX(id::kTemplateList, CTemplateEditorDlg::OnSelect)
    EVT_CHECKBOX(wxID_ANY, CTemplateEditorDlg::OnCheck)
    EVT_BUTTON(id::kTemplateNew, CTemplateEditorDlg::OnNew)
    EVT_BUTTON(id::kTemplateUpdate, CTemplateEditorDlg::OnUpdate)
    EVT_BUTTON(id::kTemplateDelete, CTemplateEditorDlg::OnDelete)
    EVT_BUTTON(id::kTemplateSetWeights, CTemplateEditorDlg::OnSetWeights)
    EVT_BUTTON(id::kTemplateExport, CTemplateEditorDlg::OnExport)
    EVT_BUTTON(id::kTemplateImport, CTemplateEditorDlg::OnImport)
wxEND_EVENT_TABLE()
    // clang-format on

    CTemplateEditorDlg::CTemplateEditorDlg(wxWindow* parent)
    : wxDialog(parent, id::kTemplateEditorDialog, "Noise Source Template") {
    m_list = new wxListBox(this, id::kTemplateList, wxDefaultPosition, FromDIP(wxSize(180, 260)), 0,
                           nullptr, wxLB_SINGLE | wxLB_NEEDED_SB);
    m_name = new wxTextCtrl(this, id::kTemplateName);
    m_name->SetMaxLength(kTemplateNameWidth);

    auto* list = new wxStaticBoxSizer(wxVERTICAL, this, "Template List");
    list->Add(m_list, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(4)));
    auto* editing = new wxBoxSizer(wxHORIZONTAL);
    for (auto [id, text] :
         {std::pair{id::kTemplateNew, "&New"}, std::pair{id::kTemplateUpdate, "&Update"},
          std::pair{id::kTemplateDelete, "&Delete"}})
        editing->Add(new wxButton(this, id, text), wxSizerFlags(1).Border(wxRIGHT, FromDIP(4)));
    auto* files = new wxBoxSizer(wxHORIZONTAL);
    files->Add(new wxButton(this, id::kTemplateExport, "&Export"),
               wxSizerFlags(1).Border(wxRIGHT, FromDIP(4)));
    files->Add(new wxButton(this, id::kTemplateImport, "&Import"),
               wxSizerFlags(1).Border(wxRIGHT, FromDIP(4)));
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(list, wxSizerFlags(1).Expand());
    left->Add(editing, wxSizerFlags().Expand().Border(wxTOP, FromDIP(6)));
    left->Add(files, wxSizerFlags().Expand().Border(wxTOP, FromDIP(4)));

    auto* name = new wxBoxSizer(wxHORIZONTAL);
    name->Add(Label(this, "Noise Source"), wxSizerFlags().CenterVertical());
    name->Add(m_name, wxSizerFlags(1).CenterVertical().Border(wxLEFT, FromDIP(8)));

    // The four factors, two by two, each with its standard value and limits.
    auto* factors = new wxGridSizer(2, wxSize(FromDIP(10), FromDIP(8)));
    for (Factor f : kGroupOrder) {
        auto* box = new wxStaticBoxSizer(wxVERTICAL, this, FactorCaption(f));
        wxWindow* panel = box->GetStaticBox();
        m_standard[f] = NumberEdit(panel, id::kTemplateStandard[f]);
        m_upper[f] = NumberEdit(panel, id::kTemplateUpper[f]);
        m_lower[f] = NumberEdit(panel, id::kTemplateLower[f]);
        m_useUpper[f] = new wxCheckBox(panel, id::kTemplateUseUpper[f], "Upper Limit");
        m_useLower[f] = new wxCheckBox(panel, id::kTemplateUseLower[f], "Lower Limit");
        auto* grid = new wxFlexGridSizer(3, wxSize(FromDIP(6), FromDIP(4)));
        grid->AddGrowableCol(1);
        const wxString unit = FactorUnit(f);
        // Every group's unit column is as wide, so the edits of all four line up.
        const wxSize unitSize(std::max(GetTextExtent("dB").x, GetTextExtent("ms").x), -1);
        const std::pair<wxWindow*, wxTextCtrl*> rows[] = {
            {Label(panel, "Standard Value"), m_standard[f]},
            {m_useUpper[f], m_upper[f]},
            {m_useLower[f], m_lower[f]}};
        for (const auto& [caption, edit] : rows) {
            grid->Add(caption, wxSizerFlags().CenterVertical());
            grid->Add(edit, wxSizerFlags().Expand().CenterVertical());
            wxStaticText* label = Label(panel, unit);
            label->SetMinSize(unitSize);
            grid->Add(label, wxSizerFlags().CenterVertical());
        }
        box->Add(grid, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(4)));
        factors->Add(box, wxSizerFlags().Expand());
    }

    auto* weighting = new wxStaticBoxSizer(wxHORIZONTAL, this, "Weighting");
    wxWindow* weights = weighting->GetStaticBox();
    for (std::size_t k : kWeightOrder) {
        const Factor f = static_cast<Factor>(k);
        m_weight[k] = NumberEdit(weights, id::kTemplateWeight[k]);
        weighting->Add(Label(weights, FactorCaption(f)),
                       wxSizerFlags().CenterVertical().Border(wxLEFT, FromDIP(k == 0 ? 4 : 12)));
        weighting->Add(m_weight[k], wxSizerFlags(1).CenterVertical().Border(wxLEFT, FromDIP(4)));
    }
    weighting->Add(new wxButton(weights, id::kTemplateSetWeights, "&Set"),
                   wxSizerFlags().CenterVertical().Border(wxALL, FromDIP(4)));

    auto* right = new wxBoxSizer(wxVERTICAL);
    right->Add(name, wxSizerFlags().Expand().Border(wxBOTTOM, FromDIP(8)));
    right->Add(factors, wxSizerFlags().Expand());
    right->Add(weighting, wxSizerFlags().Expand().Border(wxTOP, FromDIP(8)));

    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    columns->Add(left, wxSizerFlags().Expand());
    columns->Add(right, wxSizerFlags(1).Expand().Border(wxLEFT, FromDIP(12)));
    auto* exit = new wxBoxSizer(wxHORIZONTAL);
    exit->AddStretchSpacer();
    exit->Add(new wxButton(this, wxID_CANCEL, "E&xit"));
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(columns, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(10)));
    top->Add(new wxStaticLine(this), wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, FromDIP(10)));
    top->Add(exit, wxSizerFlags().Expand().Border(wxALL, FromDIP(10)));
    SetSizerAndFit(top);

    FillList(-1);
    ShowWeights();
    UpdateLimitEnabling();
    m_list->SetFocus();
    CentreOnParent();
}

std::int32_t CTemplateEditorDlg::SelectedId() const {
    const int row = m_list->GetSelection();
    return row >= 0 && static_cast<std::size_t>(row) < m_items.size()
               ? m_items[static_cast<std::size_t>(row)].id
               : -1;
}

TemplateFields CTemplateEditorDlg::Fields() const {
    TemplateFields fields;
    fields.name = Text(m_name);
    for (std::size_t f = 0; f < 4; ++f) {
        fields.standard[f] = Text(m_standard[f]);
        fields.upper[f] = Text(m_upper[f]);
        fields.lower[f] = Text(m_lower[f]);
        fields.useUpper[f] = m_useUpper[f]->GetValue();
        fields.useLower[f] = m_useLower[f]->GetValue();
    }
    return fields;
}

void CTemplateEditorDlg::ShowFields(const TemplateFields& fields) {
    m_name->ChangeValue(NameText(fields.name));
    for (std::size_t f = 0; f < 4; ++f) {
        m_standard[f]->ChangeValue(wxString::FromUTF8(fields.standard[f]));
        m_upper[f]->ChangeValue(wxString::FromUTF8(fields.upper[f]));
        m_lower[f]->ChangeValue(wxString::FromUTF8(fields.lower[f]));
        m_useUpper[f]->SetValue(fields.useUpper[f]);
        m_useLower[f]->SetValue(fields.useLower[f]);
    }
    UpdateLimitEnabling();
}

void CTemplateEditorDlg::FillList(std::int32_t selectId) {
    std::vector<NoiseTemplate> templates;
    LoadTemplates(&templates);  // after a failure the table layer has spoken; list what was read
    m_items = TemplateListItems(templates);
    m_list->Set(Names(m_items));
    const int row = RowOfTemplate(m_items, selectId);
    if (row >= 0) m_list->SetSelection(row);
}

void CTemplateEditorDlg::ShowWeights() {
    const std::array<std::string, 4> texts = WeightTexts(ReadFactorWeights());
    for (std::size_t k = 0; k < 4; ++k)
        m_weight[k]->ChangeValue(wxString::FromUTF8(texts[k]));
}

void CTemplateEditorDlg::ShowSelectedTemplate() {
    const std::int32_t id = SelectedId();
    NoiseTemplate t;
    if (id < 0 || !ReadNoiseTemplate(id, &t)) return;
    ShowFields(FieldsOfTemplate(t));
}

void CTemplateEditorDlg::UpdateLimitEnabling() {
    for (std::size_t f = 0; f < 4; ++f) {
        m_upper[f]->Enable(m_useUpper[f]->GetValue());
        m_lower[f]->Enable(m_useLower[f]->GetValue());
    }
}

void CTemplateEditorDlg::Save(bool asNew) {
    std::int32_t id = asNew ? -1 : SelectedId();
    if (!asNew && id < 0) return;
    const TemplateFields fields = Fields();
    NoiseTemplateData data;
    std::string problem;
    if (!TemplateDataOfFields(fields, &data, &problem)) {
        Messages().ShowMessage(problem);
        return;
    }
    const TemplateAction done =
        asNew ? SaveNewTemplate(fields.name, data, &id) : UpdateTemplate(id, fields.name, data);
    if (done != TemplateAction::Done) return;
    FillList(id);  // the fields keep what was typed
}

void CTemplateEditorDlg::OnSelect(wxCommandEvent&) {
    ShowSelectedTemplate();
}

void CTemplateEditorDlg::OnCheck(wxCommandEvent&) {
    UpdateLimitEnabling();
}

void CTemplateEditorDlg::OnNew(wxCommandEvent&) {
    Save(true);
}

void CTemplateEditorDlg::OnUpdate(wxCommandEvent&) {
    Save(false);
}

void CTemplateEditorDlg::OnDelete(wxCommandEvent&) {
    const std::int32_t id = SelectedId();
    if (id < 0 || DeleteTemplate(id) != TemplateAction::Done) return;
    FillList(-1);  // the fields keep the deleted template, so "&New" can bring it back
}

void CTemplateEditorDlg::OnSetWeights(wxCommandEvent&) {
    std::array<std::string, 4> texts;
    for (std::size_t k = 0; k < 4; ++k)
        texts[k] = Text(m_weight[k]);
    FactorWeights weights;
    std::string problem;
    if (!WeightsOfTexts(texts, &weights, &problem)) {
        Messages().ShowMessage(problem);
        return;
    }
    WriteFactorWeights(weights);  // a file that cannot be written is not reported
}

void CTemplateEditorDlg::OnExport(wxCommandEvent&) {
    CTemplateExportDlg dialog(this, SelectedId());
    dialog.m_chooseFile = m_chooseExportFile;
    m_runDialog(dialog);
}

void CTemplateEditorDlg::OnImport(wxCommandEvent&) {
    const wxString path = m_chooseImportFile(this);
    if (path.empty()) return;
    CTemplateImportDlg dialog(this, path);
    if (!dialog.Loaded()) return;
    // A failed import keeps its dialog open with what it has done so far; the list shows that
    // too once the dialog is left.
    if (m_runDialog(dialog) != wxID_OK && !dialog.Imported()) return;
    FillList(SelectedId());
    ShowSelectedTemplate();
    ShowWeights();
}

// ---------------------------------------------------------------------------------------------

// clang-format off
wxBEGIN_EVENT_TABLE(CTemplateExportDlg, wxDialog)
    EVT_BUTTON(id::kSelectAll, CTemplateExportDlg::OnSelectAll)
    EVT_BUTTON(id::kRemoveAll, CTemplateExportDlg::OnRemoveAll)
    EVT_BUTTON(wxID_OK, CTemplateExportDlg::OnOk)
wxEND_EVENT_TABLE()
    // clang-format on

    CTemplateExportDlg::CTemplateExportDlg(wxWindow* parent, std::int32_t selectedId)
    : wxDialog(parent, id::kTemplateExportDialog, "Export") {
    std::vector<NoiseTemplate> templates;
    LoadTemplates(&templates);
    m_items = TemplateListItems(templates);
    m_list = new wxListBox(this, id::kTemplateList, wxDefaultPosition, FromDIP(wxSize(200, 220)),
                           Names(m_items), wxLB_MULTIPLE | wxLB_NEEDED_SB);
    const int row = RowOfTemplate(m_items, selectedId);
    if (selectedId == -1)
        SelectEvery(m_list, true);
    else if (row >= 0)
        m_list->SetSelection(row);
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    SetSizerAndFit(ListWithButtons(this, m_list, nullptr,
                                   {ok, new wxButton(this, wxID_CANCEL, "Cancel"), nullptr,
                                    new wxButton(this, id::kSelectAll, "&Select All"),
                                    new wxButton(this, id::kRemoveAll, "&Remove All")}));
    CentreOnParent();
}

void CTemplateExportDlg::OnSelectAll(wxCommandEvent&) {
    SelectEvery(m_list, true);
}

void CTemplateExportDlg::OnRemoveAll(wxCommandEvent&) {
    SelectEvery(m_list, false);
}

void CTemplateExportDlg::OnOk(wxCommandEvent&) {
    const wxString path = m_chooseFile(this);
    if (path.empty()) return;  // back to the list
    std::vector<std::int32_t> ids;
    for (std::size_t row = 0; row < m_items.size(); ++row)
        if (m_list->IsSelected(static_cast<int>(row))) ids.push_back(m_items[row].id);
    if (ExportTemplates(path.utf8_string(), ids) != TemplateAction::Done) return;
    FinishDialog(this, wxID_OK);
}

// ---------------------------------------------------------------------------------------------

// clang-format off
wxBEGIN_EVENT_TABLE(CTemplateImportDlg, wxDialog)
    EVT_BUTTON(id::kSelectAll, CTemplateImportDlg::OnSelectAll)
    EVT_BUTTON(id::kRemoveAll, CTemplateImportDlg::OnRemoveAll)
    EVT_BUTTON(wxID_OK, CTemplateImportDlg::OnOk)
wxEND_EVENT_TABLE()
    // clang-format on

    CTemplateImportDlg::CTemplateImportDlg(wxWindow* parent, const wxString& path)
    : wxDialog(parent, id::kTemplateImportDialog, "Import"), m_path(path.utf8_string()) {
    std::vector<NstEntry> entries;
    m_loaded = ReadNstFile(m_path, &entries);
    if (!m_loaded) ShowStoreMessage(str::kCantOpenImportFile);
    wxArrayString names;
    for (const NstEntry& e : entries)
        names.Add(NameText(e.name));
    m_list = new wxListBox(this, id::kTemplateList, wxDefaultPosition, FromDIP(wxSize(200, 220)),
                           names, wxLB_MULTIPLE | wxLB_NEEDED_SB);
    SelectEvery(m_list, true);
    m_merge = new wxRadioButton(this, id::kImportMerge, "Merge", wxDefaultPosition, wxDefaultSize,
                                wxRB_GROUP);
    auto* replace = new wxRadioButton(this, id::kImportReplace, "Replace");
    m_merge->SetValue(true);
    auto* append = new wxStaticBoxSizer(wxHORIZONTAL, this, "Append");
    append->Add(m_merge, wxSizerFlags().Border(wxALL, FromDIP(4)));
    append->Add(replace, wxSizerFlags().Border(wxALL, FromDIP(4)));
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    SetSizerAndFit(ListWithButtons(this, m_list, append,
                                   {ok, new wxButton(this, wxID_CANCEL, "Cancel"), nullptr,
                                    new wxButton(this, id::kSelectAll, "&Select All"),
                                    new wxButton(this, id::kRemoveAll, "&Remove All")}));
    CentreOnParent();
}

void CTemplateImportDlg::OnSelectAll(wxCommandEvent&) {
    SelectEvery(m_list, true);
}

void CTemplateImportDlg::OnRemoveAll(wxCommandEvent&) {
    SelectEvery(m_list, false);
}

void CTemplateImportDlg::OnOk(wxCommandEvent&) {
    std::vector<bool> selected(m_list->GetCount());
    for (std::size_t row = 0; row < selected.size(); ++row)
        selected[row] = m_list->IsSelected(static_cast<int>(row));
    int imported = 0;
    const TemplateAction done = ImportTemplates(m_path, selected, m_merge->GetValue(), &imported);
    m_imported += imported;
    if (done == TemplateAction::Done) FinishDialog(this, wxID_OK);
}

}  // namespace vesk
