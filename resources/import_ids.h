// Command and control IDs of the ways in: folders, imports and measurement editing.
#pragma once

namespace vesk::id {

// Commands of the frame. "New Folder..." is the toolbar's "New" (kFileNew).
constexpr int kImportRecordings = 2810;
constexpr int kDeleteMeasurements = 2811;
constexpr int kEditMeasurement = 2812;
constexpr int kSelectAllMeasurements = 2813;

// Dialogs.
constexpr int kFolderDialog = 610;
constexpr int kImportDialog = 611;
constexpr int kMeasurementDialog = 612;

// Folder dialog.
constexpr int kFolderKind = 1101;
constexpr int kFolderTitle = 1102;
constexpr int kFolderName = 1103;
constexpr int kFolderPlace = 1104;
constexpr int kFolderDate = 1105;
constexpr int kFolderComment = 1106;
constexpr int kFolderScale = 1107;
// The folder chooser's "Edit..." button.
constexpr int kEditFolder = 1108;

// Import dialog.
constexpr int kImportFiles = 1120;
constexpr int kImportAdd = 1121;
constexpr int kImportRemove = 1122;
constexpr int kImportForm = 1123;
constexpr int kImportMlsOrder = 1124;
constexpr int kImportExcitation = 1125;
constexpr int kImportBrowseExcitation = 1126;
constexpr int kImportChannels = 1127;
constexpr int kImportCalLevel = 1128;

// Measurement dialog.
constexpr int kMeasurementTitle = 1140;
constexpr int kMeasurementComment = 1141;

}  // namespace vesk::id
