// vesk-cli devices and measure: measurements through a sound card or the simulated one.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

#include "audio/measurement.h"
#include "audio/portaudio_device.h"
#include "audio/simulated_device.h"
#include "cli/audio.h"
#include "cli/commands.h"
#include "shell/measurement_store.h"
#include "shell/settings.h"
#include "store/tables.h"

namespace vesk::cli {

namespace {

using audio::AudioStatus;

std::atomic<bool> g_measureInterrupted{false};
void OnMeasureInterrupt(int) {
    g_measureInterrupted = true;
}

// A bar and input meters on a terminal; Ctrl-C cancels at once, since the loudspeaker is
// playing while a question would wait.
class CliMeter : public audio::RunMonitor {
  public:
    explicit CliMeter(const char* what) : m_what(what), m_terminal(isatty(STDERR_FILENO)) {
        g_measureInterrupted = false;
        struct sigaction action {};
        action.sa_handler = OnMeasureInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previous);
    }
    ~CliMeter() override {
        sigaction(SIGINT, &m_previous, nullptr);
        if (m_drawn) std::fputc('\n', stderr);
    }
    bool Update(std::size_t done, std::size_t total, const std::vector<float>& peaks) override {
        for (std::size_t c = 0; c < peaks.size() && c < m_peaks.size(); ++c)
            m_peaks[c] = std::max(m_peaks[c], peaks[c]);
        if (m_terminal) {
            std::string meters;
            for (float p : peaks) {
                char text[32];
                std::snprintf(text, sizeof text, "  in %6.1f dBFS",
                              p > 0 ? 20 * std::log10(p) : -99.9);
                meters += text;
            }
            const int percent = total ? static_cast<int>(100 * done / total) : 100;
            std::fprintf(stderr, "\r%s %3d%%%s", m_what, percent, meters.c_str());
            std::fflush(stderr);
            m_drawn = true;
        }
        return !g_measureInterrupted.load();
    }
    std::array<float, 3> m_peaks{};

