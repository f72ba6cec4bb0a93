#include "display/result_dialogs.h"

#include "display/iso_page.h"
#include "display/report_printing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <wx/utils.h>

#include "capture/screen_copy.h"
#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/preference.h"
#include "resources/strings.h"
#include "resources/window_ids.h"
#include "store/messages.h"

namespace vesk {

namespace {

std::vector<CResultDialog*>& OpenDialogs() {
    static std::vector<CResultDialog*> dialogs;
    return dialogs;
}

enum Field {
    kFolderTitle,
    kFolderName,
    kFolderPlace,
    kFolderComment,
    kFolderDate,
    kFolderScale,
    kSamplingRate,
    kMeasureTime,
    kSummation,
    kChannel,
    kBit,
    kDataTitle,
    kDataComment,
    kDataDate,
    kFieldCount
};

const char* const kFieldLabels[kFieldCount] = {
    "Title",        "Name",      "Place",   "Comment", "Date",  "Scale",   "Sampling Rate",
    "Measure Time", "Summation", "Channel", "Bit",     "Title", "Comment", "Date"};

wxString Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return wxString::FromUTF8(text);
}

wxWindow*& LastActive() {
    static wxWindow* window = nullptr;
    return window;
}

SaveQuestion& SaveQuestionInUse() {
    static SaveQuestion question;
    return question;
}

bool Usable(wxWindow* w) {
    return w && w->IsShown() && !w->IsBeingDeleted() && !wxPendingDelete.Member(w);
}

const char* Caption(char kind) {
    return kind == 'I' ? "Acoustic Parameters" : kind == 'A' ? "ACF Factor" : "Factor";
}

}  // namespace

wxWindow* DialogParent(wxWindow* fallback) {
    if (Usable(LastActive())) return LastActive();
    if (wxWindow* active = wxGetActiveWindow())
        if (wxWindow* top = wxGetTopLevelParent(active); Usable(top)) return top;
    return fallback;
}

void TrackActivation(wxTopLevelWindow* window) {
    window->Bind(wxEVT_ACTIVATE, [window](wxActivateEvent& event) {
        if (event.GetActive()) LastActive() = window;
        event.Skip();
    });
    window->Bind(wxEVT_DESTROY, [window](wxWindowDestroyEvent& event) {
        if (event.GetEventObject() == window && LastActive() == window) LastActive() = nullptr;
        event.Skip();
    });
}

void SetSaveQuestion(SaveQuestion question) {
    SaveQuestionInUse() = std::move(question);
}

CResultDialog* CResultDialog::Open(char kind, std::int32_t folderId, std::int32_t recordId,
                                   RecordBrowser* browser) {
    auto* d = new CResultDialog(kind, folderId, recordId, browser);
    d->Show();
    d->NotifyPages();  // the first page draws now that it is on screen
    if (d->m_reportMissing) {
        d->m_reportMissing = false;
        ShowStoreMessage(str::kCantReadMeasuredData);
    }
    return d;
}

void CResultDialog::DestroyAll() {
    while (!OpenDialogs().empty()) {
        CResultDialog* d = OpenDialogs().front();
        OpenDialogs().erase(OpenDialogs().begin());
        d->m_browser = nullptr;
        d->Destroy();
    }
}

std::size_t CResultDialog::OpenCount() {
    return OpenDialogs().size();
}

bool CResultDialog::OfferToSaveAll(bool mayCancel) {
    const std::vector<CResultDialog*> dialogs = OpenDialogs();
    for (CResultDialog* d : dialogs)
        if (!d->OfferToSave(mayCancel)) return false;
    return true;
}

