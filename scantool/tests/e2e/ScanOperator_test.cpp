// What an operator and a script get from a scan beside its result files: the
// summary lines after the finished line, the JSON summary, the progress line
// on a terminal (and nowhere else), and the warning of a re-check pass about
// tasks added after the folder's initial pass.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ChildExec.h"
#include "Harness.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<SafesetSpec> safeSafesets() { return {{1, "8.50", 4, {2}, false}, {2, "8.40", 4, {}, false}}; }

// The log without its timestamps, line by line.
std::vector<std::string> logTexts(const std::string& log) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(pos, end - pos);
        lines.push_back(line.size() > 24 ? line.substr(24) : line);  // "YYYY-MM-DD HH:MM:SS.mmm "
        pos = end + 1;
    }
    return lines;
}

// The number the summary line that starts with `label` gives after `key`.
long long summaryNumber(const std::string& log, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(log, match, std::regex(pattern))) return -1;
    return std::stoll(match[1].str());
}

struct Summary {
    long long selected, checked, safe, atRisk, offline, deferred, locked, failed, otherNode;
};

Summary summaryOf(const std::string& log) {
    Summary s{};
    s.selected = summaryNumber(log, R"(Summary of this \S+ pass: (\d+) tasks selected)");
    s.checked = summaryNumber(log, R"(  checked: (\d+) \()");
    s.safe = summaryNumber(log, R"(\(safe: (\d+),)");
    s.atRisk = summaryNumber(log, R"(at risk: (\d+);)");
    s.offline = summaryNumber(log, R"(with offline data: (\d+)\))");
    s.deferred = summaryNumber(log, R"(deferred to the next run: (\d+) \()");
    s.locked = summaryNumber(log, R"(\(locked: (\d+),)");
    s.failed = summaryNumber(log, R"(check failed: (\d+)\))");
    s.otherNode = summaryNumber(log, R"(bound to another node: (\d+))");
    return s;
}

std::vector<std::string> readLinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) ++count;
    return count;
}