  private:
    const char* m_what;
    bool m_terminal;
    bool m_drawn = false;
    struct sigaction m_previous {};
};

struct MeasureOptions {
    long folderId = 0;
    std::string title, device;
    long rate = 0;  // 0: the device's choice
    std::vector<int> inputs = {1, 2};
    long output = 1, loopback = 0;
    double levelDb = -6;
    bool check = true;
    long mlsOrder = 0, averages = 4;
    bool sweep = false;
    bool toGiven = false;
    SweepParameters sweepParameters;
    double recordS = 0;
    double calLevel = 0;
};

int ParseMeasure(const std::vector<std::string>& args, MeasureOptions* o) {
    if (args.empty() || !ParseInt(args[0], &o->folderId) || o->folderId <= 0)
        return Usage("usage: measure FOLDERID --title T [options] --mls ORDER|--sweep|--record S");
    bool inputsGiven = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        auto value = [&]() {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        long n = 0;
        double d = 0;
        if (a == "--title") {
            if (!value() || v.empty()) return Usage("--title takes a text");
            o->title = v;
        } else if (a == "--device") {
            if (!value()) return Usage("--device takes a device name (see vesk-cli devices)");
            o->device = v;
        } else if (a == "--rate") {
            if (!value() || !ParseInt(v, &n) || n < 8000 || n > 768000)
                return Usage("--rate takes a sample rate in Hz");
            o->rate = n;
        } else if (a == "--in") {
            o->inputs.clear();
            std::istringstream list(value() ? v : "");
            for (std::string item; std::getline(list, item, ',');)
                o->inputs.push_back(ParseInt(item, &n) && n >= 1 && n <= 1024 ? int(n) : 0);
            if (o->inputs.empty() || o->inputs.size() > 2 ||
                std::count(o->inputs.begin(), o->inputs.end(), 0) > 0 ||
                (o->inputs.size() == 2 && o->inputs[0] == o->inputs[1]))
                return Usage("--in takes the input channels L,R or one channel, from 1");
            inputsGiven = true;
        } else if (a == "--out") {
            if (!value() || !ParseInt(v, &o->output) || o->output < 1 || o->output > 1024)
                return Usage("--out takes an output channel, from 1");
        } else if (a == "--loopback") {
            if (!value() || !ParseInt(v, &o->loopback) || o->loopback < 1 || o->loopback > 1024)
                return Usage("--loopback takes the input channel wired to the output, from 1");
        } else if (a == "--level") {
            if (!value() || !ParseDouble(v, &d) || d > 0 || d < -120)
                return Usage("--level takes the output level in dBFS, -120 to 0");
            o->levelDb = d;
        } else if (a == "--no-check") {
            o->check = false;
        } else if (a == "--mls") {
            if (!value() || !ParseInt(v, &o->mlsOrder) || o->mlsOrder < 10 || o->mlsOrder > 19)
                return Usage("--mls takes an order from 10 to 19");
        } else if (a == "--averages") {
            if (!value() || !ParseInt(v, &o->averages) || o->averages < 1 || o->averages > 1000)
                return Usage("--averages takes a count from 1 to 1000");
        } else if (a == "--sweep") {
            o->sweep = true;
        } else if (a == "--from" || a == "--to" || a == "--length") {
            if (!value() || !ParseDouble(v, &d) || !(d > 0))
                return Usage(a + " takes a positive number");
            o->toGiven = o->toGiven || a == "--to";
            (a == "--from" ? o->sweepParameters.fromHz
             : a == "--to" ? o->sweepParameters.toHz
                           : o->sweepParameters.lengthS) = d;
        } else if (a == "--record") {
            if (!value() || !ParseDouble(v, &d) || !(d >= 0.1 && d <= 3600))
                return Usage("--record takes seconds from 0.1 to 3600");
            o->recordS = d;
        } else if (a == "--cal-level") {
            if (!value() || !ParseDouble(v, &d) || std::fabs(d) > 1000)
                return Usage("--cal-level takes a level in dB");
            o->calLevel = d;
        } else {
            return Usage("measure: unknown option " + a);
        }
    }
    if (o->title.empty()) return Usage("measure needs --title");
    const int methods = (o->mlsOrder > 0) + o->sweep + (o->recordS > 0);
    if (methods != 1) return Usage("measure needs one of --mls ORDER, --sweep, --record S");
    if (o->loopback > 0 && std::count(o->inputs.begin(), o->inputs.end(), o->loopback) > 0)
        return Usage("--loopback must be another input than the ears (--in)");
    if (!inputsGiven && o->device.rfind("sim:", 0) == 0) o->inputs.clear();  // the response's
    return kDone;
}

// "sim:RESPONSE.wav[,noise=DB][,latency=SAMPLES]"
std::unique_ptr<audio::AudioDevice> OpenSimulated(const std::string& spec, std::string* error) {
    std::vector<std::string> parts;
    std::istringstream list(spec.substr(4));
    for (std::string item; std::getline(list, item, ',');)
        parts.push_back(item);
    if (parts.empty() || parts[0].empty()) {
        *error = "--device sim: needs a response file: sim:RESPONSE.wav[,noise=DB][,latency=N]";
        return nullptr;
    }
    audio::SimulatedOptions options;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        double d = 0;
        long n = 0;
        if (p.rfind("noise=", 0) == 0 && ParseDouble(p.substr(6), &d) && d <= 0 && d >= -200)
            options.noiseDb = d;
        else if (p.rfind("latency=", 0) == 0 && ParseInt(p.substr(8), &n) && n >= 0 && n <= 1000000)
            options.latency = n;
        else {
            *error = "--device sim: " + p + ": takes noise=DB (dBFS, up to 0) or latency=SAMPLES";
            return nullptr;
        }
    }
    FloatAudio response;
    if (!ReadAudioFileFloat(parts[0], &response, error)) return nullptr;
    if (response.channels.empty() || response.channels[0].empty() ||
        response.channels[0].size() > (std::size_t{1} << 22)) {
        *error = parts[0] + ": a response of 1 to 2^22 frames is needed";
        return nullptr;
    }
    return std::make_unique<audio::SimulatedDevice>(std::move(response.channels),
                                                    response.sampleRate, options);
}

