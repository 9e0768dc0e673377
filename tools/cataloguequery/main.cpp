// cataloguequery: prints what the vault's configured database plug-in
// answers through the interface manager: the vault, its nodes, computers
// with their names and tasks with their folders, pools, storage groups and
// storage locations; as text, or as one JSON object (--json).
//
// Exit codes: 0 done; 1 the plug-in could not be loaded or a question failed
// (the message on standard error says which); 2 bad command line; 4 the
// output could not be written completely.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "Catalogue/ScanProgress.h"
#include "CatalogueWalk.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultSettings.h"
#include "console/ExitCodes.h"
#include "console/ProgressLine.h"
#include "VaultVersion.h"

// Counted up by the Quenlith catalogue's pass in this process (exported by
// name; see Catalogue/ScanProgress.h). Other plug-ins leave it at zero.
extern "C" {
__attribute__((visibility("default"), used)) Catalogue::ScanProgress vaultCatalogueScanProgress;
}

namespace {

// The progress line while the first question waits for the catalogue's
// first pass: folders entered so far, their rate and the time spent. It is
// drawn by a thread of its own (the main thread is inside the plug-in) and
// only on a terminal; it is gone before anything is printed.
class FirstPassProgress {
public:
    explicit FirstPassProgress(bool wanted)
        : line_("Reading the storage", VaultConsole::ProgressLine::Unit::Items, "folders", wanted) {
        if (line_.active()) thread_ = std::thread([this] { run(); });
    }
    ~FirstPassProgress() { finish(); }
    FirstPassProgress(const FirstPassProgress&) = delete;
    FirstPassProgress& operator=(const FirstPassProgress&) = delete;

    void finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        // At least one update, so a line is drawn whenever the interval allows
        // it, however short the pass.
        do {
            line_.update(vaultCatalogueScanProgress.foldersEntered.load(std::memory_order_relaxed));
            // A redraw interval for the eye; nothing waits on it.
            changed_.wait_for(lock, std::chrono::milliseconds(100));
        } while (!finished_ && vaultCatalogueScanProgress.passesEnded.load(std::memory_order_acquire) == 0);
        line_.clear();
    }

    VaultConsole::ProgressLine line_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"cataloguequery: prints what the vault's database plug-in ([database] Plugin of the node\n"
                 "configuration) answers: the vault, nodes, computers and their tasks with folders, pools,\n"
                 "storage groups and storage locations. Questions the plug-in does not serve are listed last."};
    app.footer("Exit codes:\n"
               "  0  done\n"
               "  1  the plug-in could not be loaded or a question failed (the message says which)\n"
               "  2  bad command line\n"
               "  4  the output could not be written completely");
    app.set_version_flag("--version", "cataloguequery " VAULT_PACKAGE_VERSION);
    std::string config;
    bool json = false;
    bool noProgress = false;
    app.add_option("--config", config, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    app.add_flag("--json", json, "print the answers as one JSON object (schema: docs/quenlith.md)");
    app.add_flag("--no-progress", noProgress, "no progress line on a terminal while the catalogue is read");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? VaultConsole::kExitDone : VaultConsole::kExitUsage;
    }
    if (!config.empty() && ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1) != 0) {
        std::cerr << "cataloguequery: cannot set VAULT_NODE_CONFIG" << std::endl;
        return VaultConsole::kExitFailed;
    }
    try {
        DatabaseInterfaces::DbInterfaceManager manager;
        // Only the storage catalogue counts its pass; other plug-ins answer
        // from a database and have nothing to show here.
        FirstPassProgress progress(!noProgress && DBConfig::Instance(false).getPluginName() == "Quenlith");
        const CatalogueQuery::CatalogueView view = CatalogueQuery::walkCatalogue(manager);
        progress.finish();
        if (json)
            CatalogueQuery::printCatalogueJson(view, std::cout);
        else
            CatalogueQuery::printCatalogue(view, std::cout);
    } catch (const std::exception& error) {
        std::cerr << "cataloguequery: " << error.what() << std::endl;
        return VaultConsole::kExitFailed;
    }
    if (!std::cout.flush()) {
        std::cerr << "cataloguequery: the output could not be written" << std::endl;
        return VaultConsole::kExitStateNotWritten;
    }
    return VaultConsole::kExitDone;
}
