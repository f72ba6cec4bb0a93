#include "shell/folder_lists.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "noise/noise_analysis.h"
#include "resources/strings.h"
#include "store/tables.h"

namespace vesk {

namespace {

template <class Measurements, class Results, class Record>
bool RowsWithResults(std::int32_t folderId, std::int32_t Record::*id, int iconWithout,
                     std::vector<ListRow>* rows) {
    Measurements measurements;
    Results results;
    std::vector<Record> list;
    if (!results.Open() || !ReadFolderRecords(measurements, folderId, &list)) return false;
    for (const Record& m : list) {
        const bool has = results.Exists(m.*id) != 0;
        rows->push_back({m.*id,
                         has ? iconWithout + 1 : iconWithout,
                         {m.title, m.comment, FormatDateTime(m.time), has ? " *" : ""}});
    }
    return true;
}

}  // namespace

std::vector<ListColumn> FolderViewColumns(char kind) {
    if (kind == 'N')
        return {{str::kColumnNumber, 50, false},
                {str::kColumnDateTime, 128, false},
                {str::kColumnNoiseSource, 90, false},
                {str::kColumnEvaluation, 60, true}};
    return {{str::kColumnTitle, 200, false},
            {str::kColumnComment, 300, false},
            {str::kColumnDate, 120, false},
            {str::kColumnCalc, 40, false}};
}

bool FolderViewRows(char kind, std::int32_t folderId, std::vector<ListRow>* rows) {
    rows->clear();
    if (kind == 'I')
        return RowsWithResults<CImpulseTable, CAcParamTable, ImpulseRecord>(
            folderId, &ImpulseRecord::impulseId, 1, rows);
    if (kind == 'A')
        return RowsWithResults<CAcfTable, CAcfFactTable, AcfRecord>(folderId, &AcfRecord::acfId, 4,
                                                                    rows);
    if (kind != 'N') return false;
    CNmsTable table;
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(table, folderId, &list)) return false;
    NmsRecord r;
    for (const NmsRecord& m : list) {
        // The name of a record not yet analysed is empty: its NOISESRC is read into a cleared
        // buffer.
        std::string name;
        std::array<unsigned char, blob::kNoiseSourceSize> source{};
        std::uint32_t read = 0;
        if (table.Read(m.nmsId, &r) &&
            table.ReadBlob("NOISESRC", source.data(), blob::kNoiseSourceSize, &read) == db::kOk)
            name = DisplayedSourceName(DecodeNoiseSourceResult(source.data()).name);
        char no[16];
        std::snprintf(no, sizeof no, "%ld", static_cast<long>(m.number) + 1);
        rows->push_back({m.nmsId, 8, {no, FormatDateTime(m.time), name, ""}});
    }
    return true;
}

std::vector<ListColumn> SelectFolderColumns() {
    return {{str::kColumnTitle, 150, false}, {str::kColumnType, 40, false},
            {str::kColumnName, 100, false},  {str::kColumnPlace, 100, false},
            {str::kColumnDate, 100, false},  {str::kColumnComment, 200, false},
            {str::kColumnScale, 50, false}};
}

bool SelectFolderRows(int kindChoice, std::vector<ListRow>* rows) {
    rows->clear();
    CFolderTable folders;
    if (!folders.Open()) return false;
    static const char* const kFilter[] = {nullptr, "TYPE=I", "TYPE=A", "TYPE=N"};
    if (kindChoice >= 1 && kindChoice <= 3 && folders.SetFilter(kFilter[kindChoice]) != db::kOk)
        return false;
    if (folders.SelectIndex(folders.Index1()) != db::kOk) return false;
    if (DbStatus st = folders.GoFirst(); st != db::kOk) return st == db::kNoRecord;
    FolderRecord f;
    while (folders.ReadNext(&f)) {
        int icon;
        const char* type;
        if (f.type == "I") {
            icon = 0;
            type = "IR";
        } else if (f.type == "A") {
            icon = 3;
            type = "ACF";
        } else if (f.type == "N") {
            icon = 6;
            type = "NF";
        } else {
            continue;  // a folder of another type is not listed
        }
        char scale[40];
        std::snprintf(scale, sizeof scale, "1/%g", f.TimeScale());
        rows->push_back(
            {f.folderId,
             icon,
             {f.title, type, f.name, f.place, FormatDateTime(f.date), f.comment, scale}});
    }
    return true;
}

char TypeLetter(const std::string& typeText) {
    if (typeText == "IR") return 'I';
    if (typeText == "ACF") return 'A';
    if (typeText == "NF") return 'N';
    return 0;
}

void SortRows(std::vector<ListRow>* rows, int column, int direction) {
    if (column < 0) return;
    const std::size_t c = static_cast<std::size_t>(column);
    std::stable_sort(rows->begin(), rows->end(), [&](const ListRow& a, const ListRow& b) {
        const std::string& x = c < a.texts.size() ? a.texts[c] : std::string();
        const std::string& y = c < b.texts.size() ? b.texts[c] : std::string();
        // std::string compares char_traits<char>, which compares as unsigned char.
        const int order = x.compare(y);
        return (order < 0 ? -1 : order > 0 ? 1 : 0) * direction < 0;
    });
}

void ClickColumn(int column, int* sortColumn, int* direction) {
    *direction = column == *sortColumn ? -*direction : 1;
    *sortColumn = column;
}

std::int32_t NextRecord(const std::vector<ListRow>& rows, std::int32_t id) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].id == id) return i + 1 < rows.size() ? rows[i + 1].id : -1;
    return -1;
}

std::int32_t PreviousRecord(const std::vector<ListRow>& rows, std::int32_t id) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].id == id) return i > 0 ? rows[i - 1].id : -1;
    return -1;
}

bool CommandEnabled(DocumentCommand command, const DocumentState& state) {
    switch (command) {
        case DocumentCommand::Open:
            return true;
        case DocumentCommand::Refresh:
        case DocumentCommand::Calculation:
        case DocumentCommand::OutputFile:
        case DocumentCommand::Save:
            return state.FolderOpen();
        case DocumentCommand::NoiseTemplates:
            return state.kind == 'N';
    }
    return false;
}

}  // namespace vesk
