#include "audio/portaudio_device.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace vesk::audio {

namespace {

// Pa_Initialize and Pa_Terminate count their calls; each user holds one of these.
class PortAudioSession {
  public:
    // ALSA prints every device it probes and fails to open (on a machine without a card,
    // dozens of lines); PortAudio reports what matters through its status.
    PortAudioSession() {
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        m_error = Pa_Initialize();
        if (saved >= 0 && null >= 0) dup2(saved, STDERR_FILENO);
        if (null >= 0) close(null);
        if (saved >= 0) close(saved);
    }
    ~PortAudioSession() {
        if (m_error == paNoError) Pa_Terminate();
    }
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;
    PaError Error() const { return m_error; }

  private:
    PaError m_error = paNoError;
};

const int kProbedRates[] = {16000, 22050, 32000, 44100, 48000, 88200, 96000};

bool UsableHostApi(PaHostApiIndex api) {
    const PaHostApiInfo* info = Pa_GetHostApiInfo(api);
    return info && (info->type == paALSA || info->type == paJACK);
}

std::string DeviceName(PaDeviceIndex index) {
    const PaDeviceInfo* d = Pa_GetDeviceInfo(index);
    const PaHostApiInfo* api = Pa_GetHostApiInfo(d->hostApi);
    return std::string(api->name) + ":" + d->name;
}

DeviceInfo Describe(PaDeviceIndex index) {
    const PaDeviceInfo* d = Pa_GetDeviceInfo(index);
    DeviceInfo info;
    info.name = DeviceName(index);
    info.inputs = d->maxInputChannels;
    info.outputs = d->maxOutputChannels;
    PaStreamParameters in{index, 1, paFloat32, d->defaultLowInputLatency, nullptr};
    PaStreamParameters out{index, 1, paFloat32, d->defaultLowOutputLatency, nullptr};
    for (int rate : kProbedRates)
        if (Pa_IsFormatSupported(&in, &out, rate) == paFormatIsSupported)
            info.rates.push_back(rate);
    return info;
}

AudioStatus StatusOf(PaError error) {
    switch (error) {
        case paDeviceUnavailable:
            return AudioStatus::kBusy;
        case paInvalidSampleRate:
            return AudioStatus::kUnsupportedRate;
        case paInvalidChannelCount:
            return AudioStatus::kBadChannels;
        case paInvalidDevice:
            return AudioStatus::kNoDevice;
        default:
            return AudioStatus::kFailed;
    }
}

// Shared between the audio thread's callback and the thread that runs the measurement. The
// callback writes the recording's frames before it publishes the position.
struct Transfer {
    const DuplexRequest* request = nullptr;
    int inChannels = 0, outChannels = 0;
    std::vector<std::vector<float>>* inputs = nullptr;
    std::atomic<std::size_t> position{0};
    std::atomic<std::size_t> dropouts{0};
};

int Callback(const void* input, void* output, unsigned long count, const PaStreamCallbackTimeInfo*,
             PaStreamCallbackFlags flags, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const DuplexRequest& r = *t->request;
    const auto* in = static_cast<const float*>(input);
    auto* out = static_cast<float*>(output);
    if (flags & (paInputUnderflow | paInputOverflow | paOutputUnderflow | paOutputOverflow))
        t->dropouts.fetch_add(1, std::memory_order_relaxed);
    const std::size_t at = t->position.load(std::memory_order_relaxed);
    std::fill(out, out + count * static_cast<unsigned long>(t->outChannels), 0.0f);
    const std::size_t n = std::min<std::size_t>(count, r.frames - at);
    for (std::size_t f = 0; f < n; ++f) {
        const std::size_t i = at + f;
        if (i < r.play.size())
            out[f * static_cast<std::size_t>(t->outChannels) +
                static_cast<std::size_t>(r.outputChannel - 1)] = r.play[i];
        for (std::size_t c = 0; c < r.inputChannels.size(); ++c)
            (*t->inputs)[c][i] = in ? in[f * static_cast<std::size_t>(t->inChannels) +
                                         static_cast<std::size_t>(r.inputChannels[c] - 1)]
                                    : 0.0f;
    }
    t->position.store(at + n, std::memory_order_release);
    return at + n >= r.frames ? paComplete : paContinue;
}

class PortAudioDevice : public AudioDevice {
  public:
    PortAudioDevice(std::unique_ptr<PortAudioSession> session, PaDeviceIndex index)
        : m_session(std::move(session)), m_index(index), m_info(Describe(index)) {}
    DeviceInfo Info() const override { return m_info; }
    DuplexResult Run(const DuplexRequest& request, RunMonitor* monitor) override;

