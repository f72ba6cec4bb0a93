#include "shell/measurement_store.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "shell/import.h"
#include "shell/settings.h"

namespace vesk {

namespace {

std::string Now() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    return text;
}

// Full scale 1 to the store's 16 bits; a response that would clip is scaled to -1 dBFS.
std::vector<std::int16_t> ToStoreSamples(const std::vector<std::vector<float>>& channels,
                                         std::string* note) {
    float peak = 0;
    for (const auto& channel : channels)
        for (float v : channel)
            peak = std::max(peak, std::fabs(v));
    double gain = 32767.0;
    if (peak > 1.0f) {
        gain = 32767.0 * audio::kClipLevel / peak;
        char text[80];
        std::snprintf(text, sizeof text, "the response would clip; scaled by %.2f dB",
                      20 * std::log10(gain / 32767.0));
        *note = text;
    }
    const std::size_t frames = channels[0].size(), count = channels.size();
    std::vector<std::int16_t> samples(frames * count);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < count; ++c)
            samples[i * count + c] = static_cast<std::int16_t>(
                std::clamp(std::lround(channels[c][i] * gain), -32768L, 32767L));
    return samples;
}

}  // namespace

StoredMeasurement StoreMeasurement(const FolderRecord& folder, const std::string& title,
                                   const audio::Measurement& m, bool mls, double calLevel,
                                   const AppSettings& settings) {
    StoredMeasurement result;
    if (m.channels.empty() || m.channels.size() > 2 || m.channels[0].empty() || m.rate <= 0) {
        result.note = "nothing measured to store";
        return result;
    }
    // Stored as an imported file of its kind, through the import's one write path.
    ImportChoices choices;
    choices.kind = folder.type.empty() ? 'I' : folder.type[0];
    choices.form = mls ? ResponseForm::kMls : ResponseForm::kPlain;
    choices.calLevel = calLevel;
    choices.noiseConditions = settings.noise;
    choices.noiseParameter = settings.noiseParameter;
    ImportedMeasurement f;
    f.title = title;
    f.time = Now();
    f.mesTime = m.order;
    f.audio.channels = static_cast<int>(m.channels.size());
    f.audio.sampleRate = m.rate;
    f.audio.frames = m.channels[0].size();
    f.audio.samples = ToStoreSamples(m.channels, &result.note);
    std::int64_t number = 0;
    if (choices.kind == 'N') {
        if (!NextNoiseNumber(folder.folderId, &number)) return result;
        if (number >= 1000000) {  // NUMBER is 6 digits
            result.note = "the folder has no free numbers left";
            return result;
        }
    }
    std::vector<std::int32_t> ids;
    result.ok = StoreImported(folder.folderId, choices, {f}, &number, &ids) && ids.size() == 1;
    if (result.ok) result.id = ids[0];
    return result;
}

}  // namespace vesk
