// vesk-cli export and show: a folder's output file, and one measurement's results on the
// terminal in the words of that file.
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "export/output_files.h"
#include "export/structured_files.h"
#include "store/tables.h"

namespace vesk::cli {

namespace {

int ReadFolderArg(Context& ctx, const std::string& text, FolderRecord* folder) {
    long folderId = 0;
    if (!ParseInt(text, &folderId)) return Usage("FOLDERID must be a number");
    return LoadFolder(ctx, folderId, folder);
}

}  // namespace

int CmdExport(Context& ctx, const std::vector<std::string>& args) {
    const bool table = args.size() == 3 && args[2] == "--table";
    if (args.size() != 2 && !table)
        return Usage(
            "usage: export FOLDERID FILE (.txt, .csv or .json) | FOLDERID FILE.csv --table");
    FolderRecord folder;
    if (int st = ReadFolderArg(ctx, args[0], &folder); st != kDone) return st;
    if (table) {
        std::string extension = std::filesystem::path(args[1]).extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (extension != ".CSV") return Usage("usage: export FOLDERID FILE.csv --table");
    }
    switch (table ? WriteTableCsv(folder.folderId, folder.type, args[1])
                  : WriteOutputFile(folder.folderId, folder.type, args[1])) {
        case OutputStatus::Written:
            std::printf("%s\n", args[1].c_str());
            return kDone;
        case OutputStatus::BadExtension:
        case OutputStatus::CantCreate:
            return kBadInput;
        case OutputStatus::NoContent:
            std::fprintf(stderr, "vesk-cli: folder %d holds kind %s, which has no output file\n",
                         folder.folderId, folder.type.c_str());
            return kBadInput;
        case OutputStatus::StoreFailed:
            break;
    }
    std::fprintf(stderr, "vesk-cli: %s not written\n", args[1].c_str());
    return kStoreFailure;
}

int CmdShow(Context& ctx, const std::vector<std::string>& args) {
    long id = 0;
    if (args.size() != 2 || !ParseInt(args[1], &id)) return Usage("usage: show FOLDERID ID");
    FolderRecord folder;
    if (int st = ReadFolderArg(ctx, args[0], &folder); st != kDone) return st;
    const unsigned errors = StoreErrorCount();
    const std::string text = MeasurementText(folder.folderId, static_cast<std::int32_t>(id));
    if (StoreErrorCount() != errors) {
        std::fprintf(stderr, "vesk-cli: measurement %ld not shown\n", id);
        return kStoreFailure;
    }
    if (text.empty()) {
        std::fprintf(stderr, "vesk-cli: folder %d has no measurement %ld\n", folder.folderId, id);
        return kBadInput;
    }
    std::fputs(text.c_str(), stdout);
    return kDone;
}

}  // namespace vesk::cli
