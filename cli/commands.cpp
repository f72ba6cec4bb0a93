#include "cli/commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>

#include "acf/acf_conditions.h"
#include "app/folder_lists.h"
#include "app/settings.h"
#include "cli/audio.h"
#include "noise/noise_analysis.h"
#include "resources/strings.h"
#include "store/file_io.h"
#include "store/samples.h"
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
    if (folders.SelectIndex(folders.Index1()) != db::kOk || folders.GoFirst() != db::kOk)
        return kStoreFailure;
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
            if (measurements.Read(m.nmsId, &r) &&
                measurements.BlobSize("NMSFACTOR", &factors) == db::kOk && factors > 0) {
                std::array<unsigned char, blob::kNoiseSourceSize> source{};
                std::uint32_t read = 0;
                measurements.ReadBlob("NOISESRC", source.data(), blob::kNoiseSourceSize, &read);
                name = DisplayedSourceName(DecodeNoiseSourceResult(source.data()).name);
            }
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
    std::vector<std::string> files;
};

struct ImportFile {
    std::string path;
    std::string title;
    std::string time;  // YYYYMMDDhhmmss of the file's modification
    AudioData audio;
    int mesTime = 0;  // impulse responses: base-2 exponent
};

std::string FileTime(const std::string& path) {
    struct stat st {};
    std::time_t t = ::stat(path.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    return text;
}

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
    if (o->folderId && (!o->title.empty() || !o->name.empty() || !o->place.empty() ||
                        !o->date.empty() || !o->comment.empty()))
        return Usage("--folder names an existing folder; folder fields go with --title");
    return kDone;
}

// Impulse responses are stored with up to 2^21 frames: 21.8 s at 96 kHz, enough for the largest
// halls and churches; MESTIME holds the order plus 50 in two digits.
constexpr int kMaxImpulseOrder = 21;

// Silence before the direct sound is cut down (or filled up) to this, so the direct sound lies in
// the part the analysis searches and every seat's file starts alike. 5 ms holds the rising side
// lobes of a band-limited direct sound (several periods down to 1 kHz) and stays well below the
// 10 ms default minimum delay of the reflection search.
constexpr double kPreDelay = 0.005;

// The onset of ISO 3382-1: the first frame where a channel comes within 20 dB of the file's
// largest magnitude. Both channels are cut alike, so their delay against each other stays.
void TrimBeforeOnset(const std::string& path, AudioData* a) {
    const std::size_t channels = static_cast<std::size_t>(a->channels);
    int largest = 0;
    for (std::int16_t v : a->samples)
        largest = std::max(largest, std::abs(static_cast<int>(v)));
    if (largest == 0) return;
    const double threshold = largest * 0.1;  // -20 dB
    std::size_t onset = 0;
    while (onset < a->frames) {
        bool reached = false;
        for (std::size_t c = 0; c < channels; ++c)
            reached = reached ||
                      std::abs(static_cast<int>(a->samples[onset * channels + c])) >= threshold;
        if (reached) break;
        ++onset;
    }
    const std::size_t keep = static_cast<std::size_t>(kPreDelay * a->sampleRate);
    if (onset < keep) {
        // An earlier onset gets the rest of the pre-delay as silence, so every response starts
        // alike and the filters' ringing ahead of the direct sound stays in the file; not when
        // that would make a response that fits the store too long for it.
        const std::size_t longest = std::size_t{1} << kMaxImpulseOrder;
        const std::size_t add =
            std::min(keep - onset, a->frames < longest ? longest - a->frames : 0);
        if (add == 0) return;
        a->samples.insert(a->samples.begin(), add * channels, 0);
        a->frames += add;
        std::fprintf(stderr, "vesk-cli: %s: %.1f ms of silence put before the direct sound\n",
                     path.c_str(), 1000.0 * static_cast<double>(add) / a->sampleRate);
        return;
    }
    const std::size_t cut = onset - keep;
    if (cut == 0) return;
    a->samples.erase(a->samples.begin(),
                     a->samples.begin() + static_cast<std::ptrdiff_t>(cut * channels));
    a->frames -= cut;
    std::fprintf(stderr,
                 "vesk-cli: %s: %.3f s (%zu frames) before the direct sound trimmed, %.0f ms "
                 "kept\n",
                 path.c_str(), static_cast<double>(cut) / a->sampleRate, cut, kPreDelay * 1000);
}

