// vesk-cli plot and report: one graph of a measurement as PNG, SVG or PDF, and the PDF report
// of a folder. Both draw through cairo and need no display.
#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "plot/cairo_painter.h"
#include "plot/report.h"
#include "plot/result_graphs.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk::cli {

namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names)
        text += (text.empty() ? "" : ", ") + n;
    return text;
}

}  // namespace

int CmdPlot(Context& ctx, const std::vector<std::string>& args) {
    const char* usage =
        "usage: plot FOLDERID ID PAGE FILE.(png|svg|pdf) [--band B] [--frame N] [--size WxH]";
    std::vector<std::string> positional;
    PageChoice choice;
    int width = 800, height = 400;
    bool sized = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--band" || a == "--frame" || a == "--size") && i + 1 >= args.size())
            return Usage(a + " needs a value");
        if (a == "--band") {
            choice.band = args[++i];
        } else if (a == "--frame") {
            long frame = 0;
            if (!ParseInt(args[++i], &frame) || frame < 0 || frame > 1000000)
                return Usage("--frame needs a frame number from 0");
            choice.frame = static_cast<int>(frame);
        } else if (a == "--size") {
            const std::string& s = args[++i];
            const std::size_t x = s.find('x');
            long w = 0, h = 0;
            if (x == std::string::npos || !ParseInt(s.substr(0, x), &w) ||
                !ParseInt(s.substr(x + 1), &h) || w < 16 || h < 16 || w > 20000 || h > 20000)
                return Usage("--size needs WIDTHxHEIGHT, each from 16 to 20000");
            width = static_cast<int>(w);
            height = static_cast<int>(h);
            sized = true;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    long id = 0;
    if (positional.size() != 4 || !ParseInt(positional[1], &id)) return Usage(usage);
    choice.page = positional[2];
    const std::string& path = positional[3];
    GraphFormat format;
    if (!GraphFormatOf(path, &format)) return Usage("FILE must end in .png, .svg or .pdf");
    FolderRecord folder;
    long folderId = 0;
    if (!ParseInt(positional[0], &folderId)) return Usage("FOLDERID must be a number");
    if (int st = LoadFolder(ctx, folderId, &folder); st != kDone) return st;

    LoadedMeasurement m;
    const bool samples = folder.type == "I" || choice.page == "acf" || choice.page == "iacf";
    switch (
        LoadMeasurement(folder.folderId, folder.type, static_cast<std::int32_t>(id), samples, &m)) {
        case LoadStatus::Done:
            break;
        case LoadStatus::NoMeasurement:
            std::fprintf(stderr, "vesk-cli: folder %d has no measurement %ld\n", folder.folderId,
                         id);
            return kBadInput;
        case LoadStatus::StoreFailed:
            return kStoreFailure;
    }
    std::vector<std::unique_ptr<Graph>> graphs;
    std::vector<std::string> valid;
    switch (PageGraphs(m, choice, &graphs, &valid)) {
        case PageStatus::Done:
            break;
        case PageStatus::UnknownPage:
            return Usage("unknown page " + choice.page + "; pages: " + Joined(valid));
        case PageStatus::UnknownBand:
            return Usage(valid.empty()
                             ? "measurement " + std::to_string(id) + " has no result with bands"
                             : "unknown band " + choice.band + "; bands: " + Joined(valid));
        case PageStatus::UnknownFrame:
            return Usage("unknown frame " + std::to_string(choice.frame) +
                         "; frames: " + Joined(valid));
    }
    if (!sized && graphs.size() > 1) height = 300 * static_cast<int>(graphs.size());
    std::vector<const Graph*> parts;
    for (const auto& g : graphs)
        parts.push_back(g.get());
    std::string error;
    if (!WriteGraphFile(parts, path, width, height, &error)) {
        std::fprintf(stderr, "vesk-cli: %s\n", error.c_str());
        return kBadInput;
    }
    std::printf("%s\n", path.c_str());
    return kDone;
}

int CmdReport(Context& ctx, const std::vector<std::string>& args) {
    const char* usage = "usage: report FOLDERID FILE.pdf [--measurements ID,...] [--letter]";
    std::vector<std::string> positional;
    std::vector<std::int32_t> ids;
    bool letter = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--letter") {
            letter = true;
        } else if (a == "--measurements") {
            if (i + 1 >= args.size()) return Usage("--measurements needs a list of IDs");
            std::stringstream list(args[++i]);
            std::string item;
            while (std::getline(list, item, ',')) {
                long id = 0;
                if (!ParseInt(item, &id) || id < 0 || id > 2147483647L)
                    return Usage("--measurements needs IDs separated by commas");
                ids.push_back(static_cast<std::int32_t>(id));
            }
            if (ids.empty()) return Usage("--measurements needs IDs separated by commas");
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage(usage);
    GraphFormat format;
    if (!GraphFormatOf(positional[1], &format) || format != GraphFormat::Pdf)
        return Usage("FILE must end in .pdf");
    long folderId = 0;
    if (!ParseInt(positional[0], &folderId)) return Usage("FOLDERID must be a number");
    FolderRecord folder;
    if (int st = LoadFolder(ctx, folderId, &folder); st != kDone) return st;
    Report report;
    if (letter) report.SetPageSize(kLetterWidth, kLetterHeight);
    std::string message;
    bool storeFailed = false;
    if (!report.Load(folder.folderId, ids, &message, &storeFailed)) {
        std::fprintf(stderr, "vesk-cli: %s\n", message.c_str());
        return storeFailed ? kStoreFailure : kBadInput;
    }
    report.Layout();
    if (!report.WritePdf(positional[1], &message)) {
        std::fprintf(stderr, "vesk-cli: %s\n", message.c_str());
        return kBadInput;
    }
    std::printf("%s\n", positional[1].c_str());
    return kDone;
}

}  // namespace vesk::cli
