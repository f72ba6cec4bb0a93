// vesk-cli templates: the noise-source template editor's actions, and learning a template from
// computed noise recordings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

#include "acf/acf_calculation.h"
#include "cli/commands.h"
#include "noise/noise_analysis.h"
#include "noise/noise_calculation.h"
#include "noise/templates.h"
#include "shell/settings.h"
#include "shell/template_fields.h"

namespace vesk::cli {

namespace {

const char kTemplatesHelp[] =
    "usage: vesk-cli templates COMMAND ...\n\n"
    "  list                         one line per template: ID, name, measurements learnt\n"
    "  show ID                      the template as the editor shows it (tau values in ms)\n"
    "  add NAME [values]            a new template (\"&New\")\n"
    "  update ID [values] [--name NAME]\n"
    "                               change a template (\"&Update\"; clears its statistics)\n"
    "  delete ID                    delete a template\n"
    "  export FILE [ID...]          write the templates (all without IDs) to a .nst file\n"
    "  import FILE [--replace]      merge (or replace) every entry of a .nst file by name,\n"
    "                               then recompute the weights\n"
    "  weights [W0 W1 W2 W3]        show or set the weights of Phi(0), tau-e, tau1, phi1\n"
    "  learn NAME FOLDERID [NO,...] learn a template from computed recordings of a noise\n"
    "                               folder (all, or those numbered), merged into NAME\n\n"
    "Values (\"Standard Value\", \"Upper Limit\", \"Lower Limit\"): --phi0 DB, --tau-e MS,\n"
    "--tau1 MS, --phi1 X, and --phi0-upper, --phi0-lower, --tau-e-upper, ... with a value\n"
    "(the limit is then in use) or \"off\" (the limit is not used).\n";

const char* const kFactorKeys[4] = {"phi0", "tau-e", "tau1", "phi1"};

// Editor units and numbers, as the desktop editor shows them.
double Shown(int f, float v) {
    return EditorValue(static_cast<Factor>(f), v);
}
float Stored(int f, double v) {
    return StoredValue(static_cast<Factor>(f), v);
}
std::string G3(double v) {
    return FormatEditorNumber(v);
}

// Applies --FACTOR, --FACTOR-upper and --FACTOR-lower options; the rest go to `rest`.
bool ApplyValues(const std::vector<std::string>& args, std::size_t from, NoiseTemplateData* d,
                 std::string* newName) {
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) return Usage("templates: " + a + " needs a value"), false;
        const std::string& v = args[++i];
        if (a == "--name" && newName) {
            *newName = v;
            continue;
        }
        bool known = false;
        for (int f = 0; f < 4 && !known; ++f) {
            const std::size_t k = static_cast<std::size_t>(f);
            const std::string key = std::string("--") + kFactorKeys[f];
            double x = 0;
            if (a == key || a == key + "-upper" || a == key + "-lower") {
                known = true;
                const bool limit = a != key;
                std::int32_t* flag = a == key + "-upper" ? &d->useUpper[k] : &d->useLower[k];
                if (limit && v == "off") {
                    *flag = 0;
                    continue;
                }
                if (!ParseDouble(v, &x) || !std::isfinite(x) || std::fabs(x) > 1e30)
                    return Usage("templates: " + a + " takes a number" +
                                 (limit ? std::string(" or off") : std::string())),
                           false;
                if (!limit) {
                    d->standard[k] = Stored(f, x);
                } else {
                    (a == key + "-upper" ? d->upper[k] : d->lower[k]) = Stored(f, x);
                    *flag = 1;
                }
            }
        }
        if (!known)
            return Usage("templates: unknown option " + a + " (try templates --help)"), false;
    }
    return true;
}

int Status(TemplateAction a) {
    switch (a) {
        case TemplateAction::Done:
            return kDone;
        case TemplateAction::NoName:
        case TemplateAction::CantOpenFile:
            return kBadInput;
        case TemplateAction::Failed:
            break;
    }
    return kStoreFailure;
}

int ParseId(const std::string& text, std::int32_t* id) {
    long n = 0;
    if (!ParseInt(text, &n) || n < 0 || n > 99999999) return 0;
    *id = static_cast<std::int32_t>(n);
    return 1;
}