// Trailing digital silence holds nothing, but would decide how far the response is padded and
// so the grid of the band filters: the same response with and without it is stored alike.
void DropTrailingSilence(const std::string& path, AudioData* a) {
    const std::size_t channels = static_cast<std::size_t>(a->channels);
    std::size_t frames = a->frames;
    auto silent = [&](std::size_t f) {
        for (std::size_t c = 0; c < channels; ++c)
            if (a->samples[f * channels + c] != 0) return false;
        return true;
    };
    while (frames > 1 && silent(frames - 1))
        --frames;
    if (frames == a->frames) return;
    std::fprintf(
        stderr, "vesk-cli: %s: %.3f s (%zu frames) of digital silence at the end dropped\n",
        path.c_str(), static_cast<double>(a->frames - frames) / a->sampleRate, a->frames - frames);
    a->frames = frames;
    a->samples.resize(frames * channels);
}

void CutToLongestResponse(const std::string& path, AudioData* a) {
    const std::size_t longest = std::size_t{1} << kMaxImpulseOrder;
    if (a->frames <= longest) return;
    std::fprintf(
        stderr,
        "vesk-cli: warning: %s: %zu frames after the onset; impulse responses keep at most "
        "%zu (%.1f s), the last %.3f s are cut off\n",
        path.c_str(), a->frames, longest, static_cast<double>(longest) / a->sampleRate,
        static_cast<double>(a->frames - longest) / a->sampleRate);
    a->frames = longest;
    a->samples.resize(longest * static_cast<std::size_t>(a->channels));
}

// Reads and checks every file before the store is touched.
int LoadImportFiles(const ImportOptions& o, std::vector<ImportFile>* files) {
    for (const std::string& path : o.files) {
        ImportFile f;
        f.path = path;
        std::string error;
        if (!ReadAudioFile(path, &f.audio, &error)) return Usage(error);
        if (f.audio.clipped > 0)
            std::fprintf(stderr, "vesk-cli: warning: %s: %zu samples clipped to 16 bits\n",
                         path.c_str(), f.audio.clipped);
        f.title = std::filesystem::path(path).stem().string();
        f.time = FileTime(path);
        if (o.kind == "ir") {
            if (o.mlsOrder >= 0) {
                if (f.audio.frames != (std::size_t{1} << o.mlsOrder))
                    return Usage(path + ": " + std::to_string(f.audio.frames) +
                                 " frames; one period of an MLS of order " +
                                 std::to_string(o.mlsOrder) + " has " +
                                 std::to_string(1L << o.mlsOrder));
                f.mesTime = static_cast<int>(o.mlsOrder);
            } else {
                TrimBeforeOnset(path, &f.audio);
                DropTrailingSilence(path, &f.audio);
                CutToLongestResponse(path, &f.audio);
                int order = 0;
                while ((std::size_t{1} << order) < f.audio.frames)
                    ++order;
                f.mesTime = order;
                f.audio.samples.resize(
                    (std::size_t{1} << order) * static_cast<std::size_t>(f.audio.channels), 0);
                f.audio.frames = std::size_t{1} << order;
            }
        } else if (f.audio.frames > 999999999) {
            return Usage(path + ": too many frames for the store");
        }
        files->push_back(std::move(f));
    }
    return kDone;
}

}  // namespace

