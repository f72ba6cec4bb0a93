#include "audio/measurement.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "dsp/mls.h"

namespace vesk::audio {

namespace {

constexpr double kPi = 3.14159265358979323846;

Measurement Refused(AudioStatus status, const std::string& message) {
    Measurement m;
    m.status = status;
    m.message = message.empty() ? AudioStatusText(status) : message;
    return m;
}

bool ChannelsValid(const MeasureSettings& s) {
    if (s.inputs.empty() || s.inputs.size() > 2) return false;
    if (s.inputs.size() == 2 && s.inputs[0] == s.inputs[1]) return false;
    for (int c : s.inputs)
        if (c < 1 || c == s.loopback) return false;
    return s.loopback >= 0 && s.outputChannel >= 1 && s.rate >= 8000 && s.rate <= 768000 &&
           std::isfinite(s.levelDb) && s.levelDb <= 0 && s.levelDb >= -120;
}

std::size_t Frames(double seconds, int rate) {
    return static_cast<std::size_t>(std::lround(seconds * rate));
}

// Runs the request with the ears first and the loopback last, and refuses a run that dropped
// out or clipped at an ear.
Measurement RunChecked(AudioDevice& device, const MeasureSettings& s, DuplexRequest request,
                       RunMonitor* monitor, std::vector<std::vector<float>>* loopback) {
    request.rate = s.rate;
    request.outputChannel = s.outputChannel;
    request.inputChannels = s.inputs;
    if (s.loopback > 0) request.inputChannels.push_back(s.loopback);
    DuplexResult r = device.Run(request, monitor);
    if (r.status != AudioStatus::kDone) return Refused(r.status, r.message);
    if (r.inputs.size() != request.inputChannels.size())
        return Refused(AudioStatus::kFailed, "the device returned other channels than asked");
    if (r.dropouts > 0)
        return Refused(AudioStatus::kDropout, std::string(AudioStatusText(AudioStatus::kDropout)) +
                                                  ": " + std::to_string(r.dropouts) + " seen");
    Measurement m;
    m.rate = s.rate;
    float peak = 0;
    for (std::size_t c = 0; c < s.inputs.size(); ++c)
        for (float v : r.inputs[c])
            peak = std::max(peak, std::fabs(v));
    m.peakDb = peak > 0 ? 20 * std::log10(peak) : -1000;
    if (peak >= kClipLevel) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: peak %.1f dBFS",
                      AudioStatusText(AudioStatus::kClipping), m.peakDb);
        return Refused(AudioStatus::kClipping, text);
    }
    if (s.loopback > 0) {
        loopback->assign(1, std::move(r.inputs.back()));
        r.inputs.pop_back();
    }
    m.channels = std::move(r.inputs);
    return m;
}

// The peak against the RMS of the last tenth (taken about its mean), in dB: the tail of a
// response that has decayed into its noise.
double PeakToNoiseDb(const std::vector<float>& h, std::size_t begin = 0) {
    if (h.size() < begin + 20) return 0;
    double peak = 0;
    for (std::size_t i = begin; i < h.size(); ++i)
        peak = std::max(peak, std::fabs(static_cast<double>(h[i])));
    const std::size_t from = h.size() - (h.size() - begin) / 10;
    double mean = 0;
    for (std::size_t i = from; i < h.size(); ++i)
        mean += h[i];
    mean /= static_cast<double>(h.size() - from);
    double energy = 0;
    for (std::size_t i = from; i < h.size(); ++i)
        energy += (h[i] - mean) * (h[i] - mean);
    const double rms = std::sqrt(energy / static_cast<double>(h.size() - from));
    if (peak == 0) return 0;
    if (rms == 0) return 1000;
    return 20 * std::log10(peak / rms);
}

Measurement RefuseQuiet(Measurement m) {
    char text[160];
    std::snprintf(text, sizeof text, "%s: %.1f dB", AudioStatusText(AudioStatus::kTooQuiet),
                  m.peakToNoiseDb);
    return Refused(AudioStatus::kTooQuiet, text);
}

}  // namespace

