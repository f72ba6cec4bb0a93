#include "capture/screen_copy.h"

#include <wx/dataobj.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/image.h>
#include <wx/toplevel.h>

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "resources/window_ids.h"
#include "store/messages.h"

namespace vesk {

namespace {

// One for the whole process: the next press anywhere deletes the file of the previous one.
std::string g_lastTempFile;

void DeleteLastTempFile() {
    if (g_lastTempFile.empty()) return;
    std::error_code ec;
    std::filesystem::remove(g_lastTempFile, ec);
    g_lastTempFile.clear();
}

wxWindow* DialogOf(wxWindow* window) {
    wxWindow* top = wxGetTopLevelParent(window);
    return top ? top : window;
}

std::string AskSavePath(wxWindow* owner) {
    wxFileDialog dialog(owner, "Export File", "", "", "Picture File (*.gif)|*.gif",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return {};
    std::string path = dialog.GetPath().utf8_string();
    if (std::filesystem::path(path).extension().empty()) path += ".gif";
    return path;
}

void DragFile(wxWindow* source, const std::string& path) {
    wxFileDataObject data;
    data.AddFile(wxString::FromUTF8(path));
    wxDropSource drag(data, source);
    drag.DoDragDrop(wxDrag_CopyOnly);
}

std::tm LocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

// Writes the picture of the dialog; false after showing why not.
bool WriteCopy(const PictureBlock& block, const std::string& path) {
    std::string error;
    if (block.empty())
        error = "Can't copy the window from the screen.";
    else if (WritePictureFile(block, path, &error) == PictureStatus::Written)
        return true;
    Messages().ShowMessage(error);
    return false;
}

}  // namespace

CScreenCopyButton::CScreenCopyButton(wxWindow* parent)
    : wxButton(parent, id::kScreenCopy, "Screen &Copy") {
    Bind(wxEVT_BUTTON, &CScreenCopyButton::OnClick, this);
    Bind(wxEVT_RIGHT_DOWN, &CScreenCopyButton::OnRightDown, this);
}

CScreenCopyButton::~CScreenCopyButton() {
    DeleteLastTempFile();
}

ScreenCopyHooks& CScreenCopyButton::Hooks() {
    static ScreenCopyHooks hooks{AskSavePath, DragFile, LocalTime};
    return hooks;
}

const std::string& CScreenCopyButton::LastTempFile() {
    return g_lastTempFile;
}

wxRect CScreenCopyButton::CaptureRect(wxWindow* window) {
    wxWindow* dialog = DialogOf(window);
#ifdef __WXGTK__
    // GDK asks the X server for the frame the window manager put around the window (the bare
    // window when there is none). wxWidgets' own rectangle is only what it asked for or was
    // last told, which without a window manager can be far from where the window is. GTK's
    // headers are not among the build's dependencies: the two functions are looked up in the
    // GTK that wxWidgets has loaded.
    struct GdkRect {
        int x, y, width, height;
    };
    using WidgetWindow = void* (*)(void* widget);
    using FrameExtents = void (*)(void* gdkWindow, GdkRect* rect);
    static const auto widgetWindow =
        reinterpret_cast<WidgetWindow>(dlsym(RTLD_DEFAULT, "gtk_widget_get_window"));
    static const auto frameExtents =
        reinterpret_cast<FrameExtents>(dlsym(RTLD_DEFAULT, "gdk_window_get_frame_extents"));
    if (widgetWindow && frameExtents && dialog->GetHandle()) {
        if (void* gdkWindow = widgetWindow(dialog->GetHandle())) {
            GdkRect frame{0, 0, 0, 0};
            frameExtents(gdkWindow, &frame);
            if (frame.width > 0 && frame.height > 0)
                return wxRect(frame.x, frame.y, frame.width, frame.height);
        }
    }
#endif
    return dialog->GetScreenRect();
}

RgbImage CScreenCopyButton::Capture(wxWindow* window) {
    const wxRect rect = CaptureRect(window);
    if (rect.width <= 0 || rect.height <= 0 || rect.width > kPictureMaxSide ||
        rect.height > kPictureMaxSide)
        return {};
    DialogOf(window)->Update();  // pending paints first
    wxBitmap bitmap(rect.width, rect.height, 24);
    {
        wxScreenDC screen;
        wxMemoryDC memory(bitmap);
        if (!memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y)) return {};
    }
    const wxImage image = bitmap.ConvertToImage();
    if (!image.IsOk() || image.GetWidth() != rect.width || image.GetHeight() != rect.height)
        return {};
    RgbImage rgb;
    rgb.width = rect.width;
    rgb.height = rect.height;
    const unsigned char* data = image.GetData();
    rgb.pixels.assign(data, data + 3 * static_cast<std::size_t>(rect.width) * rect.height);
    return rgb;
}

void CScreenCopyButton::SaveCopy() {
    // Captured before the save dialog opens, so the dialog is not in the picture.
    const PictureBlock block = BuildPictureBlock(Capture(this));
    const std::string path = Hooks().askSavePath(DialogOf(this));
    if (!path.empty()) WriteCopy(block, path);
}

void CScreenCopyButton::DragCopy() {
    DeleteLastTempFile();
    const std::string path = TempPicturePath(TempFolder(), Hooks().localTime());
    g_lastTempFile = path;
    // Nothing to drag when the file could not be made: the message says why.
    if (WriteCopy(BuildPictureBlock(Capture(this)), path)) Hooks().dragFile(this, path);
}

void CScreenCopyButton::OnClick(wxCommandEvent&) {
    SaveCopy();
}

void CScreenCopyButton::OnRightDown(wxMouseEvent&) {
    DragCopy();
}

}  // namespace vesk
