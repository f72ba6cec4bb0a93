#include "app/main_frame.h"

#include <dlfcn.h>
#include <unistd.h>
#include <wx/artprov.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>

#include <filesystem>
#include <fstream>

#include "app/dialogs.h"
#include "app/folder_dialog.h"
#include "app/import_dialog.h"
#include "app/measure_dialog.h"
#include "app/report_commands.h"
#include "app/statistics_dialog.h"
#include "app/template_dialogs.h"
#include "export/output_files.h"
#include "noise/noise_calculation.h"
#include "resources/import_ids.h"
#include "resources/strings.h"
#include "resources/window_ids.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

// The stock commands keep wxWidgets' own IDs, so that GTK gives them their usual look.
static_assert(id::kFileNew == wxID_NEW && id::kFileOpen == wxID_OPEN &&
              id::kFileSave == wxID_SAVE && id::kFilePrint == wxID_PRINT &&
              id::kFilePrintPreview == wxID_PREVIEW && id::kFilePrintSetup == wxID_PRINT_SETUP &&
              id::kAppExit == wxID_EXIT && id::kAppAbout == wxID_ABOUT);

namespace {

wxString S(int id) {
    return wxString::FromUTF8(LoadString(id));
}

std::string ProgramPath() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

bool FolderExists(std::int32_t folderId) {
    CFolderTable folders;
    FolderRecord f;
    return folders.Open() && folders.Read(folderId, &f) == 1;
}

std::string CommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : text)
        if (c == '\0') c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void CVeskDoc::OpenFolder(std::int32_t folderId, char kind, const std::string& title) {
    m_state.folderId = folderId;
    m_state.kind = kind;
    m_state.title = title;
    m_frame->SetTitle(wxString::FromUTF8(title) + " - Orvanel");
    UpdateAllViews();
    m_settings.impulse.splRefData = -1;
}

void CVeskDoc::UpdateAllViews() {
    if (m_view) m_view->OnUpdate();
}

void CVeskDoc::OnOpen() {
    CSelectFolderDlg dialog(DialogParent(m_frame), RunningFolder());
    const bool chosen = dialog.ShowModal() == wxID_OK;
    if (chosen) {
        OpenFolder(dialog.m_folderId, dialog.m_kind, dialog.m_title);
    } else if (m_state.FolderOpen() && !FolderExists(m_state.folderId)) {
        // The open folder was deleted in the chooser: nothing of it stays to calculate or write.
        m_state = DocumentState();
        m_frame->SetTitle("Untitled - Orvanel");
        if (m_view) m_view->Clear();
    }
}

double CVeskDoc::FirstSamplingRate() const {
    // The conditions dialogs check the running-ACF conditions at the folder's rate.
    CFolderTable folders;
    FolderRecord f;
    const double scale = folders.Open() && folders.Read(m_state.folderId, &f) ? f.TimeScale() : 1.0;
    long count = 0;
    if (m_state.kind == 'A') {
        CAcfTable t;
        AcfRecord r;
        if (t.Open() && t.SetScopeTo(m_state.folderId, &count) && t.ReadNext(&r))
            return r.sampling / scale;
    } else if (m_state.kind == 'N') {
        CNmsTable t;
        NmsRecord r;
        if (t.Open() && t.SetScopeTo(m_state.folderId, &count) && t.ReadNext(&r))
            return r.sampling / scale;
    }
    return 48000 / scale;
}

