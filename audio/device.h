// Sound cards as one small duplex interface: play a signal on one output channel while the
// chosen input channels are recorded on the same sample clock.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vesk::audio {

enum class AudioStatus {
    kDone = 0,
    kNoDevice,         // no such device, or it cannot be opened
    kBusy,             // another program holds the device
    kUnsupportedRate,  // the device does not run at the asked rate
    kBadChannels,      // a channel the device does not have
    kBadParameters,    // a measurement setting out of range
    kDropout,          // an over- or underrun while recording
    kClipping,         // an input reached -1 dBFS
    kTooQuiet,         // the response stands less than 30 dB above the noise
    kCancelled,
    kFailed,  // anything else the audio system reported
};

// A fixed English text for each status.
const char* AudioStatusText(AudioStatus status);

struct DeviceInfo {
    std::string name;  // the name a measurement opens it by
    int inputs = 0, outputs = 0;
    std::vector<int> rates;  // sample rates it accepts
};

// Told of the progress of a run, from the thread that started it, about every 50 ms.
class RunMonitor {
  public:
    virtual ~RunMonitor() = default;
    // peaks: the largest magnitude of each recorded channel since the last call, full scale 1.
    // false stops the run at once.
    virtual bool Update(std::size_t framesDone, std::size_t framesTotal,
                        const std::vector<float>& peaks) = 0;
};

struct DuplexRequest {
    int rate = 48000;
    int outputChannel = 1;           // from 1; the other outputs stay silent
    std::vector<int> inputChannels;  // from 1, recorded in this order
    std::vector<float> play;         // full scale 1
    std::size_t frames = 0;          // recorded; silence is played after `play` ends
};

struct DuplexResult {
    AudioStatus status = AudioStatus::kDone;
    std::string message;                     // empty when done
    std::vector<std::vector<float>> inputs;  // one per requested input channel
    std::size_t dropouts = 0;                // over- and underruns seen
};

class AudioDevice {
  public:
    virtual ~AudioDevice() = default;
    virtual DeviceInfo Info() const = 0;
    // Blocks until the frames are recorded, the monitor cancels, or the device fails.
    virtual DuplexResult Run(const DuplexRequest& request, RunMonitor* monitor) = 0;
};

// Checks a request against a device before anything is played: kDone, or the refusal.
AudioStatus CheckRequest(const DeviceInfo& info, const DuplexRequest& request,
                         std::string* message);

}  // namespace vesk::audio