int CmdImport(Context& ctx, const std::vector<std::string>& args) {
    ImportOptions o;
    if (int rc = ParseImport(args, &o); rc != kDone) return rc;
    std::vector<ImportFile> files;
    if (int rc = LoadImportFiles(o, &files); rc != kDone) return rc;
    const std::string letter = KindLetter(o.kind);

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
    if (!o.folderId) {
        if (!folders.NextId(&folder.folderId)) return kStoreFailure;
        folder.type = letter;
        folder.title = o.title.empty() ? files.front().title : o.title;
        folder.name = o.name;
        folder.place = o.place;
        folder.date = o.date.empty() ? Today() : o.date;
        folder.comment = o.comment;
        folder.scale = o.scale;
        if (!folders.Append(folder)) return kStoreFailure;
    }
    std::printf("folder %d\n", folder.folderId);

    std::int32_t id = 0;
    if (!table->NextId(&id)) return kStoreFailure;
    std::int32_t number = 0;  // NUMBER counts from 0; lists show NUMBER + 1
    if (o.kind == "noise") {
        long count = 0;
        if (!noises.SetScopeTo(folder.folderId, &count)) return kStoreFailure;
        NmsRecord r;
        while (noises.ReadNext(&r))
            number = std::max(number, r.number + 1);
    }
    AppSettings settings = AppSettings::Load(ctx.settingsPath);
    for (ImportFile& f : files) {
        std::vector<unsigned char> wave = MakeWaveBlock(f.audio.channels, f.audio.samples);
        int ok = 0;
        if (o.kind == "ir") {
            ImpulseRecord r;
            r.folderId = folder.folderId;
            r.impulseId = id;
            r.sampling = f.audio.sampleRate;
            r.mesTime = f.mesTime;
            r.noMls = o.mlsOrder < 0 ? 1 : 0;
            r.mesNum = 1;
            r.channel = f.audio.channels;
            r.bit = 16;
            r.time = f.time;
            r.title = f.title;
            r.multiplier = static_cast<std::int32_t>(o.multiplier);
            ok = impulses.Append(r, wave);
        } else if (o.kind == "acf") {
            AcfRecord r;
            r.folderId = folder.folderId;
            r.acfId = id;
            r.sampling = f.audio.sampleRate;
            r.channel = f.audio.channels;
            r.sampleNum = static_cast<std::int32_t>(f.audio.frames);
            r.dataTime =
                std::min(99999.99, static_cast<double>(f.audio.frames) / f.audio.sampleRate);
            r.time = f.time;
            r.title = f.title;
            ok = acfs.Append(r, wave);
        } else {
            NmsRecord r;
            r.folderId = folder.folderId;
            r.nmsId = id;
            r.sampling = f.audio.sampleRate;
            r.channel = f.audio.channels;
            r.sampleNum = static_cast<std::int32_t>(f.audio.frames);
            r.number = number++;
            r.dataTime =
                std::min(99999.99, static_cast<double>(f.audio.frames) / f.audio.sampleRate);
            r.time = f.time;
            r.condSize = static_cast<std::int32_t>(blob::kNmsCondSize);
            // The recording side's condition block: the noise conditions in use, no Phi(0)
            // reference, the WIACC width, and the microphone's reference level without points.
            std::array<unsigned char, blob::kNmsCondSize> cond{};
            detail::PutU32(cond.data() + 4, static_cast<std::uint32_t>(r.sampleNum));
            RunningAcfConditions c = settings.noise;
            c.phi0RefData = 0;
            c.phi0RefLevel = 0.0;
            EncodeRunningAcfConditions(c, cond.data() + 8);
            detail::PutF64(cond.data() + 76, settings.noiseParameter);
            detail::PutF64(cond.data() + 84, o.calLevel);
            ok = noises.Append(r, wave, cond);
        }
        if (!ok) return kStoreFailure;
        std::printf("record %d\t%s\n", id, f.path.c_str());
        ++id;
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

int CmdCheck(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("check takes no arguments");
    CFolderTable folders;
    CImpulseTable impulses;
    CAcfTable acfs;
    CNmsTable noises;
    CNsTmpTable templates;
    CAcParamTable acparams;
    CAcfFactTable acffacts;
    CStoreTable* tables[] = {&folders, &impulses, &acfs, &noises, &templates, &acparams, &acffacts};
    int rc = kDone;
    for (CStoreTable* t : tables) {
        if (!t->Open()) return ctx.Failure();
        std::string report;
        DbStatus st = t->Verify(&report);
        std::printf("%s: %s\n%s", t->Spec().name, st == db::kOk ? "ok" : DbStatusText(st),
                    report.c_str());
        if (st != db::kOk) rc = kStoreFailure;
    }
    return rc;
}

}  // namespace vesk::cli