// The demo vault has safe, at-risk, offline, damaged and other-node tasks;
// holding one task's lock adds a locked one. The summary lines and the JSON
// summary must agree with each other and with the result files, and add up.
TEST(ScanOperator, SummaryLinesAndJsonAddUpOnTheDemoVault) {
    TempFolder root("trevalon-demo");
    const ProcessResult built = run({binDir() + "/vaultadmin", "demo", "--root", root.file("vault")}, root.path(), {});
    ASSERT_EQ(built.exitCode, 0) << built.output;
    const std::map<std::string, std::string> environment = {{"VAULT_NODE_CONFIG", root.file("vault/node.conf")}};

    // This node's tasks, in "vaultadmin tasks" order: the first is held
    // locked during the scan, the storage of the last is damaged.
    std::smatch match;
    const std::string config = readFile(root.file("vault/node.conf"));
    ASSERT_TRUE(std::regex_search(config, match, std::regex(R"((?:^|\n)HostName=([^\n]+))"))) << config;
    const std::string thisNode = match[1].str();
    const ProcessResult tasks = run({binDir() + "/vaultadmin", "tasks"}, root.path(), environment);
    ASSERT_EQ(tasks.exitCode, 0) << tasks.output;
    std::vector<std::vector<std::string>> own;  // id, name, node, folder
    for (const std::string& line : readLinesOf(tasks.output)) {
        std::vector<std::string> fields;
        for (size_t pos = 0;;) {
            const size_t tab = line.find('\t', pos);
            fields.push_back(line.substr(pos, tab - pos));
            if (tab == std::string::npos) break;
            pos = tab + 1;
        }
        if (fields.size() == 4 && fields[2] == thisNode) own.push_back(fields);
    }
    ASSERT_GE(own.size(), 4u) << tasks.output;
    const std::string heldId = own.front()[0], heldName = own.front()[1];
    const ProcessResult damaged = run({binDir() + "/vaultadmin", "damage", "--file", own.back()[3] + "pool/synclist.vsl",
                                       "--truncate", "10"},
                                      root.path(), environment);
    ASSERT_EQ(damaged.exitCode, 0) << damaged.output;

    ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--task-id", heldId, "--seconds", "120"},
                        root.path(), environment);
    ASSERT_TRUE(holder.waitForOutput("holding", 60000)) << holder.wait().output;

    TempFolder work;
    const ProcessResult scan =
        run({binDir() + "/Trevalon", "--no-progress", "--summary-json", "summary.json"}, work.path(), environment);
    holder.kill(SIGKILL);
    holder.wait();
    ASSERT_EQ(scan.exitCode, 0) << scan.output;

    const std::string log = readFile(work.file("Trevalon.log"));
    const Summary s = summaryOf(log);
    EXPECT_EQ(s.selected, summaryNumber(log, R"(Finished checking for (\d+) tasks\.\.\.)"));
    EXPECT_EQ(s.selected, s.checked + s.locked + s.failed + s.otherNode) << log;
    EXPECT_EQ(s.checked, s.safe + s.atRisk);
    EXPECT_EQ(s.deferred, s.locked + s.failed);
    EXPECT_LE(s.offline, s.checked);
    // The demo vault has every outcome.
    for (long long count : {s.safe, s.atRisk, s.offline, s.locked, s.failed, s.otherNode})
        EXPECT_GT(count, 0) << log;

    // The counts are those of the result files and of the log's own lines.
    const std::vector<std::string> report = readLines(work.file("Output.csv"));
    const std::vector<std::string> unknown = readLines(work.file("UnknownTasks.txt"));
    EXPECT_EQ(static_cast<long long>(report.size()), 1 + s.checked);
    EXPECT_EQ(static_cast<long long>(unknown.size()), s.deferred);
    EXPECT_EQ(static_cast<long long>(countOf(log, "\",\"AtRisk\",\"")), 0);  // nothing of the report in the log
    EXPECT_EQ(static_cast<long long>(countOf(readFile(work.file("Output.csv")), "\"AtRisk\"")), s.atRisk);
    EXPECT_EQ(static_cast<long long>(countOf(readFile(work.file("Output.csv")), "\"OfflineDataDetected\"")), s.offline);
    EXPECT_EQ(static_cast<long long>(countOf(log, "because it's bound to a different node")), s.otherNode);
    EXPECT_EQ(static_cast<long long>(countOf(log, "because it's being locked")), s.locked);
    EXPECT_TRUE(contains(log, "  time taken: "));
    // The summary comes after the finished line.
    EXPECT_LT(log.find("Finished checking for "), log.find("Summary of this initial pass"));

    // The JSON summary holds the same pass.
    const nlohmann::json json = nlohmann::json::parse(readFile(work.file("summary.json")));
    EXPECT_EQ(json.at("pass"), "initial");
    EXPECT_EQ(json.at("exitCode"), 0);
    EXPECT_EQ(json.at("walkCompleted"), true);
    EXPECT_EQ(json.at("files").at("report"), "Output.csv");
    EXPECT_EQ(json.at("files").at("unknownTasks"), "UnknownTasks.txt");
    EXPECT_EQ(json.at("files").at("log"), "Trevalon.log");
    EXPECT_EQ(json.at("files").at("workingFolder"), work.path());
    EXPECT_EQ(json.at("nodeConfiguration").at("path"), root.file("vault/node.conf"));
    const nlohmann::json& counts = json.at("counts");
    EXPECT_EQ(counts.at("selected"), s.selected);
    EXPECT_EQ(counts.at("checked"), s.checked);
    EXPECT_EQ(counts.at("safe"), s.safe);
    EXPECT_EQ(counts.at("atRisk"), s.atRisk);
    EXPECT_EQ(counts.at("withOfflineData"), s.offline);
    EXPECT_EQ(counts.at("deferredLocked"), s.locked);
    EXPECT_EQ(counts.at("deferredFailed"), s.failed);
    EXPECT_EQ(counts.at("otherNode"), s.otherNode);
    EXPECT_EQ(static_cast<long long>(json.at("atRiskTasks").size()), s.atRisk);
    ASSERT_EQ(json.at("deferredTasks").at("locked").size(), 1u);
    EXPECT_EQ(json.at("deferredTasks").at("locked")[0].at("id"), std::stoul(heldId));
    EXPECT_EQ(json.at("deferredTasks").at("locked")[0].at("name"), heldName);
    // The deferred ids are exactly the list's.
    std::vector<std::string> listed;
    for (const char* kind : {"locked", "failed"})
        for (const auto& task : json.at("deferredTasks").at(kind))
            listed.push_back(std::to_string(task.at("id").get<unsigned>()) + "|" + task.at("name").get<std::string>());
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> sortedUnknown = unknown;
    std::sort(sortedUnknown.begin(), sortedUnknown.end());
    EXPECT_EQ(listed, sortedUnknown);
    // Every at-risk task named in the JSON has an AtRisk line in the report.
    for (const auto& task : json.at("atRiskTasks")) {
        const std::string name = task.at("name");
        bool found = false;
        for (const std::string& line : report)
            found = found || contains(line, ",\"" + name + "\",\"AtRisk\",");
        EXPECT_TRUE(found) << name;
    }
    EXPECT_TRUE(contains(scan.output, "Summary of this initial pass"));  // echoed like every log line

    // The next run re-checks the deferred tasks and says so in the JSON.
    const ProcessResult again =
        run({binDir() + "/Trevalon", "--summary-json=again.json"}, work.path(), environment);
    ASSERT_EQ(again.exitCode, 0) << again.output;
    const nlohmann::json second = nlohmann::json::parse(readFile(work.file("again.json")));
    EXPECT_EQ(second.at("pass"), "recheck");
    EXPECT_EQ(second.at("counts").at("selected"), s.deferred);
    EXPECT_TRUE(contains(readFile(work.file("Trevalon.log")), "Summary of this re-check pass"));
}