int Refuse(const audio::Measurement& m) {
    std::fprintf(stderr, "vesk-cli: measurement refused, nothing stored: %s\n", m.message.c_str());
    switch (m.status) {
        case AudioStatus::kCancelled:
            return kCancelled;
        default:
            return kBadInput;
    }
}

}  // namespace

int CmdDevices(const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("usage: devices");
    std::printf(
        "sim:RESPONSE.wav[,noise=DB][,latency=SAMPLES]\tsimulated: the response's "
        "channels and a loopback in, 2 out, at the response's rate\n");
    std::string message;
    const auto cards = audio::ListSoundCards(&message);
    if (cards.empty() && !message.empty())
        std::fprintf(stderr, "vesk-cli: no sound cards: %s\n", message.c_str());
    for (const auto& card : cards) {
        std::string rates;
        for (int r : card.rates)
            rates += (rates.empty() ? "" : ",") + std::to_string(r);
        std::printf("%s\t%d in, %d out\t%s Hz\n", card.name.c_str(), card.inputs, card.outputs,
                    rates.empty() ? "no" : rates.c_str());
    }
    return kDone;
}

int CmdMeasure(Context& ctx, const std::vector<std::string>& args) {
    MeasureOptions o;
    if (int rc = ParseMeasure(args, &o); rc != kDone) return rc;
    FolderRecord folder;
    if (int rc = LoadFolder(ctx, o.folderId, &folder); rc != kDone) return rc;
    if (folder.type == "I" && o.recordS > 0)
        return Usage("folder " + std::to_string(o.folderId) +
                     " holds impulse responses: measure by --mls or --sweep");
    if (folder.type != "I" && o.recordS == 0)
        return Usage("folder " + std::to_string(o.folderId) + " holds recordings: --record S");

    std::unique_ptr<audio::AudioDevice> device;
    std::string error;
    if (o.device.rfind("sim:", 0) == 0) {
        device = OpenSimulated(o.device, &error);
        if (!device) return Usage(error);
    } else {
        AudioStatus status = AudioStatus::kDone;
        device = audio::OpenSoundCard(o.device, &status, &error);
        if (!device) {
            std::fprintf(stderr, "vesk-cli: %s\n", error.c_str());
            return kBadInput;
        }
    }
    const audio::DeviceInfo info = device->Info();
    audio::MeasureSettings s;
    s.rate = o.rate ? static_cast<int>(o.rate) : info.rates.empty() ? 48000 : info.rates[0];
    if (!o.rate && std::count(info.rates.begin(), info.rates.end(), 48000)) s.rate = 48000;
    if (o.inputs.empty())  // a simulated response: its own channels
        for (int c = 1; c < info.inputs && c <= 2; ++c)
            o.inputs.push_back(c);
    s.inputs = o.inputs;
    s.outputChannel = static_cast<int>(o.output);
    s.loopback = static_cast<int>(o.loopback);
    s.levelDb = o.levelDb;
    AppSettings settings = AppSettings::Load(ctx.settingsPath);
    if (o.loopback == 0) {
        auto known = settings.deviceLatency.find(info.name);
        if (known != settings.deviceLatency.end()) {
            s.knownLatency = known->second;
            std::fprintf(stderr,
                         "vesk-cli: removing the latency measured before on %s: %ld frames\n",
                         info.name.c_str(), known->second);
        } else if (folder.type == "I") {
            std::fprintf(stderr,
                         "vesk-cli: no loopback and no latency known for %s: the response "
                         "starts 5 ms before its direct sound\n",
                         info.name.c_str());
        }
    }

    if (o.check) {
        audio::Measurement check;
        {
            CliMeter meter("test tone");
            check = audio::CheckLevels(*device, s, 1.0, &meter);
        }
        if (check.status != AudioStatus::kDone) return Refuse(check);
        std::fprintf(stderr, "vesk-cli: test tone at %.1f dBFS: input peak %.1f dBFS\n", o.levelDb,
                     check.peakDb);
    }
    if (!o.toGiven)  // the default band's top cannot pass below 44.1 kHz
        o.sweepParameters.toHz = std::min(
            o.sweepParameters.toHz, std::floor(0.99 * s.rate / 2 / std::exp2(kSweepFadeOctaves)));
    audio::Measurement m;
    {
        CliMeter meter("measuring");
        if (o.mlsOrder > 0)
            m = audio::MeasureMls(*device, s, static_cast<int>(o.mlsOrder),
                                  static_cast<int>(o.averages), &meter);
        else if (o.sweep)
            m = audio::MeasureSweep(*device, s, o.sweepParameters, &meter);
        else
            m = audio::MeasureRecording(*device, s, o.recordS, &meter);
    }
    if (m.status != AudioStatus::kDone) return Refuse(m);
    std::fprintf(stderr, "vesk-cli: input peak %.1f dBFS", m.peakDb);
    if (folder.type == "I") std::fprintf(stderr, ", peak-to-noise %.1f dB", m.peakToNoiseDb);
    if (m.latency >= 0)
        std::fprintf(stderr, ", latency %ld frames (%.2f ms) removed", m.latency,
                     1000.0 * static_cast<double>(m.latency) / m.rate);
    std::fputc('\n', stderr);
    if (m.latencyMeasured) {
        settings.deviceLatency[info.name] = m.latency;
        if (!settings.Save(ctx.settingsPath))
            std::fprintf(stderr, "vesk-cli: warning: could not remember the latency in %s\n",
                         ctx.settingsPath.c_str());
    }
    const StoredMeasurement stored =
        StoreMeasurement(folder, o.title, m, o.mlsOrder > 0, o.calLevel, settings);
    if (!stored.note.empty()) std::fprintf(stderr, "vesk-cli: %s\n", stored.note.c_str());
    if (!stored.ok) return ctx.Failure();
    std::printf("record %d\t%s\n", stored.id, o.title.c_str());
    return kDone;
}

}  // namespace vesk::cli

