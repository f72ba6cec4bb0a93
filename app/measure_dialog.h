// File > "Measure...": a measurement through a sound card (or the simulated one) into the open
// folder, with a test signal, live input meters and a Cancel that stops the playback at once.
#pragma once

#include <wx/dialog.h>

#include <memory>

#include "audio/device.h"
#include "shell/folder_lists.h"
#include "shell/settings.h"

class wxChoice;
class wxFilePickerCtrl;
class wxGauge;
class wxRadioBox;
class wxSpinCtrl;
class wxSpinCtrlDouble;
class wxStaticText;
class wxTextCtrl;
class wxButton;

namespace vesk {

class MeasureDialog : public wxDialog, public audio::RunMonitor {
  public:
    // folder: the open folder; settings: the device latencies are read and remembered there.
    MeasureDialog(wxWindow* parent, const DocumentState& folder, AppSettings& settings);
    // The ID of the stored measurement after wxID_OK.
    std::int32_t StoredId() const { return m_storedId; }

    bool Update(std::size_t done, std::size_t total, const std::vector<float>& peaks) override;

  private:
    void OnDevice(wxCommandEvent&);
    void OnTest(wxCommandEvent&);
    void OnMeasure(wxCommandEvent&);
    void OnCancel(wxCommandEvent&);
    void OnClose(wxCloseEvent&);
    void UpdateEnabled();
    std::unique_ptr<audio::AudioDevice> OpenDevice(wxString* error);
    bool Settings(const audio::DeviceInfo& info, struct MeasureChoice* choice, wxString* error);

    DocumentState m_folder;
    AppSettings& m_settings;
    wxChoice* m_device;
    wxFilePickerCtrl* m_response;
    wxTextCtrl* m_rate;
    wxSpinCtrl *m_left, *m_right, *m_output, *m_loopback;
    wxRadioBox* m_method;
    wxSpinCtrl *m_order, *m_averages;
    wxTextCtrl *m_from, *m_to, *m_length, *m_seconds, *m_calLevel, *m_title;
    wxSpinCtrlDouble* m_level;
    wxGauge *m_meterLeft, *m_meterRight, *m_progress;
    wxStaticText* m_status;
    wxButton *m_test, *m_measure, *m_cancel;
    bool m_running = false;
    bool m_cancelled = false;
    std::int32_t m_storedId = 0;
};

}  // namespace vesk
