// Built without PortAudio: no sound cards, only the simulated one.
#include "audio/portaudio_device.h"

namespace vesk::audio {

bool HaveSoundCards() {
    return false;
}

std::vector<DeviceInfo> ListSoundCards(std::string* message) {
    *message = "built without PortAudio";
    return {};
}

std::unique_ptr<AudioDevice> OpenSoundCard(const std::string&, AudioStatus* status,
                                           std::string* message) {
    *status = AudioStatus::kNoDevice;
    *message = "built without PortAudio: only the simulated device (sim:RESPONSE.wav)";
    return nullptr;
}

}  // namespace vesk::audio
