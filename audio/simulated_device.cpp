#include "audio/simulated_device.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <random>

#include "dsp/fft.h"

namespace vesk::audio {

namespace {

// Linear convolution of x with each response channel by one FFT of x, cut to x's length.
bool Convolve(const std::vector<float>& x, const std::vector<std::vector<float>>& responses,
              std::vector<std::vector<float>>* out) {
    std::size_t n = 1;
    const std::size_t hLength = responses.empty() ? 0 : responses[0].size();
    while (n < x.size() + hLength)
        n *= 2;
    if (n > (std::size_t{1} << 26)) return false;
    const auto n32 = static_cast<std::int32_t>(n);
    FftTables tables;
    std::vector<float> xr(n, 0.0f), xi(n, 0.0f);
    std::copy(x.begin(), x.end(), xr.begin());
    if (FftForward(tables, n32, xr.data(), xi.data()) != 0) return false;
    out->clear();
    for (const auto& h : responses) {
        std::vector<float> hr(n, 0.0f), hi(n, 0.0f);
        std::copy(h.begin(), h.end(), hr.begin());
        if (FftForward(tables, n32, hr.data(), hi.data()) != 0) return false;
        for (std::size_t k = 0; k < n; ++k) {
            const double a = xr[k], b = xi[k], c = hr[k], d = hi[k];
            hr[k] = static_cast<float>((a * c - b * d) / static_cast<double>(n));
            hi[k] = static_cast<float>((a * d + b * c) / static_cast<double>(n));
        }
        if (FftInverse(tables, n32, hr.data(), hi.data()) != 0) return false;
        hr.resize(x.size());
        out->push_back(std::move(hr));
    }
    return true;
}

}  // namespace

SimulatedDevice::SimulatedDevice(std::vector<std::vector<float>> response, int rate,
                                 const SimulatedOptions& options)
    : m_response(std::move(response)), m_rate(rate), m_options(options) {}

DeviceInfo SimulatedDevice::Info() const {
    DeviceInfo info;
    info.name = "sim";
    info.inputs = static_cast<int>(m_response.size()) + 1;
    info.outputs = 2;
    // Only the response's own rate: a response heard at another rate would be another room.
    info.rates = {m_rate};
    return info;
}

DuplexResult SimulatedDevice::Run(const DuplexRequest& request, RunMonitor* monitor) {
    DuplexResult result;
    if ((result.status = CheckRequest(Info(), request, &result.message)) != AudioStatus::kDone)
        return result;
    const std::size_t frames = request.frames;
    std::vector<float> played(frames, 0.0f);
    const auto latency = static_cast<std::size_t>(std::max(0L, m_options.latency));
    for (std::size_t i = 0; i + latency < frames && i < request.play.size(); ++i)
        played[i + latency] = request.play[i];
    std::vector<std::vector<float>> room;
    try {
        if (!Convolve(played, m_response, &room)) {
            result.status = AudioStatus::kFailed;
            result.message = "sim: the recording is too long to simulate";
            return result;
        }
    } catch (const std::bad_alloc&) {
        result.status = AudioStatus::kFailed;
        result.message = "sim: out of memory";
        return result;
    }
    std::mt19937 random(m_options.seed);
    std::normal_distribution<double> normal(0.0, std::pow(10.0, m_options.noiseDb / 20));
    const double gain = std::pow(10.0, m_options.gainDb / 20);
    const int loopback = static_cast<int>(m_response.size()) + 1;
    for (int c : request.inputChannels) {
        std::vector<float> in(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            const double v =
                c == loopback ? played[i] : gain * room[static_cast<std::size_t>(c - 1)][i];
            in[i] = static_cast<float>(std::clamp(v + normal(random), -1.0, 1.0));
        }
        if (m_options.dropoutAt >= 0) {
            const auto at = static_cast<std::size_t>(m_options.dropoutAt);
            for (std::size_t i = at; i < std::min(frames, at + 256); ++i)
                in[i] = 0.0f;
        }
        result.inputs.push_back(std::move(in));
    }
    if (m_options.dropoutAt >= 0 && static_cast<std::size_t>(m_options.dropoutAt) < frames)
        result.dropouts = 1;
    // Reports progress as a card would, so meters and Cancel behave alike.
    const std::size_t step = std::max<std::size_t>(1, static_cast<std::size_t>(m_rate) / 20);
    for (std::size_t done = 0; monitor && done < frames;) {
        const std::size_t end = std::min(frames, done + step);
        std::vector<float> peaks;
        for (const auto& in : result.inputs) {
            float p = 0;
            for (std::size_t i = done; i < end; ++i)
                p = std::max(p, std::fabs(in[i]));
            peaks.push_back(p);
        }
        done = end;
        if (!monitor->Update(done, frames, peaks)) {
            result = DuplexResult();
            result.status = AudioStatus::kCancelled;
            result.message = AudioStatusText(AudioStatus::kCancelled);
            return result;
        }
    }
    return result;
}

}  // namespace vesk::audio
