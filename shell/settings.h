// The settings block kept byte for byte in "Vesk.dat": frame placement and the calculation
// conditions of the three kinds of data.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "acf/acf_conditions.h"
#include "impulse/impulse_conditions.h"

namespace vesk {

constexpr std::size_t kAppSettingsSize = 264;
constexpr const char* kSettingsFileName = "Vesk.dat";

struct AppSettings {
    std::int32_t frameLeft = 0, frameTop = 0;
    std::int32_t frameWidth = 0, frameHeight = 0;  // 0 = no saved placement
    ImpulseConditions impulse;
    RunningAcfConditions acf;
    RunningAcfConditions noise = NoiseConditionDefaults();
    double noiseParameter = 0.1;      // handed to the noise calculation with its conditions
    std::int32_t identifyMethod = 0;  // 0 "Maximum SPL", 1 "Minimum Tau-e"
    std::int32_t stepsBeforeMax = 1;  // "Before Max.SPL"
    std::int32_t stepsAfterMax = 1;   // "After Max.SPL"
    std::array<unsigned char, 4> unused{};
    // The two unused words of the impulse block, kept so a file round-trips byte for byte.
    std::uint32_t impulseUnused[2] = {0, 0};
    // Frames from output to input of each audio device, measured on a loopback. Kept after the
    // 264-byte block as lines "latency FRAMES NAME", which older readers ignore.
    std::map<std::string, long> deviceLatency;

    std::array<unsigned char, kAppSettingsSize> Encode() const;
    static AppSettings Decode(const unsigned char* block);

    // Exactly 264 readable bytes are taken as they stand (a longer file for its first 264,
    // then its device latencies); a shorter, missing or unreadable file gives the defaults.
    static AppSettings Load(const std::string& path);
    // Writes through a temporary file renamed over the old one, so a crash or a full disk
    // never leaves a truncated file. false when it could not be written.
    bool Save(const std::string& path) const;
};

}  // namespace vesk
