// The audio readers and writers live in the shell, shared with the desktop program.
#pragma once

#include "shell/audio.h"

namespace vesk::cli {
using vesk::AudioData;
using vesk::FloatAudio;
using vesk::ReadAudioFile;
using vesk::ReadAudioFileFloat;
using vesk::WriteFloatWavFile;
using vesk::WriteWavFile;
}  // namespace vesk::cli