void CVeskDoc::OnCalculation() {
    if (Running()) return;  // one run at a time; the menu is disabled meanwhile
    const std::int32_t folder = m_state.folderId;
    std::string refused;
    if (m_state.kind == 'I') {
        CImpulseConditionsDlg dialog(DialogParent(m_frame), m_settings.impulse, folder);
        if (dialog.ShowModal() != wxID_OK) return;
        refused = RunImpulse(dialog.m_conditions, dialog.m_target);
    } else if (m_state.kind == 'A' || m_state.kind == 'N') {
        const bool noise = m_state.kind == 'N';
        IdentificationSettings identification{m_settings.identifyMethod, m_settings.stepsBeforeMax,
                                              m_settings.stepsAfterMax};
        CAcfConditionsDlg dialog(DialogParent(m_frame), noise ? m_settings.noise : m_settings.acf,
                                 folder, noise ? &identification : nullptr);
        dialog.m_fs = FirstSamplingRate();
        if (dialog.ShowModal() != wxID_OK) return;
        refused = noise ? RunNoise(dialog.m_conditions, dialog.m_identification, dialog.m_target)
                        : RunAcf(dialog.m_conditions, dialog.m_target);
    }
    if (!refused.empty())
        wxMessageBox(wxString::FromUTF8(refused), S(str::kAppName), wxOK | wxICON_EXCLAMATION,
                     DialogParent(m_frame));
}

template <class Run>
bool CVeskDoc::RunWithProgress(Run&& run, const wxString& caption) {
    {
        ProgressWindow window(m_frame, caption.empty() ? S(str::kCalculating) : caption);
        m_run = &window;
        m_runningFolder = m_state.folderId;
        Progress progress(window);
        run(progress);
        m_run = nullptr;
    }
    if (m_closeAfterRun != CloseAfterRun::No) {
        const bool forced = m_closeAfterRun == CloseAfterRun::Forced;
        m_closeAfterRun = CloseAfterRun::No;
        if (m_frame->Close(forced)) return false;  // else a changed result kept it open
    }
    UpdateAllViews();
    return true;
}

void CVeskDoc::StopRunAndClose(bool forced) {
    if (!m_run) return;
    m_run->Stop();
    m_closeAfterRun = forced ? CloseAfterRun::Forced : CloseAfterRun::Asked;
}

std::string CVeskDoc::RunImpulse(const ImpulseConditions& conditions, Target target) {
    m_settings.impulse = conditions;
    const std::set<std::int32_t> selected =
        m_view ? m_view->SelectedIds() : std::set<std::int32_t>{};
    RunSummary summary;
    if (!RunWithProgress([&](Progress& progress) {
            summary =
                RunImpulseCalculation(m_state.folderId, conditions, target, selected, &progress);
        }))
        return {};
    return summary.refused;
}

std::string CVeskDoc::RunAcf(const RunningAcfConditions& conditions, Target target) {
    m_settings.acf = conditions;
    const std::set<std::int32_t> selected =
        m_view ? m_view->SelectedIds() : std::set<std::int32_t>{};
    RunSummary summary;
    if (!RunWithProgress([&](Progress& progress) {
            summary = RunAcfCalculation(m_state.folderId, conditions, target, selected, &progress);
        }))
        return {};
    return summary.refused;
}

std::string CVeskDoc::RunNoise(const RunningAcfConditions& conditions,
                               const IdentificationSettings& identification, Target target) {
    m_settings.noise = conditions;
    m_settings.identifyMethod = identification.mode;
    m_settings.stepsBeforeMax = identification.stepsBefore;
    m_settings.stepsAfterMax = identification.stepsAfter;
    const std::set<std::int32_t> selected =
        m_view ? m_view->SelectedIds() : std::set<std::int32_t>{};
    RunSummary summary;
    if (!RunWithProgress([&](Progress& progress) {
            summary = RunNoiseCalculation(m_state.folderId, conditions, identification,
                                          m_settings.noiseParameter, target, selected, &progress);
        }))
        return {};
    return summary.refused;
}