Measurement MeasureMls(AudioDevice& device, const MeasureSettings& s, int order, int averages,
                       RunMonitor* monitor) {
    if (!ChannelsValid(s) || order < 10 || order > 19 || averages < 1 || averages > 1000)
        return Refused(AudioStatus::kBadParameters, "");
    if (!MlsPrepare(order)) return Refused(AudioStatus::kFailed, "out of memory");
    const std::size_t n = std::size_t{1} << order, period = n - 1;
    const std::size_t leadIn = Frames(kLeadInS, s.rate);
    const double level = std::pow(10.0, s.levelDb / 20);
    DuplexRequest request;
    request.play.assign(leadIn + (static_cast<std::size_t>(averages) + 1) * period, 0.0f);
    const auto& sequence = SharedMls().sequence;
    for (std::size_t i = leadIn; i < request.play.size(); ++i)
        request.play[i] = static_cast<float>(sequence[(i - leadIn) % period] ? -level : level);
    // The first period absorbs the latency, so it may reach up to one period.
    const std::size_t slack = s.knownLatency >= 0 && s.loopback == 0
                                  ? static_cast<std::size_t>(s.knownLatency)
                                  : std::max(Frames(kLatencyAllowanceS, s.rate), period);
    request.frames = request.play.size() + slack;
    std::vector<std::vector<float>> loopback;
    Measurement m = RunChecked(device, s, request, monitor, &loopback);
    if (m.status != AudioStatus::kDone) return m;

    // Period k of a channel starting `shift` frames after the excitation, averaged over 1..N.
    const auto average = [&](const std::vector<float>& x, std::size_t shift) {
        std::vector<float> stored(n, 0.0f);
        for (std::size_t j = 0; j < period; ++j) {
            double sum = 0;
            for (std::size_t k = 1; k <= static_cast<std::size_t>(averages); ++k) {
                const std::size_t at = leadIn + shift + k * period + j;
                sum += at < x.size() ? x[at] : 0.0f;
            }
            // The recovery reads the response at j from position j + 1.
            stored[j + 1] = static_cast<float>(sum / averages);
        }
        return stored;
    };
    std::size_t shift = 0;
    if (s.loopback > 0) {
        std::vector<float> h = average(loopback[0], 0);
        MlsRecover(h.data());
        std::size_t at = 0;
        for (std::size_t i = 1; i < period; ++i)
            if (std::fabs(h[i]) > std::fabs(h[at])) at = i;
        shift = at;
        m.latency = static_cast<long>(at);
        m.latencyMeasured = true;
    } else if (s.knownLatency >= 0) {
        shift = static_cast<std::size_t>(s.knownLatency);
        m.latency = s.knownLatency;
    }
    double worst = 1000;
    for (auto& channel : m.channels) {
        channel = average(channel, shift);
        std::vector<float> h = channel;
        MlsRecover(h.data());
        h.pop_back();  // always 0
        worst = std::min(worst, PeakToNoiseDb(h));
    }
    m.peakToNoiseDb = worst;
    m.order = order;
    if (worst < kMinimumPeakToNoiseDb) return RefuseQuiet(m);
    return m;
}

