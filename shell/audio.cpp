#include "shell/audio.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vesk {

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

// The channels to take, 0-based: the chosen ones, or all of a mono or stereo file. false with a
// message for a choice the file cannot meet, or a file of more channels and no choice.
bool PickChannels(const std::string& path, int fileChannels, const std::vector<int>& chosen,
                  std::vector<int>* picked, std::string* error) {
    picked->clear();
    if (chosen.empty()) {
        if (fileChannels > 2) {
            *error = path + ": " + std::to_string(fileChannels) +
                     " channels; choose one or two of them with --channels L,R or --channels C";
            return false;
        }
        for (int c = 0; c < fileChannels; ++c)
            picked->push_back(c);
        return true;
    }
    for (int c : chosen) {
        if (c < 1 || c > fileChannels) {
            *error = path + ": has no channel " + std::to_string(c) + " (it has " +
                     std::to_string(fileChannels) + ")";
            return false;
        }
        picked->push_back(c - 1);
    }
    return true;
}

// OpenChecked and PickChannels in one: the file with the channels to take, or nullptr with a
// message.
SNDFILE* OpenPicked(const std::string& path, const std::vector<int>& chosen, SF_INFO* info,
                    std::vector<int>* picked, std::string* error) {
    SNDFILE* file = OpenChecked(path, info, error);
    if (file && !PickChannels(path, info->channels, chosen, picked, error)) {
        sf_close(file);
        return nullptr;
    }
    return file;
}

// Reads the picked channels block by block, so a file of many channels never sits whole in
// memory; `take(frame, slot, value)` receives each sample. The frames read, or 0 after a failure.
template <class Sample, class Read, class Take>
std::size_t ReadPicked(SNDFILE* file, const SF_INFO& info, const std::vector<int>& picked,
                       Read read, Take take) {
    constexpr sf_count_t kBlock = 65536;
    const std::size_t width = static_cast<std::size_t>(info.channels);
    std::vector<Sample> block(static_cast<std::size_t>(kBlock) * width);
    std::size_t frames = 0;
    while (frames < static_cast<std::size_t>(info.frames)) {
        const sf_count_t want =
            std::min<sf_count_t>(kBlock, info.frames - static_cast<sf_count_t>(frames));
        const sf_count_t got = read(file, block.data(), want);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i)
            for (std::size_t k = 0; k < picked.size(); ++k)
                take(frames + static_cast<std::size_t>(i), k,
                     block[static_cast<std::size_t>(i) * width +
                           static_cast<std::size_t>(picked[k])]);
        frames += static_cast<std::size_t>(got);
        if (got < want) break;
    }
    return frames;
}

}  // namespace

bool ReadAudioFileFloat(const std::string& path, FloatAudio* audio, std::string* error,
                        const std::vector<int>& channels) {
    SF_INFO info{};
    std::vector<int> picked;
    SNDFILE* file = OpenPicked(path, channels, &info, &picked, error);
    if (!file) return false;
    Closer closer{file};
    audio->sampleRate = info.samplerate;
    audio->channels.assign(picked.size(),
                           std::vector<float>(static_cast<std::size_t>(info.frames)));
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    const std::size_t got = ReadPicked<float>(
        file, info, picked, sf_readf_float, [&](std::size_t i, std::size_t k, float v) {
            audio->channels[k][i] = std::isfinite(v) ? v : 0.0f;
        });
    if (got == 0) {
        *error = path + ": cannot read the samples";
        return false;
    }
    for (auto& c : audio->channels)
        c.resize(got);
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

bool ReadAudioFile(const std::string& path, AudioData* audio, std::string* error,
                   const std::vector<int>& channels) {
    SF_INFO info{};
    std::vector<int> picked;
    SNDFILE* file = OpenPicked(path, channels, &info, &picked, error);
    if (!file) return false;
    Closer closer{file};
    const std::size_t width = picked.size();
    audio->channels = static_cast<int>(width);
    audio->sampleRate = info.samplerate;
    audio->clipped = 0;
    audio->samples.assign(static_cast<std::size_t>(info.frames) * width, 0);
    std::size_t got = 0;
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16) {
        got = ReadPicked<short>(
            file, info, picked, sf_readf_short,
            [&](std::size_t i, std::size_t k, short v) { audio->samples[i * width + k] = v; });
    } else {
        // Full scale maps to +-32767.
        sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
        got = ReadPicked<double>(
            file, info, picked, sf_readf_double, [&](std::size_t i, std::size_t k, double value) {
                double v = std::isfinite(value) ? std::round(value * 32767.0) : 0.0;
                if (v > 32767.0 || v < -32768.0) {
                    ++audio->clipped;
                    v = v > 0 ? 32767.0 : -32768.0;
                }
                audio->samples[i * width + k] = static_cast<std::int16_t>(v);
            });
    }
    if (got == 0) {
        *error = path + ": cannot read the samples";
        return false;
    }
    audio->frames = got;
    audio->samples.resize(audio->frames * width);
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

}  // namespace vesk
