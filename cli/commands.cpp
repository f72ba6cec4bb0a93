#include "cli/commands.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "acf/acf_conditions.h"
#include "noise/noise_analysis.h"
#include "resources/strings.h"
#include "shell/folder_lists.h"
#include "shell/import.h"
#include "shell/settings.h"
#include "sofa/sofa_file.h"
#include "store/file_io.h"
#include "store/samples.h"
#include "store/store_check.h"
#include "store/tables.h"

namespace vesk::cli {

void CliMessages::ShowMessage(const std::string& text) {
    m_shown = true;
    std::fprintf(stderr, "vesk-cli: %s\n", text.c_str());
}

bool CliMessages::AskOkCancel(const std::string& text) {
    if (m_answer == Answer::Yes) return true;
    if (m_answer == Answer::No) {
        std::fprintf(stderr, "vesk-cli: %s No.\n", text.c_str());
        m_declined = true;
        return false;
    }
    if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "%s [y/N] ", text.c_str());
        std::string line;
        if (std::getline(std::cin, line) && (line == "y" || line == "Y" || line == "yes"))
            return true;
    } else {
        std::fprintf(stderr, "vesk-cli: %s Cancelled (answer with --yes or --no).\n", text.c_str());
    }
    m_declined = true;
    return false;
}

int Context::Failure() const {
    if (messages && messages->Declined()) return kCancelled;
    return kStoreFailure;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "vesk-cli: %s\n", message.c_str());
    return kBadInput;
}

bool ParseInt(const std::string& text, long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *value = v;
    return true;
}

bool ParseDouble(const std::string& text, double* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

namespace {

const char* KindLetter(const std::string& kind) {
    if (kind == "ir") return "I";
    if (kind == "acf") return "A";
    if (kind == "noise") return "N";
    return nullptr;
}

std::string FormatScale(double scale) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", scale);
    return text;
}

// Reads the folder; an unknown ID is bad input, a failed read a store failure.

}  // namespace

int LoadFolder(Context& ctx, long folderId, FolderRecord* folder) {
    CFolderTable folders;
    if (!folders.Open()) return ctx.Failure();
    if (!folders.Read(folderId, folder)) {
        if (ctx.messages->Shown()) return kStoreFailure;
        std::fprintf(stderr, "vesk-cli: no folder %ld\n", folderId);
        return kBadInput;
    }
    return kDone;
}

int CmdFolders(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("folders takes no arguments");
    CFolderTable folders;
    if (!folders.Open()) return ctx.Failure();
    DbStatus st = folders.SelectIndex(folders.Index1());
    if (st == db::kOk) st = folders.GoFirst();
    if (st != db::kOk && st != db::kNoRecord) {
        ReportStoreError(str::kCantReadFolder, st);
        return kStoreFailure;
    }
    FolderRecord f;
    while (folders.ReadNext(&f)) {
        std::printf("%d\t%s\t%s\t%s\t%s\t%s\t%s\n", f.folderId, f.type.c_str(), f.title.c_str(),
                    f.name.c_str(), f.place.c_str(), FormatDateTime(f.date).c_str(),
                    FormatScale(f.scale).c_str());
    }
    return ctx.messages->Shown() ? kStoreFailure : kDone;
}

int CmdList(Context& ctx, const std::vector<std::string>& args) {
    long folderId = 0;
    if (args.size() != 1 || !ParseInt(args[0], &folderId)) return Usage("usage: list FOLDERID");
    FolderRecord folder;
    if (int rc = LoadFolder(ctx, folderId, &folder); rc != kDone) return rc;
    if (folder.type == "I" || folder.type == "A") {
        // The rows of the desktop program's folder view: title, comment, date, result mark.
        std::vector<ListRow> rows;
        if (!FolderViewRows(folder.type[0], static_cast<std::int32_t>(folderId), &rows))
            return ctx.Failure();
        for (const ListRow& r : rows)
            std::printf("%d\t%s\t%s\t%s\n", r.id, r.texts[0].c_str(), r.texts[2].c_str(),
                        r.texts[3].empty() ? "" : "*");
    } else if (folder.type == "N") {
        CNmsTable measurements;
        std::vector<NmsRecord> list;
        if (!ReadFolderRecords(measurements, folderId, &list)) return ctx.Failure();
        for (const NmsRecord& m : list) {
            // Only an analysed recording shows its source; the blobs read are those of the
            // record the table stands on.
            std::uint32_t factors = 0;
            std::string name;
            NmsRecord r;
            if (!measurements.Read(m.nmsId, &r)) {
                if (measurements.ReadFailed()) return kStoreFailure;
                continue;  // deleted since the folder was read
            }
            DbStatus st = measurements.BlobSize("NMSFACTOR", &factors);
            std::array<unsigned char, blob::kNoiseSourceSize> source{};
            std::uint32_t read = 0;
            if (st == db::kOk && factors > 0)
                st =
                    measurements.ReadBlob("NOISESRC", source.data(), blob::kNoiseSourceSize, &read);
            if (st != db::kOk) {
                ReportStoreError("No. " + std::to_string(static_cast<long>(m.number) + 1),
                                 str::kCantReadCalc, st);
                return kStoreFailure;
            }
            if (factors > 0)
                name = DisplayedSourceName(DecodeNoiseSourceResult(source.data()).name);
            std::printf("%d\t%ld\t%s\t%s\n", m.nmsId, static_cast<long>(m.number) + 1,
                        FormatDateTime(m.time).c_str(), name.c_str());
        }
    }
    return ctx.messages->Shown() ? kStoreFailure : kDone;
}

