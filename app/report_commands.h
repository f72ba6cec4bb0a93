// File -> "Export Report...": the folder's PDF report, of the selected measurements or all.
#pragma once

#include <wx/wx.h>

#include <cstdint>
#include <vector>

#include "display/report_printing.h"

namespace vesk {

// Asks for the file and writes the report; false when cancelled or not written (after a
// message).
bool ExportFolderReport(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements);

}  // namespace vesk