// The options change nothing in the result files or the log but add the
// summary; a walk-ending error still leaves a JSON summary with its code; a
// summary that cannot be written is an incomplete result (4).
TEST(ScanOperator, OptionsLeaveTheResultFilesAsTheyWere) {
    VaultDescription d;
    d.node("node2");
    d.task("Acme", "pc", "Safe task", safeSafesets());
    d.task("Acme", "pc", "Risky", {{1, "8.40", 3, {1}, true}, {2, "8.40", 3, {1}, false}});
    d.task("Acme", "pc", "Elsewhere", safeSafesets(), "node2");
    TestVault vault(d.json());

    TempFolder plain, withOptions;
    const ProcessResult a = run({binDir() + "/Trevalon"}, plain.path(), vault.environment());
    const ProcessResult b = run({binDir() + "/Trevalon", "--no-progress", "--summary-json", withOptions.file("s.json")},
                                withOptions.path(), vault.environment());
    ASSERT_EQ(a.exitCode, 0) << a.output;
    ASSERT_EQ(b.exitCode, 0) << b.output;
    EXPECT_EQ(readFile(plain.file("UnknownTasks.txt")), readFile(withOptions.file("UnknownTasks.txt")));
    std::vector<std::string> reportA = readLines(plain.file("Output.csv")), reportB = readLines(withOptions.file("Output.csv"));
    ASSERT_EQ(reportA.size(), 3u);
    ASSERT_EQ(reportA.size(), reportB.size());
    for (size_t i = 1; i < reportA.size(); ++i) EXPECT_EQ(reportA[i], reportB[i]);  // line 0 holds the start time
    // The same log apart from the time the run took (its last line).
    std::vector<std::string> logA = logTexts(readFile(plain.file("Trevalon.log")));
    std::vector<std::string> logB = logTexts(readFile(withOptions.file("Trevalon.log")));
    ASSERT_FALSE(logA.empty());
    ASSERT_FALSE(logB.empty());
    logA.pop_back();
    logB.pop_back();
    EXPECT_EQ(logA, logB);
    // The log is the lines a scan always wrote, then the summary lines.
    const std::vector<std::string> lines = logTexts(readFile(plain.file("Trevalon.log")));
    const std::vector<std::string> expectedStart = {
        "TREVALON-I-0001 Tool version: 8.00.7416",
        "TREVALON-I-0001 Vault version: 8.50.0000",
        "TREVALON-I-0001 Initial checking for tasks affected by KQ-6157",
        "TREVALON-I-0001 Checking tasks for customer Acme",
        "TREVALON-I-0001     Checking tasks for computer pc",
        "TREVALON-I-0001       Checking task Safe task",
        "TREVALON-I-0001       + Safe task is safe to migrate",
        "TREVALON-I-0001       Checking task Risky",
        "TREVALON-W-0002 Safeset Number 1 is unavailable and will not be processed.",
        "TREVALON-I-0001       - Risky is NOT SAFE to migrate",
        "TREVALON-I-0001       Checking task Elsewhere",
        "TREVALON-W-0002     * Unable to check task Elsewhere because it's bound to a different node node2",
        "TREVALON-I-0001 Finished checking for 3 tasks...",
        "TREVALON-I-0001 Summary of this initial pass: 3 tasks selected of 3 in the vault",
        "TREVALON-I-0001   checked: 2 (safe: 1, at risk: 1; with offline data: 1)",
        "TREVALON-I-0001   deferred to the next run: 0 (locked: 0, check failed: 0)",
        "TREVALON-I-0001   bound to another node: 1",
    };
    ASSERT_EQ(lines.size(), expectedStart.size() + 1) << readFile(plain.file("Trevalon.log"));
    for (size_t i = 0; i < expectedStart.size(); ++i) EXPECT_EQ(lines[i], expectedStart[i]);
    EXPECT_EQ(lines.back().rfind("TREVALON-I-0001   time taken: ", 0), 0u) << lines.back();

    // A walk-ending error: the JSON says so, with exit code 255.
    TempFolder broken;
    const std::map<std::string, std::string> missingConfig = {{"VAULT_NODE_CONFIG", broken.file("no-such.conf")}};
    const ProcessResult failed = run({binDir() + "/Trevalon", "--summary-json", "s.json"}, broken.path(), missingConfig);
    EXPECT_EQ(failed.exitCode, 255) << failed.output;
    EXPECT_TRUE(contains(failed.output, "No node configuration file at " + broken.file("no-such.conf")))
        << failed.output;
    const nlohmann::json failure = nlohmann::json::parse(readFile(broken.file("s.json")));
    EXPECT_EQ(failure.at("exitCode"), 255);
    EXPECT_EQ(failure.at("walkCompleted"), false);
    EXPECT_FALSE(failure.at("walkError").get<std::string>().empty());
    EXPECT_EQ(failure.at("nodeConfiguration").at("found"), false);

    // A summary that cannot be put in place (its folder is missing) is
    // reported, and the run ends with 4; a link at its name is replaced, not
    // written through.
    TempFolder third;
    const ProcessResult unwritable =
        run({binDir() + "/Trevalon", "--summary-json", third.file("missing/s.json")}, third.path(), vault.environment());
    EXPECT_EQ(unwritable.exitCode, 4) << unwritable.output;
    EXPECT_TRUE(contains(readFile(third.file("Trevalon.log")), "The summary " + third.file("missing/s.json")));
    TempFolder fourth;
    writeFile(fourth.file("target"), "keep");
    ASSERT_EQ(symlink(fourth.file("target").c_str(), fourth.file("s.json").c_str()), 0);
    const ProcessResult linked = run({binDir() + "/Trevalon", "--summary-json", "s.json"}, fourth.path(), vault.environment());
    EXPECT_EQ(linked.exitCode, 0) << linked.output;
    EXPECT_EQ(readFile(fourth.file("target")), "keep");
    EXPECT_NO_THROW(nlohmann::json::parse(readFile(fourth.file("s.json"))));
}

