// End-to-end runs of the real Trevalon program on vaults built by vaultadmin.
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Harness.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

struct ScanOutcome {
    ProcessResult process;
    std::vector<std::string> report;
    std::string unknownTasks;
    bool unknownTasksExists = false;
    std::string log;
};

ScanOutcome scan(const TestVault& vault, const TempFolder& work) {
    ScanOutcome outcome;
    outcome.process = runTrevalon(vault, work.path());
    outcome.report = readLines(work.file("Output.csv"));
    outcome.unknownTasksExists = fileExists(work.file("UnknownTasks.txt"));
    outcome.unknownTasks = readFile(work.file("UnknownTasks.txt"));
    outcome.log = readFile(work.file("Trevalon.log"));
    return outcome;
}

// The task line of `taskName`, or "" when the report has none.
std::string taskLine(const ScanOutcome& outcome, const std::string& taskName) {
    for (const std::string& line : outcome.report) {
        if (line.find(",\"" + taskName + "\",\"") != std::string::npos) return line;
    }
    return "";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<SafesetSpec> safeSafesets() { return {{1, "8.50", 4, {2}, false}, {2, "8.40", 4, {}, false}}; }

// A vault with one task of every outcome the check can reach.
VaultDescription mixedVault() {
    // This node runs as "node1" and is "NODE1" in the catalogue: host names
    // differing only in case are the same node.
    VaultDescription d("node1", "NODE1");
    d.node("node2");
    d.task("Acme", "acme-pc", "Safe task", safeSafesets());
    d.task("Acme", "acme-pc", "At risk 3-5-7",
           {{3, "8.40", 4, {}, true}, {5, "8.40", 6, {4}, false}, {7, "8.40", 4, {1}, true}});
    d.task("Acme", "acme-pc", "Version 8.41", {{1, "8.41", 5, {0, 1}, false}});
    d.task("Acme", "acme-pc", "Empty container", {{1, "8.40", 0, {}, false}});
    d.task("Acme", "acme-srv", "Empty version", {{1, "", 3, {0}, false}});
    d.task("Acme", "acme-srv", "Version 80.1", {{1, "80.1", 3, {0}, false}});
    d.task("Bolt", "bolt-pc", "Two at risk", {{4, "8.0", 3, {2}, false}, {6, "8.31", 3, {0}, false}});
    d.task("Bolt", "bolt-pc", "Offline but safe", {{1, "8.40", 3, {}, false}, {2, "8.40", 3, {1}, true}});
    d.task("Bolt", "bolt-pc", "Quote \"q\" task", {{1, "7.50", 3, {1}, false}});
    d.task("Bolt", "bolt-pc", "Other node", {{1, "8.40", 3, {1}, false}}, "node2");
    d.task("Bolt", "bolt-pc", "Case node", {{1, "8.40", 3, {1}, false}}, "NODE1");
    d.task("Bolt", "bolt-pc", "Second other node", {{1, "8.40", 3, {1}, false}}, "node2");
    return d;
}

TEST(ScanEndToEnd, InitialPassReportsEveryOutcome) {
    VaultDescription description = mixedVault();
    TestVault vault(description.json());
    vault.setHostName("node1");  // the catalogue spells this node "NODE1"
    TempFolder work;
    ScanOutcome outcome = scan(vault, work);
    ASSERT_EQ(outcome.process.exitCode, 0) << outcome.process.output;

    const struct {
        const char* task;
        const char* verdict;
        const char* offline;
    } expected[] = {
        {"Safe task", "Safe", ""},
        {"At risk 3-5-7", "AtRisk", "OfflineDataDetected"},
        {"Version 8.41", "Safe", ""},
        {"Empty container", "Safe", ""},
        {"Empty version", "Safe", ""},
        {"Version 80.1", "Safe", ""},
        {"Two at risk", "AtRisk", ""},
        {"Offline but safe", "Safe", "OfflineDataDetected"},
        {"Quote \"q\" task", "Safe", ""},
        {"Case node", "AtRisk", ""},
    };
    ASSERT_EQ(outcome.report.size(), 1 + std::size(expected)) << outcome.process.output;
    EXPECT_TRUE(contains(outcome.report[0], ",\"node1\",\"__NumberOfTasksInVault\",\"12\",\"")) << outcome.report[0];
    for (size_t i = 0; i < std::size(expected); ++i) {
        const std::string& line = outcome.report[i + 1];
        EXPECT_TRUE(contains(line, std::string(",\"") + expected[i].task + "\",\"" + expected[i].verdict + "\",\"" +
                                       expected[i].offline + "\""))
            << line;
    }
    EXPECT_TRUE(contains(outcome.report[1], "\"Acme-REF\",\"Acme-LOC\",\"acme-pc\",\"Safe task\""));
    EXPECT_EQ(taskLine(outcome, "Other node"), "");
    EXPECT_EQ(outcome.unknownTasks, "");
    EXPECT_TRUE(outcome.unknownTasksExists);

    EXPECT_TRUE(contains(outcome.log, "Tool version: 8.00.7416"));
    EXPECT_TRUE(contains(outcome.log, "Vault version: 8.50.0000"));
    EXPECT_TRUE(contains(outcome.log, "Initial checking for tasks affected by KQ-6157"));
    EXPECT_TRUE(contains(outcome.log, "Safeset Number 3 is unavailable and will not be processed."));
    EXPECT_FALSE(contains(outcome.log, "Safeset Number 7 is unavailable"));
    EXPECT_TRUE(contains(outcome.log, "Checking task Other node"));
    EXPECT_TRUE(contains(outcome.log, "* Unable to check task Other node because it's bound to a different node node2"));
    EXPECT_TRUE(contains(outcome.log, "      - At risk 3-5-7 is NOT SAFE to migrate"));
    EXPECT_TRUE(contains(outcome.log, "      + Safe task is safe to migrate"));
    EXPECT_TRUE(contains(outcome.log, "Finished checking for 12 tasks..."));

    // Marker files lie beside the synchronisation files of at-risk tasks only.
    for (const char* name : {"At risk 3-5-7", "Two at risk", "Case node"}) {
        std::string folder = vault.syncFolder(name);
        EXPECT_TRUE(fileExists(folder + "ombrik.exe.config")) << name;
        EXPECT_TRUE(fileExists(folder + "sorvendel.exe.config")) << name;
    }
    for (const char* name : {"Safe task", "Version 8.41", "Offline but safe", "Other node"}) {
        EXPECT_FALSE(fileExists(vault.syncFolder(name) + "ombrik.exe.config")) << name;
    }
}

TEST(ScanEndToEnd, ExistingMarkerFilesAreTruncated) {
    VaultDescription d;
    d.task("Acme", "pc", "Risky", {{1, "8.40", 2, {1}, false}});
    TestVault vault(d.json());
    const std::string folder = vault.syncFolder("Risky");
    writeFile(folder + "ombrik.exe.config", "old content");
    writeFile(folder + "sorvendel.exe.config", "old content");
    TempFolder work;
    ASSERT_EQ(scan(vault, work).process.exitCode, 0);
    EXPECT_EQ(readFile(folder + "ombrik.exe.config"), "");
    EXPECT_EQ(readFile(folder + "sorvendel.exe.config"), "");
}

TEST(ScanEndToEnd, LockedTaskIsDeferredAndRecheckedOnceFree) {
    VaultDescription d;
    d.task("Acme", "pc", "Busy", safeSafesets());
    d.task("Acme", "pc", "Idle", safeSafesets());
    TestVault vault(d.json());
    const unsigned busyId = vault.taskId("Busy");
    TempFolder work;
    {
        ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--config", vault.nodeConfig(), "--task-id",
                             std::to_string(busyId), "--seconds", "60"},
                            vault.root(), vault.environment());
        ASSERT_TRUE(holder.waitForOutput("holding", 20000)) << holder.wait().output;
        ScanOutcome first = scan(vault, work);
        ASSERT_EQ(first.process.exitCode, 0) << first.process.output;
        EXPECT_EQ(first.unknownTasks, std::to_string(busyId) + "|Busy\n");
        EXPECT_EQ(taskLine(first, "Busy"), "");
        EXPECT_NE(taskLine(first, "Idle"), "");
        EXPECT_TRUE(contains(first.log, "* Unable to check task Busy because it's being locked"));
        holder.kill(SIGKILL);
        holder.wait();
    }
    ScanOutcome second = scan(vault, work);
    ASSERT_EQ(second.process.exitCode, 0) << second.process.output;
    EXPECT_TRUE(contains(second.log, "Re-checking tasks that were not checked in previous attempt"));
    ASSERT_EQ(second.report.size(), 4u);  // run, Idle, run, Busy
    EXPECT_TRUE(contains(second.report[2], "__NumberOfTasksInVault"));
    EXPECT_NE(taskLine(second, "Busy"), "");
    EXPECT_EQ(second.unknownTasks, "");
}