  private:
    std::unique_ptr<PortAudioSession> m_session;
    PaDeviceIndex m_index;
    DeviceInfo m_info;
};

DuplexResult PortAudioDevice::Run(const DuplexRequest& request, RunMonitor* monitor) {
    DuplexResult result;
    if ((result.status = CheckRequest(m_info, request, &result.message)) != AudioStatus::kDone)
        return result;
    auto fail = [&](PaError error) {
        result.status = StatusOf(error);
        result.message = m_info.name + ": " + Pa_GetErrorText(error);
        result.inputs.clear();
        return result;
    };
    Transfer t;
    t.request = &request;
    t.inChannels = *std::max_element(request.inputChannels.begin(), request.inputChannels.end());
    t.outChannels = request.outputChannel;
    result.inputs.assign(request.inputChannels.size(), std::vector<float>(request.frames, 0.0f));
    t.inputs = &result.inputs;
    const PaDeviceInfo* d = Pa_GetDeviceInfo(m_index);
    PaStreamParameters in{m_index, t.inChannels, paFloat32, d->defaultHighInputLatency, nullptr};
    PaStreamParameters out{m_index, t.outChannels, paFloat32, d->defaultHighOutputLatency, nullptr};
    PaStream* stream = nullptr;
    if (PaError e = Pa_OpenStream(&stream, &in, &out, request.rate, paFramesPerBufferUnspecified,
                                  paClipOff, Callback, &t);
        e != paNoError)
        return fail(e);
    if (PaError e = Pa_StartStream(stream); e != paNoError) {
        Pa_CloseStream(stream);
        return fail(e);
    }
    std::size_t shown = 0, lastPosition = 0;
    auto lastMove = std::chrono::steady_clock::now();
    bool cancelled = false, stalled = false;
    while (Pa_IsStreamActive(stream) == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::size_t position = t.position.load(std::memory_order_acquire);
        const auto now = std::chrono::steady_clock::now();
        if (position != lastPosition) {
            lastPosition = position;
            lastMove = now;
        } else if (now - lastMove > std::chrono::seconds(5)) {
            stalled = true;
            break;
        }
        std::vector<float> peaks;
        for (const auto& channel : result.inputs) {
            float p = 0;
            for (std::size_t i = shown; i < position; ++i)
                p = std::max(p, std::fabs(channel[i]));
            peaks.push_back(p);
        }
        shown = position;
        if (monitor && !monitor->Update(position, request.frames, peaks)) {
            cancelled = true;
            break;
        }
    }
    // Abort rather than stop: Cancel silences the output at once instead of draining it.
    if (cancelled || stalled)
        Pa_AbortStream(stream);
    else
        Pa_StopStream(stream);
    Pa_CloseStream(stream);
    result.dropouts = t.dropouts.load();
    if (cancelled) {
        result = DuplexResult();
        result.status = AudioStatus::kCancelled;
        result.message = AudioStatusText(AudioStatus::kCancelled);
    } else if (stalled || t.position.load() < request.frames) {
        result.inputs.clear();
        result.status = AudioStatus::kFailed;
        result.message = m_info.name + ": the device stopped delivering frames";
    }
    return result;
}

}  // namespace

bool HaveSoundCards() {
    return true;
}

std::vector<DeviceInfo> ListSoundCards(std::string* message) {
    PortAudioSession session;
    if (session.Error() != paNoError) {
        *message = Pa_GetErrorText(session.Error());
        return {};
    }
    std::vector<DeviceInfo> list;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
        if (d && d->maxInputChannels > 0 && d->maxOutputChannels > 0 && UsableHostApi(d->hostApi))
            list.push_back(Describe(i));
    }
    return list;
}

std::unique_ptr<AudioDevice> OpenSoundCard(const std::string& name, AudioStatus* status,
                                           std::string* message) {
    auto session = std::make_unique<PortAudioSession>();
    if (session->Error() != paNoError) {
        *status = AudioStatus::kNoDevice;
        *message =
            std::string("the audio system cannot start: ") + Pa_GetErrorText(session->Error());
        return nullptr;
    }
    PaDeviceIndex found = paNoDevice;
    int matches = 0;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* d = Pa_GetDeviceInfo(i);
        if (!d || d->maxInputChannels == 0 || d->maxOutputChannels == 0 ||
            !UsableHostApi(d->hostApi))
            continue;
        const std::string full = DeviceName(i);
        if (name.empty() ? i == Pa_GetDefaultInputDevice() : full == name) {
            found = i;
            matches = 1;
            break;
        }
        // A part of the name picks a device when it picks only one.
        if (!name.empty() && full.find(name) != std::string::npos) {
            found = i;
            ++matches;
        }
    }
    if (matches != 1) {
        *status = AudioStatus::kNoDevice;
        *message = matches > 1
                       ? "\"" + name + "\" names more than one device (see vesk-cli devices)"
                   : name.empty() ? std::string("no default duplex audio device")
                                  : "no audio device \"" + name + "\" (see vesk-cli devices)";
        return nullptr;
    }
    *status = AudioStatus::kDone;
    return std::make_unique<PortAudioDevice>(std::move(session), found);
}

}  // namespace vesk::audio
