// A sound card without hardware: what is played reaches the inputs through a known one- or
// two-channel impulse response, with noise, a fixed latency and, when asked, clipping or a
// dropout. The last input is a loopback of the output.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/device.h"

namespace vesk::audio {

struct SimulatedOptions {
    double noiseDb = -80;  // RMS level of white noise at each input, dBFS
    long latency = 256;    // frames from output to input
    double gainDb = 0;     // applied to the room's inputs before the converter clips at +-1
    long dropoutAt = -1;   // a frame where 256 frames are lost and a dropout is reported
    std::uint32_t seed = 1;
};

class SimulatedDevice : public AudioDevice {
  public:
    // response: one or two channels of one length, full scale 1, at `rate`.
    SimulatedDevice(std::vector<std::vector<float>> response, int rate,
                    const SimulatedOptions& options = {});
    DeviceInfo Info() const override;
    DuplexResult Run(const DuplexRequest& request, RunMonitor* monitor) override;

  private:
    std::vector<std::vector<float>> m_response;
    int m_rate;
    SimulatedOptions m_options;
};

}  // namespace vesk::audio