void CVeskDoc::OnOutputFile() {
    wxFileDialog dialog(DialogParent(m_frame), "Output File", "", "",
                        "CSV File (*.csv)|*.csv|Text File (*.txt)|*.txt|JSON (*.json)|*.json|"
                        "All Files (*.*)|*.*",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return;
    wxString path = dialog.GetPath();
    // The default extension "csv" when the name has none, "json" under the JSON filter.
    if (std::filesystem::path(path.utf8_string()).extension().empty())
        path += dialog.GetFilterIndex() == 2 ? ".json" : ".csv";
    WriteOutput(path);
}

void CVeskDoc::OnNoiseTemplates() {
    if (!CommandEnabled(DocumentCommand::NoiseTemplates, m_state)) return;
    CTemplateEditorDlg dialog(DialogParent(m_frame));
    dialog.ShowModal();
}

void CVeskDoc::WriteOutput(const wxString& path) {
    if (!FolderExists(m_state.folderId)) {
        ShowStoreMessage(str::kCantFindFolder);
        return;
    }
    WriteOutputFile(m_state.folderId, std::string(1, m_state.kind), path.utf8_string());
}

void CVeskDoc::OnNewFolder() {
    if (Running()) return;
    FolderRecord folder;
    folder.type = m_state.FolderOpen() ? std::string(1, m_state.kind) : "I";
    CFolderDlg dialog(DialogParent(m_frame), folder);
    if (dialog.ShowModal() != wxID_OK) return;
    OpenFolder(dialog.m_folder.folderId, dialog.m_folder.type[0], dialog.m_folder.title);
}

void CVeskDoc::OnImport(const std::vector<std::string>& files) {
    if (Running() || !m_state.FolderOpen()) return;
    CImportDlg dialog(DialogParent(m_frame), m_state.kind, files);
    if (dialog.ShowModal() != wxID_OK) return;
    ImportRecordings(dialog.m_files, dialog.m_choices);
}

ImportSummary CVeskDoc::ImportRecordings(const std::vector<std::string>& files,
                                         ImportChoices choices) {
    ImportSummary summary;
    if (Running() || !m_state.FolderOpen()) return summary;
    if (!FolderExists(m_state.folderId)) {
        ShowStoreMessage(str::kCantFindFolder);
        return summary;
    }
    choices.kind = m_state.kind;
    choices.noiseConditions = m_settings.noise;
    choices.noiseParameter = m_settings.noiseParameter;
    const std::int32_t folder = m_state.folderId;
    if (!RunWithProgress(
            [&](Progress& progress) { summary = ImportFiles(folder, files, choices, &progress); },
            "Importing"))
        return summary;
    std::string text;
    if (summary.Imported() > 0 || summary.files.empty())
        text = std::to_string(summary.Imported()) + " of " + std::to_string(files.size()) +
               " files imported.";
    if (summary.Cancelled()) text += (text.empty() ? "" : "\n") + std::string("Import cancelled.");
    const std::string refusals = summary.Refusals();
    if (!refusals.empty()) text += "\n\nNot imported:\n" + refusals;
    // A store failure has shown the store's own message already.
    if (!summary.StoreFailed() && (!refusals.empty() || summary.Cancelled()))
        Messages().ShowMessage(text);
    if (m_frame->GetStatusBar())
        m_frame->SetStatusText(wxString::FromUTF8(text.substr(0, text.find('\n'))), 0);
    return summary;
}

void CVeskDoc::OnDeleteMeasurements() {
    if (Running() || !m_view || !m_state.FolderOpen()) return;
    const std::set<std::int32_t> selected = m_view->SelectedIds();
    if (selected.empty()) return;
    const std::string question = selected.size() == 1
                                     ? "Delete the selected measurement with its results?"
                                     : "Delete the " + std::to_string(selected.size()) +
                                           " selected measurements with their results?";
    if (!Messages().AskOkCancel(question)) return;
    DeleteMeasurements(m_state.kind, std::vector<long>(selected.begin(), selected.end()));
    UpdateAllViews();
}

void CVeskDoc::OnEditMeasurement() {
    if (Running() || !m_view || (m_state.kind != 'I' && m_state.kind != 'A')) return;
    const std::set<std::int32_t> selected = m_view->SelectedIds();
    if (selected.empty()) return;
    const std::int32_t id = *selected.begin();
    std::string title, comment;
    if (m_state.kind == 'I') {
        CImpulseTable t;
        ImpulseRecord r;
        if (!t.Open() || !t.Read(id, &r)) return;
        title = r.title;
        comment = r.comment;
    } else {
        CAcfTable t;
        AcfRecord r;
        if (!t.Open() || !t.Read(id, &r)) return;
        title = r.title;
        comment = r.comment;
    }
    CMeasurementDlg dialog(DialogParent(m_frame), title, comment);
    if (dialog.ShowModal() != wxID_OK) return;
    SetMeasurementText(m_state.kind, id, dialog.m_title, dialog.m_comment);
    UpdateAllViews();
}

// ---------------------------------------------------------------------------------------------

namespace {
// Audio files dropped from a file manager open the import dialog with them, once the drop has
// finished (a modal dialog inside the drop would hold the file manager's drag).
class ImportDropTarget : public wxFileDropTarget {
  public:
    ImportDropTarget(CVeskDoc& document, wxWindow* view) : m_document(document), m_view(view) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
        if (!m_document.State().FolderOpen() || m_document.Running()) return false;
        std::vector<std::string> files;
        for (const wxString& n : names)
            if (IsImportablePath(n.utf8_string())) files.push_back(n.utf8_string());
        if (files.empty()) return false;
        CVeskDoc* document = &m_document;
        // Through the view, so that the call is dropped if the window goes first.
        m_view->CallAfter([document, files] { document->OnImport(files); });
        return true;
    }

  private:
    CVeskDoc& m_document;
    wxWindow* m_view;
};
}  // namespace

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CVeskView, wxListCtrl) EVT_LIST_COL_CLICK(wxID_ANY, CVeskView::OnColumn)
    EVT_LIST_ITEM_ACTIVATED(wxID_ANY, CVeskView::OnActivated) wxEND_EVENT_TABLE()

        CVeskView::CVeskView(wxWindow* parent, CVeskDoc& document)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxBORDER_NONE),
      m_document(document) {
    SetImageList(SharedImageList(), wxIMAGE_LIST_SMALL);
    SetDropTarget(new ImportDropTarget(document, this));
}

