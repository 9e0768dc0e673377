// End-to-end runs of the real Trevalon program under faults an administrator,
// a full disk or an attacker may cause: a second run in the same folder,
// FIFOs and links in storage folders, a list that cannot be replaced, a full
// file system, a very long working folder and an unknown vault.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Harness.h"
#include "VaultDescription.h"
#include "VaultFiles.h"

namespace Trevalon {
namespace Testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<SafesetSpec> safeSafesets() { return {{1, "8.50", 4, {2}, false}, {2, "8.40", 4, {}, false}}; }
std::vector<SafesetSpec> riskySafesets() { return {{1, "8.40", 4, {2}, false}}; }

// Runs the scan tool in `work`; a run still going after `seconds` is killed
// and reported as exit code -9, so a hang fails the test instead of the suite.
ProcessResult scanWithDeadline(const std::vector<std::string>& argv, const std::string& work,
                               const std::map<std::string, std::string>& environment, int seconds = 60) {
    ChildProcess child(argv, work, environment);
    child.waitForOutput("\x01 output that never comes", seconds * 1000);
    child.kill(SIGKILL);  // nothing happens to a process that has ended
    return child.wait();
}

ProcessResult scanWithDeadline(const TestVault& vault, const std::string& work) {
    return scanWithDeadline({binDir() + "/Trevalon"}, work, vault.environment());
}

std::string taskLineOf(const std::string& work, const std::string& taskName) {
    for (const std::string& line : readLines(work + "/Output.csv"))
        if (contains(line, ",\"" + taskName + "\",\"")) return line;
    return "";
}

void replaceWithFifo(const std::string& path) {
    ASSERT_EQ(::unlink(path.c_str()), 0) << path;
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
}

TEST(ScanFaults, ASecondRunInTheSameFolderTouchesNothing) {
    VaultDescription d;
    d.task("Acme", "pc", "Any", safeSafesets());
    TestVault vault(d.json());
    TempFolder work;
    const std::string list = std::to_string(vault.taskId("Any")) + "|Any\n";
    writeFile(work.file("UnknownTasks.txt"), list);
    writeFile(work.file("Output.csv"), "earlier line\n");
    {
        // What a running scan holds on its working folder.
        auto running = VaultFiles::FileSystem::real().openLockFile(work.path(), VaultFiles::LockTarget::Folder);
        ASSERT_TRUE(running->tryLock());
        const ProcessResult second = scanWithDeadline(vault, work.path());
        EXPECT_EQ(second.exitCode, 3) << second.output;
        EXPECT_TRUE(contains(second.output, "-E-0003 Another run of Trevalon is working in this folder")) << second.output;
        EXPECT_EQ(readFile(work.file("UnknownTasks.txt")), list);
        EXPECT_EQ(readFile(work.file("Output.csv")), "earlier line\n");
        EXPECT_FALSE(fileExists(work.file("Trevalon.log")));
    }
    const ProcessResult alone = scanWithDeadline(vault, work.path());
    EXPECT_EQ(alone.exitCode, 0) << alone.output;
    EXPECT_NE(taskLineOf(work.path(), "Any"), "");
}

// A FIFO in place of a storage file used to block the whole scan forever;
// a link or FIFO at a marker's name made the tool write through it. Each
// such task is deferred (or, for markers, keeps its verdict) and the walk
// goes on.
TEST(ScanFaults, SpecialFilesInStorageNeverBlockOrRedirectTheScan) {
    VaultDescription d;
    d.task("Acme", "pc", "Fifo sync list", riskySafesets());
    d.task("Acme", "pc", "Fifo container", riskySafesets());
    d.task("Acme", "pc", "Fifo sync set", riskySafesets());
    d.task("Acme", "pc", "Planted markers", riskySafesets());
    d.task("Acme", "pc", "Big safeset number", {{3000000000u, "8.40", 3, {}, true}});
    d.task("Acme", "pc", "Healthy", safeSafesets());
    TestVault vault(d.json());
    replaceWithFifo(vault.syncListFile("Fifo sync list"));
    replaceWithFifo(vault.containerFile("Fifo container", 1));
    for (const std::string& file : vault.syncSetFiles("Fifo sync set")) replaceWithFifo(file);
    const std::string markers = vault.syncFolder("Planted markers");
    const std::string victim = vault.root() + "/victim";
    writeFile(victim, "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (markers + "ombrik.exe.config").c_str()), 0);
    ASSERT_EQ(::mkfifo((markers + "sorvendel.exe.config").c_str(), 0644), 0);

    TempFolder work;
    const ProcessResult result = scanWithDeadline(vault, work.path());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(work.file("Trevalon.log"));
    const std::string list = readFile(work.file("UnknownTasks.txt"));
    const struct {
        const char* task;
        std::string file;
    } deferred[] = {
        {"Fifo sync list", vault.syncListFile("Fifo sync list")},
        {"Fifo container", vault.containerFile("Fifo container", 1)},
        {"Fifo sync set", vault.syncSetFiles("Fifo sync set")[0]},
    };
    for (const auto& c : deferred) {
        EXPECT_EQ(taskLineOf(work.path(), c.task), "") << c.task;
        EXPECT_TRUE(contains(list, std::to_string(vault.taskId(c.task)) + "|" + c.task + "\n")) << c.task;
        EXPECT_TRUE(contains(log, std::string("-E-0003 Failed to process task ") + c.task)) << c.task;
        EXPECT_TRUE(contains(log, c.file + ": it is not a regular file")) << c.task << "\n" << log;
    }
    EXPECT_TRUE(contains(taskLineOf(work.path(), "Planted markers"), "\"AtRisk\""));
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_TRUE(contains(log, "Safeset Number 3000000000 is unavailable and will not be processed.")) << log;
    EXPECT_NE(taskLineOf(work.path(), "Healthy"), "");
}

TEST(ScanFaults, AFifoAsTheTaskLockFileDefersTheTask) {
    VaultDescription d;
    d.task("Acme", "pc", "Only", safeSafesets());
    TestVault vault(d.json());
    TempFolder first;
    ASSERT_EQ(scanWithDeadline(vault, first.path()).exitCode, 0);  // leaves the task's lock file
    const std::string locks = vault.root() + "/vault/locks";
    const std::string found = run({"/usr/bin/find", locks, "-name", "*.lock"}, vault.root(), {}).output;
    const std::string lockFile = found.substr(0, found.find('\n'));
    ASSERT_FALSE(lockFile.empty());
    replaceWithFifo(lockFile);

    TempFolder work;
    const ProcessResult result = scanWithDeadline(vault, work.path());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string log = readFile(work.file("Trevalon.log"));
    EXPECT_TRUE(contains(log, "-E-0003 Cannot open lock file " + lockFile)) << log;
    EXPECT_TRUE(contains(log, "it is not a regular file")) << log;
    EXPECT_EQ(readFile(work.file("UnknownTasks.txt")), std::to_string(vault.taskId("Only")) + "|Only\n");
}

// The new list cannot replace the old one (a folder holds its name): the
// run says so and ends with exit code 4, instead of reporting success.
TEST(ScanFaults, AListThatCannotBeReplacedFailsTheRun) {
    VaultDescription d;
    d.task("Acme", "pc", "Any", safeSafesets());
    TestVault vault(d.json());
    TempFolder work;
    ASSERT_EQ(::mkdir(work.file("UnknownTasks.txt").c_str(), 0755), 0);
    writeFile(work.file("UnknownTasks.txt") + "/inside", "x");
    const ProcessResult result = scanWithDeadline(vault, work.path());
    EXPECT_EQ(result.exitCode, 4) << result.output;
    const std::string log = readFile(work.file("Trevalon.log"));
    EXPECT_TRUE(contains(log, "-E-0003 UnknownTasks.txt was not replaced; the list of the previous run is kept: "
                              "cannot rename "))
        << log;
    EXPECT_TRUE(fileExists(work.file("UnknownTasks.txt") + "/inside"));
}

// A full file system under the working folder (a small tmpfs in a namespace
// of the test's own): the report lines and the list line cannot be written.
// The list of the previous run stays whole and the run ends with exit code 4.
// (Trevalon's own log cannot be written either: its lines go to standard
// error, which the test reads.)
TEST(ScanFaults, AFullDiskKeepsTheListAndFailsTheRun) {
    if (run({"/usr/bin/unshare", "-rm", "/bin/true"}, "/", {}).exitCode != 0)
        GTEST_SKIP() << "needs user and mount namespaces (unshare -rm) to mount a small tmpfs";
    VaultDescription d;
    d.task("Acme", "pc", "Locked", safeSafesets());
    d.task("Acme", "pc", "Free", safeSafesets());
    TestVault vault(d.json());
    const unsigned lockedId = vault.taskId("Locked");
    const std::string list = std::to_string(lockedId) + "|Locked\n" + std::to_string(vault.taskId("Free")) + "|Free\n";
    TempFolder work;
    writeFile(work.file("list"), list);
    // A report that fills its page exactly, so its next line needs a new one.
    const std::string earlier = std::string(4095, 'e') + "\n";
    writeFile(work.file("earlier"), earlier);
    ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--config", vault.nodeConfig(), "--task-id",
                         std::to_string(lockedId), "--seconds", "60"},
                        vault.root(), vault.environment());
    ASSERT_TRUE(holder.waitForOutput("holding", 20000)) << holder.wait().output;