CResultDialog::CResultDialog(char kind, std::int32_t folderId, std::int32_t recordId,
                             RecordBrowser* browser)
    : wxDialog(nullptr,
               kind == 'I'   ? id::kAcousticParametersDialog
               : kind == 'A' ? id::kAcfFactorDialog
                             : id::kFactorDialog,
               Caption(kind), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_kind(kind),
      m_folderId(folderId),
      m_recordId(recordId),
      m_browser(browser) {
    OpenDialogs().push_back(this);
    wxAcceleratorEntry keys[2];
    keys[0].Set(wxACCEL_CTRL, 'P', wxID_PRINT);
    keys[1].Set(wxACCEL_CTRL | wxACCEL_SHIFT, 'P', wxID_PREVIEW);
    SetAcceleratorTable(wxAcceleratorTable(2, keys));
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { PrintStored(false); }, wxID_PRINT);
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { PrintStored(true); }, wxID_PREVIEW);
    TrackActivation(this);
    // The header scrolls inside its panel when the screen is too low for it and the graphs.
    m_header = new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                    wxVSCROLL | wxHSCROLL);
    m_header->SetScrollRate(FromDIP(8), FromDIP(8));
    wxWindow* header = m_header;
    auto grid = [this, header](const char* title, int first, int last) {
        auto* box = new wxStaticBoxSizer(wxVERTICAL, header, title);
        // Two label/field pairs a row keep the header low, leaving the height to the pages.
        auto* g = new wxFlexGridSizer(4, wxSize(6, 3));
        g->AddGrowableCol(1);
        g->AddGrowableCol(3);
        for (int f = first; f <= last; ++f) {
            // "Summation" belongs to impulse responses; the recordings store no bit count.
            if (m_kind != 'I' && (f == kBit || f == kSummation)) {
                m_fields.push_back(nullptr);
                continue;
            }
            g->Add(new wxStaticText(header, wxID_ANY, kFieldLabels[f]),
                   wxSizerFlags().CenterVertical());
            auto* edit = new wxTextCtrl(header, wxID_ANY, "", wxDefaultPosition,
                                        FromDIP(wxSize(130, -1)), wxTE_READONLY);
            m_fields.push_back(edit);
            g->Add(edit, wxSizerFlags().Expand());
        }
        box->Add(g, wxSizerFlags(1).Expand().Border(wxALL, 4));
        return box;
    };
    auto* info = new wxBoxSizer(wxHORIZONTAL);
    info->Add(grid("Folder Information", kFolderTitle, kFolderScale), wxSizerFlags(1).Expand());
    info->Add(grid("Data", kSamplingRate, kDataDate), wxSizerFlags(1).Expand().Border(wxLEFT, 8));
    auto* conditions = new wxStaticBoxSizer(wxVERTICAL, header, "Calculation Conditions");
    m_conditions = new wxStaticText(header, wxID_ANY, "");
    conditions->Add(m_conditions, wxSizerFlags(1).Expand().Border(wxALL, 4));
    info->Add(conditions, wxSizerFlags(1).Expand().Border(wxLEFT, 8));
    auto* headerSizer = new wxBoxSizer(wxVERTICAL);
    headerSizer->Add(info, wxSizerFlags(1).Expand().Border(wxALL, 8));
    m_header->SetSizer(headerSizer);

    m_list = new wxListCtrl(this, id::kResultList, wxDefaultPosition, wxDefaultSize,
                            wxLC_REPORT | wxLC_SINGLE_SEL);
    m_list->Bind(wxEVT_LIST_COL_CLICK, &CResultDialog::OnColumn, this);
    auto* list = new wxStaticBoxSizer(wxVERTICAL, this,
                                      kind == 'I'   ? "Acoutsic Parameters"
                                      : kind == 'A' ? "ACF Factor"
                                                    : "ACF/IACF Factor");
    list->Add(m_list, wxSizerFlags(1).Expand().Border(wxALL, 4));

    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, &CResultDialog::OnRowSelected, this);
    if (kind == 'I') {
        m_pages = new wxNotebook(this, id::kResultPages);
        m_impulse.resultChanged = [this] { OnResultChanged(); };
        auto add = [this](CResultPage* page, const char* title) {
            m_pages->AddPage(page, title);
            m_samplePages.push_back(page);
        };
        add(new CImpulseResponsePage(m_pages, &m_impulse), "Impulse response");
        add(new CReverberationPage(m_pages, &m_impulse), "Reverberation");
        add(new CCrossCorrelationPage(m_pages, &m_impulse), "Cross correlation");
        add(new CSpectrumPage(m_pages, &m_impulse), "Spectrum");
        BuildPreferencePage();
        BuildParametersPage();
        add(new CIsoPage(m_pages, &m_impulse), "ISO 3382");
    } else {
        // One page per factor over the running time, with a cursor at the selected frame.
        m_pages = new wxNotebook(this, id::kResultPages);
        struct Page {
            const char* tab;
            const char* title;
            bool levels, unitTop;
        };
        std::vector<Page> pages{{"Phi(0)", "Phi(0) [dB]", true, false},
                                {"Tau-e", "Tau-e [ms]", false, false},
                                {"Tau1", "Tau1 [ms]", false, false},
                                {"Phi1", "Phi1", false, true}};
        if (kind == 'N') pages.push_back({"SPL", "SPL [dB]", true, false});
        pages.push_back({"IACC", "IACC", false, true});
        pages.push_back({"TIACC", "TIACC [ms]", false, false});
        pages.push_back({"WIACC", "WIACC [ms]", false, false});
        for (const Page& p : pages) {
            auto* graph = new CFactorGraph(m_pages, p.title, p.levels, p.unitTop);
            graph->SetMinSize(FromDIP(wxSize(360, 200)));
            const wxString tab = p.tab;
            m_factorPages.push_back({graph, tab, tab.Contains("IACC")});
            m_pages->AddPage(graph, p.tab);
            m_graphs.push_back(graph);
        }
        auto* acf = new CAcfPage(m_pages, &m_acf);
        m_pages->AddPage(acf, "ACF");
        m_iacfPage = new CIacfPage(m_pages, &m_acf, 0.1);
        m_pages->AddPage(m_iacfPage, "IACF");
        m_factorPages.push_back({acf, "ACF", false});
        m_factorPages.push_back({m_iacfPage, "IACF", true});
        m_samplePages = {acf, m_iacfPage};
    }

    m_pages->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &CResultDialog::OnPageChanged, this);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, id::kResultSelectData, "&Select Data"),
                 wxSizerFlags().Border(wxRIGHT, 4));
    m_previous = new wxButton(this, id::kResultPrevious, "&Previous");
    m_next = new wxButton(this, id::kResultNext, "&Next");
    buttons->Add(m_previous, wxSizerFlags().Border(wxRIGHT, 4));
    buttons->Add(m_next);
    buttons->Add(new CScreenCopyButton(this), wxSizerFlags().Border(wxLEFT, 12));
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CANCEL, "E&xit"));
    SetEscapeId(wxID_CANCEL);
    Bind(wxEVT_BUTTON, &CResultDialog::OnButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &CResultDialog::OnClose, this);

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(m_header, wxSizerFlags().Expand());
    m_pages->SetMinSize(FromDIP(kind == 'I' ? wxSize(760, -1) : wxSize(400, -1)));
    if (m_pages && kind == 'I') {
        // The wide parameter list above its pages, which take what height there is.
        m_listBox = list;
        top->Add(list, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, 8));
        top->Add(m_pages, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxTOP, 8));
    } else if (m_pages) {
        auto* lower = new wxBoxSizer(wxHORIZONTAL);
        lower->Add(list, wxSizerFlags(1).Expand());
        lower->Add(m_pages, wxSizerFlags(1).Expand().Border(wxLEFT, 8));
        top->Add(lower, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, 8));
    } else {
        top->Add(list, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, 8));
    }
    top->Add(buttons, wxSizerFlags().Expand().Border(wxALL, 8));
    SetSizer(top);
    // The natural size shows the whole header and the list at their natural heights.
    m_header->SetMinSize(m_header->GetSizer()->CalcMin());
    m_list->SetMinSize(wxSize(FromDIP(100), FromDIP(kind == 'I' ? 170 : 220)));
    const wxSize pagesLeast = m_pages->GetMinSize();
    m_pages->SetMinSize(FromDIP(kind == 'I' ? wxSize(760, 470) : wxSize(560, 360)));
    Fit();
    m_pages->SetMinSize(pagesLeast);
    // That does not fit small screens: the dialog starts no larger than the screen, and its
    // header and list give way to the graphs (ShareHeight).
    const wxRect screen = wxGetClientDisplayRect();
    SetMinSize(FromDIP(wxSize(560, 420)));
    SetSize(wxSize(std::min(GetSize().x, screen.width), std::min(GetSize().y, screen.height)));
    ShareHeight(GetClientSize().y);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        ShareHeight(GetClientSize().y);
        event.Skip();  // the sizer lays out with the shares
    });
    Load();
}