namespace vesk::cli {

void PrintMeasureHelp() {
    std::fputs(
        "usage: vesk-cli measure FOLDERID --title T [options] METHOD\n"
        "\n"
        "  --device NAME         a device of vesk-cli devices (default: the default one), or\n"
        "                        sim:RESPONSE.wav[,noise=DB][,latency=SAMPLES]: a simulated\n"
        "                        card hearing through that response (noise -80 dBFS, latency\n"
        "                        256 frames unless told); its last input is a loopback\n"
        "  --rate HZ             sample rate (default 48000, or the device's)\n"
        "  --in L[,R]            input channels of the ears (default 1,2)\n"
        "  --out C               output channel of the loudspeaker (default 1)\n"
        "  --loopback CH         input wired to the output: the latency is measured there,\n"
        "                        removed, and remembered for the device in the settings\n"
        "  --level DBFS          output level (default -6)\n"
        "  --no-check            no test tone and input meter before the measurement\n"
        "\n"
        "METHOD, for an impulse-response folder:\n"
        "  --mls ORDER [--averages N]   N+1 periods (default 4 averages), the first dropped\n"
        "  --sweep [--from HZ] [--to HZ] [--length S]\n"
        "                               an exponential sweep (20 Hz..20 kHz, 5 s), deconvolved\n"
        "for a running-sound or noise folder:\n"
        "  --record S [--cal-level DB]  a recording of S seconds\n"
        "\n"
        "Refused, with nothing stored (exit 2): no such or busy device, an unsupported rate,\n"
        "input clipping (-1 dBFS), dropouts, a response less than 30 dB above its noise.\n"
        "Ctrl-C stops the playback at once (exit 1).\n",
        stdout);
}

}  // namespace vesk::cli
