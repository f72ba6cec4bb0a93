// vesk-cli: the store and the analyses from the command line, for batch work and scripts.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "base/thread_pool.h"
#include "cli/commands.h"
#include "store/messages.h"
#include "store/tables.h"

namespace {

const char kHelp[] =
    "usage: vesk-cli [--store DIR] [--settings FILE] [--yes|--no] [--threads N] COMMAND ...\n"
    "\n"
    "  folders                    list the folders of the store\n"
    "  list FOLDERID              list the measurements of a folder\n"
    "  import --kind ir|acf|noise [--folder ID | --title TEXT [--name T] [--place T]\n"
    "         [--date YYYYMMDD] [--comment T] [--scale X]] [--mls ORDER]\n"
    "         [--sweep EXCITATION] [--channels L,R|C] [--multiplier N] [--cal-level DB]\n"
    "         FILE...\n"
    "                             add audio files as measurements; --sweep deconvolves\n"
    "                             sweep recordings into impulse responses\n"
    "  import --kind ir [...] FILE.sofa [--measurement M,A-B,...] [--ears L,R|C]\n"
    "                             add the responses of SOFA files (AES69), all or the\n"
    "                             chosen ones, with receivers L,R (default 1,2) as ears\n"
    "  sweep [--rate HZ] [--from HZ] [--to HZ] [--length S] [--tail S] FILE\n"
    "                             write the excitation of a sweep measurement\n"
    "  devices                    list the audio devices, their channels and rates\n"
    "  measure FOLDERID --title T [--device NAME] [--rate HZ] [--in L[,R]] [--out C]\n"
    "         [--loopback CH] [--level DBFS] [--no-check]\n"
    "         --mls ORDER [--averages N] | --sweep [--from HZ] [--to HZ] [--length S]\n"
    "         | --record S [--cal-level DB]\n"
    "                             measure through a sound card (measure --help)\n"
    "  delete-folder FOLDERID     delete a folder with all its data\n"
    "  calc FOLDERID [--target new|all|ID,...] [conditions]\n"
    "                             calculate a folder (calc --help lists the conditions)\n"
    "  demo [DIR]                 make a demo store of each kind in DIR (default demo),\n"
    "                             calculate it and write its output files\n"
    "  export FOLDERID FILE       write the folder's results as text (.txt), CSV (.csv) or\n"
    "                             JSON (.json, every result with the ISO 3382-1 set)\n"
    "  export FOLDERID FILE.csv --table\n"
    "                             the same values as JSON, one row per measurement and\n"
    "                             band (or frame)\n"
    "  show FOLDERID ID           one measurement's results on the terminal\n"
    "  plot FOLDERID ID PAGE FILE.(png|svg|pdf) [--band B] [--frame N] [--size WxH]\n"
    "                             one graph page of a measurement (a wrong PAGE, band or\n"
    "                             frame lists the valid ones)\n"
    "  report FOLDERID FILE.pdf [--measurements ID,...] [--letter]\n"
    "                             the PDF report of a folder: summary with statistics,\n"
    "                             then each measurement's table and graphs (A4 default)\n"
    "  templates list|show|add|update|delete|export|import|weights|learn ...\n"
    "                             the noise-source templates (templates --help)\n"
    "  check [--repair]           verify every table of the store and the agreement of\n"
    "                             records; --repair removes orphans after a question\n"
    "\n"
    "The store defaults to ./DATA and the settings to ./Vesk.dat.\n"
    "Calculations use N threads (1 to 1024): --threads, else the environment variable\n"
    "VESK_THREADS, else every core of the machine. Results are the same at any count.\n"
    "Exit status: 0 done, 1 cancelled, 2 bad usage or input, 3 store failure.\n";

int Dispatch(vesk::cli::Context& ctx, const std::string& command,
             const std::vector<std::string>& args) {
    using namespace vesk::cli;
    if (command == "folders") return CmdFolders(ctx, args);
    if (command == "list") return CmdList(ctx, args);
    if (command == "import") return CmdImport(ctx, args);
    if (command == "delete-folder") return CmdDeleteFolder(ctx, args);
    if (command == "check") return CmdCheck(ctx, args);
    if (command == "calc") return CmdCalc(ctx, args);
    if (command == "templates") return CmdTemplates(ctx, args);
    if (command == "export") return CmdExport(ctx, args);
    if (command == "show") return CmdShow(ctx, args);
    if (command == "plot") return CmdPlot(ctx, args);
    if (command == "report") return CmdReport(ctx, args);
    if (command == "measure") return CmdMeasure(ctx, args);
    return Usage("unknown command " + command + " (try --help)");
}

int Run(int argc, char** argv) {
    using namespace vesk;
    using namespace vesk::cli;
    std::string cwd = std::filesystem::current_path().string();
    std::string store = cwd + "/DATA";
    std::string settings = cwd + "/Vesk.dat";
    CliMessages::Answer answer = CliMessages::Answer::Ask;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        std::string a = argv[i];
        if (a == "--store" && i + 1 < argc)
            store = argv[++i];
        else if (a == "--settings" && i + 1 < argc)
            settings = argv[++i];
        else if (a == "--threads" && i + 1 < argc) {
            long n = 0;
            if (!ParseInt(argv[++i], &n) || n < 1 || n > 1024)
                return Usage("--threads takes a whole number from 1 to 1024");
            SetThreadCount(static_cast<int>(n));
        } else if (a == "--yes")
            answer = CliMessages::Answer::Yes;
        else if (a == "--no")
            answer = CliMessages::Answer::No;
        else if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kDone;
        } else
            return Usage("unknown option " + a + " (try --help)");
    }
    if (i >= argc) {
        std::fputs(kHelp, stderr);
        return kBadInput;
    }
    std::string command = argv[i++];
    std::vector<std::string> args(argv + i, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        if (command == "calc")
            PrintCalcHelp();
        else if (command == "templates")
            PrintTemplatesHelp();
        else if (command == "sweep")
            return CmdSweep(args);
        else if (command == "measure")
            PrintMeasureHelp();
        else
            std::fputs(kHelp, stdout);
        return kDone;
    }

    CliMessages messages(answer);
    SetMessages(&messages);
    // A store error shown on the way is a store failure, whatever the command made of it.
    const unsigned errors = StoreErrorCount();
    auto checked = [&](int rc) {
        if (rc != kDone || StoreErrorCount() == errors) return rc;
        std::fprintf(stderr, "vesk-cli: %s not completed after a store error\n", command.c_str());
        return static_cast<int>(kStoreFailure);
    };
    if (command == "demo") return checked(CmdDemo(args));
    if (command == "sweep") return CmdSweep(args);  // needs no store
    if (command == "devices") return CmdDevices(args);
    Context ctx{store, settings, &messages};
    std::error_code ec;
    if (std::filesystem::exists(store, ec) && !std::filesystem::is_directory(store, ec)) {
        std::fprintf(stderr, "vesk-cli: %s is not a folder\n", store.c_str());
        return kStoreFailure;
    }
    if (!ConnectStoreAt(store)) {
        std::fprintf(stderr, "vesk-cli: cannot use %s as the store\n", store.c_str());
        return kStoreFailure;
    }
    TheDbConnection().SetWritable(CommandWrites(command, args));
    return checked(Dispatch(ctx, command, args));
}

}  // namespace

int main(int argc, char** argv) {
    try {
        int rc = Run(argc, argv);
        std::fflush(stdout);
        return rc;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vesk-cli: unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vesk-cli: unexpected failure\n");
    }
    return vesk::cli::kStoreFailure;
}
