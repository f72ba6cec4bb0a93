// vesk-cli sweep: writes the excitation of a sweep measurement, to be played through the room
// and imported back with import --sweep.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/audio.h"
#include "cli/commands.h"
#include "sweep/sweep.h"

namespace vesk::cli {

int CmdSweep(const std::vector<std::string>& args) {
    SweepParameters p;
    std::string file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        double* target = a == "--rate"     ? &p.rate
                         : a == "--from"   ? &p.fromHz
                         : a == "--to"     ? &p.toHz
                         : a == "--length" ? &p.lengthS
                         : a == "--tail"   ? &p.tailS
                                           : nullptr;
        if (target) {
            if (i + 1 >= args.size() || !ParseDouble(args[++i], target))
                return Usage(a + " takes a number");
        } else if (a == "--help" || a == "-h") {
            std::printf(
                "usage: vesk-cli sweep [--rate HZ] [--from HZ] [--to HZ] [--length S] [--tail S] "
                "FILE\n"
                "  writes an exponential sine sweep with short fades and a silent tail as a "
                "32-bit\n"
                "  float WAV file (defaults: %.0f Hz, %.0f to %.0f Hz, %.0f s, %.0f s tail, peak "
                "-6 dBFS)\n",
                p.rate, p.fromHz, p.toHz, p.lengthS, p.tailS);
            return kDone;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("sweep: unknown option " + a);
        } else if (file.empty()) {
            file = a;
        } else {
            return Usage("sweep writes one file");
        }
    }
    if (file.empty()) return Usage("sweep needs a file to write");
    if (p.rate != static_cast<int>(p.rate)) return Usage("--rate takes a whole number of Hz");
    const SweepSignal sweep = MakeSweep(p);
    if (sweep.status != SweepStatus::kDone) return Usage(sweep.message);
    std::string error;
    if (!WriteFloatWavFile(file, 1, static_cast<int>(p.rate), sweep.samples, &error)) {
        std::fprintf(stderr, "vesk-cli: %s\n", error.c_str());
        return kBadInput;
    }
    std::printf("%s\t%.3f s at %.0f Hz, %g to %g Hz\n", file.c_str(),
                static_cast<double>(sweep.samples.size()) / p.rate, p.rate, p.fromHz, p.toHz);
    return kDone;
}

}  // namespace vesk::cli
