#include "cli/audio.h"

#include <sndfile.h>

#include <cmath>
#include <limits>

namespace vesk::cli {

namespace {
// Frames we are willing to read from one file: 2^24 per channel covers far more than the
// longest measurement the analyses take.
constexpr sf_count_t kMaxFrames = sf_count_t{1} << 24;
}  // namespace

bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        *error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    struct Closer {
        SNDFILE* f;
        ~Closer() { sf_close(f); }
    } closer{file};
    if (info.channels != 1 && info.channels != 2) {
        *error = path + ": " + std::to_string(info.channels) +
                 " channels; only mono and stereo files can be imported";
        return false;
    }
    if (info.samplerate <= 0 || info.samplerate > 999999) {
        *error =
            path + ": sampling rate " + std::to_string(info.samplerate) + " Hz cannot be stored";
        return false;
    }
    if (info.frames <= 0) {
        *error = path + ": no samples";
        return false;
    }
    if (info.frames > kMaxFrames) {
        *error = path + ": too long (" + std::to_string(info.frames) + " frames; at most " +
                 std::to_string(kMaxFrames) + ")";
        return false;
    }
    audio->channels = info.channels;
    audio->sampleRate = info.samplerate;
    audio->clipped = 0;
    std::size_t total =
        static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels);
    audio->samples.assign(total, 0);
    sf_count_t got = 0;
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
        got = sf_readf_short(file, audio->samples.data(), info.frames);
    } else {
        // Full scale maps to +-32767.
        std::vector<double> values(total);
        sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        got = sf_readf_double(file, values.data(), info.frames);
        for (std::size_t i = 0;
             i < static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels); ++i) {
            double v = std::isfinite(values[i]) ? std::round(values[i] * 32767.0) : 0.0;
            if (v > 32767.0 || v < -32768.0) {
                ++audio->clipped;
                v = v > 0 ? 32767.0 : -32768.0;
            }
            audio->samples[i] = static_cast<std::int16_t>(v);
        }
    }
    if (got <= 0) {
        *error = path + ": cannot read the samples";
        return false;
    }
    audio->frames = static_cast<std::size_t>(got);
    audio->samples.resize(audio->frames * static_cast<std::size_t>(info.channels));
    return true;
}

bool WriteWavFile(const std::string& path, int channels, int sampleRate,
                  const std::vector<std::int16_t>& samples) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    sf_count_t frames =
        static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels));
    bool ok = sf_writef_short(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}

}  // namespace vesk::cli
