// Times `vaultadmin check-catalogue`'s work on a built vault beside the two
// passes it is made of and beside plain tools reading the same data, in
// interleaved rounds (scan, walk, check, find, sqlite3, then again), since
// the machine is shared and its speed drifts.
//
// Usage: check_catalogue_bench NODE_CONFIG [ROUNDS]
//   scan   Catalogue::scanStorage over the storage roots (the pass Quenlith runs)
//   walk   the catalogue read through the interface manager (task list, computers)
//   check  runCatalogueCheck: scan, walk and comparison, as the command runs them
//   find   find ROOTS -name '*TaskLabel.cfg*' -print0 | xargs -0 cat > /dev/null
//   sqlite sqlite3 of the task table joined with the computers (SQLite catalogues)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Catalogue/StorageScanner.h"
#include "CatalogueCheck.h"
#include "VaultSettings.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs `work` and prints its time at once (a round over a large vault is
// long; the figures so far are not lost when it is stopped).
double timed(const char* what, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("  %-7s %8.3f s\n", what, seconds);
    std::fflush(stdout);
    return seconds;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: check_catalogue_bench NODE_CONFIG [ROUNDS]\n";
        return 2;
    }
    ::setenv("VAULT_NODE_CONFIG", argv[1], 1);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    try {
        const std::vector<std::string> roots = Catalogue::readMountList();
        std::string rootList;
        for (const std::string& root : roots) rootList += " " + quoted(root);
        const bool sqlite = NodeConfig::get("database", "Backend", "sqlite") == "sqlite";
        const std::string database = DBConfig::Instance(false).getDatabaseFile();

        std::map<std::string, std::vector<double>> seconds;
        size_t tasks = 0, folders = 0, findings = 0;
        for (int round = 0; round < rounds; ++round) {
            seconds["scan"].push_back(timed("scan", [&] { folders = Catalogue::scanStorage(roots).taskFolderTable().size(); }));
            seconds["walk"].push_back(timed("walk", [&] { tasks = VaultAdmin::readCatalogueSide().tasks.size(); }));
            seconds["check"].push_back(
                timed("check", [&] { findings = VaultAdmin::runCatalogueCheck(VaultAdmin::CheckOptions()).findings.size(); }));
            seconds["find"].push_back(timed("find",
                [&] { shell("find" + rootList + " -name '*TaskLabel.cfg*' -print0 | xargs -0 cat > /dev/null"); }));
            if (sqlite)
                seconds["sqlite"].push_back(timed("sqlite", [&] {
                    shell("sqlite3 " + quoted(database) +
                          " 'SELECT t.id, t.guid, t.name, t.pool_guid, t.task_folder, c.guid, c.name FROM task t "
                          "JOIN computer c ON c.id = t.computer_id' > /dev/null");
                }));
        }
        const double scan = median(seconds["scan"]), walk = median(seconds["walk"]), check = median(seconds["check"]);
        std::printf("catalogue tasks: %zu   labelled task folders: %zu   findings: %zu   rounds: %d (median)\n",
                    tasks, folders, findings, rounds);
        std::printf("scan pass (Catalogue::scanStorage):        %8.3f s   | find | xargs cat of the labels: %8.3f s\n",
                    scan, median(seconds["find"]));
        if (sqlite)
            std::printf("catalogue walk (interface manager):        %8.3f s   | sqlite3 of tasks and computers: %8.3f s\n",
                        walk, median(seconds["sqlite"]));
        else
            std::printf("catalogue walk (interface manager):        %8.3f s\n", walk);
        std::printf("scan + walk:                               %8.3f s\n", scan + walk);
        std::printf("check-catalogue (scan, walk, comparison):  %8.3f s   = %.2fx scan + walk\n", check,
                    check / (scan + walk));
    } catch (const std::exception& error) {
        std::cerr << "check_catalogue_bench: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