void PrintTemplate(const NoiseTemplate& t) {
    std::printf("ID\t%d\nNoise Source\t%s\n", t.id, t.name.c_str());
    for (int f = 0; f < 4; ++f) {
        const std::size_t k = static_cast<std::size_t>(f);
        const char* unit = f == kPhi0 ? " dB" : f == kPhi1 ? "" : " ms";
        std::printf("%s\tStandard Value %s%s\tUpper Limit %s%s\tLower Limit %s%s\n",
                    FactorCaption(static_cast<Factor>(f)), G3(Shown(f, t.data.standard[k])).c_str(),
                    unit, t.data.useUpper[k] ? G3(Shown(f, t.data.upper[k])).c_str() : "off",
                    t.data.useUpper[k] ? unit : "",
                    t.data.useLower[k] ? G3(Shown(f, t.data.lower[k])).c_str() : "off",
                    t.data.useLower[k] ? unit : "");
    }
    std::printf("Measurements\t%d\n", t.data.count);
    if (t.data.count > 0)
        std::printf("Sums of squares\t%s dB2\t%s s2\t%s s2\t%s\n",
                    G3(t.data.sumSquares[kPhi0]).c_str(), G3(t.data.sumSquares[kTauE]).c_str(),
                    G3(t.data.sumSquares[kTau1]).c_str(), G3(t.data.sumSquares[kPhi1]).c_str());
}

int Learn(Context& ctx, const std::vector<std::string>& args) {
    long folderId = 0;
    if (args.size() < 3 || args.size() > 4 || !ParseInt(args[2], &folderId))
        return Usage("usage: templates learn NAME FOLDERID [NO,...]");
    std::vector<long> numbers;
    if (args.size() == 4) {
        std::stringstream list(args[3]);
        std::string item;
        long n = 0;
        while (std::getline(list, item, ','))
            if (!ParseInt(item, &n) || n < 1)
                return Usage("templates learn: NO,... takes the numbers `list` shows");
            else
                numbers.push_back(n);
    }
    const AppSettings settings = AppSettings::Load(ctx.settingsPath);
    const IdentificationSettings identification{settings.identifyMethod, settings.stepsBeforeMax,
                                                settings.stepsAfterMax};
    CFolderTable folders;
    FolderRecord folder;
    if (!folders.Open()) return ctx.Failure();
    if (!folders.Read(folderId, &folder) || folder.type != "N") {
        if (ctx.messages->Shown()) return kStoreFailure;
        std::fprintf(stderr, "vesk-cli: no noise folder %ld\n", folderId);
        return kBadInput;
    }
    folders.Close();
    std::vector<std::array<float, 4>> measured;
    std::vector<std::string> notes;
    if (!EvaluationFactorsOfFolder(static_cast<std::int32_t>(folderId),
                                   std::set<long>(numbers.begin(), numbers.end()), identification,
                                   &measured, &notes))
        return ctx.Failure();
    for (const std::string& note : notes)
        std::fprintf(stderr, "%s\n", note.c_str());
    if (measured.empty()) {
        std::fprintf(stderr, "vesk-cli: no calculated recordings to learn from\n");
        return kBadInput;
    }
    std::int32_t id = 0;
    const int status = Status(MergeLearntTemplate(args[1], LearnTemplateData(measured), &id));
    if (status != kDone) return status;
    NoiseTemplate t;
    if (!ReadNoiseTemplate(id, &t)) return kStoreFailure;
    std::printf("template %d\t%s\t%zu learnt, %d in all\n", t.id, t.name.c_str(), measured.size(),
                t.data.count);
    return kDone;
}

}  // namespace

void PrintTemplatesHelp() {
    std::printf("%s", kTemplatesHelp);
}