TEST(ScanEndToEnd, RecheckListSelectsTasksByExactIdText) {
    VaultDescription d;
    d.task("Acme", "pc", "First", safeSafesets());
    d.task("Acme", "pc", "Second", safeSafesets());
    TestVault vault(d.json());
    const std::string first = std::to_string(vault.taskId("First"));
    const std::string second = std::to_string(vault.taskId("Second"));

    const struct {
        const char* name;
        std::string list;
        std::vector<std::string> checked;
    } cases[] = {
        {"one empty line", "\n", {}},
        {"id only", first + "\n", {"First"}},
        {"id with a bar in the name", first + "|a|b\n", {"First"}},
        {"CRLF line", second + "\r\n", {"Second"}},
        {"leading zero is another text", "0" + first + "\n", {}},
        {"binary junk", std::string("\x01\xff\0zz|\n\n\xfe", 9), {}},
        {"both", first + "|First\n" + second + "|Second\n", {"First", "Second"}},
    };
    for (const auto& c : cases) {
        TempFolder work;
        writeFile(work.file("Output.csv"), "earlier line\n");
        writeFile(work.file("UnknownTasks.txt"), c.list);
        ScanOutcome outcome = scan(vault, work);
        ASSERT_EQ(outcome.process.exitCode, 0) << c.name << outcome.process.output;
        ASSERT_GE(outcome.report.size(), 2u) << c.name;
        EXPECT_EQ(outcome.report[0], "earlier line") << c.name;
        EXPECT_TRUE(contains(outcome.report[1], "__NumberOfTasksInVault")) << c.name;
        EXPECT_EQ(outcome.report.size(), 2 + c.checked.size()) << c.name;
        for (const std::string& task : c.checked) EXPECT_NE(taskLine(outcome, task), "") << c.name << task;
        EXPECT_EQ(outcome.unknownTasks, "") << c.name;
        EXPECT_TRUE(contains(outcome.log, "Finished checking for " + std::to_string(c.checked.size()) + " tasks..."))
            << c.name;
    }
}

