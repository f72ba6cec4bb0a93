#include "app/measure_dialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filepicker.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <cmath>

#include "audio/measurement.h"
#include "audio/portaudio_device.h"
#include "audio/simulated_device.h"
#include "shell/audio.h"
#include "shell/measurement_store.h"
#include "store/tables.h"

namespace vesk {

struct MeasureChoice {
    audio::MeasureSettings settings;
    std::string deviceName;
};

namespace {

const char kSimulated[] = "Simulated (a response file)";

// Meters show -60..0 dBFS.
int MeterValue(float peak) {
    const double db = peak > 0 ? 20 * std::log10(peak) : -60;
    return static_cast<int>(std::clamp(db + 60, 0.0, 60.0));
}

bool ToDouble(wxTextCtrl* text, double* value) {
    return text->GetValue().ToCDouble(value) && std::isfinite(*value);
}

}  // namespace

MeasureDialog::MeasureDialog(wxWindow* parent, const DocumentState& folder, AppSettings& settings)
    : wxDialog(parent, wxID_ANY, "Measure", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_folder(folder),
      m_settings(settings) {
    const wxSizerFlags label = wxSizerFlags().CenterVertical().Right().Border(wxALL, 3);
    const wxSizerFlags field = wxSizerFlags().Expand().Border(wxALL, 3);
    const wxSizerFlags inRow = wxSizerFlags().CenterVertical().Border(wxALL, 3);
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2);
    grid->AddGrowableCol(1);
    auto row = [&](const wxString& text, wxWindow* control) {
        grid->Add(new wxStaticText(this, wxID_ANY, text), label);
        grid->Add(control, field);
    };
    const bool impulse = folder.kind == 'I';
    m_title = new wxTextCtrl(this, wxID_ANY, impulse ? "Seat 1" : "Recording 1");
    row("Title:", m_title);
    m_device = new wxChoice(this, wxID_ANY);
    m_device->Append(kSimulated);
    std::string message;
    for (const auto& card : audio::ListSoundCards(&message))
        m_device->Append(wxString::FromUTF8(card.name));
    m_device->SetSelection(m_device->GetCount() > 1 ? 1 : 0);
    row("Device:", m_device);
    m_response = new wxFilePickerCtrl(this, wxID_ANY, "", "Impulse response",
                                      "Audio files (*.wav;*.flac)|*.wav;*.flac|All files|*");
    row("Response:", m_response);
    m_rate = new wxTextCtrl(this, wxID_ANY, "48000");
    row("Sample rate (Hz):", m_rate);
    auto* channels = new wxBoxSizer(wxHORIZONTAL);
    auto spin = [&](const wxString& text, int from, int to, int value) {
        channels->Add(new wxStaticText(this, wxID_ANY, text), inRow);
        auto* s = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                 wxSP_ARROW_KEYS, from, to, value);
        channels->Add(s, wxSizerFlags().Border(wxALL, 3));
        return s;
    };
    m_left = spin("Left in", 1, 64, 1);
    m_right = spin("Right in", 0, 64, 2);
    m_output = spin("Out", 1, 64, 1);
    m_loopback = spin("Loopback in", 0, 64, 0);
    grid->Add(new wxStaticText(this, wxID_ANY, "Channels:"), label);
    grid->Add(channels);
    const wxString methods[] = {"MLS", "Sweep", "Recording"};
    m_method = new wxRadioBox(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, 3, methods);
    m_method->Enable(0, impulse);
    m_method->Enable(1, impulse);
    m_method->Enable(2, !impulse);
    m_method->SetSelection(impulse ? 0 : 2);
    row("Method:", m_method);
    auto* mls = new wxBoxSizer(wxHORIZONTAL);
    m_order = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                             10, 19, 16);
    m_averages = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                wxSP_ARROW_KEYS, 1, 1000, 4);
    mls->Add(new wxStaticText(this, wxID_ANY, "Order"), inRow);
    mls->Add(m_order, wxSizerFlags().Border(wxALL, 3));
    mls->Add(new wxStaticText(this, wxID_ANY, "Averages"), inRow);
    mls->Add(m_averages, wxSizerFlags().Border(wxALL, 3));
    grid->Add(new wxStaticText(this, wxID_ANY, "MLS:"), label);
    grid->Add(mls);
    auto* sweep = new wxBoxSizer(wxHORIZONTAL);
    m_from = new wxTextCtrl(this, wxID_ANY, "20");
    m_to = new wxTextCtrl(this, wxID_ANY, "20000");
    m_length = new wxTextCtrl(this, wxID_ANY, "5");
    for (auto [text, control] : {std::pair<const char*, wxTextCtrl*>{"From (Hz)", m_from},
                                 {"To (Hz)", m_to},
                                 {"Length (s)", m_length}}) {
        sweep->Add(new wxStaticText(this, wxID_ANY, text), inRow);
        sweep->Add(control, wxSizerFlags(1).Border(wxALL, 3));
    }
    grid->Add(new wxStaticText(this, wxID_ANY, "Sweep:"), label);
    grid->Add(sweep, field);
    auto* record = new wxBoxSizer(wxHORIZONTAL);
    m_seconds = new wxTextCtrl(this, wxID_ANY, "10");
    m_calLevel = new wxTextCtrl(this, wxID_ANY, "0");
    record->Add(new wxStaticText(this, wxID_ANY, "Seconds"), inRow);
    record->Add(m_seconds, wxSizerFlags(1).Border(wxALL, 3));
    record->Add(new wxStaticText(this, wxID_ANY, "Calibration level (dB)"), inRow);
    record->Add(m_calLevel, wxSizerFlags(1).Border(wxALL, 3));
    grid->Add(new wxStaticText(this, wxID_ANY, "Recording:"), label);
    grid->Add(record, field);
    auto* level = new wxBoxSizer(wxHORIZONTAL);
    m_level = new wxSpinCtrlDouble(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                                   wxSP_ARROW_KEYS, -120, 0, -6, 0.5);
    m_test = new wxButton(this, wxID_ANY, "&Test Signal");
    level->Add(m_level, wxSizerFlags().Border(wxALL, 3));
    level->Add(m_test, wxSizerFlags().Border(wxALL, 3));
    grid->Add(new wxStaticText(this, wxID_ANY, "Output level (dBFS):"), label);
    grid->Add(level);
    m_meterLeft = new wxGauge(this, wxID_ANY, 60);
    m_meterRight = new wxGauge(this, wxID_ANY, 60);
    row("Input L:", m_meterLeft);
    row("Input R:", m_meterRight);
    m_progress = new wxGauge(this, wxID_ANY, 1000);
    row("Progress:", m_progress);
    top->Add(grid, wxSizerFlags(1).Expand().Border(wxALL, 6));
    m_status = new wxStaticText(this, wxID_ANY, "");
    top->Add(m_status, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT, 9));
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    m_measure = new wxButton(this, wxID_ANY, "&Measure");
    m_cancel = new wxButton(this, wxID_CANCEL, "Cancel");
    buttons->Add(m_measure, wxSizerFlags().Border(wxALL, 3));
    buttons->Add(m_cancel, wxSizerFlags().Border(wxALL, 3));
    top->Add(buttons, wxSizerFlags().Right().Border(wxALL, 6));
    SetSizerAndFit(top);
    m_measure->SetDefault();

    m_device->Bind(wxEVT_CHOICE, &MeasureDialog::OnDevice, this);
    m_method->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { UpdateEnabled(); });
    m_test->Bind(wxEVT_BUTTON, &MeasureDialog::OnTest, this);
    m_measure->Bind(wxEVT_BUTTON, &MeasureDialog::OnMeasure, this);
    m_cancel->Bind(wxEVT_BUTTON, &MeasureDialog::OnCancel, this);
    Bind(wxEVT_CLOSE_WINDOW, &MeasureDialog::OnClose, this);
    UpdateEnabled();
}