Measurement MeasureSweep(AudioDevice& device, const MeasureSettings& s, SweepParameters sweep,
                         RunMonitor* monitor) {
    if (!ChannelsValid(s)) return Refused(AudioStatus::kBadParameters, "");
    sweep.rate = s.rate;
    sweep.peak = std::pow(10.0, s.levelDb / 20);
    SweepSignal excitation = MakeSweep(sweep);
    if (excitation.status != SweepStatus::kDone)
        return Refused(AudioStatus::kBadParameters, excitation.message);
    const std::size_t leadIn = Frames(kLeadInS, s.rate);
    DuplexRequest request;
    request.play.assign(leadIn, 0.0f);
    request.play.insert(request.play.end(), excitation.samples.begin(), excitation.samples.end());
    const std::size_t slack = s.knownLatency >= 0 && s.loopback == 0
                                  ? static_cast<std::size_t>(s.knownLatency)
                                  : Frames(kLatencyAllowanceS, s.rate);
    request.frames = request.play.size() + slack;
    std::vector<std::vector<float>> loopback;
    Measurement m = RunChecked(device, s, request, monitor, &loopback);
    if (m.status != AudioStatus::kDone) return m;

    DeconvolveOptions options;
    options.preDelayS = 0.005;  // as an imported response is cut
    const long preDelay = std::lround(options.preDelayS * s.rate);
    for (const auto& channel : m.channels)
        if (std::all_of(channel.begin(), channel.end(), [](float v) { return v == 0.0f; }))
            return RefuseQuiet(m);
    DeconvolvedResponse room = Deconvolve(m.channels, s.rate, excitation.samples, s.rate, options);
    if (room.status != SweepStatus::kDone) return Refused(AudioStatus::kFailed, room.message);
    if (s.loopback > 0) {
        DeconvolvedResponse wire =
            Deconvolve(loopback, s.rate, excitation.samples, s.rate, options);
        if (wire.status != SweepStatus::kDone)
            return Refused(AudioStatus::kFailed, "loopback: " + wire.message);
        const auto& h = wire.channels[0];
        std::size_t at = 0;
        for (std::size_t i = 1; i < h.size(); ++i)
            if (std::fabs(h[i]) > std::fabs(h[at])) at = i;
        m.latency = wire.onsetLag - preDelay + static_cast<long>(at) - static_cast<long>(leadIn);
        m.latencyMeasured = true;
    } else if (s.knownLatency >= 0) {
        m.latency = s.knownLatency;
    }
    m.channels = std::move(room.channels);
    if (m.latency >= 0) {
        // Sample 0 becomes the moment the excitation left the output.
        const long start = room.onsetLag - preDelay - static_cast<long>(leadIn) - m.latency;
        for (auto& channel : m.channels) {
            if (start >= 0)
                channel.insert(channel.begin(), static_cast<std::size_t>(start), 0.0f);
            else
                channel.erase(
                    channel.begin(),
                    channel.begin() + std::min<long>(-start, static_cast<long>(channel.size())));
        }
    }
    // The silent tail is what the user sized for the room's decay; the lead-in and the latency
    // allowance would add nothing but noise, which lengthens the decay fit.
    const std::size_t keep = std::max<std::size_t>(Frames(sweep.tailS, s.rate), 64);
    for (auto& channel : m.channels)
        if (channel.size() > keep) channel.resize(keep);
    double worst = 1000;
    for (const auto& channel : m.channels)
        worst = std::min(worst, PeakToNoiseDb(channel));
    m.peakToNoiseDb = worst;
    if (worst < kMinimumPeakToNoiseDb) return RefuseQuiet(m);
    // Stored as a power of two, as an imported response; 2^21 frames at most.
    int order = 0;
    while ((std::size_t{1} << order) < m.channels[0].size() && order < 21)
        ++order;
    for (auto& channel : m.channels)
        channel.resize(std::size_t{1} << order, 0.0f);
    m.order = order;
    return m;
}

Measurement MeasureRecording(AudioDevice& device, const MeasureSettings& s, double seconds,
                             RunMonitor* monitor) {
    if (!ChannelsValid(s) || !(seconds >= 0.1 && seconds <= 3600))
        return Refused(AudioStatus::kBadParameters, "");
    DuplexRequest request;
    request.frames = Frames(seconds, s.rate);
    std::vector<std::vector<float>> loopback;
    return RunChecked(device, s, request, monitor, &loopback);
}

Measurement CheckLevels(AudioDevice& device, const MeasureSettings& s, double seconds,
                        RunMonitor* monitor) {
    if (!ChannelsValid(s) || !(seconds > 0 && seconds <= 60))
        return Refused(AudioStatus::kBadParameters, "");
    DuplexRequest request;
    request.frames = Frames(seconds, s.rate);
    request.play.resize(request.frames);
    const double level = std::pow(10.0, s.levelDb / 20);
    // 10 ms fades keep the tone from clicking.
    const std::size_t fade = std::max<std::size_t>(1, Frames(0.01, s.rate));
    for (std::size_t i = 0; i < request.frames; ++i) {
        const double edge =
            std::min({1.0, static_cast<double>(i) / static_cast<double>(fade),
                      static_cast<double>(request.frames - i) / static_cast<double>(fade)});
        request.play[i] = static_cast<float>(
            level * edge * std::sin(2 * kPi * 1000.0 * static_cast<double>(i) / s.rate));
    }
    std::vector<std::vector<float>> loopback;
    Measurement m = RunChecked(device, s, request, monitor, &loopback);
    m.channels.clear();
    return m;
}

}  // namespace vesk::audio
