// A vault of two nodes on one catalogue on the PostgreSQL test server: one
// storage tree, a node configuration per host name, Trevalon run for both
// nodes at once while vaultadmin adds tasks. Each node's report holds exactly
// its own tasks, each once, in walk order.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Harness.h"
#include "PgTestServer.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

struct ExpectedTask {
    std::string node;
    std::string line;  // the report line without the vault GUID and host fields
};

// Adds `count` tasks to computer `computer` of `customer`, alternating
// between node1 and node2; every third one is at risk.
void addTasks(VaultDescription& d, std::vector<ExpectedTask>& expected, const std::string& customer,
              const std::string& computer, int count) {
    for (int k = 0; k < count; ++k) {
        const std::string name = customer + " task " + std::to_string(k);
        const std::string node = k % 2 == 0 ? "node1" : "node2";
        const bool atRisk = k % 3 == 0;
        d.task(customer, computer, name,
               {{1, atRisk ? "8.40" : "8.50", 3, atRisk ? std::vector<unsigned>{1} : std::vector<unsigned>{}, false}},
               node);
        expected.push_back({node, "\"" + customer + "-REF\",\"" + customer + "-LOC\",\"" + computer + "\",\"" + name +
                                      "\",\"" + (atRisk ? "AtRisk" : "Safe") + "\",\"\""});
    }
}

std::vector<std::string> linesOf(const std::vector<ExpectedTask>& tasks, const std::string& node,
                                 const std::string& prefix) {
    std::vector<std::string> lines;
    for (const ExpectedTask& task : tasks)
        if (task.node == node) lines.push_back(prefix + task.line);
    return lines;
}

// The vault GUID field of a run line.
std::string vaultGuidOf(const std::string& runLine) { return runLine.substr(0, runLine.find(',')); }

class ScanSeveralNodes : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = SqlCatalogueTest::createPgDatabase();
        connection_ = SqlCatalogueTest::pgServerConninfo() + " dbname=" + database_;
    }
    void TearDown() override { SqlCatalogueTest::dropPgDatabase(database_); }
    std::string database_, connection_;
};

TEST_F(ScanSeveralNodes, EachNodeChecksExactlyItsOwnTasksWhileTasksAreAdded) {
    VaultDescription initial("node1");
    initial.node("node2");
    std::vector<ExpectedTask> before;
    for (const char* customer : {"Acme", "Bolt", "Cove"}) {
        addTasks(initial, before, customer, std::string(customer) + "-pc", 4);
        addTasks(initial, before, customer, std::string(customer) + "-srv", 4);
    }
    TestVault vault(initial.json(), connection_);
    const std::string configs[] = {vault.nodeConfig(), vault.nodeConfigForHost("node2")};
    const std::string nodes[] = {"node1", "node2"};

    VaultDescription more("node1");
    more.node("node2");
    std::vector<ExpectedTask> added;
    addTasks(more, added, "Late", "late-pc", 12);
    writeFile(vault.root() + "/more.json", more.json());

    // Both scans and the addition run at the same time.
    TempFolder work[2];
    ChildProcess adder({binDir() + "/vaultadmin", "add-tasks", "--description", vault.root() + "/more.json"},
                       vault.root(), vault.environment());
    std::vector<std::unique_ptr<ChildProcess>> scans;
    for (int n = 0; n < 2; ++n)
        scans.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{binDir() + "/Trevalon"},
                                                       work[n].path(),
                                                       std::map<std::string, std::string>{{"VAULT_NODE_CONFIG", configs[n]}}));
    const ProcessResult addition = adder.wait();
    ASSERT_EQ(addition.exitCode, 0) << addition.output;

    for (int n = 0; n < 2; ++n) {
        const ProcessResult scan = scans[n]->wait();
        ASSERT_EQ(scan.exitCode, 0) << nodes[n] << ": " << scan.output;
        const std::vector<std::string> report = readLines(work[n].file("Output.csv"));
        ASSERT_GE(report.size(), 1u) << nodes[n];
        const std::string prefix = vaultGuidOf(report[0]) + ",\"" + nodes[n] + "\",";
        EXPECT_EQ(report[0].rfind(prefix + "\"__NumberOfTasksInVault\",\"", 0), 0u) << report[0];

        // Every task of this node that was there before the scan, in walk
        // order; then, of the tasks added meanwhile, those the walk met: a
        // leading part of this node's added tasks (each listing is one
        // consistent read, and tasks are added in order).
        const std::vector<std::string> own = linesOf(before, nodes[n], prefix);
        const std::vector<std::string> ownAdded = linesOf(added, nodes[n], prefix);
        ASSERT_GE(report.size(), 1 + own.size()) << nodes[n];
        ASSERT_LE(report.size(), 1 + own.size() + ownAdded.size()) << nodes[n];
        for (size_t i = 0; i < own.size(); ++i) EXPECT_EQ(report[1 + i], own[i]) << nodes[n] << " line " << 1 + i;
        for (size_t i = 1 + own.size(); i < report.size(); ++i)
            EXPECT_EQ(report[i], ownAdded[i - 1 - own.size()]) << nodes[n] << " line " << i;
        EXPECT_EQ(readFile(work[n].file("UnknownTasks.txt")), "") << nodes[n];
    }

    // Once the addition is done, a scan of each node, again at the same
    // time, checks every task of its own: none lost, none twice.
    scans.clear();
    for (int n = 0; n < 2; ++n)
        scans.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{binDir() + "/Trevalon"},
                                                       work[n].path(),
                                                       std::map<std::string, std::string>{{"VAULT_NODE_CONFIG", configs[n]}}));
    for (int n = 0; n < 2; ++n) {
        const ProcessResult scan = scans[n]->wait();
        ASSERT_EQ(scan.exitCode, 0) << nodes[n] << ": " << scan.output;
        const std::vector<std::string> report = readLines(work[n].file("Output.csv"));
        ASSERT_GE(report.size(), 1u);
        const std::string prefix = vaultGuidOf(report[0]) + ",\"" + nodes[n] + "\",";
        EXPECT_EQ(report[0].rfind(prefix + "\"__NumberOfTasksInVault\",\"36\",\"", 0), 0u) << report[0];
        std::vector<std::string> expected = {report[0]};
        for (const auto& line : linesOf(before, nodes[n], prefix)) expected.push_back(line);
        for (const auto& line : linesOf(added, nodes[n], prefix)) expected.push_back(line);
        EXPECT_EQ(report, expected) << nodes[n];
        EXPECT_TRUE(readFile(work[n].file("Trevalon.log")).find("Finished checking for 36 tasks...") !=
                    std::string::npos);
        EXPECT_EQ(readFile(work[n].file("UnknownTasks.txt")), "") << nodes[n];
    }
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
