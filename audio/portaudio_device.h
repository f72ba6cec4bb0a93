// Sound cards through PortAudio: its ALSA host API (PipeWire's and PulseAudio's ALSA devices
// included) and JACK. Devices are named "HOSTAPI:DEVICE", as ListSoundCards gives them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/device.h"

namespace vesk::audio {

// Whether this build has sound-card support at all.
bool HaveSoundCards();

// The duplex-capable cards and their rates among 16, 22.05, 32, 44.1, 48, 88.2 and 96 kHz;
// an empty list with a message when the audio system cannot start.
std::vector<DeviceInfo> ListSoundCards(std::string* message);

// Opens the card of that name (or, when empty, the default one): nullptr with the status and
// a message when there is none.
std::unique_ptr<AudioDevice> OpenSoundCard(const std::string& name, AudioStatus* status,
                                           std::string* message);

}  // namespace vesk::audio
