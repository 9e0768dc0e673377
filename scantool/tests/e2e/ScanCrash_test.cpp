// Kills the scan tool at many points of its runs and checks that no deferred
// task is ever forgotten: once the locks are gone and a run ends with an empty
// list, every task of this node has a task line in Output.csv.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Harness.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

const int kTasks = 300;

std::string taskName(int i) { return "Task-" + std::to_string(i); }

size_t finishedRuns(const TempFolder& work) {
    const std::string log = readFile(work.file("Trevalon.log"));
    size_t count = 0;
    for (size_t at = log.find("Finished checking for"); at != std::string::npos;
         at = log.find("Finished checking for", at + 1)) {
        ++count;
    }
    return count;
}

// Starts the scan tool and kills it after `delay`. A run that the kill ended
// before its walk ended (it logged no "Finished checking" line) must leave
// the list of unchecked tasks exactly as it was.
void killedRun(const TestVault& vault, const TempFolder& work, std::chrono::microseconds delay) {
    const std::string listBefore = readFile(work.file("UnknownTasks.txt"));
    const size_t finishedBefore = finishedRuns(work);
    ChildProcess child({binDir() + "/Trevalon"}, work.path(), vault.environment(), false);
    usleep(static_cast<useconds_t>(delay.count()));
    child.kill(SIGKILL);
    child.wait();
    if (finishedRuns(work) == finishedBefore) {
        EXPECT_EQ(readFile(work.file("UnknownTasks.txt")), listBefore) << "after a kill at " << delay.count() << " us";
    }
}

std::chrono::microseconds timedRun(const TestVault& vault, const TempFolder& work) {
    auto start = std::chrono::steady_clock::now();
    ProcessResult result = runTrevalon(vault, work.path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

TEST(ScanCrash, KilledRunsNeverLoseDeferredTasks) {
    VaultDescription description("node1");
    description.node("node2");
    std::set<std::string> ownTasks;
    for (int i = 0; i < kTasks; ++i) {
        const bool otherNode = i % 10 == 9;
        description.task("Customer-" + std::to_string(i % 7), "pc-" + std::to_string(i % 40), taskName(i),
                         {{1, "8.40", 8, {}, false}, {2, i % 3 == 0 ? "8.31" : "8.50", 8, {5}, false}},
                         otherNode ? "node2" : "node1");
        if (!otherNode) ownTasks.insert(taskName(i));
    }
    TestVault vault(description.json());

    // Other processes hold the locks of a few tasks for the first half.
    std::vector<std::unique_ptr<ChildProcess>> holders;
    for (int i : {3, 50, 51, 120, 299}) {
        holders.emplace_back(new ChildProcess({binDir() + "/vaultadmin", "hold-lock", "--config", vault.nodeConfig(),
                                               "--task-id", std::to_string(vault.taskId(taskName(i))),
                                               "--seconds", "600"},
                                              vault.root(), vault.environment()));
        ASSERT_TRUE(holders.back()->waitForOutput("holding", 20000)) << holders.back()->wait().output;
    }

    TempFolder timing;
    const std::chrono::microseconds fullRun = timedRun(vault, timing);
    std::mt19937 random(20261210);
    std::uniform_int_distribution<long> delay(0, fullRun.count());

    TempFolder work;
    // Initial passes killed at random points, then one that ends.
    for (int k = 0; k < 12; ++k) killedRun(vault, work, std::chrono::microseconds(delay(random)));
    ASSERT_EQ(runTrevalon(vault, work.path()).exitCode, 0);
    ASSERT_NE(readFile(work.file("UnknownTasks.txt")), "");

    // Re-check passes killed while the locks are still held, and after.
    TempFolder recheckTiming;
    writeFile(recheckTiming.file("UnknownTasks.txt"), readFile(work.file("UnknownTasks.txt")));
    const std::chrono::microseconds recheckRun = timedRun(vault, recheckTiming);
    std::uniform_int_distribution<long> recheckDelay(0, recheckRun.count());
    for (int k = 0; k < 12; ++k) killedRun(vault, work, std::chrono::microseconds(recheckDelay(random)));
    holders.clear();  // kills the holders: their locks die with them
    for (int k = 0; k < 12; ++k) killedRun(vault, work, std::chrono::microseconds(recheckDelay(random)));

    int runs = 0;
    for (; runs < 10; ++runs) {
        ProcessResult result = runTrevalon(vault, work.path());
        ASSERT_EQ(result.exitCode, 0) << result.output;
        if (readFile(work.file("UnknownTasks.txt")).empty()) break;
    }
    ASSERT_LT(runs, 10) << "the list of unchecked tasks never emptied";

    std::set<std::string> reported;
    for (const std::string& line : readLines(work.file("Output.csv"))) {
        for (const std::string& name : ownTasks) {
            if (line.find(",\"" + name + "\",\"") != std::string::npos) reported.insert(name);
        }
    }
    std::vector<std::string> missing;
    for (const std::string& name : ownTasks) {
        if (!reported.count(name)) missing.push_back(name);
    }
    EXPECT_TRUE(missing.empty()) << missing.size() << " tasks of this node have no task line, first: " << missing[0];
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