void CVeskView::OnUpdate() {
    const DocumentState& s = m_document.State();
    if (s.kind != 'I' && s.kind != 'A' && s.kind != 'N') return;
    std::vector<ListRow> rows;
    if (!FolderViewRows(s.kind, s.folderId, &rows)) return;  // the store showed its message
    m_rows = std::move(rows);
    SortRows(&m_rows, m_sortColumn, m_direction);
    ClearAll();
    for (const ListColumn& c : FolderViewColumns(s.kind))
        AppendColumn(S(c.stringId), c.rightAligned ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                     FromDIP(c.width));
    ShowRows();
}

void CVeskView::ShowRows() {
    FillList(this, m_rows);
}

void CVeskView::Clear() {
    m_rows.clear();
    ClearAll();
}

bool CVeskView::IsSelected(std::int32_t recordId) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == recordId)
            return GetItemState(static_cast<long>(i), wxLIST_STATE_SELECTED) != 0;
    return false;
}

std::set<std::int32_t> CVeskView::SelectedIds() const {
    std::set<std::int32_t> ids;
    for (long item = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
         item = GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        ids.insert(m_rows[static_cast<std::size_t>(item)].id);
    return ids;
}

void CVeskView::OnColumn(wxListEvent& event) {
    ClickColumn(event.GetColumn(), &m_sortColumn, &m_direction);
    const std::set<std::int32_t> selected = SelectedIds();
    SortRows(&m_rows, m_sortColumn, m_direction);
    ShowRows();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (selected.count(m_rows[i].id))
            SetItemState(static_cast<long>(i), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CVeskView::OnActivated(wxListEvent&) {
    OnShowParameters();
}

void CVeskView::OnShowParameters() {
    if (GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED) < 0) {
        wxMessageBox(S(str::kSelectTheData), S(str::kAppName), wxOK | wxICON_INFORMATION, this);
        return;
    }
    const long item = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    CResultDialog::Open(m_document.State().kind, m_document.State().folderId,
                        m_rows[static_cast<std::size_t>(item)].id, this);
}

void CVeskView::ActivateMainFrame() {
    if (wxWindow* top = wxGetTopLevelParent(this)) top->Raise();
}

// ---------------------------------------------------------------------------------------------

wxBEGIN_EVENT_TABLE(CMainFrame, wxFrame) EVT_MENU(id::kFileOpen, CMainFrame::OnOpen) EVT_MENU(
    id::kRefreshViews, CMainFrame::OnRefresh) EVT_MENU(id::kCalculation, CMainFrame::OnCalculation)
    EVT_MENU(id::kOutputFile, CMainFrame::OnOutputFile) EVT_MENU(id::kFileSave,
                                                                 CMainFrame::OnOutputFile)
        EVT_MENU(id::kShowParameters, CMainFrame::OnShowParameters) EVT_MENU(
            id::kNoiseTemplates, CMainFrame::OnNoiseTemplates) EVT_MENU(id::kAppAbout,
                                                                        CMainFrame::OnAbout)
            EVT_MENU(id::kOnlineUpdate, CMainFrame::OnOnlineUpdate) EVT_MENU(
                id::kAppExit, CMainFrame::OnExit) EVT_MENU(id::kViewToolbar,
                                                           CMainFrame::OnToggleToolbar)
                EVT_MENU(id::kViewStatusBar, CMainFrame::OnToggleStatusBar) EVT_UPDATE_UI(
                    id::kRefreshViews, CMainFrame::OnUpdateDocumentCommand)
                    EVT_UPDATE_UI(id::kCalculation, CMainFrame::OnUpdateDocumentCommand)
                        EVT_UPDATE_UI(id::kOutputFile, CMainFrame::OnUpdateDocumentCommand)
                            EVT_UPDATE_UI(id::kFileSave, CMainFrame::OnUpdateDocumentCommand)
                                EVT_UPDATE_UI(id::kNoiseTemplates,
                                              CMainFrame::OnUpdateDocumentCommand)
                                    EVT_UPDATE_UI(id::kShowParameters,
                                                  CMainFrame::OnUpdateDocumentCommand)
                                        EVT_UPDATE_UI(id::kFileNew, CMainFrame::OnUpdateDisabled)
                                            EVT_UPDATE_UI(id::kFilePrint,
                                                          CMainFrame::OnUpdateDisabled)
                                                EVT_UPDATE_UI(id::kFilePrintPreview,
                                                              CMainFrame::OnUpdateDisabled)
                                                    EVT_UPDATE_UI(id::kFilePrintSetup,
                                                                  CMainFrame::OnUpdateDisabled)
                                                        EVT_UPDATE_UI(id::kViewToolbar,
                                                                      CMainFrame::OnUpdateBars)
                                                            EVT_UPDATE_UI(id::kViewStatusBar,
                                                                          CMainFrame::OnUpdateBars)
                                                                EVT_CLOSE(CMainFrame::OnClose)
                                                                    wxEND_EVENT_TABLE()

                                                                        CMainFrame::CMainFrame(
                                                                            AppSettings& settings,
                                                                            const wxPoint& position,
                                                                            const wxSize& size)
    : wxFrame(nullptr, wxID_ANY, "Untitled - Orvanel", position, size),
      m_settings(settings),
      m_document(settings, this) {
    auto* file = new wxMenu;
    file->Append(id::kFileNew, "&New Folder...\tCtrl+N");
    file->Append(id::kFileOpen, "&Open...\tCtrl+O");
    file->Append(id::kImportRecordings, "&Import Recordings...");
    const int exportReport = wxWindow::NewControlId();
    file->Append(exportReport, "Export &Report...");
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            const std::set<std::int32_t> selected = m_view->SelectedIds();
            ExportFolderReport(this, m_document.State().folderId,
                               {selected.begin(), selected.end()});
        },
        exportReport);
    // Bound handlers come before the frame's table, which keeps printing disabled otherwise.
    for (int item :
         {exportReport, static_cast<int>(id::kFilePrint), static_cast<int>(id::kFilePrintPreview)})
        Bind(
            wxEVT_UPDATE_UI,
            [this](wxUpdateUIEvent& e) { e.Enable(m_document.State().FolderOpen()); }, item);
    Bind(
        wxEVT_UPDATE_UI, [](wxUpdateUIEvent& e) { e.Enable(true); }, id::kFilePrintSetup);
    for (bool preview : {false, true})
        Bind(
            wxEVT_MENU,
            [this, preview](wxCommandEvent&) {
                const std::set<std::int32_t> selected = m_view->SelectedIds();
                PrintFolderSummary(this, m_document.State().folderId,
                                   {selected.begin(), selected.end()}, preview);
            },
            preview ? id::kFilePrintPreview : id::kFilePrint);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { PrintSetup(this); }, id::kFilePrintSetup);
    file->Append(id::kFileMeasure, "&Measure...");
    Bind(wxEVT_MENU, &CMainFrame::OnMeasure, this, id::kFileMeasure);
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& e) {
            e.Enable(m_document.State().FolderOpen() && !m_document.Running());
        },
        id::kFileMeasure);
    file->AppendSeparator();
    file->Append(id::kFilePrint, "&Print...\tCtrl+P");
    file->Append(id::kFilePrintPreview, "Print Pre&view");
    file->Append(id::kFilePrintSetup, "P&rint Setup...");
    file->AppendSeparator();
    file->Append(id::kAppExit, "E&xit");
    auto* edit = new wxMenu;
    edit->Append(id::kEditMeasurement, "&Title and Comment...");
    edit->Append(id::kDeleteMeasurements, "&Delete Measurements\tDel");
    edit->AppendSeparator();
    edit->Append(id::kSelectAllMeasurements, "Select &All\tCtrl+A");
    auto* view = new wxMenu;
    view->AppendCheckItem(id::kViewToolbar, "&Toolbar");
    view->AppendCheckItem(id::kViewStatusBar, "&Status Bar");
    view->AppendSeparator();
    view->Append(id::kRefreshViews, "&Refresh Views");
    const int statistics = wxWindow::NewControlId();
    view->Append(statistics, "Folder S&tatistics");
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent&) {
            const std::set<std::int32_t> selected = m_view->SelectedIds();
            CStatisticsDlg dialog(this, m_document.State().folderId,
                                  {selected.begin(), selected.end()});
            dialog.ShowModal();
        },
        statistics);
    Bind(
        wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(m_document.State().FolderOpen()); },
        statistics);
    auto* parameters = new wxMenu;
    parameters->Append(id::kShowParameters, "&Show Parameters...");
    parameters->Append(id::kCalculation, "&Calculation...");
    parameters->Append(id::kOutputFile, "&Output File...");
    parameters->AppendSeparator();
    parameters->Append(id::kNoiseTemplates, "&Noise Source Template...");
    auto* help = new wxMenu;
    help->Append(id::kAppAbout, "&About Vesk...");
    help->Append(id::kOnlineUpdate, "Online &Update...");
    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(edit, "&Edit");
    bar->Append(view, "&View");
    bar->Append(parameters, "&Parameters");
    bar->Append(help, "&Help");
    SetMenuBar(bar);
    wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, 'O', id::kFileOpen},
                                 {wxACCEL_CTRL, 'S', id::kFileSave},
                                 {wxACCEL_CTRL, 'P', id::kFilePrint},
                                 {wxACCEL_CTRL, 'N', id::kFileNew},
                                 {wxACCEL_CTRL, 'A', id::kSelectAllMeasurements},
                                 {wxACCEL_NORMAL, WXK_DELETE, id::kDeleteMeasurements}};
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));

    wxToolBar* tools = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    const wxSize icon = FromDIP(wxSize(16, 16));
    tools->AddTool(id::kFileNew, "New", wxArtProvider::GetBitmap(wxART_NEW, wxART_TOOLBAR, icon),
                   "New");
    tools->AddTool(id::kFileOpen, "Open",
                   wxArtProvider::GetBitmap(wxART_FILE_OPEN, wxART_TOOLBAR, icon), "Open");
    tools->AddTool(id::kFileSave, "Save",
                   wxArtProvider::GetBitmap(wxART_FILE_SAVE, wxART_TOOLBAR, icon), "Output File");
    tools->AddSeparator();
    tools->AddTool(id::kFilePrint, "Print",
                   wxArtProvider::GetBitmap(wxART_PRINT, wxART_TOOLBAR, icon), "Print");
    tools->AddTool(id::kAppAbout, "About",
                   wxArtProvider::GetBitmap(wxART_HELP, wxART_TOOLBAR, icon), "About");
    tools->Realize();

    // The message pane and the four key indicators.
    wxStatusBar* status = CreateStatusBar(5);
    const int indicator = status->GetTextExtent("SCRL").x + FromDIP(16);
    // The last pane also leaves room for the size grip.
    const int widths[] = {-1, indicator, indicator, indicator, indicator + FromDIP(16)};
    status->SetStatusWidths(5, widths);
    SetStatusText("Ready", 0);
    for (int k = 0; k < 4; ++k) {
        static const int kIndicators[] = {str::kIndicatorKana, str::kIndicatorCaps,
                                          str::kIndicatorNum, str::kIndicatorScroll};
        SetStatusText(S(kIndicators[k]), k + 1);
    }

    m_view = new CVeskView(this, m_document);
    m_document.SetView(m_view);
    // The commands of folders and measurements. Bound handlers come before the event table, so
    // "New" is enabled here rather than by the table's greyed-out entry.
    Bind(wxEVT_MENU, &CMainFrame::OnNewFolder, this, id::kFileNew);
    Bind(wxEVT_MENU, &CMainFrame::OnImport, this, id::kImportRecordings);
    Bind(wxEVT_MENU, &CMainFrame::OnDeleteMeasurements, this, id::kDeleteMeasurements);
    Bind(wxEVT_MENU, &CMainFrame::OnEditMeasurement, this, id::kEditMeasurement);
    Bind(wxEVT_MENU, &CMainFrame::OnSelectAll, this, id::kSelectAllMeasurements);
    for (int command : {id::kFileNew, id::kImportRecordings, id::kDeleteMeasurements,
                        id::kEditMeasurement, id::kSelectAllMeasurements})
        Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateMeasurementCommand, this, command);
    TrackActivation(this);
}