// Output of a child on a pseudo-terminal (standard output and error both on
// it, raw mode, so bytes arrive as written). After `pauseAfter` appears, the
// reader stops reading for `pause`: the child's output blocks, so its walk
// lasts at least that long whatever the machine's speed.
struct TerminalRun {
    int exitCode = -1000;
    std::string output;
};

TerminalRun runOnTerminal(const std::vector<std::string>& argv, const std::string& folder,
                          const std::map<std::string, std::string>& environment, const std::string& pauseAfter,
                          std::chrono::milliseconds pause) {
    int master = -1;
    struct winsize size {};
    size.ws_col = 200;
    size.ws_row = 50;
    const TestSupport::ChildExec program(argv, environment);
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        struct termios mode {};
        tcgetattr(0, &mode);
        cfmakeraw(&mode);
        tcsetattr(0, TCSANOW, &mode);
        if (chdir(folder.c_str()) != 0) _exit(127);
        program.exec();
    }
    TerminalRun result;
    bool paused = pauseAfter.empty();
    char buffer[4096];
    for (;;) {
        pollfd request{master, POLLIN, 0};
        if (poll(&request, 1, 120000) <= 0) break;  // a hang fails below
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO: the child's side is closed
        result.output.append(buffer, static_cast<size_t>(got));
        if (!paused && contains(result.output, pauseAfter)) {
            paused = true;
            std::this_thread::sleep_for(pause);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return result;
}

// The terminal's output with every progress drawing ("\r<text>\e[K") and
// clearing ("\r\e[K") taken out; `drawings` gets the texts drawn, and
// `misplaced` counts drawings that did not start at the start of a line or
// that other bytes followed before the line was cleared.
std::string withoutProgress(const std::string& output, std::vector<std::string>& drawings, int& misplaced) {
    std::string rest;
    size_t pos = 0;
    while (pos < output.size()) {
        if (output[pos] == '\r') {
            const size_t end = output.find("\x1b[K", pos);
            if (end != std::string::npos) {
                const bool drawing = end > pos + 1;
                if (drawing) drawings.push_back(output.substr(pos + 1, end - pos - 1));
                if (!rest.empty() && rest.back() != '\n') ++misplaced;
                pos = end + 3;
                // A line drawn must be cleared (or redrawn) before anything else is written.
                if (drawing && pos < output.size() && output[pos] != '\r') ++misplaced;
                continue;
            }
        }
        rest += output[pos++];
    }
    return rest;
}

class ScanProgressLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Enough log bytes (long task names) to overfill the terminal's and
        // the pipe's buffers: while the test does not read, the walk waits.
        VaultDescription d;
        for (int i = 0; i < 600; ++i)
            d.task("Acme", "pc", "task " + std::to_string(i) + " " + std::string(240, 'x'), {{1, "8.50", 2, {}, false}});
        vault_ = new TestVault(d.json());
    }
    static void TearDownTestSuite() {
        delete vault_;
        vault_ = nullptr;
    }
    std::map<std::string, std::string> environment() const {
        return vault_->environment();
    }
    static TestVault* vault_;
};
TestVault* ScanProgressLine::vault_ = nullptr;