namespace {

struct ImportOptions {
    std::string kind;
    std::optional<long> folderId;
    std::string title, name, place, date, comment;
    double scale = 1.0;
    long mlsOrder = -1;
    long multiplier = 1;
    double calLevel = 0.0;
    std::string sweep;          // the excitation of sweep recordings
    std::vector<int> channels;  // of each file, numbered from 1; empty for mono or stereo files
    sofa::Choice sofa;          // the responses and ears of SOFA files
    std::vector<std::string> files;
};

std::string Today() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

int ParseImport(const std::vector<std::string>& args, ImportOptions* o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        double d = 0;
        if (a == "--kind") {
            if (!value(&o->kind) || !KindLetter(o->kind))
                return Usage("--kind takes ir, acf or noise");
        } else if (a == "--folder") {
            if (!value(&v) || !ParseInt(v, &n) || n <= 0)
                return Usage("--folder takes a folder ID");
            o->folderId = n;
        } else if (a == "--title") {
            if (!value(&o->title)) return Usage("--title takes a text");
        } else if (a == "--name") {
            if (!value(&o->name)) return Usage("--name takes a text");
        } else if (a == "--place") {
            if (!value(&o->place)) return Usage("--place takes a text");
        } else if (a == "--comment") {
            if (!value(&o->comment)) return Usage("--comment takes a text");
        } else if (a == "--date") {
            if (!value(&o->date) || o->date.size() != 8 ||
                o->date.find_first_not_of("0123456789") != std::string::npos)
                return Usage("--date takes YYYYMMDD");
        } else if (a == "--scale") {
            if (!value(&v) || !ParseDouble(v, &d) || d < 0 || d > 99999.99)
                return Usage("--scale takes a number from 0 to 99999.99");
            o->scale = d;
        } else if (a == "--mls") {
            if (!value(&v) || !ParseInt(v, &n) || n < 10 || n > 19)
                return Usage("--mls takes an order from 10 to 19");
            o->mlsOrder = n;
        } else if (a == "--channels") {
            o->channels.clear();
            std::istringstream list(value(&v) ? v : "");
            for (std::string item; std::getline(list, item, ',');)
                o->channels.push_back(ParseInt(item, &n) && n >= 1 && n <= 1024 ? int(n) : 0);
            if (o->channels.empty() || o->channels.size() > 2 ||
                std::count(o->channels.begin(), o->channels.end(), 0) > 0 ||
                (o->channels.size() == 2 && o->channels[0] == o->channels[1]))
                return Usage("--channels takes one channel C or two channels L,R, from 1");
        } else if (a == "--measurement") {
            // Numbers and ranges A-B; the bound keeps a typo such as 1-1000000000 from filling
            // memory before the file is looked at.
            std::istringstream list(value(&v) ? v : "");
            bool ok = true;
            for (std::string item; ok && std::getline(list, item, ',');) {
                const std::size_t dash = item.find('-', 1);
                long from = 0, to = 0;
                ok = ParseInt(item.substr(0, dash), &from) &&
                     (dash == std::string::npos ? (to = from, true)
                                                : ParseInt(item.substr(dash + 1), &to)) &&
                     from >= 1 && to >= from && to - from < 1000000 &&
                     o->sofa.responses.size() + static_cast<std::size_t>(to - from) < 1000000;
                for (long k = from; ok && k <= to; ++k)
                    o->sofa.responses.push_back(static_cast<std::size_t>(k));
            }
            if (!ok || o->sofa.responses.empty())
                return Usage("--measurement takes response numbers from 1 and ranges: 1,4,10-20");
        } else if (a == "--ears") {
            o->sofa.receivers.clear();
            std::istringstream list(value(&v) ? v : "");
            for (std::string item; std::getline(list, item, ',');)
                o->sofa.receivers.push_back(ParseInt(item, &n) && n >= 1 && n <= 1 << 20 ? int(n)
                                                                                         : 0);
            const auto& ears = o->sofa.receivers;
            if (ears.empty() || ears.size() > 2 || std::count(ears.begin(), ears.end(), 0) > 0 ||
                (ears.size() == 2 && ears[0] == ears[1]))
                return Usage("--ears takes two receivers L,R or one receiver, from 1");
        } else if (a == "--sweep") {
            if (!value(&o->sweep)) return Usage("--sweep takes the excitation's audio file");
        } else if (a == "--multiplier") {
            if (!value(&v) || !ParseInt(v, &n) || n < -9999 || n > 99999)
                return Usage("--multiplier takes an integer that fits 5 digits");
            o->multiplier = n;
        } else if (a == "--cal-level") {
            if (!value(&v) || !ParseDouble(v, &d) || std::fabs(d) > 1000)
                return Usage("--cal-level takes a level in dB");
            o->calLevel = d;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return Usage("import: unknown option " + a);
        } else {
            o->files.push_back(a);
        }
    }
    if (o->kind.empty()) return Usage("import needs --kind ir|acf|noise");
    if (o->files.empty()) return Usage("import needs at least one audio file");
    if (o->mlsOrder >= 0 && o->kind != "ir") return Usage("--mls applies to --kind ir only");
    if (!o->sweep.empty() && o->kind != "ir") return Usage("--sweep applies to --kind ir only");
    if (!o->sweep.empty() && o->mlsOrder >= 0) return Usage("--sweep and --mls exclude each other");
    const bool sofaFiles = std::any_of(o->files.begin(), o->files.end(), sofa::IsSofaPath);
    if (sofaFiles && o->kind != "ir") return Usage("SOFA files hold impulse responses: --kind ir");
    if (sofaFiles && (o->mlsOrder >= 0 || !o->sweep.empty()))
        return Usage("SOFA files hold impulse responses, not MLS or sweep recordings");
    if (!o->channels.empty() && std::all_of(o->files.begin(), o->files.end(), sofa::IsSofaPath))
        return Usage("--channels applies to audio files; SOFA files take --ears L,R");
    if (!sofaFiles && (!o->sofa.responses.empty() || !o->sofa.receivers.empty()))
        return Usage("--measurement and --ears apply to SOFA files (.sofa)");
    if (o->folderId && (!o->title.empty() || !o->name.empty() || !o->place.empty() ||
                        !o->date.empty() || !o->comment.empty()))
        return Usage("--folder names an existing folder; folder fields go with --title");
    return kDone;
}

