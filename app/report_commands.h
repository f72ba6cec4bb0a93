// File -> "Export Report...": the folder's PDF report, of the selected measurements or all.
#pragma once

#include <wx/wx.h>

#include <cstdint>
#include <vector>

namespace vesk {

// Asks for the file and writes the report; false when cancelled or not written (after a
// message).
bool ExportFolderReport(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements);

// File -> "Print..." and "Print Preview": the folder's summary page. Print Setup chooses the
// printer and paper kept for both.
void PrintFolderSummary(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements, bool preview);
void PrintSetup(wxWindow* parent);

}  // namespace vesk