TEST_F(ScanProgressLine, DrawnOnTheTerminalBetweenWholeLogLines) {
    TempFolder work;
    const TerminalRun run = runOnTerminal({binDir() + "/Trevalon"}, work.path(), environment(),
                                          "Checking tasks for customer", std::chrono::milliseconds(600));
    ASSERT_EQ(run.exitCode, 0) << run.output.substr(0, 2000);
    std::vector<std::string> drawings;
    int misplaced = 0;
    const std::string rest = withoutProgress(run.output, drawings, misplaced);
    ASSERT_FALSE(drawings.empty()) << "no progress line on the terminal";
    EXPECT_EQ(misplaced, 0) << "a progress line was drawn into a log line, or a log line into it";
    for (const std::string& text : drawings)
        EXPECT_TRUE(std::regex_search(text, std::regex(R"(^Checking tasks: [0-9,]+ of 600 tasks \(\d+%\))")))
            << text;
    // What is left is exactly the log, byte for byte: no line was cut or mixed.
    EXPECT_EQ(rest, readFile(work.file("Trevalon.log")));
    EXPECT_EQ(rest.find("\x1b"), std::string::npos);
    // Never in the result files.
    EXPECT_FALSE(contains(readFile(work.file("Output.csv")), "Checking tasks:"));
}