// Reads and checks every file before the store is touched; notes go to stderr as they come.
int LoadImportFiles(const ImportOptions& o, const ImportChoices& choices,
                    std::vector<ImportedMeasurement>* files) {
    Excitation excitation;
    std::string error;
    if (!o.sweep.empty() && !LoadExcitation(o.sweep, &excitation, &error)) return Usage(error);
    for (const std::string& path : o.files) {
        std::vector<std::string> notes;
        const bool ok = PrepareImportFile(path, choices, o.sweep.empty() ? nullptr : &excitation,
                                          files, &error, &notes);
        for (const std::string& note : notes)
            std::fprintf(stderr, "vesk-cli: %s\n", note.c_str());
        if (!ok) return Usage(error);
    }
    return kDone;
}

}  // namespace

int CmdImport(Context& ctx, const std::vector<std::string>& args) {
    ImportOptions o;
    if (int rc = ParseImport(args, &o); rc != kDone) return rc;
    const std::string letter = KindLetter(o.kind);
    ImportChoices choices;
    choices.kind = letter[0];
    choices.form = !o.sweep.empty()  ? ResponseForm::kSweep
                   : o.mlsOrder >= 0 ? ResponseForm::kMls
                                     : ResponseForm::kPlain;
    choices.mlsOrder = static_cast<int>(o.mlsOrder);
    choices.excitation = o.sweep;
    choices.channels = o.channels;
    choices.sofa = o.sofa;
    choices.multiplier = o.multiplier;
    choices.calLevel = o.calLevel;
    const AppSettings settings = AppSettings::Load(ctx.settingsPath);
    choices.noiseConditions = settings.noise;
    choices.noiseParameter = settings.noiseParameter;
    std::vector<ImportedMeasurement> files;
    if (int rc = LoadImportFiles(o, choices, &files); rc != kDone) return rc;

    CFolderTable folders;
    if (!folders.Open()) return ctx.Failure();
    FolderRecord folder;
    if (o.folderId) {
        if (!folders.Read(*o.folderId, &folder)) {
            if (ctx.messages->Shown()) return kStoreFailure;
            std::fprintf(stderr, "vesk-cli: no folder %ld\n", *o.folderId);
            return kBadInput;
        }
        if (folder.type != letter) {
            std::fprintf(stderr, "vesk-cli: folder %ld holds kind %s, not %s\n", *o.folderId,
                         folder.type.c_str(), letter.c_str());
            return kBadInput;
        }
    }
    // Open the measurement table before a folder is made, so a failure leaves no empty folder.
    CImpulseTable impulses;
    CAcfTable acfs;
    CNmsTable noises;
    CStoreTable* table = o.kind == "ir"    ? static_cast<CStoreTable*>(&impulses)
                         : o.kind == "acf" ? static_cast<CStoreTable*>(&acfs)
                                           : static_cast<CStoreTable*>(&noises);
    if (!table->Open()) return ctx.Failure();
    // NUMBER counts from 0 and lists show NUMBER + 1; a new recording takes the next free one.
    std::int64_t number = 0;
    if (o.kind == "noise" && o.folderId) {
        if (!NextNoiseNumber(static_cast<std::int32_t>(*o.folderId), &number)) return kStoreFailure;
        if (number + static_cast<std::int64_t>(files.size()) > 1000000) {  // NUMBER is 6 digits
            std::fprintf(stderr, "vesk-cli: folder %ld has no free numbers left\n", *o.folderId);
            return kBadInput;
        }
    }
    if (!o.folderId) {
        if (!folders.NextId(&folder.folderId)) return kStoreFailure;
        folder.type = letter;
        folder.title = o.title.empty() ? files.front().stem : o.title;
        folder.name = o.name;
        folder.place = o.place;
        folder.date = o.date.empty() ? Today() : o.date;
        folder.comment = o.comment;
        folder.scale = o.scale;
        if (!folders.Append(folder)) return kStoreFailure;
    }
    std::printf("folder %d\n", folder.folderId);

    for (const ImportedMeasurement& f : files) {
        std::vector<std::int32_t> ids;
        if (!StoreImported(folder.folderId, choices, {f}, &number, &ids)) return kStoreFailure;
        std::printf("record %d\t%s\n", ids.front(), f.path.c_str());
    }
    return kDone;
}

