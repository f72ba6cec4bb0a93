// Printing through wxWidgets' framework: the report's pages fitted to the paper. With the folder
// view in front, its summary page; with a result dialog in front, that measurement's record in
// the report's per-measurement layout. Print Setup chooses the printer and paper kept for all.
#pragma once

#include <wx/wx.h>

#include <cstdint>
#include <vector>

namespace vesk {

void PrintFolderSummary(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements, bool preview);
void PrintRecord(wxWindow* parent, std::int32_t folderId, std::int32_t recordId, bool preview);
void PrintSetup(wxWindow* parent);

}  // namespace vesk