    const std::string full = work.file("full");
    ASSERT_EQ(::mkdir(full.c_str(), 0755), 0);
    const std::string script =
        "set -u; mount -t tmpfs -o size=64k tmpfs '" + full + "' || exit 100; cd '" + full +
        "'; cp ../list UnknownTasks.txt; cp ../earlier Output.csv;"
        " dd if=/dev/zero of=filler bs=1k count=1000 2>/dev/null; "
        "'" + binDir() + "/Trevalon'; echo \"exit=$?\"; echo '--list'; cat UnknownTasks.txt; echo '--report';"
        " cat Output.csv; echo '--end'";
    const ProcessResult result =
        scanWithDeadline({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", script}, work.path(), vault.environment());
    holder.kill(SIGKILL);
    holder.wait();
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string& out = result.output;
    EXPECT_TRUE(contains(out, "exit=4\n")) << out;
    EXPECT_TRUE(contains(out, "--list\n" + list + "--report\n" + earlier + "--end")) << out;
    EXPECT_TRUE(contains(out, "-E-0003 Output.csv is incomplete: cannot write Output.csv: No space left on device"))
        << out;
    EXPECT_TRUE(contains(out, "-E-0003 UnknownTasks.txt was not replaced; the list of the previous run is kept")) << out;
}

// A working folder whose path does not fit 260 bytes: the list is read from
// the folder it is written to, so the deferred task is re-checked.
TEST(ScanFaults, ALongWorkingFolderReadsTheListWhereItWritesIt) {
    VaultDescription d;
    d.task("Acme", "pc", "First", safeSafesets());
    d.task("Acme", "pc", "Second", safeSafesets());
    TestVault vault(d.json());
    TempFolder top;
    const std::string work = top.path() + "/" + std::string(150, 'a') + "/" + std::string(150, 'b');
    ASSERT_GE(work.size(), 300u);
    ASSERT_EQ(run({"/bin/mkdir", "-p", work}, "/", {}).exitCode, 0);
    writeFile(work + "/UnknownTasks.txt", std::to_string(vault.taskId("Second")) + "|Second\n");
    const ProcessResult result = scanWithDeadline(vault, work);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::vector<std::string> report = readLines(work + "/Output.csv");
    ASSERT_EQ(report.size(), 2u) << result.output;
    EXPECT_NE(taskLineOf(work, "Second"), "");
    EXPECT_EQ(readFile(work + "/UnknownTasks.txt"), "");
    EXPECT_TRUE(contains(readFile(work + "/Trevalon.log"), "Re-checking tasks that were not checked in previous attempt"));
}

TEST(ScanFaults, AnUnknownVaultIsAWalkEndingError) {
    VaultDescription d;
    d.task("Acme", "pc", "Any", safeSafesets());
    TestVault vault(d.json());
    std::string config;
    for (const std::string& line : readLines(vault.nodeConfig()))
        config += (line.rfind("VaultID=", 0) == 0 ? std::string("VaultID=no-such-vault") : line) + "\n";
    writeFile(vault.root() + "/unknown-vault.conf", config);
    TempFolder work;
    writeFile(work.file("UnknownTasks.txt"), "1|Any\n");
    const ProcessResult result =
        scanWithDeadline({binDir() + "/Trevalon"}, work.path(), {{"VAULT_NODE_CONFIG", vault.root() + "/unknown-vault.conf"}});
    EXPECT_EQ(result.exitCode, 255) << result.output;
    EXPECT_TRUE(contains(readFile(work.file("Trevalon.log")),
                         "-I-0001 Unhandled exception caught: the vault 'no-such-vault' ([database] VaultID) cannot be "
                         "found in the catalogue"))
        << readFile(work.file("Trevalon.log"));
    EXPECT_FALSE(fileExists(work.file("UnknownTasks.txt")));
    EXPECT_EQ(readLines(work.file("Output.csv")).size(), 0u);
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