int CmdDeleteFolder(Context& ctx, const std::vector<std::string>& args) {
    long folderId = 0;
    if (args.size() != 1 || !ParseInt(args[0], &folderId))
        return Usage("usage: delete-folder FOLDERID");
    FolderRecord folder;
    if (int rc = LoadFolder(ctx, folderId, &folder); rc != kDone) return rc;
    if (!AskStoreQuestion(str::kDeleteFolderQuestion)) return kCancelled;
    if (!DeleteFolder(folderId)) return kStoreFailure;
    return kDone;
}

bool CommandWrites(const std::string& command, const std::vector<std::string>& args) {
    if (command == "folders" || command == "list" || command == "export" || command == "show")
        return false;
    if (command == "check") return !args.empty() && args[0] == "--repair";
    if (command == "templates")
        return !(args.empty() || args[0] == "list" || args[0] == "show" || args[0] == "export" ||
                 (args[0] == "weights" && args.size() == 1));
    return true;
}

int CmdCheck(Context& ctx, const std::vector<std::string>& args) {
    const bool repair = args.size() == 1 && args[0] == "--repair";
    if (!args.empty() && !repair) return Usage("usage: check [--repair]");
    switch (CheckStore(repair, [](const std::string& text) { std::fputs(text.c_str(), stdout); })) {
        case StoreCheck::Clean:
        case StoreCheck::Repaired:
            return kDone;
        case StoreCheck::NotOpened:
        case StoreCheck::Declined:
            return ctx.Failure();
        case StoreCheck::RepairFailed:
            std::fprintf(stderr, "vesk-cli: the repair could not remove every record\n");
            return kStoreFailure;
        case StoreCheck::Damaged:
        case StoreCheck::Problems:
            break;
    }
    return kStoreFailure;
}

}  // namespace vesk::cli
