// A sweep through a real audio stack: JACK's dummy backend, started here under a name of its
// own, with Vesk's output port wired to its own input ports.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/measurement.h"
#include "audio/portaudio_device.h"
#include "audio/simulated_device.h"

namespace vesk::audio {
namespace {

class DummyJack {
  public:
    DummyJack() : m_name("vesk-test-" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);  // no D-Bus on a CI machine
        m_pid = fork();
        if (m_pid == 0) {
            const std::string log = "/tmp/" + m_name + ".log";
            if (!freopen(log.c_str(), "w", stdout) || !freopen(log.c_str(), "a", stderr))
                _exit(126);
            // -r before -d: no real-time scheduling; after it: the rate.
            execlp("jackd", "jackd", "-n", m_name.c_str(), "-r", "-d", "dummy", "-r", "48000", "-p",
                   "1024", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !m_client; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            jack_status_t status{};
            m_client = jack_client_open("vesk-patchbay", JackNoStartServer, &status);
        }
    }
    ~DummyJack() {
        if (m_client) jack_client_close(m_client);
        std::remove(("/tmp/" + m_name + ".log").c_str());
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            for (int i = 0; i < 50; ++i) {
                if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    jack_client_t* Client() const { return m_client; }

  private:
    std::string m_name;
    pid_t m_pid = -1;
    jack_client_t* m_client = nullptr;
};

// Wires the first output port of the measuring client to its first two input ports once the
// stream runs, as a loopback cable would.
class Patchbay : public RunMonitor {
  public:
    explicit Patchbay(jack_client_t* client) : m_client(client) {}
    bool Update(std::size_t, std::size_t, const std::vector<float>&) override {
        if (m_connected) return true;
        const char** outs = jack_get_ports(m_client, "PortAudio", nullptr, JackPortIsOutput);
        const char** ins = jack_get_ports(m_client, "PortAudio", nullptr, JackPortIsInput);
        if (outs && ins && ins[0] && ins[1]) {
            m_connected = jack_connect(m_client, outs[0], ins[0]) == 0 &&
                          jack_connect(m_client, outs[0], ins[1]) == 0;
        }
        jack_free(outs);
        jack_free(ins);
        return true;
    }
    bool m_connected = false;

  private:
    jack_client_t* m_client;
};

TEST(JackLoopback, SweepRecoversOneImpulseAtTheLoopbackLatency) {
    if (!HaveSoundCards()) GTEST_SKIP() << "built without PortAudio";
    if (std::system("command -v jackd >/dev/null 2>&1") != 0) GTEST_SKIP() << "no jackd";
    DummyJack jack;
    ASSERT_NE(jack.Client(), nullptr) << "jackd -d dummy did not start";

    std::string message;
    std::string name;
    for (const DeviceInfo& card : ListSoundCards(&message))
        if (card.name.rfind("JACK", 0) == 0 && card.inputs >= 2) name = card.name;
    ASSERT_FALSE(name.empty()) << "PortAudio lists no JACK device " << message;
    AudioStatus status{};
    auto device = OpenSoundCard(name, &status, &message);
    ASSERT_TRUE(device) << message;

    MeasureSettings s;
    s.rate = 48000;
    s.inputs = {1};
    s.loopback = 2;
    s.levelDb = -6;
    SweepParameters sweep;
    sweep.fromHz = 50;
    sweep.toHz = 16000;
    sweep.lengthS = 1;
    sweep.tailS = 0.5;
    Patchbay patchbay(jack.Client());
    Measurement m = MeasureSweep(*device, s, sweep, &patchbay);
    ASSERT_TRUE(patchbay.m_connected);
    ASSERT_EQ(m.status, AudioStatus::kDone) << m.message;
    EXPECT_TRUE(m.latencyMeasured);
    EXPECT_GE(m.latency, 0);
    EXPECT_LT(m.latency, 48000);
    // The wire's response after the latency is removed: one band-limited impulse at time 0,
    // as the simulated card gives for a plain wire.
    SimulatedDevice wire({{1.0f}}, 48000);
    Measurement ideal = MeasureSweep(wire, s, sweep, nullptr);
    ASSERT_EQ(ideal.status, AudioStatus::kDone) << ideal.message;
    const auto& h = m.channels[0];
    ASSERT_EQ(h.size(), ideal.channels[0].size());
    const auto peak = std::max_element(
        h.begin(), h.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_EQ(peak - h.begin(), 0);
    double worst = 0;
    for (std::size_t i = 0; i < h.size(); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(h[i]) - ideal.channels[0][i]));
    EXPECT_LT(worst, 0.01 * ideal.channels[0][0]);
}

}  // namespace
}  // namespace vesk::audio
