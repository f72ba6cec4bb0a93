// Measurements through an audio device: an impulse response by periodic MLS or by exponential
// sweep, a plain recording, and the test tone that sets the levels. Each checks the recording
// (dropouts, clipping, and for a response its peak-to-noise ratio) before it is returned, so a
// refused measurement never reaches the store.
#pragma once

#include <string>
#include <vector>

#include "audio/device.h"
#include "sweep/sweep.h"

namespace vesk::audio {

// An input at or above -1 dBFS has clipped somewhere in the chain.
inline constexpr double kClipLevel = 0.8912509381337456;  // 10^(-1/20)
// An impulse response needs its peak this far above the noise for a decay to be fitted.
inline constexpr double kMinimumPeakToNoiseDb = 30;
// Silence played before every excitation: the stream settles (and a patchbay can connect)
// before anything that matters is played.
inline constexpr double kLeadInS = 0.5;
// Recorded beyond the excitation when the latency is not known yet.
inline constexpr double kLatencyAllowanceS = 0.5;

struct MeasureSettings {
    int rate = 48000;
    int outputChannel = 1;
    std::vector<int> inputs = {1, 2};  // the ears: one or two input channels, from 1
    int loopback = 0;                  // the input wired to the output, from 1; 0 none
    double levelDb = -6;               // output peak, dBFS
    long knownLatency = -1;            // frames, used without a loopback; -1 unknown
};

struct Measurement {
    AudioStatus status = AudioStatus::kDone;
    std::string message;
    int rate = 0;
    // MLS: the averaged period as calc reads it (2^order frames); sweep: the impulse response;
    // recording: the recording. Full scale 1.
    std::vector<std::vector<float>> channels;
    int order = 0;                 // MLS: its order; sweep: the power of two it is padded to
    long latency = -1;             // frames removed; -1 when unknown
    bool latencyMeasured = false;  // on the loopback channel during this measurement
    double peakDb = -1000;         // the largest input sample, dBFS
    double peakToNoiseDb = 0;      // of the response
};

// Plays (averages + 1) periods of the MLS of the order (10..19), drops the first and averages
// the rest, starting latency frames late so the direct sound lands at its true time.
Measurement MeasureMls(AudioDevice& device, const MeasureSettings& settings, int order,
                       int averages, RunMonitor* monitor);

// Plays the sweep (its rate is the settings' rate, its peak the output level) and deconvolves
// the recording. Without a latency the response starts 5 ms before its onset.
Measurement MeasureSweep(AudioDevice& device, const MeasureSettings& settings,
                         SweepParameters sweep, RunMonitor* monitor);

// Records running sound or noise for the seconds, playing nothing.
Measurement MeasureRecording(AudioDevice& device, const MeasureSettings& settings, double seconds,
                             RunMonitor* monitor);

// Plays a 1 kHz tone at the output level for the seconds; channels hold nothing, peakDb the
// loudest input. Refuses clipping as a measurement would.
Measurement CheckLevels(AudioDevice& device, const MeasureSettings& settings, double seconds,
                        RunMonitor* monitor);

}  // namespace vesk::audio
