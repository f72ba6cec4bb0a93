// What the folder view and the folder chooser list, without a window: their rows built from the
// store, the byte-wise sort, the neighbours in display order, and the document's command rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct ListRow {
    std::int32_t id = 0;  // the record's ID (view) or FOLDERID (chooser)
    int icon = 0;         // index into the shared image list
    std::vector<std::string> texts;
};

struct ListColumn {
    int stringId;
    int width;
    bool rightAligned;
};

// The folder view's columns and rows of a folder of kind 'I', 'A' or 'N'; false when the
// tables cannot be opened (the store showed its message) or the kind has no list.
std::vector<ListColumn> FolderViewColumns(char kind);
bool FolderViewRows(char kind, std::int32_t folderId, std::vector<ListRow>* rows);

// The chooser's columns and rows; kind choice 0 all, 1 "IR", 2 "ACF", 3 "NF".
std::vector<ListColumn> SelectFolderColumns();
bool SelectFolderRows(int kindChoice, std::vector<ListRow>* rows);
// The type letter of a chooser row's "Type" text ("IR" 'I', "ACF" 'A', "NF" 'N'), else 0.
char TypeLetter(const std::string& typeText);

// Sorts by the texts of one column, compared byte by byte as unsigned characters, times the
// direction (+1 or -1); equal texts keep their order.
void SortRows(std::vector<ListRow>* rows, int column, int direction);
// The sort state after a click on a column header: the same column reverses, another one
// sorts ascending.
void ClickColumn(int column, int* sortColumn, int* direction);

// The row after / before the row of `id` in display order; -1 at the ends or when absent.
std::int32_t NextRecord(const std::vector<ListRow>& rows, std::int32_t id);
std::int32_t PreviousRecord(const std::vector<ListRow>& rows, std::int32_t id);

// The document: which folder is open, and when each command may run.
struct DocumentState {
    std::int32_t folderId = -1;
    char kind = 0;
    std::string title;
    bool FolderOpen() const { return folderId != -1; }
};

enum class DocumentCommand { Open, Refresh, Calculation, OutputFile, Save, NoiseTemplates };
bool CommandEnabled(DocumentCommand command, const DocumentState& state);

}  // namespace vesk
