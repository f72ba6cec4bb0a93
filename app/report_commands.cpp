#include "app/report_commands.h"

#include <wx/busyinfo.h>
#include <wx/filedlg.h>

#include <filesystem>
#include <memory>

#include "plot/report.h"

namespace vesk {

bool ExportFolderReport(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements) {
    if (folderId < 0) return false;
    wxFileDialog dialog(parent, "Export Report", "", "report.pdf", "PDF File (*.pdf)|*.pdf",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return false;
    std::string path = dialog.GetPath().utf8_string();
    if (std::filesystem::path(path).extension().empty()) path += ".pdf";
    Report report;
    std::string message;
    bool storeFailed = false;
    bool ok;
    {
        wxBusyCursor wait;
        ok = report.Load(folderId, measurements, &message, &storeFailed);
        if (ok) {
            report.Layout();
            ok = report.WritePdf(path, &message);
        }
    }
    if (!ok)
        wxMessageBox(wxString::FromUTF8(message), "Export Report", wxOK | wxICON_ERROR, parent);
    return ok;
}

}  // namespace vesk