void MeasureDialog::UpdateEnabled() {
    const bool idle = !m_running;
    const int method = m_method->GetSelection();
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{m_title, m_device, m_rate, m_left, m_right, m_output,
                                          m_loopback, m_method, m_level, m_test, m_measure})
        w->Enable(idle);
    m_response->Enable(idle && m_device->GetSelection() == 0);
    m_order->Enable(idle && method == 0);
    m_averages->Enable(idle && method == 0);
    for (wxWindow* w : {m_from, m_to, m_length})
        w->Enable(idle && method == 1);
    m_seconds->Enable(idle && method == 2);
    m_calLevel->Enable(idle && method == 2 && m_folder.kind == 'N');
}

void MeasureDialog::OnDevice(wxCommandEvent&) {
    UpdateEnabled();
}

std::unique_ptr<audio::AudioDevice> MeasureDialog::OpenDevice(wxString* error) {
    if (m_device->GetSelection() == 0) {
        FloatAudio response;
        std::string text;
        if (m_response->GetPath().empty()) {
            *error = "Choose the response the simulated device hears through.";
            return nullptr;
        }
        if (!ReadAudioFileFloat(m_response->GetPath().utf8_string(), &response, &text)) {
            *error = wxString::FromUTF8(text);
            return nullptr;
        }
        m_rate->ChangeValue(wxString::Format("%d", response.sampleRate));
        return std::make_unique<audio::SimulatedDevice>(std::move(response.channels),
                                                        response.sampleRate);
    }
    audio::AudioStatus status{};
    std::string text;
    auto device =
        audio::OpenSoundCard(m_device->GetStringSelection().utf8_string(), &status, &text);
    if (!device) *error = wxString::FromUTF8(text);
    return device;
}

