#include "shell/import.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>

#include "acf/acf_conditions.h"
#include "resources/strings.h"
#include "store/file_io.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"
#include "sweep/sweep.h"

namespace vesk {

namespace {

// Impulse responses are stored with up to 2^21 frames: 21.8 s at 96 kHz, enough for the largest
// halls and churches; MESTIME holds the order plus 50 in two digits.
constexpr int kMaxImpulseOrder = 21;

// Silence before the direct sound is cut down (or filled up) to this, so the direct sound lies in
// the part the analysis searches and every seat's file starts alike. 5 ms holds the rising side
// lobes of a band-limited direct sound (several periods down to 1 kHz) and stays well below the
// 10 ms default minimum delay of the reflection search.
constexpr double kPreDelay = 0.005;

// The orders of MLS recordings the recovery takes.
constexpr int kMinMlsOrder = 10, kMaxMlsOrder = 19;

std::string Format(const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string FileTime(const std::string& path) {
    struct stat st {};
    std::time_t t = ::stat(path.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    return text;
}

// The onset of ISO 3382-1: the first frame where a channel comes within 20 dB of the file's
// largest magnitude. Both channels are cut alike, so their delay against each other stays.
void TrimBeforeOnset(const std::string& path, AudioData* a, std::vector<std::string>* notes) {
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
        notes->push_back(Format("%s: %.1f ms of silence put before the direct sound", path.c_str(),
                                1000.0 * static_cast<double>(add) / a->sampleRate));
        return;
    }
    const std::size_t cut = onset - keep;
    if (cut == 0) return;
    a->samples.erase(a->samples.begin(),
                     a->samples.begin() + static_cast<std::ptrdiff_t>(cut * channels));
    a->frames -= cut;
    notes->push_back(Format("%s: %.3f s (%zu frames) before the direct sound trimmed, %.0f ms kept",
                            path.c_str(), static_cast<double>(cut) / a->sampleRate, cut,
                            kPreDelay * 1000));
}

// Trailing digital silence holds nothing, but would decide how far the response is padded and
// so the grid of the band filters: the same response with and without it is stored alike.
void DropTrailingSilence(const std::string& path, AudioData* a, std::vector<std::string>* notes) {
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
    notes->push_back(Format("%s: %.3f s (%zu frames) of digital silence at the end dropped",
                            path.c_str(), static_cast<double>(a->frames - frames) / a->sampleRate,
                            a->frames - frames));
    a->frames = frames;
    a->samples.resize(frames * channels);
}

void CutToLongestResponse(const std::string& path, AudioData* a, std::vector<std::string>* notes) {
    const std::size_t longest = std::size_t{1} << kMaxImpulseOrder;
    if (a->frames <= longest) return;
    notes->push_back(Format(
        "warning: %s: %zu frames after the onset; impulse responses keep at most %zu (%.1f s), "
        "the last %.3f s are cut off",
        path.c_str(), a->frames, longest, static_cast<double>(longest) / a->sampleRate,
        static_cast<double>(a->frames - longest) / a->sampleRate));
    a->frames = longest;
    a->samples.resize(longest * static_cast<std::size_t>(a->channels));
}

// A plain impulse response as the store keeps it: from its onset, without trailing silence,
// zero-padded to a power of two.
void PreparePlainResponse(ImportedMeasurement* f, std::vector<std::string>* notes) {
    TrimBeforeOnset(f->path, &f->audio, notes);
    DropTrailingSilence(f->path, &f->audio, notes);
    CutToLongestResponse(f->path, &f->audio, notes);
    int order = 0;
    while ((std::size_t{1} << order) < f->audio.frames)
        ++order;
    f->mesTime = order;
    f->audio.samples.resize((std::size_t{1} << order) * static_cast<std::size_t>(f->audio.channels),
                            0);
    f->audio.frames = std::size_t{1} << order;
}

// A sweep recording deconvolved into its impulse response, in the store's 16 bits. The response
// keeps its scale against the excitation, so seats measured alike compare; only one that would
// clip is scaled down, and the user is told by how much.
bool DeconvolveSweep(const std::string& path, const std::vector<int>& chosen,
                     const FloatAudio& excitation, AudioData* out, std::string* error,
                     std::vector<std::string>* notes) {
    FloatAudio recording;
    if (!ReadAudioFileFloat(path, &recording, error, chosen)) return false;
    const DeconvolvedResponse r = Deconvolve(recording.channels, recording.sampleRate,
                                             excitation.channels[0], excitation.sampleRate);
    if (r.status != SweepStatus::kDone) {
        *error = path + ": " + r.message;
        return false;
    }
    float peak = 0;
    for (const auto& channel : r.channels)
        for (float v : channel)
            peak = std::max(peak, std::fabs(v));
    if (peak == 0) {
        *error = path + ": the deconvolved response is silent";
        return false;
    }
    double gain = 32767.0;
    if (peak > 1.0f) {
        gain = 32767.0 * 0.891 / peak;  // -1 dBFS
        notes->push_back(Format("%s: the response would clip; scaled by %.2f dB", path.c_str(),
                                20 * std::log10(gain / 32767.0)));
    } else if (peak < 0.1f) {
        notes->push_back(Format(
            "warning: %s: the response peaks at %.1f dBFS; 16 bits leave it little range above "
            "their noise",
            path.c_str(), 20 * std::log10(peak)));
    }
    const std::size_t channels = r.channels.size();
    out->channels = static_cast<int>(channels);
    out->sampleRate = recording.sampleRate;
    out->frames = r.channels[0].size();
    out->clipped = 0;
    out->samples.resize(out->frames * channels);
    for (std::size_t i = 0; i < out->frames; ++i)
        for (std::size_t c = 0; c < channels; ++c)
            out->samples[i * channels + c] = static_cast<std::int16_t>(
                std::clamp(std::lround(r.channels[c][i] * gain), -32768L, 32767L));
    notes->push_back(Format("%s: deconvolved, direct sound %.3f s into the recording", path.c_str(),
                            static_cast<double>(r.onsetLag) / recording.sampleRate));
    return true;
}

// The chosen responses of a SOFA file, one by one, each a plain impulse response whose float
// samples are scaled as those of float audio files: full scale to +-32767.
bool PrepareSofaFile(const std::string& path, const ImportChoices& choices,
                     std::vector<ImportedMeasurement>* files, std::string* error,
                     std::vector<std::string>* notes) {
    sofa::File file;
    std::vector<std::size_t> numbers, receivers;
    if (!file.Open(path, error) || !file.Choose(choices.sofa, &numbers, &receivers, error))
        return false;
    for (const std::string& note : file.Info().notes)
        notes->push_back(path + ": " + note);
    const std::string stem = std::filesystem::path(path).stem().string(), time = FileTime(path);
    for (std::size_t number : numbers) {
        sofa::Response response;
        if (!file.Read(number, receivers, &response, error)) return false;
        ImportedMeasurement f;
        f.path = path + "#" + std::to_string(number);
        f.title = response.title;
        f.stem = stem;
        f.time = time;
        AudioData& a = f.audio;
        a.channels = static_cast<int>(response.channels.size());
        a.sampleRate = response.sampleRate;
        a.frames = response.channels[0].size();
        a.samples.resize(a.frames * response.channels.size());
        for (std::size_t i = 0; i < a.frames; ++i)
            for (std::size_t c = 0; c < response.channels.size(); ++c) {
                double v = std::round(static_cast<double>(response.channels[c][i]) * 32767.0);
                if (v > 32767.0 || v < -32768.0) {
                    ++a.clipped;
                    v = v > 0 ? 32767.0 : -32768.0;
                }
                a.samples[i * response.channels.size() + c] = static_cast<std::int16_t>(v);
            }
        if (a.clipped > 0)
            notes->push_back(
                Format("warning: %s: %zu samples clipped to 16 bits", f.path.c_str(), a.clipped));
        PreparePlainResponse(&f, notes);
        files->push_back(std::move(f));
    }
    return true;
}

}  // namespace

bool LoadExcitation(const std::string& path, Excitation* out, std::string* error) {
    if (!ReadAudioFileFloat(path, &out->audio, error)) return false;
    if (out->audio.channels.size() != 1) {
        *error = path + ": an excitation has one channel";
        return false;
    }
    return true;
}

bool PrepareImportFile(const std::string& path, const ImportChoices& choices,
                       const Excitation* excitation, std::vector<ImportedMeasurement>* out,
                       std::string* reason, std::vector<std::string>* notes) {
    const bool impulse = choices.kind == 'I';
    if (sofa::IsSofaPath(path)) {
        if (!impulse) {
            *reason = path + ": SOFA files hold impulse responses";
            return false;
        }
        if (choices.form != ResponseForm::kPlain) {
            *reason = path + ": SOFA files hold impulse responses, not MLS or sweep recordings";
            return false;
        }
        return PrepareSofaFile(path, choices, out, reason, notes);
    }
    const bool sweep = impulse && choices.form == ResponseForm::kSweep;
    if (sweep && (!excitation || excitation->audio.channels.size() != 1)) {
        *reason = path + ": a sweep recording needs its excitation";
        return false;
    }
    ImportedMeasurement f;
    f.path = path;
    if (sweep ? !DeconvolveSweep(path, choices.channels, excitation->audio, &f.audio, reason, notes)
              : !ReadAudioFile(path, &f.audio, reason, choices.channels))
        return false;
    if (f.audio.clipped > 0)
        notes->push_back(
            Format("warning: %s: %zu samples clipped to 16 bits", path.c_str(), f.audio.clipped));
    f.title = f.stem = std::filesystem::path(path).stem().string();
    f.time = FileTime(path);
    if (impulse && choices.form == ResponseForm::kMls) {
        int order = choices.mlsOrder;
        if (order < 0) {
            for (int r = kMinMlsOrder; r <= kMaxMlsOrder; ++r)
                if (f.audio.frames == (std::size_t{1} << r)) order = r;
            if (order < 0) {
                *reason = path + ": " + std::to_string(f.audio.frames) +
                          " frames are not one period of an MLS of order 10 to 19 (2^order "
                          "frames); give the order";
                return false;
            }
        }
        if (f.audio.frames != (std::size_t{1} << order)) {
            *reason = path + ": " + std::to_string(f.audio.frames) +
                      " frames; one period of an MLS of order " + std::to_string(order) + " has " +
                      std::to_string(1L << order);
            return false;
        }
        f.mesTime = order;
    } else if (impulse) {
        PreparePlainResponse(&f, notes);
    } else if (f.audio.frames > 999999999) {
        *reason = path + ": too many frames for the store";
        return false;
    }
    out->push_back(std::move(f));
    return true;
}

bool NextNoiseNumber(std::int32_t folderId, std::int64_t* number) {
    CNmsTable noises;
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(noises, folderId, &list)) return false;
    *number = 0;
    for (const NmsRecord& r : list)
        *number = std::max<std::int64_t>(*number, std::int64_t{r.number} + 1);
    return true;
}

bool StoreImported(std::int32_t folderId, const ImportChoices& choices,
                   const std::vector<ImportedMeasurement>& measurements, std::int64_t* number,
                   std::vector<std::int32_t>* ids) {
    CImpulseTable impulses;
    CAcfTable acfs;
    CNmsTable noises;
    CStoreTable* table = choices.kind == 'I'   ? static_cast<CStoreTable*>(&impulses)
                         : choices.kind == 'A' ? static_cast<CStoreTable*>(&acfs)
                                               : static_cast<CStoreTable*>(&noises);
    if (!table->Open()) return false;
    std::int32_t id = 0;
    if (!table->NextId(&id)) return false;
    // Impulse responses and running sound go in as one transaction per file: the records with
    // their samples, or nothing. A noise recording's append is such a unit of its own.
    std::optional<CDbTransaction> transaction;
    if (choices.kind != 'N') {
        transaction.emplace(*table);
        if (transaction->Status() != db::kOk) {
            ReportStoreError(choices.kind == 'I' ? str::kCantCreateImpulse : str::kCantCreateAcf,
                             transaction->Status());
            return false;
        }
    }
    std::vector<long> written;
    bool ok = true;
    for (const ImportedMeasurement& f : measurements) {
        std::vector<unsigned char> wave = MakeWaveBlock(f.audio.channels, f.audio.samples);
        if (choices.kind == 'I') {
            ImpulseRecord r;
            r.folderId = folderId;
            r.impulseId = id;
            r.sampling = f.audio.sampleRate;
            r.mesTime = f.mesTime;
            r.noMls = choices.form == ResponseForm::kMls ? 0 : 1;
            r.mesNum = 1;
            r.channel = f.audio.channels;
            r.bit = 16;
            r.time = f.time;
            r.title = f.title;
            r.multiplier = static_cast<std::int32_t>(choices.multiplier);
            ok = impulses.Append(r, wave);
        } else if (choices.kind == 'A') {
            AcfRecord r;
            r.folderId = folderId;
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
            r.folderId = folderId;
            r.nmsId = id;
            r.sampling = f.audio.sampleRate;
            r.channel = f.audio.channels;
            r.sampleNum = static_cast<std::int32_t>(f.audio.frames);
            r.number = static_cast<std::int32_t>(*number);
            r.dataTime =
                std::min(99999.99, static_cast<double>(f.audio.frames) / f.audio.sampleRate);
            r.time = f.time;
            r.condSize = static_cast<std::int32_t>(blob::kNmsCondSize);
            // The recording side's condition block: the noise conditions in use, no Phi(0)
            // reference, the WIACC width, and the microphone's reference level without points.
            std::array<unsigned char, blob::kNmsCondSize> cond{};
            detail::PutU32(cond.data() + 4, static_cast<std::uint32_t>(r.sampleNum));
            RunningAcfConditions c = choices.noiseConditions;
            c.phi0RefData = 0;
            c.phi0RefLevel = 0.0;
            EncodeRunningAcfConditions(c, cond.data() + 8);
            detail::PutF64(cond.data() + 76, choices.noiseParameter);
            detail::PutF64(cond.data() + 84, choices.calLevel);
            ok = noises.Append(r, wave, cond);
        }
        if (!ok) break;
        written.push_back(id);
        ++id;
        if (choices.kind == 'N') ++*number;
    }
    if (ok && transaction) {
        const DbStatus st = transaction->Commit();
        if (st != db::kOk) {
            ReportStoreError(choices.kind == 'I' ? str::kCantCreateImpulse : str::kCantCreateAcf,
                             st);
            ok = false;
        }
    }
    if (!ok) {
        transaction.reset();  // rolls back what was written of the file
        if (choices.kind == 'N' && !written.empty()) DeleteMeasurements('N', written);
        if (choices.kind == 'N') *number -= static_cast<std::int64_t>(written.size());
        return false;
    }
    ids->insert(ids->end(), written.begin(), written.end());
    return true;
}

int ImportSummary::Imported() const {
    return static_cast<int>(std::count_if(files.begin(), files.end(), [](const ImportOutcome& f) {
        return f.status == ImportOutcome::Status::kImported;
    }));
}

bool ImportSummary::Cancelled() const {
    return std::any_of(files.begin(), files.end(), [](const ImportOutcome& f) {
        return f.status == ImportOutcome::Status::kCancelled;
    });
}

bool ImportSummary::StoreFailed() const {
    return std::any_of(files.begin(), files.end(), [](const ImportOutcome& f) {
        return f.status == ImportOutcome::Status::kStoreFailure;
    });
}

std::string ImportSummary::Refusals() const {
    std::string text;
    for (const ImportOutcome& f : files)
        if (f.status == ImportOutcome::Status::kRefused) text += f.reason + "\n";
    return text;
}

ImportSummary ImportFiles(std::int32_t folderId, const std::vector<std::string>& paths,
                          const ImportChoices& choices, Progress* progress) {
    ImportSummary summary;
    for (const std::string& p : paths)
        summary.files.push_back({p, ImportOutcome::Status::kSkipped, {}, {}});
    auto stopAt = [&](std::size_t from, ImportOutcome::Status status) {
        summary.files[from].status = status;
        return summary;
    };
    Excitation excitation;
    const bool sweep = choices.kind == 'I' && choices.form == ResponseForm::kSweep;
    if (sweep) {
        std::string error;
        if (!LoadExcitation(choices.excitation, &excitation, &error)) {
            // Without the excitation no recording can be read: each is refused for it.
            for (ImportOutcome& f : summary.files) {
                f.status = ImportOutcome::Status::kRefused;
                f.reason = f.path + ": " + error;
            }
            return summary;
        }
    }
    std::int64_t number = 0;
    if (choices.kind == 'N' && !paths.empty() && !NextNoiseNumber(folderId, &number))
        return stopAt(0, ImportOutcome::Status::kStoreFailure);
    if (progress) progress->SetCount(static_cast<int>(std::max<std::size_t>(paths.size(), 1)));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ImportOutcome& outcome = summary.files[i];
        if (progress) {
            progress->BeginItem(static_cast<int>(i));
            progress->SetMessage(std::filesystem::path(paths[i]).filename().string());
            if (progress->PollCancel()) return stopAt(i, ImportOutcome::Status::kCancelled);
        }
        std::vector<ImportedMeasurement> measurements;
        if (!PrepareImportFile(paths[i], choices, sweep ? &excitation : nullptr, &measurements,
                               &outcome.reason, &summary.notes)) {
            outcome.status = ImportOutcome::Status::kRefused;
            continue;
        }
        if (choices.kind == 'N' && number + static_cast<std::int64_t>(measurements.size()) >
                                       1000000) {  // NUMBER is 6 digits
            outcome.status = ImportOutcome::Status::kRefused;
            outcome.reason = paths[i] + ": the folder has no free numbers left";
            continue;
        }
        // The last chance to stop before this file reaches the store.
        if (progress) {
            progress->ItemProgress(90);
            if (progress->PollCancel()) return stopAt(i, ImportOutcome::Status::kCancelled);
        }
        if (!StoreImported(folderId, choices, measurements, &number, &outcome.ids))
            return stopAt(i, ImportOutcome::Status::kStoreFailure);
        outcome.status = ImportOutcome::Status::kImported;
    }
    if (progress) progress->ItemProgress(100);
    return summary;
}

bool IsImportablePath(const std::string& path) {
    if (sofa::IsSofaPath(path)) return true;
    std::string extension = std::filesystem::path(path).extension().string();
    if (extension.size() < 2) return false;
    extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "aif" || extension == "aifc") return true;  // libsndfile lists "aiff"
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int k = 0; k < count; ++k) {
        SF_FORMAT_INFO info{};
        info.format = k;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension &&
            extension == info.extension)
            return true;
    }
    return false;
}

}  // namespace vesk