void CResultDialog::ShareHeight(int height) {
    // Headroom above the least each part needs goes first to the header, then to the list,
    // each up to its natural height; the pages take the rest. Below 100 px a list or graph is
    // of no use, so those are the least.
    const int headerLeast = FromDIP(48), listLeast = FromDIP(110);
    const int headerNatural = m_header->GetSizer()->CalcMin().y;
    const int listNatural = FromDIP(m_kind == 'I' ? 170 : 220);
    m_header->SetMinSize(wxSize(FromDIP(100), headerLeast));
    m_list->SetMinSize(wxSize(FromDIP(100), listLeast));
    int spare = height - GetSizer()->CalcMin().y;
    const int header = std::clamp(spare, 0, std::max(0, headerNatural - headerLeast));
    spare -= header;
    const int list = std::clamp(spare, 0, listNatural - listLeast);
    m_header->SetMinSize(wxSize(FromDIP(100), headerLeast + header));
    m_header->FitInside();
    if (m_listBox) m_list->SetMinSize(wxSize(FromDIP(100), listLeast + list));
}

CResultDialog::~CResultDialog() {
    auto& list = OpenDialogs();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void CResultDialog::SetField(int field, const wxString& text) {
    wxTextCtrl* edit = m_fields[static_cast<std::size_t>(field)];
    if (edit && edit->GetValue() != text) edit->ChangeValue(text);  // no flicker on refresh
}

void CResultDialog::ShowFolder(const LoadedFolder& folder) {
    if (!folder.read) return;
    const FolderRecord& f = folder.record;
    SetField(kFolderTitle, wxString::FromUTF8(f.title));
    SetField(kFolderName, wxString::FromUTF8(f.name));
    SetField(kFolderPlace, wxString::FromUTF8(f.place));
    SetField(kFolderComment, wxString::FromUTF8(f.comment));
    SetField(kFolderDate, wxString::FromUTF8(FormatDateTime(f.date)));
    SetField(kFolderScale, Format("1/%g", f.TimeScale()));
}

void CResultDialog::Load() {
    m_rows.clear();
    m_columns.clear();
    m_changed = false;
    bool samplesMissing = false;
    if (m_kind == 'I') {
        m_impulse.Clear();
        ImpulseResultData d;
        {
            wxBusyCursor wait;  // the responses are recovered
            d = LoadImpulseResult(m_folderId, m_recordId);
        }
        ShowFolder(d.folder);
        if (d.status != ResultLoad::NoMeasurement) {
            const ImpulseRecord& m = d.measurement;
            SetField(kSamplingRate, wxString::Format("%d", m.sampling));
            SetField(kMeasureTime,
                     Format("%.3f", m.sampling ? std::ldexp(1.0, m.mesTime) / m.sampling : 0.0));
            SetField(kSummation, wxString::Format("%d", m.mesNum));
            SetField(kChannel, m.channel == 1 ? "Mono" : "Stereo");
            SetField(kBit, wxString::Format("%d", m.bit));
            m_channels = d.channels;
            SetField(kDataTitle, wxString::FromUTF8(m.title));
            SetField(kDataComment, wxString::FromUTF8(m.comment));
            SetField(kDataDate, wxString::FromUTF8(FormatDateTime(m.time)));
            samplesMissing = d.status == ResultLoad::NoSamples;
            m_columns = AcousticParameterColumns(m.channel, d.hasResult);
            if (d.hasResult) {
                m_offset = d.splOffset;
                m_rows = AcousticParameterRows(d.result, m.channel, m_offset);
            }
            m_impulse.measurement = m;
            m_impulse.channels = d.channels;
            m_impulse.fs = d.fs;
            m_impulse.block = std::move(d.block);
            m_impulse.left = std::move(d.left);
            m_impulse.right = std::move(d.right);
            m_impulse.hasResult = d.hasResult;
            m_impulse.result = d.result;
            m_impulse.isoStatus = d.isoStatus;
            m_impulse.hasIso = d.hasIso;
            m_impulse.isoComputed = d.isoComputed;
            m_impulse.iso = std::move(d.iso);
        }
    } else {
        m_layout = FactorLayout::General;
        m_factors.clear();
        m_peaks.clear();
        m_acf.viewer.reset();
        m_acf.block = SampleBlock{};
        m_acf.frame = 0;
        m_acf.stored = &m_factors;
        m_acf.Invalidate();
        FactorResultData d = LoadFactorResult(m_kind, m_folderId, m_recordId);
        ShowFolder(d.folder);
        const bool noise = m_kind == 'N';
        if (d.status != ResultLoad::NoMeasurement) {
            SetField(kSamplingRate, wxString::Format("%d", d.sampling));
            SetField(kMeasureTime, Format("%.2f", d.dataTime));
            SetField(kChannel, d.channels == 2 ? "Stereo" : "Mono");
            m_channels = d.channels;
            SetField(kDataTitle, wxString::FromUTF8(d.title));
            SetField(kDataComment, wxString::FromUTF8(d.comment));
            SetField(kDataDate, wxString::FromUTF8(FormatDateTime(d.time)));
            samplesMissing = d.status == ResultLoad::NoSamples;
            m_columns = FactorColumns(noise, d.channels, FactorLayout::General);
            m_acf.block = std::move(d.block);
            if (d.hasResult) {
                m_factors = std::move(d.factors);
                m_peaks = std::move(d.peaks);
                m_step = d.conditions.runningStep;
                m_phiOffset = d.phiOffset;
                m_rows = FactorRows(m_factors, m_peaks, m_step, m_phiOffset, noise, d.channels,
                                    FactorLayout::General);
                if (!samplesMissing)
                    m_acf.viewer = std::make_unique<AcfFrameViewer>(
                        m_acf.block, d.sampleNum, d.conditions, d.wiaccWidth,
                        d.hasCalibration ? &d.calibration : nullptr, d.Fs());
            }
        }
        m_conditionsAcf = d.conditions;
        m_hasConditions = !m_factors.empty();
        if (m_iacfPage) m_iacfPage->SetWidth(d.wiaccWidth);
    }
    ShowConditions();
    ShowInterauralPages(m_channels == 2);
    m_sortColumn = -1;
    m_direction = 1;
    if (m_pages) m_pages->ChangeSelection(0);  // every record starts on its first page
    if (m_parameter) m_parameter->SetSelection(0);
    FillGraphs();
    ShowList();
    for (CResultPage* page : m_samplePages)
        page->Reset();
    NotifyPages();
    m_previous->Enable(m_browser && m_browser->PreviousRecord(m_recordId) != -1);
    m_next->Enable(m_browser && m_browser->NextRecord(m_recordId) != -1);
    ShareHeight(GetClientSize().y);  // the conditions may take more or fewer lines
    Layout();
    if (samplesMissing) {
        if (IsShown())
            ShowStoreMessage(str::kCantReadMeasuredData);
        else
            m_reportMissing = true;  // shown with the dialog
    }
}

void CResultDialog::ShowInterauralPages(bool shown) {
    // A one-microphone recording has no interaural factors: their pages would stay empty.
    std::size_t wanted = 0;
    for (const FactorPage& p : m_factorPages)
        wanted += shown || !p.interaural;
    if (m_factorPages.empty() || m_pages->GetPageCount() == wanted) return;
    while (m_pages->GetPageCount() > 0)
        m_pages->RemovePage(m_pages->GetPageCount() - 1);
    for (const FactorPage& p : m_factorPages) {
        if (shown || !p.interaural) m_pages->AddPage(p.window, p.tab);
        p.window->Show(shown || !p.interaural);
    }
}

void CResultDialog::ShowConditions() {
    std::string text;
    if (m_kind == 'I' && m_impulse.hasResult)
        text = ImpulseConditionText(m_impulse.result);
    else if (m_kind != 'I' && m_hasConditions)
        text = AcfConditionText(m_conditionsAcf, m_kind == 'A');
    const wxString label = wxString::FromUTF8(text);
    if (m_conditions->GetLabel() != label) m_conditions->SetLabel(label);
}

void CResultDialog::NotifyPages() {
    wxWindow* shown = m_pages ? m_pages->GetCurrentPage() : nullptr;
    for (CResultPage* page : m_samplePages)
        page->Notify(page == shown && IsShown());
}

void CResultDialog::OnResultChanged() {
    ShowConditions();
    m_bandRows = AcousticParameterRows(m_impulse.result, m_channels, m_offset);
    m_rows = m_bandRows;
    const long selected = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    const long key = selected >= 0 ? static_cast<long>(m_list->GetItemData(selected)) : -1;
    SortResultRows(&m_rows, m_sortColumn, m_direction);
    ShowList();
    if (key >= 0) {
        const long item = m_list->FindItem(-1, static_cast<wxUIntPtr>(key));
        if (item >= 0) m_list->SetItemState(item, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    FillBandGraph();
    FillPreference(PreferenceFill::Refresh);
    NotifyPages();
    m_changed = true;
}

bool CResultDialog::OfferToSave(bool mayCancel) {
    if (m_kind != 'I' || !m_changed) return true;
    Raise();  // the question is about this dialog, which the user should see
    const std::string text = LoadString(str::kSaveCalculationOutput);
    SaveAnswer answer;
    if (SaveQuestionInUse()) {
        answer = SaveQuestionInUse()(this, text);
    } else {
        wxMessageDialog box(this, wxString::FromUTF8(text),
                            wxString::FromUTF8(LoadString(str::kAppName)),
                            wxYES_NO | (mayCancel ? wxCANCEL : 0) | wxICON_QUESTION);
        const int id = box.ShowModal();
        answer = id == wxID_YES  ? SaveAnswer::Save
                 : id == wxID_NO ? SaveAnswer::Discard
                                 : SaveAnswer::Cancel;
    }
    if (answer == SaveAnswer::Cancel && mayCancel) return false;
    m_changed = false;
    if (answer != SaveAnswer::Save) return true;  // the recalculation is dropped
    SaveImpulseResult(m_impulse.result);          // a failure has been reported
    return true;
}

void CResultDialog::ShowList() {
    m_list->ClearAll();
    // The widths are the templates'; a header the system font makes wider widens its column.
    for (const ResultColumn& c : m_columns)
        m_list->AppendColumn(
            c.title, wxLIST_FORMAT_RIGHT,
            std::max(FromDIP(c.width + 8), m_list->GetTextExtent(c.title).x + FromDIP(16)));
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const ResultRow& r = m_rows[i];
        const long item = m_list->InsertItem(static_cast<long>(i), wxString::FromUTF8(r.texts[0]));
        for (std::size_t c = 1; c < r.texts.size(); ++c)
            m_list->SetItem(item, static_cast<long>(c), wxString::FromUTF8(r.texts[c]));
        m_list->SetItemData(item, r.key);
    }
}

bool CResultDialog::Step(bool next) {
    if (!m_browser) return false;
    const std::int32_t id =
        next ? m_browser->NextRecord(m_recordId) : m_browser->PreviousRecord(m_recordId);
    if (id == -1 || !OfferToSave()) return false;
    m_recordId = id;
    Load();
    return true;
}

bool CResultDialog::Exit() {
    if (!OfferToSave()) return false;
    Destroy();
    return true;
}

wxWindow* CResultDialog::Page(const wxString& title) const {
    for (std::size_t k = 0; m_pages && k < m_pages->GetPageCount(); ++k)
        if (m_pages->GetPageText(k) == title) return m_pages->GetPage(k);
    return nullptr;
}

void CResultDialog::SelectRow(long row) {
    if (row < 0 || row >= m_list->GetItemCount()) return;
    m_list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                         wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    m_list->EnsureVisible(row);
}

void CResultDialog::OnButton(wxCommandEvent& event) {
    switch (event.GetId()) {
        case id::kResultPrevious:
            Step(false);
            break;
        case id::kResultNext:
            Step(true);
            break;
        case id::kResultSelectData:
            if (m_browser) m_browser->ActivateMainFrame();
            break;
        case wxID_CANCEL:
            Exit();
            break;
        default:
            event.Skip();
    }
}

void CResultDialog::OnClose(wxCloseEvent& event) {
    if (!OfferToSave(event.CanVeto())) {
        event.Veto();
        return;
    }
    Destroy();
}

void CResultDialog::FillBandGraph() {
    if (!m_bandGraph) return;
    const int selection = std::clamp(m_parameter->GetSelection(), 0, 5 + kIsoParameterCount);
    if (selection >= 6) {  // the ISO 3382-1 values, over the bands of their own filters
        m_bandGraph->SetData(
            m_impulse.hasIso
                ? IsoParameterSeries(m_impulse.iso, static_cast<IsoParameter>(selection - 6))
                : ParameterPlot{});
        return;
    }
    m_bandGraph->SetData(
        ParameterSeries(m_bandRows, m_channels, static_cast<ShownParameter>(selection)));
}

void CResultDialog::BuildParametersPage() {
    // The chosen parameter over the frequency bands.
    auto* page = new wxPanel(m_pages);
    wxArrayString choices;
    for (const char* name : {"SPL", "A-value", "Tsub", "IACC", "TIACC", "WIACC"})
        choices.Add(name);
    for (int k = 0; k < kIsoParameterCount; ++k)
        choices.Add(IsoParameterName(static_cast<IsoParameter>(k)));
    m_parameter = new wxRadioBox(page, wxID_ANY, "Show Parameter", wxDefaultPosition, wxDefaultSize,
                                 choices, 9, wxRA_SPECIFY_COLS);
    m_parameter->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { FillBandGraph(); });
    m_bandGraph = new CBandGraph(page);
    m_bandGraph->SetId(id::kBandGraph);
    m_bandGraph->SetMinSize(page->FromDIP(wxSize(420, 200)));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_parameter, wxSizerFlags().Expand().Border(wxALL, 4));
    column->Add(m_bandGraph, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, 4));
    page->SetSizer(column);
    m_pages->AddPage(page, "Parameters");
}