TEST_F(ScanProgressLine, NeverWithNoProgressNorInAPipeOrAFile) {
    {
        TempFolder work;
        const TerminalRun run = runOnTerminal({binDir() + "/Trevalon", "--no-progress"}, work.path(), environment(),
                                              "Checking tasks for customer", std::chrono::milliseconds(600));
        ASSERT_EQ(run.exitCode, 0);
        EXPECT_FALSE(contains(run.output, "Checking tasks:"));
        EXPECT_EQ(run.output, readFile(work.file("Trevalon.log")));
    }
    {
        // Standard output and error on a pipe (the harness reads them).
        TempFolder work;
        ChildProcess child({binDir() + "/Trevalon"}, work.path(), environment());
        ASSERT_TRUE(child.waitForOutput("Checking tasks for customer", 120000));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));  // the pipe fills; the walk waits
        const ProcessResult result = child.wait();
        ASSERT_EQ(result.exitCode, 0);
        EXPECT_FALSE(contains(result.output, "Checking tasks:"));
        EXPECT_FALSE(contains(result.output, "\x1b[K"));
    }
    {
        // Standard error into a file, standard output on the terminal.
        TempFolder work;
        const TerminalRun run = runOnTerminal({"/bin/sh", "-c", "exec \"$0\" 2>errors.txt", binDir() + "/Trevalon"},
                                              work.path(), environment(), "Checking tasks for customer",
                                              std::chrono::milliseconds(600));
        ASSERT_EQ(run.exitCode, 0) << run.output.substr(0, 2000);
        EXPECT_EQ(readFile(work.file("errors.txt")), "");
        EXPECT_EQ(run.output, readFile(work.file("Trevalon.log")));
    }
}

