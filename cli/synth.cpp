#include "cli/synth.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vesk::cli {

namespace {
constexpr double kPi = 3.14159265358979323846;

std::int16_t ToSample(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}
}  // namespace

std::vector<std::int16_t> SynthRoomImpulse(int sampleRate, double seconds, double t60,
                                           unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const std::size_t n = static_cast<std::size_t>(seconds * sampleRate);
    std::vector<double> left(n, 0.0), right(n, 0.0);
    const double fs = sampleRate;
    // Direct sound at 5 ms, the right ear 0.3 ms later (a source a little to the left).
    std::size_t direct = static_cast<std::size_t>(0.005 * fs);
    left[direct] = 0.9;
    right[direct + static_cast<std::size_t>(0.0003 * fs)] = 0.8;
    // Early reflections between 15 and 80 ms, weaker with distance.
    for (int k = 0; k < 12; ++k) {
        double t = 0.015 + 0.065 * uniform(random);
        double a = 0.5 * (0.015 / t) * (uniform(random) < 0.5 ? -1 : 1);
        std::size_t i = static_cast<std::size_t>(t * fs);
        std::size_t shift = static_cast<std::size_t>(0.0007 * fs * uniform(random));
        if (i + shift < n) {
            left[i] += a;
            right[i + shift] += a * (0.7 + 0.3 * uniform(random));
        }
    }
    // Diffuse tail from 20 ms: -60 dB after t60, independent at the two ears.
    const double decay = std::log(1000.0) / t60;
    for (std::size_t i = static_cast<std::size_t>(0.02 * fs); i < n; ++i) {
        double env = 0.08 * std::exp(-decay * (static_cast<double>(i) / fs - 0.02));
        left[i] += env * gauss(random);
        right[i] += env * gauss(random);
    }
    std::vector<std::int16_t> out(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = ToSample(left[i]);
        out[2 * i + 1] = ToSample(right[i]);
    }
    return out;
}

std::vector<std::int16_t> SynthMusic(int sampleRate, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-3, 3);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const std::size_t n = static_cast<std::size_t>(seconds * sampleRate);
    const double fs = sampleRate;
    std::vector<std::int16_t> out(2 * n);
    const double noteLength = 0.4;
    int degree = 0;
    const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12};
    double frequency = 261.63;
    std::size_t nextNote = 0;
    double noteStart = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / fs;
        if (i >= nextNote) {
            degree = std::clamp(degree + step(random), 0, 7);
            frequency = 261.63 * std::pow(2.0, scale[degree] / 12.0);
            noteStart = t;
            nextNote = i + static_cast<std::size_t>(noteLength * fs);
        }
        double u = t - noteStart;
        double env = std::min(1.0, u / 0.01) * std::exp(-u / 0.25);
        double v = 0;
        for (int h = 1; h <= 6; ++h)
            v += std::sin(2 * kPi * frequency * h * t) / (h * h);
        v *= 0.35 * env;
        double room = 0.01 * gauss(random);
        out[2 * i] = ToSample(v + room);
        out[2 * i + 1] = ToSample(0.9 * v + room * 0.8 + 0.01 * gauss(random));
    }
    return out;
}

std::vector<std::int16_t> SynthPassingNoise(int sampleRate, double seconds, double cutoffHz,
                                            unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const std::size_t n = static_cast<std::size_t>(seconds * sampleRate);
    const double fs = sampleRate;
    // Two one-pole low-passes in series give a falling spectrum above the cutoff.
    const double a = std::exp(-2 * kPi * cutoffHz / fs);
    double l1 = 0, l2 = 0, r1 = 0, r2 = 0;
    std::vector<std::int16_t> out(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / fs;
        double x = (t - seconds / 2) / (seconds / 6);
        double level = 0.05 + 0.6 / (1 + x * x);  // loudest when the source passes
        double common = gauss(random);
        l1 = a * l1 + (1 - a) * (common + 0.3 * gauss(random));
        l2 = a * l2 + (1 - a) * l1;
        r1 = a * r1 + (1 - a) * (common + 0.3 * gauss(random));
        r2 = a * r2 + (1 - a) * r1;
        double gain = 4.0 * level;
        out[2 * i] = ToSample(gain * l2 * (1.0 + 0.2 * x / (1 + x * x)));
        out[2 * i + 1] = ToSample(gain * r2 * (1.0 - 0.2 * x / (1 + x * x)));
    }
    return out;
}

}  // namespace vesk::cli