void CResultDialog::BuildPreferencePage() {
    auto* page = new wxPanel(m_pages);
    auto edit = [page](int id, bool readOnly) {
        return new wxTextCtrl(page, id, "", wxDefaultPosition, page->FromDIP(wxSize(70, -1)),
                              readOnly ? wxTE_READONLY : 0);
    };
    m_optimumSpl = edit(id::kPreferenceOptimumSpl, false);
    m_tauE = edit(id::kPreferenceTauE, false);
    m_optimumTauE = edit(id::kPreferenceOptimumTauE, true);
    // Two columns of fields: the inputs and the optimum, and the five scale values.
    auto* fields = new wxFlexGridSizer(4, wxSize(6, 3));
    auto add = [&](const char* label, wxWindow* control) {
        fields->Add(new wxStaticText(page, wxID_ANY, label), wxSizerFlags().CenterVertical());
        if (control)
            fields->Add(control);
        else
            fields->AddSpacer(0);
    };
    static const char* const kNames[] = {"S1", "S2", "S3", "S4", "SS"};
    for (int k = 0; k < 5; ++k)
        m_scaleValues.push_back(edit(id::kScaleValueFirst + k, true));
    add("Optimum SPL [dB]", m_optimumSpl);
    add(kNames[0], m_scaleValues[0]);
    add("Tau-e [ms]", m_tauE);
    add(kNames[1], m_scaleValues[1]);
    add("Optimum Tau-e [ms]", m_optimumTauE);
    add(kNames[2], m_scaleValues[2]);
    auto* calculate = new wxButton(page, id::kPreferenceCalculate, "Calculate");
    calculate->Bind(wxEVT_BUTTON,
                    [this](wxCommandEvent&) { FillPreference(PreferenceFill::Button); });
    fields->Add(calculate);
    fields->AddSpacer(0);
    add(kNames[3], m_scaleValues[3]);
    fields->AddSpacer(0);
    fields->AddSpacer(0);
    add(kNames[4], m_scaleValues[4]);
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(fields);
    m_preferenceGraph = new CCurveGraph(page);
    m_preferenceGraph->SetMinSize(page->FromDIP(wxSize(420, 200)));
    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    columns->Add(left, wxSizerFlags().Border(wxALL, 6));
    columns->Add(m_preferenceGraph, wxSizerFlags(1).Expand().Border(wxALL, 4));
    page->SetSizer(columns);
    m_pages->AddPage(page, "Preference");
}