// A re-check pass selects only the listed tasks. Tasks added after the
// folder's initial pass are checked by no pass here: the re-check pass says
// so once, names the first few and says how to have them checked.
TEST(ScanOperator, RecheckPassWarnsAboutTasksAddedAfterTheInitialPass) {
    VaultDescription d("node1");
    d.node("node2");
    d.task("Acme", "pc", "Busy", safeSafesets());
    d.task("Acme", "pc", "Idle", safeSafesets());
    TestVault vault(d.json());
    TempFolder work;
    {
        ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--config", vault.nodeConfig(), "--task-id",
                             std::to_string(vault.taskId("Busy")), "--seconds", "120"},
                            vault.root(), vault.environment());
        ASSERT_TRUE(holder.waitForOutput("holding", 60000)) << holder.wait().output;
        const ProcessResult initial = runTrevalon(vault, work.path());
        holder.kill(SIGKILL);
        holder.wait();
        ASSERT_EQ(initial.exitCode, 0) << initial.output;
        ASSERT_NE(readFile(work.file("UnknownTasks.txt")), "");
    }

    // A re-check pass with nothing added says nothing more.
    const std::string listBefore = readFile(work.file("UnknownTasks.txt"));
    {
        ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--config", vault.nodeConfig(), "--task-id",
                             std::to_string(vault.taskId("Busy")), "--seconds", "120"},
                            vault.root(), vault.environment());
        ASSERT_TRUE(holder.waitForOutput("holding", 60000)) << holder.wait().output;
        const ProcessResult quiet = runTrevalon(vault, work.path());
        holder.kill(SIGKILL);
        holder.wait();
        ASSERT_EQ(quiet.exitCode, 0) << quiet.output;
        EXPECT_FALSE(contains(quiet.output, "were added after")) << quiet.output;
        EXPECT_FALSE(contains(quiet.output, "InitialPassTasks.txt")) << quiet.output;
        ASSERT_EQ(readFile(work.file("UnknownTasks.txt")), listBefore);  // still busy: still listed
    }

    VaultDescription more("node1");
    more.node("node2");
    for (int i = 1; i <= 7; ++i) more.task("Late", "late-pc", "Late " + std::to_string(i), safeSafesets());
    more.task("Late", "late-pc", "Late elsewhere", safeSafesets(), "node2");
    writeFile(vault.root() + "/more.json", more.json());
    const ProcessResult added =
        run({binDir() + "/vaultadmin", "add-tasks", "--description", vault.root() + "/more.json"}, vault.root(),
            vault.environment());
    ASSERT_EQ(added.exitCode, 0) << added.output;

    const ProcessResult recheck = runTrevalon(vault, work.path());
    ASSERT_EQ(recheck.exitCode, 0) << recheck.output;
    const std::string log = readFile(work.file("Trevalon.log"));
    const size_t warning = log.find("7 task(s) of this node were added after this folder's initial pass");
    ASSERT_NE(warning, std::string::npos) << log;
    const std::string warningLine = log.substr(warning, log.find('\n', warning) - warning);
    EXPECT_TRUE(contains(warningLine, "Late 1, Late 2, Late 3, Late 4, Late 5, ...")) << warningLine;
    EXPECT_FALSE(contains(warningLine, "Late 6")) << warningLine;
    EXPECT_FALSE(contains(warningLine, "elsewhere")) << warningLine;
    EXPECT_TRUE(contains(warningLine, "remove UnknownTasks.txt")) << warningLine;
    EXPECT_EQ(countOf(log, "were added after this folder's initial pass"), 1u);
    // The result files are those of any re-check pass: Busy checked, nothing late.
    EXPECT_EQ(readFile(work.file("UnknownTasks.txt")), "");
    EXPECT_FALSE(contains(readFile(work.file("Output.csv")), "Late"));

    // Doing what the warning says checks them.
    ASSERT_EQ(unlink(work.file("UnknownTasks.txt").c_str()), 0);
    const ProcessResult fresh = runTrevalon(vault, work.path());
    ASSERT_EQ(fresh.exitCode, 0) << fresh.output;
    const std::string report = readFile(work.file("Output.csv"));
    for (int i = 1; i <= 7; ++i) EXPECT_TRUE(contains(report, "\"Late " + std::to_string(i) + "\",\"Safe\""));
}

// Without a usable record of the initial pass a re-check pass cannot tell new
// tasks apart, and says that instead of staying silent.
TEST(ScanOperator, RecheckPassWithoutAUsableRecordSaysSo) {
    VaultDescription d;
    d.task("Acme", "pc", "First", safeSafesets());
    d.task("Acme", "pc", "Second", safeSafesets());
    TestVault vault(d.json());
    const std::string first = std::to_string(vault.taskId("First"));
    const struct {
        const char* name;
        std::string record;  // "" for none; "LINK" for a link to a good record
        const char* expected;
    } cases[] = {
        {"no record", "", "holds no record of its initial pass"},
        {"not a record", "junk\n", "cannot be used (it does not start with the record's comment line)"},
        {"a cut record", "# Trevalon: tasks met by the initial pass of Dec-01-2026_10-00-00\n1\n2", "cannot be used"},
        {"a link", "LINK", "cannot be used"},
    };
    for (const auto& c : cases) {
        TempFolder work;
        writeFile(work.file("UnknownTasks.txt"), first + "|First\n");
        const std::string good = "# Trevalon: tasks met by the initial pass of Dec-01-2026_10-00-00\n" + first + "\n";
        if (std::string(c.record) == "LINK") {
            writeFile(work.file("elsewhere.txt"), good);
            ASSERT_EQ(symlink(work.file("elsewhere.txt").c_str(), work.file("InitialPassTasks.txt").c_str()), 0);
        } else if (!c.record.empty()) {
            writeFile(work.file("InitialPassTasks.txt"), c.record);
        }
        const ProcessResult result = runTrevalon(vault, work.path());
        ASSERT_EQ(result.exitCode, 0) << c.name << result.output;
        EXPECT_TRUE(contains(result.output, c.expected)) << c.name << "\n" << result.output;
        EXPECT_FALSE(contains(result.output, "were added after")) << c.name;
    }
    // A good record that lacks Second: Second is named as added.
    TempFolder work;
    writeFile(work.file("UnknownTasks.txt"), first + "|First\n");
    writeFile(work.file("InitialPassTasks.txt"),
              "# Trevalon: tasks met by the initial pass of Dec-01-2026_10-00-00\n" + first + "\n");
    const ProcessResult result = runTrevalon(vault, work.path());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "1 task(s) of this node were added after this folder's initial pass "
                                        "(Dec-01-2026_10-00-00) and were checked by no pass here: Second."))
        << result.output;
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon

