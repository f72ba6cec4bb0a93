#include "cli/audio.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace vesk::cli {

namespace {
// Frames we are willing to read from one file: 2^24 per channel covers far more than the
// longest measurement the analyses take.
constexpr sf_count_t kMaxFrames = sf_count_t{1} << 24;

struct Closer {
    SNDFILE* f;
    ~Closer() {
        if (f) sf_close(f);
    }
};

// Opens a file for reading and checks what every reader needs: a rate the store can keep and a
// length we are willing to read. nullptr with a message otherwise.
SNDFILE* OpenChecked(const std::string& path, SF_INFO* info, std::string* error) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, info);
    if (!file) {
        *error = path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info->channels <= 0 || info->samplerate <= 0 || info->samplerate > 999999) {
        *error =
            path + ": sampling rate " + std::to_string(info->samplerate) + " Hz cannot be stored";
    } else if (info->frames <= 0) {
        *error = path + ": no samples";
    } else if (info->frames > kMaxFrames) {
        *error = path + ": too long (" + std::to_string(info->frames) + " frames; at most " +
                 std::to_string(kMaxFrames) + ")";
    } else {
        return file;
    }
    sf_close(file);
    return nullptr;
}

}  // namespace

bool ReadAudioFileFloat(const std::string& path, FloatAudio* audio, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = OpenChecked(path, &info, error);
    if (!file) return false;
    Closer closer{file};
    if (info.channels > 2) {
        *error = path + ": " + std::to_string(info.channels) +
                 " channels; only mono and stereo files can be imported";
        return false;
    }
    const std::size_t channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * channels);
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    if (got <= 0) {
        *error = path + ": cannot read the samples";
        return false;
    }
    audio->sampleRate = info.samplerate;
    audio->channels.assign(channels, std::vector<float>(static_cast<std::size_t>(got)));
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i)
        for (std::size_t c = 0; c < channels; ++c) {
            const float v = interleaved[i * channels + c];
            audio->channels[c][i] = std::isfinite(v) ? v : 0.0f;
        }
    return true;
}

bool WriteFloatWavFile(const std::string& path, int channels, int sampleRate,
                       const std::vector<float>& samples, std::string* error) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        *error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    const sf_count_t frames =
        static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels));
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    const bool closed = sf_close(file) == 0;
    if (!written || !closed) {
        *error = path + ": cannot be written";
        std::remove(path.c_str());
        return false;
    }
    return true;
}

bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = OpenChecked(path, &info, error);
    if (!file) return false;
    Closer closer{file};
    if (info.channels != 1 && info.channels != 2) {
        *error = path + ": " + std::to_string(info.channels) +
                 " channels; only mono and stereo files can be imported";
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