void CResultDialog::FillPreference(PreferenceFill fill) {
    const bool opening = fill == PreferenceFill::Opening;
    if (!m_preferenceGraph) return;
    if (!m_impulse.hasResult) {  // nothing of the previous record stays
        for (wxTextCtrl* field : {m_optimumSpl, m_tauE, m_optimumTauE})
            field->ChangeValue("");
        for (wxTextCtrl* field : m_scaleValues)
            field->ChangeValue("");
        m_preferenceGraph->SetData({}, {}, 0, "Tau-e [ms]", "Scale value");
        return;
    }
    // Fields that hold no finite number read as 0.
    auto number = [](wxTextCtrl* field) {
        double v = 0;
        return field->GetValue().ToCDouble(&v) && std::isfinite(v) ? v : 0.0;
    };
    // A tau-e that is not positive refuses the Calculate button before anything changes.
    if (fill == PreferenceFill::Button && !(number(m_tauE) > 0)) {
        ShowStoreMessage(str::kTauEMustBePositive);
        return;
    }
    const AcParamBand& b = m_impulse.result.bands[0];
    if (opening) {
        for (wxTextCtrl* field : m_scaleValues)
            field->ChangeValue("");
        // The measured listening level of the broadband entry as the starting "Optimum SPL".
        m_optimumSpl->ChangeValue(
            wxString::Format("%.2lf", ListeningLevel(b.splL, b.splR) + m_offset));
    }
    const double llp = number(m_optimumSpl);
    const PreferenceSweep sweep = SweepTauE(m_impulse.result, m_offset, llp);
    m_optimumTauE->ChangeValue(sweep.optimumTauE > 0 ? wxString::Format("%d", sweep.optimumTauE)
                                                     : wxString("----"));
    if (opening) m_tauE->ChangeValue(m_optimumTauE->GetValue());
    std::vector<double> x, y(sweep.curve.begin(), sweep.curve.end());
    for (int t = 1; t <= 300; ++t)
        x.push_back(t);
    m_preferenceGraph->SetData(std::move(x), std::move(y), sweep.optimumTauE, "Tau-e [ms]",
                               "Scale value");
    const double tauE = number(m_tauE);
    if (!(tauE > 0)) return;  // no optimum on opening: the scale values stay empty
    const double ll = ListeningLevel(b.splL, b.splR) + m_offset;
    const double deltaT1 = ((m_impulse.result.deltaT1L - m_impulse.result.deltaT0L) +
                            (m_impulse.result.deltaT1R - m_impulse.result.deltaT0R)) *
                           0.5;
    PreferenceValues v;
    EvaluatePreference(ll, deltaT1, (b.tsubL + b.tsubR) * 0.5, b.iacc, (b.aL + b.aR) * 0.5, tauE,
                       llp, &v);
    const double values[] = {v.s1, v.s2, v.s3, v.s4, v.sv};
    for (int k = 0; k < 5; ++k)
        m_scaleValues[static_cast<std::size_t>(k)]->ChangeValue(
            values[k] == kNoValue ? wxString("----") : wxString::Format("%.2lf", values[k]));
}

