// The "Screen &Copy" button of the result dialogs. A left click saves a picture of the whole
// dialog as a GIF file the user names; a right-button press writes the picture to a GIF file in
// the temporary folder and drags that file out, so it can be dropped into another program.
#pragma once

#include <wx/button.h>

#include <ctime>
#include <functional>
#include <string>

#include "capture/picture.h"

namespace vesk {

// The parts of the button that reach outside the program. Tests replace them, so that no
// modal dialog or real drag runs; the defaults are the real ones.
struct ScreenCopyHooks {
    // The save dialog owned by `owner`: the chosen path, or "" when cancelled.
    std::function<std::string(wxWindow* owner)> askSavePath;
    // Drags the file out of `source` with the copy effect; returns when the drop has ended.
    std::function<void(wxWindow* source, const std::string& path)> dragFile;
    std::function<std::tm()> localTime;
};

class CScreenCopyButton : public wxButton {
  public:
    // `parent` is the result dialog (or a window inside it): the dialog is what is copied.
    explicit CScreenCopyButton(wxWindow* parent);
    // Deletes the last temporary file, as its dialog is closing.
    ~CScreenCopyButton() override;

    // What a left click does: capture, ask for a path, write; a failure shows a message.
    void SaveCopy();
    // What a right-button press does: delete the previous temporary file, write a new one named
    // by the local time and drag it.
    void DragCopy();

    // The dialog's rectangle on screen, frame and caption included.
    static wxRect CaptureRect(wxWindow* window);
    // The pixels of that rectangle as they show on screen, covering windows included.
    static RgbImage Capture(wxWindow* window);

    static ScreenCopyHooks& Hooks();
    // The path of the last temporary file made for a drag, process-wide; "" when none.
    static const std::string& LastTempFile();

  private:
    void OnClick(wxCommandEvent& event);
    void OnRightDown(wxMouseEvent& event);
};

}  // namespace vesk
