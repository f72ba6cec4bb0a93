// vesk-cli calc: the Calculation command of a folder, with the conditions of the settings file
// and overrides for this run, progress on stderr and Ctrl-C to cancel.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "acf/acf_calculation.h"
#include "base/progress.h"
#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "impulse/impulse_calculation.h"
#include "noise/noise_calculation.h"
#include "resources/strings.h"
#include "shell/settings.h"
#include "store/tables.h"

namespace vesk::cli {

namespace {

bool OnOff(const std::string& v, std::int32_t* out) {
    if (v == "on" || v == "1")
        *out = 1;
    else if (v == "off" || v == "0")
        *out = 0;
    else
        return false;
    return true;
}

struct Option {
    const char* name;
    const char* label;  // the conditions dialog's words
    const char* value;
};

const Option kImpulseOptions[] = {
    {"--freq-band", "\"1 Oct.\" or \"1/3 Oct.\"", "1|3"},
    {"--band-from", "first band of the range (0 = \"None\")", "K"},
    {"--band-to", "last band of the range (J selects band J + 1)", "J"},
    {"--a-weighting", "\"A-weighting\"", "on|off"},
    {"--ref-data", "\"Ref. Data\": \"Absolute value\", \"Maximum value\" or a record",
     "abs|max|ID"},
    {"--ref-level", "\"Ref. Level\"", "DB"},
    {"--minimum-delay-time", "\"Minimum delay time\"", "MS"},
    {"--end-of-regression", "\"End of Regression\"", "DB"},
    {"--auto", "\"Auto\" end of regression", "on|off"},
    {"--rate-of-noise-range", "\"Rate of Noise Range\"", "PERCENT"},
    {"--width-for-wiacc", "\"Width for WIACC\"", "X"},
    {"--optimum-spl", "\"Optimum SPL\"", "DB"},
    {"--tau-e", "\"Tau-e\"", "MS"},
};

const Option kAcfOptions[] = {
    {"--integration-time", "\"Integration Time\"", "SEC"},
    {"--running-step", "\"Running Step\"", "SEC"},
    {"--weighting", "\"Weighting\": \"Flat\", \"A-weighting\", \"B-weighting\", \"C-weighting\"",
     "flat|a|b|c"},
    {"--max-delay-time", "\"Max Delay Time\"", "SEC"},
    {"--ref-data", "\"Ref. Data\": \"Absolute value\", \"Maximum value\" or a record",
     "abs|max|ID"},
    {"--ref-level", "\"Ref. Level\"", "DB"},
    {"--peak-detection-time", "tau-e \"Peak Detection Time\"", "MS"},
    {"--end-of-regression-level", "tau-e \"End of Regression(level)\"", "DB"},
    {"--end-of-regression-time", "tau-e \"End of Regression(time)\"", "MS"},
    {"--including-origin", "tau-e \"Including Origin\"", "on|off"},
    {"--peak-detection", "tau1 \"Peak Detection A\" or \"Peak Detection B (High Frequency)\"",
     "a|b"},
};

std::string ValueOf(const std::string& name, const Option* begin, const Option* end) {
    for (const Option* o = begin; o != end; ++o)
        if (name == o->name) return o->value;
    return "a value";
}

// Applies one running-ACF override; false with a message on a bad value.
bool ApplyAcfOption(const std::string& name, const std::string& v, RunningAcfConditions* c) {
    long n = 0;
    double d = 0;
    bool ok = true;
    if (name == "--weighting") {
        static const char* const kNames[] = {"flat", "a", "b", "c"};
        ok = false;
        for (std::uint32_t k = 0; k < 4; ++k)
            if (v == kNames[k]) {
                c->weighting = k;
                ok = true;
            }
    } else if (name == "--ref-data") {
        if (v == "abs")
            c->phi0RefData = -2;
        else if (v == "max")
            c->phi0RefData = -1;
        else if ((ok = ParseInt(v, &n) && n > 0 && n <= 99999999))
            c->phi0RefData = static_cast<std::int32_t>(n);
    } else if (name == "--including-origin") {
        std::int32_t on = 0;
        ok = OnOff(v, &on);
        c->includeOrigin = static_cast<std::int16_t>(on);
    } else if (name == "--peak-detection") {
        ok = v == "a" || v == "b";
        c->tau1PeakRule = v == "b" ? 1 : 0;
    } else {
        ok = ParseDouble(v, &d) && std::fabs(d) < 100000;
        if (name == "--integration-time")
            c->integrationTime = d;
        else if (name == "--running-step")
            c->runningStep = d;
        else if (name == "--max-delay-time")
            c->maxDelayTime = d;
        else if (name == "--ref-level")
            c->phi0RefLevel = d;
        else if (name == "--peak-detection-time")
            c->peakDetectTime = d;
        else if (name == "--end-of-regression-level")
            c->tauERegLevel = d;
        else if (name == "--end-of-regression-time")
            c->tauERegTime = d;
        else {
            Usage("calc: " + name + " is not a running-ACF condition (try calc --help)");
            return false;
        }
    }
    if (!ok)
        Usage("calc: " + name + " takes " +
              ValueOf(name, std::begin(kAcfOptions), std::end(kAcfOptions)));
    return ok;
}

const Option kNoiseOptions[] = {
    {"--integration-time", "\"Integration Time\"", "SEC"},
    {"--running-step", "\"Running Step\"", "SEC"},
    {"--weighting", "\"Weighting\"", "flat|a|b|c"},
    {"--max-delay-time", "\"Max Delay Time\"", "SEC"},
    {"--peak-detection-time", "tau-e \"Peak Detection Time\"", "MS"},
    {"--end-of-regression-level", "tau-e \"End of Regression(level)\"", "DB"},
    {"--end-of-regression-time", "tau-e \"End of Regression(time)\"", "MS"},
    {"--including-origin", "tau-e \"Including Origin\"", "on|off"},
    {"--identification", "\"Maximum SPL\" or \"Minimum Tau-e\"", "max-spl|min-tau-e"},
    {"--before-max-spl", "\"Before Max.SPL\" steps (\"Minimum Tau-e\")", "N"},
    {"--after-max-spl", "\"After Max.SPL\" steps (\"Minimum Tau-e\")", "N"},
};

// Applies one noise override; false with a message on a bad value.
bool ApplyNoiseOption(const std::string& name, const std::string& v, RunningAcfConditions* c,
                      IdentificationSettings* id) {
    long n = 0;
    if (name == "--identification") {
        if (v != "max-spl" && v != "min-tau-e")
            return Usage("calc: --identification takes max-spl|min-tau-e"), false;
        id->mode = v == "min-tau-e" ? 1 : 0;
        return true;
    }
    if (name == "--before-max-spl" || name == "--after-max-spl") {
        if (!ParseInt(v, &n) || n < 0 || n > 100000)
            return Usage("calc: " + name + " takes a number of steps"), false;
        (name == "--before-max-spl" ? id->stepsBefore : id->stepsAfter) =
            static_cast<std::int32_t>(n);
        return true;
    }
    for (const Option& o : kNoiseOptions)
        if (name == o.name) return ApplyAcfOption(name, v, c);
    Usage("calc: " + name + " is not a noise condition (try calc --help)");
    return false;
}

// Applies one override; false with a message on a bad value.
bool ApplyImpulseOption(const std::string& name, const std::string& v, ImpulseConditions* c) {
    long n = 0;
    double d = 0;
    bool ok = true;
    if (name == "--freq-band") {
        ok = ParseInt(v, &n) && (n == 1 || n == 3);
        c->freqBand = n == 3 ? 1 : 0;
    } else if (name == "--band-from") {
        ok = ParseInt(v, &n) && n >= 0 && n <= 32;
        c->bandFrom = static_cast<std::int32_t>(n);
    } else if (name == "--band-to") {
        ok = ParseInt(v, &n) && n >= 0 && n <= 31;
        c->bandTo = static_cast<std::int32_t>(n);
    } else if (name == "--a-weighting") {
        ok = OnOff(v, &c->aFilter);
    } else if (name == "--ref-data") {
        if (v == "abs")
            c->splRefData = -2;
        else if (v == "max")
            c->splRefData = -1;
        else if ((ok = ParseInt(v, &n) && n > 0 && n <= 99999999))
            c->splRefData = static_cast<std::int32_t>(n);
    } else if (name == "--auto") {
        ok = OnOff(v, &c->tsubAuto);
    } else {
        ok = ParseDouble(v, &d) && std::fabs(d) < 100000;
        if (name == "--ref-level")
            c->splRefLevel = d;
        else if (name == "--minimum-delay-time")
            c->dt1MinTime = d;
        else if (name == "--end-of-regression")
            c->tsubEnd = d;
        else if (name == "--rate-of-noise-range") {
            ok = ok && d >= 0 && d <= 100;
            c->tsubNoise = d / 100;
        } else if (name == "--width-for-wiacc") {
            ok = ok && d >= 0 && d <= 1;
            c->iaccWLevel = d;
        } else if (name == "--optimum-spl")
            c->prefSpl = d;
        else if (name == "--tau-e")
            c->prefTauE = d;
        else {
            Usage("calc: " + name + " is not an impulse-response condition (try calc --help)");
            return false;
        }
    }
    if (!ok)
        Usage("calc: " + name + " takes " +
              ValueOf(name, std::begin(kImpulseOptions), std::end(kImpulseOptions)));
    return ok;
}

bool ParseTarget(const std::string& v, Target* target, std::set<std::int32_t>* ids) {
    if (v == "new")
        *target = Target::NonCalculated;
    else if (v == "all")
        *target = Target::All;
    else {
        *target = Target::Selected;
        std::stringstream list(v);
        std::string item;
        long n = 0;
        while (std::getline(list, item, ','))
            if (!ParseInt(item, &n) || n <= 0)
                return false;
            else
                ids->insert(static_cast<std::int32_t>(n));
        return !ids->empty();
    }
    return true;
}

// The exit status of a run, saying what a store failure left undone.
int Outcome(long folderId, int taken, int computed, int skipped, bool failed, bool cancelled) {
    if (!failed) return cancelled ? kCancelled : kDone;
    const int notDone = taken - computed - skipped;
    if (taken == 0 || notDone <= 0)
        std::fprintf(stderr, "vesk-cli: folder %ld not calculated\n", folderId);
    else
        std::fprintf(stderr, "vesk-cli: %d of %d measurements not calculated\n", notDone, taken);
    return kStoreFailure;
}

}  // namespace

void PrintCalcHelp() {
    std::printf(
        "usage: vesk-cli calc FOLDERID [--target new|all|ID,ID,...] [conditions]\n\n"
        "  --target new       measurements without a result (\"non Calculation\", the default)\n"
        "  --target all       every measurement (\"All data\")\n"
        "  --target ID,...    the listed measurements (\"Selected Data\")\n\n"
        "Impulse-response folders (conditions default to the settings file):\n");
    for (const Option& o : kImpulseOptions)
        std::printf("  %-26s %-10s %s\n", o.name, o.value, o.label);
    std::printf("\nRunning-ACF folders (conditions default to the settings file):\n");
    for (const Option& o : kAcfOptions)
        std::printf("  %-26s %-10s %s\n", o.name, o.value, o.label);
    std::printf("\nNoise folders (conditions default to the settings file):\n");
    for (const Option& o : kNoiseOptions)
        std::printf("  %-26s %-10s %s\n", o.name, o.value, o.label);
    std::printf(
        "\nCtrl-C asks \"Cancel action?\" on a terminal and cancels elsewhere; measurements\n"
        "finished before stay stored.\n");
}

int CmdCalc(Context& ctx, const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        PrintCalcHelp();
        return kDone;
    }
    long folderId = 0;
    if (args.empty() || !ParseInt(args[0], &folderId))
        return Usage("usage: calc FOLDERID [options] (try calc --help)");
    AppSettings settings = AppSettings::Load(ctx.settingsPath);
    Target target = Target::NonCalculated;
    std::set<std::int32_t> ids;
    std::vector<std::pair<std::string, std::string>> overrides;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return Usage("calc: " + name + " needs a value");
        const std::string& value = args[++i];
        if (name == "--target") {
            if (!ParseTarget(value, &target, &ids))
                return Usage("calc: --target takes new, all or ID,ID,...");
        } else {
            overrides.emplace_back(name, value);
        }
    }
    CFolderTable folders;
    if (!folders.Open()) return ctx.Failure();
    FolderRecord folder;
    if (!folders.Read(folderId, &folder)) {
        if (ctx.messages->Shown()) return kStoreFailure;
        std::fprintf(stderr, "vesk-cli: no folder %ld\n", folderId);
        return kBadInput;
    }
    folders.Close();
    const auto id = static_cast<std::int32_t>(folderId);
    if (folder.type == "I") {
        ImpulseConditions conditions = settings.impulse;
        for (const auto& [name, value] : overrides)
            if (!ApplyImpulseOption(name, value, &conditions)) return kBadInput;
        RunSummary summary;
        {
            CliProgress sink;
            Progress progress(sink);
            progress.SetMessage(LoadString(str::kCalculating));
            summary = RunImpulseCalculation(id, conditions, target, ids, &progress);
        }
        if (!summary.refused.empty()) {
            std::fprintf(stderr, "vesk-cli: %s\n", summary.refused.c_str());
            return kBadInput;
        }
        for (const RunSummary::Measurement& late : summary.directSoundBeyondSearch)
            std::fprintf(stderr,
                         "vesk-cli: warning: record %d \"%s\": the direct sound lies past the "
                         "first half of the response, which alone is searched; its delta-t1, A "
                         "and Tsub are not valid\n",
                         late.id, late.title.c_str());
        std::fprintf(stderr, "%d computed, %d skipped%s\n", summary.computed, summary.skipped,
                     summary.cancelled ? ", cancelled" : "");
        return Outcome(folderId, summary.taken, summary.computed, summary.skipped,
                       summary.failed || summary.damaged > 0, summary.cancelled);
    }
    if (folder.type == "A") {
        RunningAcfConditions conditions = settings.acf;
        for (const auto& [name, value] : overrides)
            if (!ApplyAcfOption(name, value, &conditions)) return kBadInput;
        RunSummary summary;
        {
            CliProgress sink;
            Progress progress(sink);
            progress.SetMessage(LoadString(str::kCalculating));
            summary =
                RunAcfCalculation(id, conditions, static_cast<Target>(target), ids, &progress);
        }
        if (!summary.refused.empty()) {
            std::fprintf(stderr, "vesk-cli: %s\n", summary.refused.c_str());
            return kBadInput;
        }
        std::fprintf(stderr, "%d computed, %d skipped%s%s\n", summary.computed, summary.skipped,
                     summary.writeFailures ? ", some not stored" : "",
                     summary.cancelled ? ", cancelled" : "");
        return Outcome(folderId, summary.taken, summary.computed, summary.skipped,
                       summary.failed || summary.damaged > 0 || summary.writeFailures > 0,
                       summary.cancelled);
    }
    if (folder.type == "N") {
        RunningAcfConditions conditions = settings.noise;
        IdentificationSettings identification{settings.identifyMethod, settings.stepsBeforeMax,
                                              settings.stepsAfterMax};
        for (const auto& [name, value] : overrides)
            if (!ApplyNoiseOption(name, value, &conditions, &identification)) return kBadInput;
        RunSummary summary;
        {
            CliProgress sink;
            Progress progress(sink);
            progress.SetMessage(LoadString(str::kCalculating));
            summary = RunNoiseCalculation(id, conditions, identification, settings.noiseParameter,
                                          static_cast<Target>(target), ids, &progress);
        }
        if (!summary.refused.empty()) {
            std::fprintf(stderr, "vesk-cli: %s\n", summary.refused.c_str());
            return kBadInput;
        }
        std::fprintf(stderr, "%d computed (%d identified), %d skipped%s%s\n", summary.computed,
                     summary.identified, summary.skipped,
                     summary.writeFailures ? ", some not stored" : "",
                     summary.cancelled ? ", cancelled" : "");
        return Outcome(folderId, summary.taken, summary.computed, summary.skipped,
                       summary.failed || summary.damaged > 0 || summary.writeFailures > 0,
                       summary.cancelled);
    }
    std::fprintf(stderr, "vesk-cli: folder %ld holds kind %s, which has no calculation\n", folderId,
                 folder.type.c_str());
    return kBadInput;
}

}  // namespace vesk::cli