TEST(ScanEndToEnd, DamagedStorageDefersOnlyThatTask) {
    VaultDescription d;
    d.task("Acme", "pc", "Sync set damaged", safeSafesets());
    d.task("Acme", "pc", "Sync list damaged", safeSafesets());
    d.task("Acme", "pc", "Container damaged", safeSafesets());
    d.task("Acme", "pc", "Container truncated", safeSafesets());
    d.task("Acme", "pc", "Healthy", safeSafesets());
    TestVault vault(d.json());
    vault.damage(vault.syncSetFiles("Sync set damaged"), {"--flip", "20"});
    vault.damage({vault.syncListFile("Sync list damaged")}, {"--flip", "30"});
    vault.damage({vault.containerFile("Container damaged", 2)}, {"--flip", "10"});
    vault.damage({vault.containerFile("Container truncated", 2)}, {"--truncate", "100"});

    TempFolder work;
    ScanOutcome outcome = scan(vault, work);
    ASSERT_EQ(outcome.process.exitCode, 0) << outcome.process.output;
    EXPECT_NE(taskLine(outcome, "Healthy"), "");
    for (const char* name : {"Sync set damaged", "Sync list damaged", "Container damaged", "Container truncated"}) {
        EXPECT_EQ(taskLine(outcome, name), "") << name;
        EXPECT_TRUE(contains(outcome.unknownTasks, std::to_string(vault.taskId(name)) + "|" + name + "\n")) << name;
        EXPECT_TRUE(contains(outcome.log, std::string("-E-0003 Failed to process task ") + name + " due to error: "))
            << name;
    }
}

TEST(ScanEndToEnd, WalkEndingErrorKeepsTheRunLineAndDeletesTheList) {
    VaultDescription d;
    d.task("Acme", "pc", "Any", safeSafesets());
    TestVault vault(d.json());
    TempFolder work;
    writeFile(work.file("UnknownTasks.txt"), "1|Any\n");
    // The catalogue plug-in used here serves the vault and the task count but
    // fails on the customer listing, as the in-memory catalogue does.
    const std::string config = vault.nodeConfigWithPlugin("FailingCatalogue");
    ProcessResult result = run({binDir() + "/Trevalon"}, work.path(), {{"VAULT_NODE_CONFIG", config}});
    EXPECT_EQ(result.exitCode, 255) << result.output;
    std::vector<std::string> report = readLines(work.file("Output.csv"));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_TRUE(contains(report[0], "__NumberOfTasksInVault"));
    EXPECT_FALSE(fileExists(work.file("UnknownTasks.txt")));
    EXPECT_TRUE(contains(readFile(work.file("Trevalon.log")), "-I-0001 Unhandled exception caught: Not implemented"));
}

TEST(ScanEndToEnd, EmptyVaultWritesTheRunLine) {
    TestVault vault(VaultDescription().json());
    TempFolder work;
    ScanOutcome outcome = scan(vault, work);
    ASSERT_EQ(outcome.process.exitCode, 0) << outcome.process.output;
    ASSERT_EQ(outcome.report.size(), 1u);
    EXPECT_TRUE(contains(outcome.report[0], ",\"__NumberOfTasksInVault\",\"0\","));
    EXPECT_TRUE(contains(outcome.log, "Finished checking for 0 tasks..."));
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