void CMainFrame::OnAbout(wxCommandEvent&) {
    ShowAboutBox(DialogParent(this));
}

void CMainFrame::OnOnlineUpdate(wxCommandEvent&) {
    const std::string language = LoadString(str::kLanguage);
    OnlineUpdate(language == "JPN" ? 1 : language == "ENG" ? 2 : 0);
}

void CMainFrame::OnToggleToolbar(wxCommandEvent&) {
    GetToolBar()->Show(!GetToolBar()->IsShown());
    SendSizeEvent();
}

void CMainFrame::OnToggleStatusBar(wxCommandEvent&) {
    GetStatusBar()->Show(!GetStatusBar()->IsShown());
    SendSizeEvent();
}

void CMainFrame::OnUpdateBars(wxUpdateUIEvent& event) {
    event.Check(event.GetId() == id::kViewToolbar ? GetToolBar()->IsShown()
                                                  : GetStatusBar()->IsShown());
}

void CMainFrame::OnMeasure(wxCommandEvent&) {
    if (!m_document.State().FolderOpen()) return;
    MeasureDialog dialog(this, m_document.State(), m_settings);
    if (dialog.ShowModal() == wxID_OK) m_document.UpdateAllViews();
}

void CMainFrame::OnUpdateDocumentCommand(wxUpdateUIEvent& event) {
    const DocumentState& s = m_document.State();
    switch (event.GetId()) {
        case id::kRefreshViews:
            event.Enable(CommandEnabled(DocumentCommand::Refresh, s));
            break;
        case id::kCalculation:
            event.Enable(!m_document.Running() && CommandEnabled(DocumentCommand::Calculation, s));
            break;
        case id::kOutputFile:
        case id::kFileSave:
            event.Enable(CommandEnabled(DocumentCommand::OutputFile, s));
            break;
        case id::kNoiseTemplates:
            event.Enable(CommandEnabled(DocumentCommand::NoiseTemplates, s));
            break;
        case id::kShowParameters:
            event.Enable(m_view->GetItemCount() > 0);
            break;
    }
}

