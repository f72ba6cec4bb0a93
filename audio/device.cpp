#include "audio/device.h"

#include <algorithm>

namespace vesk::audio {

const char* AudioStatusText(AudioStatus status) {
    switch (status) {
        case AudioStatus::kDone:
            return "done";
        case AudioStatus::kNoDevice:
            return "no such audio device";
        case AudioStatus::kBusy:
            return "the audio device is busy";
        case AudioStatus::kUnsupportedRate:
            return "the device does not support the sample rate";
        case AudioStatus::kBadChannels:
            return "the device does not have that channel";
        case AudioStatus::kBadParameters:
            return "measurement settings out of range";
        case AudioStatus::kDropout:
            return "dropouts (over- or underruns) during the measurement";
        case AudioStatus::kClipping:
            return "the input clips (peak at or above -1 dBFS)";
        case AudioStatus::kTooQuiet:
            return "the recording is too quiet (peak-to-noise ratio below 30 dB)";
        case AudioStatus::kCancelled:
            return "cancelled";
        case AudioStatus::kFailed:
            return "the audio system failed";
    }
    return "unknown audio status";
}

AudioStatus CheckRequest(const DeviceInfo& info, const DuplexRequest& request,
                         std::string* message) {
    auto refuse = [&](AudioStatus status, const std::string& text) {
        *message = info.name + ": " + text;
        return status;
    };
    if (std::find(info.rates.begin(), info.rates.end(), request.rate) == info.rates.end())
        return refuse(AudioStatus::kUnsupportedRate,
                      "does not support " + std::to_string(request.rate) + " Hz");
    if (request.outputChannel < 1 || request.outputChannel > info.outputs)
        return refuse(AudioStatus::kBadChannels,
                      "has no output channel " + std::to_string(request.outputChannel));
    if (request.inputChannels.empty())
        return refuse(AudioStatus::kBadChannels, "no input channel chosen");
    for (int c : request.inputChannels)
        if (c < 1 || c > info.inputs)
            return refuse(AudioStatus::kBadChannels, "has no input channel " + std::to_string(c));
    if (request.frames < request.play.size())
        return refuse(AudioStatus::kBadParameters, "records less than it plays");
    return AudioStatus::kDone;
}

}  // namespace vesk::audio