void CResultDialog::FillGraphs() {
    m_bandRows = m_rows;
    FillBandGraph();
    FillPreference(PreferenceFill::Opening);
    if (m_graphs.empty()) return;
    // The rows are in frame order as loaded: column 0 is the time, then one per factor page.
    // One-channel recordings have no interaural columns; their pages stay empty.
    const double step = m_rows.size() > 1 ? m_rows[1].values[0] - m_rows[0].values[0] : 0.1;
    for (std::size_t g = 0; g < m_graphs.size(); ++g) {
        std::vector<double> values;
        for (const ResultRow& r : m_rows)
            if (g + 1 < r.values.size()) values.push_back(r.values[g + 1]);
        m_graphs[g]->SetData(std::move(values), step);  // the graph refuses a step of no use
    }
}

void CResultDialog::OnRowSelected(wxListEvent& event) {
    const long key = static_cast<long>(event.GetData());
    if (m_kind == 'I') {
        if (key == m_impulse.entry) return;
        m_impulse.entry = static_cast<int>(key);
        NotifyPages();
        return;
    }
    if (key == m_acf.frame) return;
    m_acf.frame = static_cast<int>(key);
    for (CFactorGraph* g : m_graphs)
        g->SetFrame(static_cast<int>(key));
    NotifyPages();
}