void CMainFrame::OnSelectAll(wxCommandEvent&) {
    for (long i = 0; i < m_view->GetItemCount(); ++i)
        m_view->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CMainFrame::OnUpdateMeasurementCommand(wxUpdateUIEvent& event) {
    const DocumentState& s = m_document.State();
    const bool idle = !m_document.Running();
    const bool selected = m_view->GetSelectedItemCount() > 0;
    switch (event.GetId()) {
        case id::kFileNew:
            event.Enable(idle);
            break;
        case id::kImportRecordings:
            event.Enable(idle && s.FolderOpen());
            break;
        case id::kDeleteMeasurements:
            event.Enable(idle && s.FolderOpen() && selected);
            break;
        case id::kEditMeasurement:
            event.Enable(idle && (s.kind == 'I' || s.kind == 'A') && selected);
            break;
        case id::kSelectAllMeasurements:
            event.Enable(m_view->GetItemCount() > 0);
            break;
    }
}

void CMainFrame::OnClose(wxCloseEvent& event) {
    // A run pumps events inside a command of this frame: the frame stays until the run has
    // ended and closes then.
    if (m_document.Running()) {
        if (event.CanVeto() && !AskStoreQuestion(str::kCancelAction)) {
            event.Veto();
            return;
        }
        m_document.StopRunAndClose(!event.CanVeto());
        if (event.CanVeto()) event.Veto();
        return;
    }
    if (!CResultDialog::OfferToSaveAll(event.CanVeto())) {
        event.Veto();
        return;
    }
    CResultDialog::DestroyAll();
    // The normal (restored) placement is what the next start restores.
    const wxRect r = GetRect();
    m_settings.frameLeft = r.x;
    m_settings.frameTop = r.y;
    m_settings.frameWidth = r.width;
    m_settings.frameHeight = r.height;
    event.Skip();
}

void OnlineUpdate(int languageCode) {
    const std::filesystem::path program = ProgramPath();
    // Beside the program, as built; an installed program (in bin/) finds it in lib/vesk/, where
    // a package puts private libraries rather than among the commands.
    void* handle = nullptr;
    for (const char* folder : {".", "../lib/vesk"}) {
        const std::string library = (program.parent_path() / folder / "QZUPDATE.DLL").string();
        if ((handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
    }
    if (!handle) {
        ShowStoreMessage(str::kCantFindUpdateLibrary);
        return;
    }
    using Entry = int (*)(const char*, const char*, const char*, int, const char*, const char*);
    auto entry = reinterpret_cast<Entry>(dlsym(handle, "OnlineUpdate"));
    if (!entry) {
        ShowStoreMessage(str::kCantExecuteUpdate);
        dlclose(handle);
        return;
    }
    const char* product = languageCode == 1   ? "MERIDAXJD"
                          : languageCode == 2 ? "MERIDAXED"
                                              : nullptr;
    // The library stays loaded afterwards, as it may have left threads or windows behind.
    if (product)
        entry(product, program.c_str(), CommandLine().c_str(), 128, "Vesk\nRoom acoustics",
              "SoftWare\\Velmoran\\Tessaron");
}

}  // namespace vesk
