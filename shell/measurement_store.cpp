#include "shell/measurement_store.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "acf/acf_conditions.h"
#include "shell/settings.h"
#include "store/file_io.h"
#include "store/samples.h"
#include "store/tables.h"

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
    const int channels = static_cast<int>(m.channels.size());
    const auto frames = static_cast<std::int32_t>(m.channels[0].size());
    const std::vector<unsigned char> wave =
        MakeWaveBlock(channels, ToStoreSamples(m.channels, &result.note));
    const std::string time = Now();
    std::int32_t id = 0;
    bool ok = false;
    if (folder.type == "I") {
        CImpulseTable table;
        if (!table.Open() || !table.NextId(&id)) return result;
        ImpulseRecord r;
        r.folderId = folder.folderId;
        r.impulseId = id;
        r.sampling = m.rate;
        r.mesTime = m.order;
        r.noMls = mls ? 0 : 1;
        r.mesNum = 1;
        r.channel = channels;
        r.bit = 16;
        r.time = time;
        r.title = title;
        r.multiplier = 1;
        ok = table.Append(r, wave);
    } else if (folder.type == "A") {
        CAcfTable table;
        if (!table.Open() || !table.NextId(&id)) return result;
        AcfRecord r;
        r.folderId = folder.folderId;
        r.acfId = id;
        r.sampling = m.rate;
        r.channel = channels;
        r.sampleNum = frames;
        r.dataTime = std::min(99999.99, static_cast<double>(frames) / m.rate);
        r.time = time;
        r.title = title;
        ok = table.Append(r, wave);
    } else {
        CNmsTable table;
        if (!table.Open() || !table.NextId(&id)) return result;
        std::vector<NmsRecord> list;
        if (!ReadFolderRecords(table, folder.folderId, &list)) return result;
        std::int64_t number = 0;
        for (const NmsRecord& r : list)
            number = std::max<std::int64_t>(number, std::int64_t{r.number} + 1);
        if (number >= 1000000) {  // NUMBER is 6 digits
            result.note = "the folder has no free numbers left";
            return result;
        }
        NmsRecord r;
        r.folderId = folder.folderId;
        r.nmsId = id;
        r.sampling = m.rate;
        r.channel = channels;
        r.sampleNum = frames;
        r.number = static_cast<std::int32_t>(number);
        r.dataTime = std::min(99999.99, static_cast<double>(frames) / m.rate);
        r.time = time;
        r.condSize = static_cast<std::int32_t>(blob::kNmsCondSize);
        // As the import writes it: the noise conditions in use, no Phi(0) reference, the WIACC
        // width, and the microphone's reference level.
        std::array<unsigned char, blob::kNmsCondSize> cond{};
        detail::PutU32(cond.data() + 4, static_cast<std::uint32_t>(r.sampleNum));
        RunningAcfConditions c = settings.noise;
        c.phi0RefData = 0;
        c.phi0RefLevel = 0.0;
        EncodeRunningAcfConditions(c, cond.data() + 8);
        detail::PutF64(cond.data() + 76, settings.noiseParameter);
        detail::PutF64(cond.data() + 84, calLevel);
        ok = table.Append(r, wave, cond);
    }
    result.ok = ok;
    result.id = id;
    return result;
}

}  // namespace vesk
