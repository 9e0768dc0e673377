// cataloguequery: what it prints for hostile names, the program's exit
// codes, --json, --version and --help on a hand-made node with the Quenlith
// plug-in, and its progress line on a pseudo-terminal.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CatalogueWalk.h"
#include "ChildExec.h"

namespace {

using CatalogueQuery::CatalogueView;

TEST(CatalogueQueryOutput, ControlCharactersAndBackslashesNeverReachTheTerminalRaw) {
    const struct {
        const char* name;
        const char* printed;
    } cases[] = {
        {"plain name", "plain name"},
        {"two\nlines", "two\\x0alines"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"back\\slash", "back\\x5cslash"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},  // bytes of 0x80 and above are text
    };
    for (const auto& c : cases) {
        CatalogueView view;
        CatalogueQuery::ComputerView computer;
        computer.id = 1;
        computer.name = c.name;
        view.computers.push_back(computer);
        std::ostringstream out;
        CatalogueQuery::printCatalogue(view, out);
        EXPECT_NE(out.str().find(std::string("  computer ") + c.printed + " (id 1"), std::string::npos) << out.str();
    }
}

struct QueryRun {
    int exitCode;
    std::string output;
};

QueryRun runQuery(const std::string& arguments, const std::string& folder) {
    const char* bin = std::getenv("VAULT_BIN_DIR");
    const std::string command = std::string("'") + (bin ? bin : ".") + "/cataloguequery' " + arguments + " > '" +
                                folder + "/out' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(folder + "/out");
    std::stringstream text;
    text << in.rdbuf();
    return QueryRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

TEST(CatalogueQueryProgram, ExitCodesAndWhatItPrints) {
    std::string pattern = (std::filesystem::temp_directory_path() / "cataloguequery-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    const std::string folder = pattern;
    std::filesystem::create_directories(folder + "/storage/t");
    std::ofstream(folder + "/storage/t/TaskLabel.cfg")
        << "TASK_GUID=T1\nTASK_NAME=Docs\nCOMPUTER_GUID=C1\nCOMPUTER=desk\nPOOL_GUID=P1\n";
    std::ofstream(folder + "/node.conf") << "[node]\nHostName=query-node\n[database]\nPlugin=Quenlith\n[local]\nMount_0="
                                         << folder << "/storage\n";
    std::ofstream(folder + "/missing.conf") << "[database]\nPlugin=NoSuchPlugin\n";

    const QueryRun good = runQuery("--config '" + folder + "/node.conf'", folder);
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_NE(good.output.find("  computer desk (id 1, guid C1)\n    task Docs (guid T1) folder " + folder +
                               "/storage/t/\n"),
              std::string::npos)
        << good.output;
    EXPECT_NE(good.output.find("  pool P1 folder " + folder + "/storage/t/\n"), std::string::npos);
    EXPECT_NE(good.output.find("storage group SSG01"), std::string::npos);
    EXPECT_NE(good.output.find("not served by this plug-in: getCustomers"), std::string::npos);

    const QueryRun missing = runQuery("--config '" + folder + "/missing.conf'", folder);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("NoSuchPlugin"), std::string::npos) << missing.output;

    EXPECT_EQ(runQuery("--no-such-option", folder).exitCode, 2);

    // Output that cannot be written is a failure, not a silent success.
    const char* bin = std::getenv("VAULT_BIN_DIR");
    const std::string full = std::string("'") + (bin ? bin : ".") + "/cataloguequery' --config '" + folder +
                             "/node.conf' > /dev/full 2>/dev/null";
    const int status = std::system(full.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

namespace QueryOnTerminal {

// A Quenlith node over a storage in memory (when /dev/shm exists) with
// `folders` task folders, 100 to a computer, a label in each.
class BigStorage {
public:
    explicit BigStorage(int folders) {
        const std::filesystem::path base =
            ::access("/dev/shm", W_OK | X_OK) == 0 ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
        std::string pattern = (base / "cataloguequery-tty-XXXXXX").string();
        if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        for (int t = 0; t < folders; ++t) {
            const std::string c = std::to_string(t / 100);
            const std::string task = folder_ + "/storage/c" + c + "/t" + std::to_string(t);
            std::filesystem::create_directories(task);
            std::ofstream(task + "/TaskLabel.cfg") << "TASK_GUID=T" << t << "\nTASK_NAME=task " << t
                                                   << "\nCOMPUTER_GUID=C" << c << "\nCOMPUTER=pc " << c
                                                   << "\nPOOL_GUID=P" << t << "\n";
        }
        std::ofstream(folder_ + "/node.conf") << "[node]\nHostName=query-node\n[database]\nPlugin=Quenlith\n[local]\nMount_0="
                                              << folder_ << "/storage\n[numbers]\nCatalogueReadersInFlight=0\n";
    }
    ~BigStorage() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

struct TerminalRun {
    int exitCode = -1;
    std::string terminal;  // what reached the pseudo-terminal (standard error)
    std::string output;    // standard output (a file)
};

// Runs cataloguequery with standard error on a new pseudo-terminal and
// standard output in a file; reads the terminal until the program ends.
TerminalRun runOnTerminal(const std::vector<std::string>& arguments, const std::string& folder) {
    TerminalRun run;
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    const char* bin = std::getenv("VAULT_BIN_DIR");
    const std::string program = std::string(bin ? bin : ".") + "/cataloguequery";
    const std::string outFile = folder + "/tty-out";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    // Every update draws: the line shows however fast the pass is.
    const TestSupport::ChildExec image(argv, {{"VAULT_PROGRESS_INTERVAL_MS", "0"}});
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        ::dup2(slave, 2);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::close(master);
        image.exec();
    }
    ::close(slave);
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) {
            run.terminal.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break;  // EIO once the program (the last holder of the terminal) ended
    }
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(outFile);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

// The progress line while the catalogue's first pass runs: on a terminal it
// shows (drawn at every update, so however short the pass), and it never
// reaches a pipe, the output, or a terminal after --no-progress.
TEST(CatalogueQueryProgress, ShownOnATerminalOnlyAndNeverInAPipeOrTheOutput) {
    const BigStorage storage(400);
    const std::string config = storage.folder() + "/node.conf";

    const TerminalRun shown = runOnTerminal({"--config", config}, storage.folder());
    EXPECT_EQ(shown.exitCode, 0) << shown.terminal;
    EXPECT_NE(shown.terminal.find("Reading the storage"), std::string::npos) << shown.terminal;
    EXPECT_NE(shown.terminal.find("folders"), std::string::npos) << shown.terminal;
    EXPECT_NE(shown.output.find("computers: 4\n"), std::string::npos);
    EXPECT_EQ(shown.output.find("Reading the storage"), std::string::npos);

    const TerminalRun off = runOnTerminal({"--config", config, "--no-progress"}, storage.folder());
    EXPECT_EQ(off.exitCode, 0);
    EXPECT_EQ(off.terminal.find("Reading the storage"), std::string::npos) << off.terminal;

    const QueryRun piped = runQuery("--config '" + config + "'", storage.folder());
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_NE(piped.output.find("computers: 4\n"), std::string::npos);
    EXPECT_EQ(piped.output.find("Reading the storage"), std::string::npos);
    EXPECT_EQ(piped.output.find('\r'), std::string::npos);
}

}  // namespace QueryOnTerminal

// --json: one object that parses and holds what the text shows; --version,
// the exit codes in --help, a stray word named; pools listed once each
// although every Quenlith task answers every pool.
TEST(CatalogueQueryProgram, JsonVersionHelpAndStrayWords) {
    std::string pattern = (std::filesystem::temp_directory_path() / "cataloguequery-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    const std::string folder = pattern;
    for (int t = 0; t < 6; ++t) {
        const std::string c = std::to_string(t % 2);
        std::filesystem::create_directories(folder + "/storage/t" + std::to_string(t));
        std::ofstream(folder + "/storage/t" + std::to_string(t) + "/TaskLabel.cfg")
            << "TASK_GUID=T" << t << "\nTASK_NAME=task\x01" << t << "\nCOMPUTER_GUID=C" << c << "\nCOMPUTER=pc" << c
            << "\nPOOL_GUID=P" << t << "\n";
    }
    std::ofstream(folder + "/node.conf") << "[node]\nHostName=query-node\n[database]\nPlugin=Quenlith\n[local]\nMount_0="
                                         << folder << "/storage\n";

    const QueryRun text = runQuery("--config '" + folder + "/node.conf'", folder);
    ASSERT_EQ(text.exitCode, 0) << text.output;
    EXPECT_NE(text.output.find("pools: 6\n"), std::string::npos) << text.output;

    const QueryRun json = runQuery("--config '" + folder + "/node.conf' --json", folder);
    ASSERT_EQ(json.exitCode, 0) << json.output;
    const nlohmann::json parsed = nlohmann::json::parse(json.output);
    EXPECT_EQ(parsed.at("plugin"), "Quenlith");
    EXPECT_EQ(parsed.at("nodes").at(0).at("hostName"), "query-node");
    ASSERT_EQ(parsed.at("computers").size(), 2u);
    size_t tasks = 0;
    for (const auto& computer : parsed.at("computers")) {
        EXPECT_EQ(computer.at("name"), "pc" + computer.at("guid").get<std::string>().substr(1));
        for (const auto& task : computer.at("tasks")) {
            ++tasks;
            const std::string guid = task.at("guid");
            EXPECT_EQ(task.at("name"), "task\x01" + guid.substr(1));  // as stored, control character included
            EXPECT_EQ(task.at("folder"), folder + "/storage/t" + guid.substr(1) + "/");
        }
    }
    EXPECT_EQ(tasks, 6u);
    ASSERT_EQ(parsed.at("pools").size(), 6u);
    std::set<std::string> pools;
    for (const auto& pool : parsed.at("pools")) {
        pools.insert(pool.at("guid").get<std::string>());
        EXPECT_EQ(pool.at("folder"), folder + "/storage/t" + pool.at("guid").get<std::string>().substr(1) + "/");
    }
    EXPECT_EQ(pools.size(), 6u);
    EXPECT_EQ(parsed.at("storageGroups").at(0).at("name"), "SSG01");
    EXPECT_EQ(parsed.at("storageLocations").size(), 6u);
    EXPECT_TRUE(parsed.at("notServed").is_array());
    EXPECT_NE(std::find(parsed.at("notServed").begin(), parsed.at("notServed").end(), "getCustomers"),
              parsed.at("notServed").end());

    const QueryRun version = runQuery("--version", folder);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("cataloguequery ", 0), 0u) << version.output;

    const QueryRun help = runQuery("--help", folder);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* code : {"  0  done", "  1  ", "  2  bad command line", "  4  the output"})
        EXPECT_NE(help.output.find(code), std::string::npos) << code << "\n" << help.output;

    const QueryRun stray = runQuery("shwo", folder);
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_NE(stray.output.find("shwo"), std::string::npos) << stray.output;

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