namespace Trevalon {
namespace Testing {
namespace {

// Reading ahead only warms the cache: with it off, on for one task, or as
// configured by default, a vault whose files include a FIFO, a link, a
// missing pool and a damaged container gives the same log, report and list,
// and nothing blocks on the special files.
TEST(ScanReadAhead, ChangesNothingThatTheScanWrites) {
    VaultDescription d;
    d.node("node2");
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        d.task("Acme", "pc" + std::to_string(i % 3), "Task " + n,
               {{1, i % 2 ? "8.40" : "8.50", 4, {static_cast<unsigned>(i % 4)}, i % 5 == 0},
                {2, "8.40", 3, {}, false}},
               i % 7 == 3 ? "node2" : "");
    }
    TestVault vault(d.json());
    // Task 1: a FIFO at its sync list; task 2: a link at its container;
    // task 4: no pool folder; task 5: a damaged container.
    const std::string list1 = vault.syncListFile("Task 1");
    ASSERT_EQ(unlink(list1.c_str()), 0);
    ASSERT_EQ(mkfifo(list1.c_str(), 0644), 0);
    const std::string container2 = vault.containerFile("Task 2", 1);
    ASSERT_EQ(rename(container2.c_str(), (container2 + ".real").c_str()), 0);
    ASSERT_EQ(symlink((container2 + ".real").c_str(), container2.c_str()), 0);
    const std::string pool4 = vault.syncListFile("Task 4");
    ASSERT_EQ(std::system(("rm -rf '" + pool4.substr(0, pool4.rfind('/')) + "'").c_str()), 0);
    vault.damage({vault.containerFile("Task 5", 1)}, {"--truncate", "40"});

    struct Outcome {
        std::vector<std::string> log, report;
        std::string list;
    };
    auto scanWith = [&](const std::string& setting) {
        TempFolder work;
        std::string config = readFile(vault.nodeConfig());
        if (!setting.empty()) config += "\n[numbers]\nScanReadAhead=" + setting + "\n";
        writeFile(work.file("node.conf"), config);
        const ProcessResult result = run({binDir() + "/Trevalon", "--no-progress"}, work.path(),
                                         {{"VAULT_NODE_CONFIG", work.file("node.conf")}});
        EXPECT_EQ(result.exitCode, 0) << setting << result.output;
        Outcome outcome;
        outcome.log = logTexts(readFile(work.file("Trevalon.log")));
        if (!outcome.log.empty()) outcome.log.pop_back();  // the time the run took
        outcome.report = readLines(work.file("Output.csv"));
        if (!outcome.report.empty()) outcome.report.erase(outcome.report.begin());  // the start time
        outcome.list = readFile(work.file("UnknownTasks.txt"));
        return outcome;
    };
    const Outcome off = scanWith("0");
    ASSERT_FALSE(off.list.empty()) << "the faults defer tasks";
    ASSERT_FALSE(off.report.empty());
    for (const char* setting : {"1", "", "4096"}) {
        const Outcome on = scanWith(setting);
        EXPECT_EQ(on.log, off.log) << "ScanReadAhead=" << setting;
        EXPECT_EQ(on.report, off.report) << "ScanReadAhead=" << setting;
        EXPECT_EQ(on.list, off.list) << "ScanReadAhead=" << setting;
    }
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
