#include "CommandLine.h"

#include <ostream>
#include <string>

#include "ScanDriver.h"
#include "VaultVersion.h"

namespace Trevalon {
namespace {

const char* const kUsageLine =
    "Usage: Trevalon [--help | --version]\n"
    "       Trevalon [--no-progress] [--summary-json FILE]\n";

const char* const kHelp =
    "\n"
    "Checks, task by task, whether the backup tasks of this vault node are safe\n"
    "to migrate. Run it in the folder that is to receive the results:\n"
    "  Trevalon.log      every line the run logged\n"
    "  Output.csv        one run line, then one line per checked task\n"
    "  UnknownTasks.txt  the tasks this run could not check; a run that finds\n"
    "                    this list re-checks only them, so run again until it\n"
    "                    stays empty\n"
    "  InitialPassTasks.txt  the tasks the last initial pass met; a re-check\n"
    "                    pass warns about tasks of this node added since,\n"
    "                    which only a new initial pass checks (remove\n"
    "                    UnknownTasks.txt to start one)\n"
    "In the synchronisation-files folder of every task at risk it leaves the\n"
    "empty marker files ombrik.exe.config and sorvendel.exe.config.\n"
    "\n"
    "The vault is found through the node configuration: $VAULT_NODE_CONFIG, else\n"
    "/etc/vault/node.conf (an annotated example is installed as\n"
    "share/doc/vault-maintenance/examples/node.conf).\n"
    "\n"
    "Options:\n"
    "  --no-progress        no progress line (it is shown on standard error only\n"
    "                       when that is a terminal)\n"
    "  --summary-json FILE  also write the pass's counts, kind, exit code, result\n"
    "                       files and the ids of deferred and at-risk tasks to\n"
    "                       FILE as JSON (replaced whole when the run ends)\n"
    "  -h, --help           print this text and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Exit codes:\n"
    "  0    the walk ended, whatever the outcomes of the single tasks\n"
    "  2    an argument was refused; no file was touched\n"
    "  3    another run already holds this folder\n"
    "  4    a result file could not be written completely\n"
    "  255  an error ended the walk (the log says which)\n";

}  // namespace

namespace {

int refuse(std::ostream& err, const std::string& refused, const char* why) {
    err << "Trevalon: " << why << " '" << refused << "'\n"
        << kUsageLine
        << "Run Trevalon in the folder that is to receive the results to scan this vault\n"
           "node. Trevalon --help tells more.\n"
        << std::flush;
    return kUsageExitCode;
}

// The scan options, or the code of a refusal.
std::optional<int> parseScanOptions(int argc, const char* const* argv, std::ostream& err, ScanOptions& options) {
    bool progressSeen = false, summarySeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::string summaryPrefix = "--summary-json=";
        if (arg == "--no-progress" && !progressSeen) {
            progressSeen = true;
            options.progress = false;
        } else if ((arg == "--summary-json" || arg.compare(0, summaryPrefix.size(), summaryPrefix) == 0) &&
                   !summarySeen) {
            summarySeen = true;
            std::string file;
            if (arg == "--summary-json") {
                if (i + 1 >= argc) return refuse(err, arg, "a file name must follow");
                file = argv[++i];
            } else {
                file = arg.substr(summaryPrefix.size());
            }
            if (file.empty()) return refuse(err, arg, "an empty file name after");
            options.summaryJsonPath = file;
        } else {
            return refuse(err, arg, "unexpected argument");
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                                     ScanOptions* options) {
    if (argc <= 1) return std::nullopt;
    const std::string first = argv[1];
    if (argc == 2 && (first == "--help" || first == "-h")) {
        out << kUsageLine << kHelp << std::flush;
        return 0;
    }
    if (argc == 2 && first == "--version") {
        out << "Trevalon " << kToolVersion << " (vault maintenance " << VAULT_PACKAGE_VERSION << ")" << std::endl;
        return 0;
    }
    // Name the first argument that is not understood on its own.
    const bool knownFirst = first == "--help" || first == "-h" || first == "--version";
    if (knownFirst) return refuse(err, argv[2], "unexpected argument");
    ScanOptions parsed;
    if (const auto refused = parseScanOptions(argc, argv, err, parsed)) return refused;
    if (options) *options = parsed;
    return std::nullopt;
}

}  // namespace Trevalon