void CResultDialog::OnPageChanged(wxBookCtrlEvent& event) {
    if (auto* page = dynamic_cast<CResultPage*>(m_pages->GetCurrentPage())) page->Shown();
    if (m_kind != 'A') {
        event.Skip();
        return;
    }
    // "Tau1" and "Phi1" list the ten peaks of each frame; the other pages the factors.
    const wxString tab = m_pages->GetPageText(static_cast<std::size_t>(event.GetSelection()));
    const FactorLayout layout = tab == "Tau1"   ? FactorLayout::Tau
                                : tab == "Phi1" ? FactorLayout::Phi
                                                : FactorLayout::General;
    event.Skip();
    if (layout == m_layout || m_factors.empty()) {
        m_layout = layout;
        return;
    }
    m_layout = layout;
    const long selected = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    const long frame = selected >= 0 ? static_cast<long>(m_list->GetItemData(selected)) : -1;
    m_columns = FactorColumns(false, m_channels, layout);
    m_rows = FactorRows(m_factors, m_peaks, m_step, m_phiOffset, false, m_channels, layout);
    m_sortColumn = -1;
    m_direction = 1;
    ShowList();
    if (frame >= 0 && frame < m_list->GetItemCount())
        m_list->SetItemState(frame, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CResultDialog::OnColumn(wxListEvent& event) {
    const int column = event.GetColumn();
    m_direction = column == m_sortColumn ? -m_direction : 1;
    m_sortColumn = column;
    SortResultRows(&m_rows, m_sortColumn, m_direction);
    ShowList();
}

void CResultDialog::PrintStored(bool preview) {
    PrintRecord(this, m_folderId, m_recordId, preview);
}

}  // namespace vesk