int CmdTemplates(Context& ctx, const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::printf("%s", kTemplatesHelp);
        return args.empty() ? kBadInput : kDone;
    }
    const std::string& what = args[0];
    std::int32_t id = 0;
    if (what == "list" && args.size() == 1) {
        std::vector<NoiseTemplate> templates;
        if (!LoadTemplates(&templates)) return kStoreFailure;
        for (const NoiseTemplate& t : templates)
            std::printf("%d\t%s\t%d\n", t.id, t.name.c_str(), t.data.count);
        return kDone;
    }
    if (what == "show" && args.size() == 2) {
        if (!ParseId(args[1], &id)) return Usage("usage: templates show ID");
        NoiseTemplate t;
        if (!ReadNoiseTemplate(id, &t)) {
            if (ctx.messages->Shown()) return kStoreFailure;
            std::fprintf(stderr, "vesk-cli: no template %d\n", id);
            return kBadInput;
        }
        PrintTemplate(t);
        return kDone;
    }
    if (what == "add" && args.size() >= 2) {
        NoiseTemplateData d;
        if (!ApplyValues(args, 2, &d, nullptr)) return kBadInput;
        const int status = Status(SaveNewTemplate(args[1], d, &id));
        if (status == kDone) std::printf("template %d\n", id);
        return status;
    }
    if (what == "update" && args.size() >= 2) {
        if (!ParseId(args[1], &id)) return Usage("usage: templates update ID [values]");
        NoiseTemplate t;
        if (!ReadNoiseTemplate(id, &t)) {
            if (ctx.messages->Shown()) return kStoreFailure;
            std::fprintf(stderr, "vesk-cli: no template %d\n", id);
            return kBadInput;
        }
        std::string name = t.name;
        if (!ApplyValues(args, 2, &t.data, &name)) return kBadInput;
        return Status(UpdateTemplate(id, name, t.data));
    }
    if (what == "delete" && args.size() == 2) {
        if (!ParseId(args[1], &id)) return Usage("usage: templates delete ID");
        NoiseTemplate t;
        if (!ReadNoiseTemplate(id, &t)) {
            if (ctx.messages->Shown()) return kStoreFailure;
            std::fprintf(stderr, "vesk-cli: no template %d\n", id);
            return kBadInput;
        }
        return Status(DeleteTemplate(id));
    }
    if (what == "export" && args.size() >= 2) {
        std::vector<std::int32_t> ids;
        if (args.size() == 2) {
            std::vector<NoiseTemplate> templates;
            if (!LoadTemplates(&templates)) return kStoreFailure;
            for (const NoiseTemplate& t : templates)
                ids.push_back(t.id);
        }
        for (std::size_t i = 2; i < args.size(); ++i) {
            if (!ParseId(args[i], &id)) return Usage("usage: templates export FILE [ID...]");
            ids.push_back(id);
        }
        return Status(ExportTemplates(args[1], ids));
    }
    if (what == "import" && (args.size() == 2 || (args.size() == 3 && args[2] == "--replace"))) {
        std::vector<NstEntry> entries;
        std::string problem;
        if (!ReadNstFile(args[1], &entries, &problem)) {
            std::fprintf(stderr, "vesk-cli: %s: %s; nothing imported\n", args[1].c_str(),
                         problem.c_str());
            return kBadInput;
        }
        int imported = 0;
        const int status = Status(ImportTemplates(args[1], std::vector<bool>(entries.size(), true),
                                                  args.size() == 2, &imported));
        if (status == kDone) std::printf("%d imported\n", imported);
        return status;
    }
    if (what == "weights" && (args.size() == 1 || args.size() == 5)) {
        FactorWeights w = ReadFactorWeights();
        if (args.size() == 5) {
            for (std::size_t k = 0; k < 4; ++k) {
                double x = 0;
                if (!ParseDouble(args[k + 1], &x) || !std::isfinite(x) || std::fabs(x) > 1e30)
                    return Usage("usage: templates weights [W0 W1 W2 W3]");
                w.w[k] = static_cast<float>(x);
            }
            if (!WriteFactorWeights(w)) {
                std::fprintf(stderr, "vesk-cli: cannot write %s\n", kWeightsFileName);
                return kStoreFailure;
            }
        }
        std::printf("Phi(0)\t%s\nTau-e\t%s\nTau-1\t%s\nPhi1\t%s\n", G3(w.w[0]).c_str(),
                    G3(w.w[1]).c_str(), G3(w.w[2]).c_str(), G3(w.w[3]).c_str());
        return kDone;
    }
    if (what == "learn") return Learn(ctx, args);
    return Usage("templates: bad usage (try templates --help)");
}

}  // namespace vesk::cli