bool MeasureDialog::Settings(const audio::DeviceInfo& info, MeasureChoice* choice,
                             wxString* error) {
    audio::MeasureSettings& s = choice->settings;
    long rate = 0;
    if (!m_rate->GetValue().ToLong(&rate) || rate < 8000 || rate > 768000) {
        *error = "The sample rate must be 8000 to 768000 Hz.";
        return false;
    }
    s.rate = static_cast<int>(rate);
    s.inputs = {m_left->GetValue()};
    if (m_right->GetValue() > 0) s.inputs.push_back(m_right->GetValue());
    s.outputChannel = m_output->GetValue();
    s.loopback = m_loopback->GetValue();
    s.levelDb = m_level->GetValue();
    if ((s.inputs.size() == 2 && s.inputs[0] == s.inputs[1]) ||
        std::count(s.inputs.begin(), s.inputs.end(), s.loopback) > 0) {
        *error = "The ears and the loopback need inputs of their own.";
        return false;
    }
    choice->deviceName = info.name;
    auto known = m_settings.deviceLatency.find(info.name);
    if (s.loopback == 0 && known != m_settings.deviceLatency.end()) s.knownLatency = known->second;
    return true;
}

bool MeasureDialog::Update(std::size_t done, std::size_t total, const std::vector<float>& peaks) {
    if (!peaks.empty()) m_meterLeft->SetValue(MeterValue(peaks[0]));
    m_meterRight->SetValue(peaks.size() > 1 ? MeterValue(peaks[1]) : 0);
    m_progress->SetValue(total ? static_cast<int>(1000 * done / total) : 0);
    // Only this dialog takes input while the sound plays, so Cancel reaches us between blocks.
    wxSafeYield(this, true);
    return !m_cancelled;
}

void MeasureDialog::OnTest(wxCommandEvent&) {
    wxString error;
    auto device = OpenDevice(&error);
    MeasureChoice choice;
    if (!device || !Settings(device->Info(), &choice, &error)) {
        wxMessageBox(error, "Measure", wxOK | wxICON_WARNING, this);
        return;
    }
    m_running = true;
    m_cancelled = false;
    UpdateEnabled();
    m_status->SetLabel("Test signal...");
    const audio::Measurement check = audio::CheckLevels(*device, choice.settings, 2.0, this);
    m_running = false;
    UpdateEnabled();
    m_progress->SetValue(0);
    if (check.status == audio::AudioStatus::kDone)
        m_status->SetLabel(wxString::Format("Input peak %.1f dBFS", check.peakDb));
    else
        m_status->SetLabel(wxString::FromUTF8(check.message));
}

void MeasureDialog::OnMeasure(wxCommandEvent&) {
    wxString error;
    auto device = OpenDevice(&error);
    MeasureChoice choice;
    if (!device || !Settings(device->Info(), &choice, &error)) {
        wxMessageBox(error, "Measure", wxOK | wxICON_WARNING, this);
        return;
    }
    const int method = m_method->GetSelection();
    SweepParameters sweep;
    double seconds = 0, calLevel = 0;
    if ((method == 1 && (!ToDouble(m_from, &sweep.fromHz) || !ToDouble(m_to, &sweep.toHz) ||
                         !ToDouble(m_length, &sweep.lengthS))) ||
        (method == 2 && (!ToDouble(m_seconds, &seconds) || !ToDouble(m_calLevel, &calLevel)))) {
        wxMessageBox("Enter numbers for the method's settings.", "Measure", wxOK | wxICON_WARNING,
                     this);
        return;
    }
    m_running = true;
    m_cancelled = false;
    UpdateEnabled();
    m_status->SetLabel("Measuring...");
    audio::Measurement m;
    if (method == 0)
        m = audio::MeasureMls(*device, choice.settings, m_order->GetValue(), m_averages->GetValue(),
                              this);
    else if (method == 1)
        m = audio::MeasureSweep(*device, choice.settings, sweep, this);
    else
        m = audio::MeasureRecording(*device, choice.settings, seconds, this);
    m_running = false;
    UpdateEnabled();
    m_progress->SetValue(0);
    if (m.status != audio::AudioStatus::kDone) {
        m_status->SetLabel(wxString::FromUTF8(m.message));
        if (m.status != audio::AudioStatus::kCancelled)
            wxMessageBox(wxString::FromUTF8(m.message) + "\nNothing was stored.", "Measure",
                         wxOK | wxICON_WARNING, this);
        return;
    }
    if (m.latencyMeasured) m_settings.deviceLatency[choice.deviceName] = m.latency;
    FolderRecord folder;
    {
        CFolderTable folders;  // closed before the measurement table opens
        if (!folders.Open() || !folders.Read(m_folder.folderId, &folder)) return;
    }
    const StoredMeasurement stored = StoreMeasurement(folder, m_title->GetValue().utf8_string(), m,
                                                      method == 0, calLevel, m_settings);
    if (!stored.note.empty()) wxMessageBox(wxString::FromUTF8(stored.note), "Measure", wxOK, this);
    if (!stored.ok) return;
    m_storedId = stored.id;
    EndModal(wxID_OK);
}

void MeasureDialog::OnCancel(wxCommandEvent&) {
    if (m_running)
        m_cancelled = true;  // the device aborts its stream on the next report
    else
        EndModal(wxID_CANCEL);
}

void MeasureDialog::OnClose(wxCloseEvent& event) {
    if (m_running) {
        m_cancelled = true;
        event.Veto();
        return;
    }
    EndModal(wxID_CANCEL);
}

}  // namespace vesk
