// poolcommand scrub on vaults built by vaultadmin: what it verifies, in what
// order, what it remembers, and how it stops.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "Harness.h"
#include "JobSubmission.h"
#include "LocalSettings.h"
#include "PoolScrub/ScrubRecord.h"
#include "VaultDescription.h"
#include "VaultFiles.h"
#include "VaultSettings.h"

namespace {

using Trevalon::Testing::ChildProcess;
using Trevalon::Testing::ProcessResult;
using Trevalon::Testing::SafesetSpec;
using Trevalon::Testing::binDir;

const int kGenerousMs = 120000;  // room for a loaded sanitizer build

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The "verified task <id> pool <guid>" lines of a run, as "<id> <guid>".
std::multiset<std::string> verifiedPools(const std::string& output) {
    std::multiset<std::string> pools;
    size_t at = 0;
    while ((at = output.find("verified task ", at)) != std::string::npos) {
        const size_t begin = at + 14;
        const size_t end = output.find(':', begin);
        std::string item = output.substr(begin, end - begin);
        const size_t word = item.find(" pool ");
        pools.insert(item.substr(0, word) + " " + item.substr(word + 6));
        at = end;
    }
    return pools;
}

nlohmann::json summaryOf(const ProcessResult& result) {
    const size_t begin = result.output.find("\n{\n") != std::string::npos ? result.output.find("\n{\n") + 1
                                                                          : result.output.find("{\n");
    if (begin == std::string::npos) return nlohmann::json();
    try {
        return nlohmann::json::parse(result.output.substr(begin));
    } catch (const std::exception&) {
        return nlohmann::json();
    }
}

class Scrub : public ::testing::Test {
public:
    // `tasks` tasks of this node with two safesets each, and one task of
    // another node, which the scrub leaves alone.
    void build(int tasks) {
        Trevalon::Testing::VaultDescription description("node1");
        description.node("node2");
        for (int n = 0; n < tasks; ++n)
            description.task("Customer A", "pc-" + std::to_string(n % 3), "Task" + std::to_string(n),
                             {{1, "8.50", 40, {}, false}, {2, "8.50", 40, {}, false}});
        description.task("Customer B", "pc-9", "Elsewhere", {{1, "8.50", 4, {}, false}}, "node2");
        vault_.reset(new Trevalon::Testing::TestVault(description.json()));
        ::setenv("VAULT_NODE_CONFIG", vault_->nodeConfig().c_str(), 1);
        NodeConfig::set("node", "SpoolFolder", root() + "/spool");
        NodeConfig::set("node", "StateFolder", stateFolder());
        for (int n = 0; n < tasks; ++n) {
            const DataObjects::TaskDataObject t = task("Task" + std::to_string(n));
            allPools_.insert(std::to_string(t.id) + " " + t.poolGuid);
        }
    }
    void SetUp() override { build(3); }

    std::string root() const { return vault_->root(); }
    std::string stateFolder() const { return root() + "/state"; }
    const Trevalon::Testing::TestVault& vault() const { return *vault_; }

    DataObjects::TaskDataObject task(const std::string& name) const {
        DatabaseInterfaces::DbInterfaceManager manager;
        DataObjects::TaskDataObject record;
        if (!manager.administratorInterface(true)->getTask(vault_->taskId(name), record))
            throw std::runtime_error("no task " + name);
        return record;
    }
    std::string poolOf(const std::string& name) const {
        const DataObjects::TaskDataObject t = task(name);
        return std::to_string(t.id) + " " + t.poolGuid;
    }

    std::vector<std::string> scrubArgs(std::vector<std::string> args) const {
        std::vector<std::string> argv = {binDir() + "/poolcommand", "scrub", "--config", vault().nodeConfig(),
                                         "--log-folder", root() + "/logs"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    ProcessResult scrub(std::vector<std::string> args = {}) const {
        return Trevalon::Testing::run(scrubArgs(std::move(args)), root(), vault().environment());
    }
    PoolScrub::Record record() const {
        std::string warning;
        PoolScrub::Record r = PoolScrub::RecordStore(VaultFiles::FileSystem::real(), stateFolder()).load(warning);
        EXPECT_EQ(warning, "");
        return r;
    }

    std::unique_ptr<Trevalon::Testing::TestVault> vault_;
    std::multiset<std::string> allPools_;
};

TEST_F(Scrub, VerifiesEveryPoolOfThisNodeOnceAndRemembersIt) {
    ProcessResult result = scrub({"--no-progress"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(verifiedPools(result.output), allPools_) << result.output;
    EXPECT_TRUE(contains(result.output, "pools verified: 3 of 3 due (3 pools of 3 tasks on this node)")) << result.output;
    EXPECT_TRUE(contains(result.output, "left for the next run: 0\n")) << result.output;

    const PoolScrub::Record r = record();
    EXPECT_TRUE(r.passComplete);
    ASSERT_EQ(r.pools.size(), 3u);
    for (const auto& item : r.pools) {
        EXPECT_EQ(item.second.result, PoolScrub::Result::Ok);
        // The sync list, both containers and the (absent) index.
        ASSERT_EQ(item.second.files.size(), 4u);
        EXPECT_EQ(item.second.files[0].name, "synclist.vsl");
        EXPECT_EQ(item.second.files[1].name, "00000001.vfl");
        EXPECT_TRUE(item.second.files[1].present);
        EXPECT_GT(item.second.files[1].size, 0u);
        EXPECT_EQ(item.second.files[3].name, "pool.vix");
    }
}

TEST_F(Scrub, DamageQueuesTheSameRepairAndSuspectMarkAsRun) {
    const DataObjects::TaskDataObject damaged = task("Task1");
    vault().damage({vault().containerFile("Task1", 2)}, {"--flip", "100"});
    ProcessResult result = scrub({"--json"});
    ASSERT_EQ(result.exitCode, 5) << result.output;
    const nlohmann::json summary = summaryOf(result);
    ASSERT_TRUE(summary.is_object()) << result.output;
    EXPECT_EQ(summary["poolsVerified"], 3);
    EXPECT_EQ(summary["errorsFound"], 1);
    EXPECT_EQ(summary["jobsQueued"], 1);
    EXPECT_EQ(summary["tasksMarkedSuspect"], 1);
    EXPECT_EQ(summary["problems"][0]["task"], damaged.id);
    EXPECT_TRUE(contains(summary["problems"][0]["text"], "pool error Carrowen CRC Error")) << result.output;
    std::vector<JobQueue::Job> jobs = JobQueue::listJobs();
    ASSERT_EQ(jobs.size(), 1u);
    const std::map<std::string, std::string> mark = LocalSettings(damaged).values();
    EXPECT_EQ(mark.at("SUSPECT"), "1");
    EXPECT_EQ(mark.at("SUSPECT_COUNT"), "1");
    EXPECT_EQ(record().pools.at(PoolScrub::PoolKey(damaged.id, damaged.poolGuid)).result, PoolScrub::Result::Damaged);

    // poolcommand run on the same damage: the same job and the same mark.
    const ProcessResult run = Trevalon::Testing::run(
        {binDir() + "/poolcommand", "run", "--task-id", std::to_string(damaged.id), "--operation", "verify", "--config",
         vault().nodeConfig(), "--log-folder", root() + "/logs"},
        root(), vault().environment());
    EXPECT_EQ(run.exitCode, 5) << run.output;  // damage found and handled
    jobs = JobQueue::listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[1].command, jobs[0].command);
    EXPECT_EQ(jobs[0].command, "pellatrix ssirepaircrcall task " + std::to_string(damaged.id));
    const std::map<std::string, std::string> again = LocalSettings(damaged).values();
    EXPECT_EQ(again.at("SUSPECT_COUNT"), "2");
    EXPECT_EQ(again.at("SUSPECT_REASON"), mark.at("SUSPECT_REASON"));
    EXPECT_EQ(again.at("SUSPECT_MANUAL"), mark.at("SUSPECT_MANUAL"));

    // An unresolved failure comes before the pools verified sound.
    result = scrub({"--no-progress"});
    const size_t first = result.output.find("verifying task ");
    ASSERT_NE(first, std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("verifying task " + std::to_string(damaged.id) + " pool "), first) << result.output;
}

TEST_F(Scrub, ABudgetStopsAfterAPoolAndTheNextRunGoesOn) {
    ProcessResult first = scrub({"--max-duration", "0s"});
    ASSERT_EQ(first.exitCode, 0) << first.output;
    const std::multiset<std::string> one = verifiedPools(first.output);
    EXPECT_EQ(one.size(), 1u) << first.output;
    EXPECT_TRUE(contains(first.output, "left for the next run: 2 (time budget spent)")) << first.output;
    EXPECT_FALSE(record().passComplete);

    ProcessResult second = scrub();
    ASSERT_EQ(second.exitCode, 0) << second.output;
    std::multiset<std::string> all = verifiedPools(second.output);
    EXPECT_EQ(all.size(), 2u) << second.output;
    all.insert(one.begin(), one.end());
    EXPECT_EQ(all, allPools_);  // each pool read once over the two runs
    EXPECT_TRUE(record().passComplete);

    // The pass is complete: a run without --max-age starts the next one.
    ProcessResult third = scrub();
    EXPECT_EQ(verifiedPools(third.output), allPools_) << third.output;
}

TEST_F(Scrub, MaxAgeLeavesOutRecentPoolsButNotChangedOrNewOnes) {
    ASSERT_EQ(scrub().exitCode, 0);
    ProcessResult result = scrub({"--max-age", "1d"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(verifiedPools(result.output).empty()) << result.output;
    EXPECT_TRUE(contains(result.output, "pools verified: 0 of 0 due")) << result.output;

    // A container rewritten in place (same inode and size, new time).
    const std::string container = vault().containerFile("Task2", 1);
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, container.c_str(), times, 0), 0);
    result = scrub({"--max-age", "1d"});
    EXPECT_EQ(verifiedPools(result.output), std::multiset<std::string>{poolOf("Task2")}) << result.output;

    // A task deleted from the catalogue drops out of the record.
    const DataObjects::TaskDataObject gone = task("Task0");
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        manager.administratorInterface(true)->removeTask(gone.id);
    }
    result = scrub({"--max-age", "1d", "--json"});
    EXPECT_EQ(summaryOf(result)["droppedFromRecord"], 1) << result.output;
    EXPECT_EQ(summaryOf(result)["poolsVerified"], 0) << result.output;
    const PoolScrub::Record r = record();
    EXPECT_EQ(r.pools.size(), 2u);
    EXPECT_EQ(r.pools.count(PoolScrub::PoolKey(gone.id, gone.poolGuid)), 0u);
}

TEST_F(Scrub, ALockedTaskIsSkippedAndVerifiedNextTime) {
    const DataObjects::TaskDataObject busy = task("Task1");
    ChildProcess holder({binDir() + "/vaultadmin", "hold-lock", "--config", vault().nodeConfig(), "--task-id",
                         std::to_string(busy.id), "--until-killed"},
                        root(), vault().environment());
    ASSERT_TRUE(holder.waitForOutput("holding", kGenerousMs)) << holder.wait().output;
    ProcessResult result = scrub({"--json"});
    holder.kill(SIGKILL);
    holder.wait();
    ASSERT_EQ(result.exitCode, 0) << result.output;
    nlohmann::json summary = summaryOf(result);
    EXPECT_EQ(summary["poolsVerified"], 2) << result.output;
    EXPECT_EQ(summary["skippedLocked"], 1) << result.output;
    EXPECT_EQ(record().pools.count(PoolScrub::PoolKey(busy.id, busy.poolGuid)), 0u);

    result = scrub({"--max-age", "1d"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(verifiedPools(result.output), std::multiset<std::string>{poolOf("Task1")}) << result.output;
}

// A task whose settings refuse the verify: nothing is read, so nothing is
// recorded as verified; once allowed, it is verified.
TEST_F(Scrub, LocalSettingsThatRefuseTheVerify) {
    const DataObjects::TaskDataObject refused = task("Task2");
    LocalSettings::setValue(refused, "Pellatrix.Verify", "0");
    ProcessResult result = scrub({"--json"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(summaryOf(result)["poolsVerified"], 2) << result.output;
    EXPECT_EQ(summaryOf(result)["refusedBySettings"], 1) << result.output;
    EXPECT_EQ(record().pools.count(PoolScrub::PoolKey(refused.id, refused.poolGuid)), 0u);

    LocalSettings::setValue(refused, "Pellatrix.Verify", "1");
    result = scrub({"--max-age", "1d"});
    EXPECT_EQ(verifiedPools(result.output), std::multiset<std::string>{poolOf("Task2")}) << result.output;
}

// A second scrub refuses at once while the first one works; Ctrl-C stops the
// first after its pool in progress and keeps what it verified.
TEST_F(Scrub, TwoScrubsAtOnceAndCtrlC) {
    // A rate this low makes the first scrub pause after its first pool.
    ChildProcess first(scrubArgs({"--rate", "0.000001", "--idle"}), root(), vault().environment());
    ASSERT_TRUE(first.waitForOutput("verified task ", kGenerousMs)) << first.wait().output;
    const ProcessResult ioClass = Trevalon::Testing::run({"/usr/bin/ionice", "-p", std::to_string(first.pid())}, "/", {});
    EXPECT_TRUE(contains(ioClass.output, "idle")) << ioClass.output;
    const ProcessResult second = scrub({"--no-progress"});
    EXPECT_EQ(second.exitCode, 3) << second.output;
    EXPECT_TRUE(contains(second.output, "another scrub is running on this node")) << second.output;
    EXPECT_FALSE(contains(second.output, "verifying")) << second.output;

    first.kill(SIGINT);
    const ProcessResult stopped = first.wait();
    EXPECT_EQ(stopped.exitCode, 130) << stopped.output;
    EXPECT_EQ(verifiedPools(stopped.output).size(), 1u) << stopped.output;
    EXPECT_TRUE(contains(stopped.output, "left for the next run: 2 (interrupted)")) << stopped.output;
    EXPECT_EQ(record().pools.size(), 1u);

    const ProcessResult rest = scrub();
    EXPECT_EQ(rest.exitCode, 0) << rest.output;
    EXPECT_EQ(verifiedPools(rest.output).size(), 2u) << rest.output;
}

TEST_F(Scrub, RefusedCommandLines) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--max-age", "7x"}, {"--max-duration", "-1"}, {"--rate", "0"}, {"--rate", "fast"}, {"--bogus"}}) {
        const ProcessResult result = scrub(args);
        EXPECT_EQ(result.exitCode, 2) << args[0] << "\n" << result.output;
    }
}

TEST_F(Scrub, AnUnreachableCatalogue) {
    NodeConfig::set("database", "File", root() + "/no/such/folder/catalogue.db");
    const ProcessResult result = scrub();
    EXPECT_EQ(result.exitCode, 8) << result.output;
    EXPECT_TRUE(contains(result.output, "cannot read the catalogue")) << result.output;
}

// kill -9 at random moments (right after a pool starts or ends, chosen at
// random), then a run to the end: every pool verified, the record whole.
TEST(ScrubKill, KilledAtRandomMomentsLosesNothingButThePoolInProgress) {
    struct Vault : Scrub {
        void TestBody() override {}
    } v;
    v.build(8);
    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int round = 0; round < 6; ++round) {
        ChildProcess child(v.scrubArgs({}), v.root(), v.vault().environment());
        const int events = std::uniform_int_distribution<int>(1, 6)(random);
        bool seen = true;
        for (int e = 0; e < events && seen; ++e) {
            // "verifying" before a pool, "verified" once its record line is synced.
            seen = child.waitForOutput(e % 2 == 0 ? "verifying task " : "verified task ", kGenerousMs);
        }
        child.kill(SIGKILL);
        const ProcessResult killed = child.wait();
        std::string warning;
        const PoolScrub::Record r = PoolScrub::RecordStore(VaultFiles::FileSystem::real(), v.stateFolder()).load(warning);
        EXPECT_EQ(warning.find("is not used"), std::string::npos) << warning;
        // Every pool the run reported verified before it was killed is kept.
        for (const std::string& pool : verifiedPools(killed.output)) {
            const size_t blank = pool.find(' ');
            const auto found = r.pools.find(PoolScrub::PoolKey(std::stoul(pool.substr(0, blank)), pool.substr(blank + 1)));
            ASSERT_NE(found, r.pools.end()) << pool << "\n" << killed.output;
            EXPECT_EQ(found->second.pass, r.pass) << pool;
        }
    }
    const ProcessResult last = v.scrub();
    ASSERT_EQ(last.exitCode, 0) << last.output;
    const PoolScrub::Record r = v.record();
    EXPECT_TRUE(r.passComplete);
    std::multiset<std::string> recorded;
    for (const auto& item : r.pools) {
        recorded.insert(std::to_string(item.first.first) + " " + item.first.second);
        EXPECT_EQ(item.second.result, PoolScrub::Result::Ok);
        EXPECT_EQ(item.second.pass, r.pass);
    }
    EXPECT_EQ(recorded, v.allPools_);
    for (const std::string& name : VaultFiles::folderEntries(v.stateFolder()))
        EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
}

// A long run rewrites its record as it goes, so the journal stays short: killed
// after more pools than the journal holds before a rewrite (256), the record
// file alone, without its journal, already holds the pools of that rewrite,
// and with the journal every pool reported verified.
TEST(ScrubLongRun, RewritesTheRecordAsItGoes) {
    struct Vault : Scrub {
        void TestBody() override {}
    } v;
    v.build(300);
    ChildProcess child(v.scrubArgs({"--no-progress"}), v.root(), v.vault().environment());
    ASSERT_TRUE(child.waitForOutputCount("verified task ", 270, kGenerousMs));
    child.kill(SIGKILL);
    const ProcessResult killed = child.wait();
    std::string text;
    ASSERT_TRUE(VaultFiles::readWholeFile(v.stateFolder() + "/scrub.record", 1 << 24, text));
    const PoolScrub::Record alone = PoolScrub::parseRecord(text);
    EXPECT_GE(alone.pools.size(), 257u);
    const PoolScrub::Record r = v.record();
    EXPECT_GE(r.pools.size(), verifiedPools(killed.output).size());
    EXPECT_GE(r.pools.size(), 270u);
}

// A full file system under the state folder (a small tmpfs in a namespace of
// the test's own): the record of the previous run stays as it was, exit 4.
TEST_F(Scrub, AFullDiskKeepsThePreviousRecord) {
    if (Trevalon::Testing::run({"/usr/bin/unshare", "-rm", "/bin/true"}, "/", {}).exitCode != 0)
        GTEST_SKIP() << "needs user and mount namespaces (unshare -rm) to mount a small tmpfs";
    ASSERT_EQ(::mkdir(stateFolder().c_str(), 0755), 0);
    std::string command;
    for (const std::string& arg : scrubArgs({"--no-progress"})) command += " '" + arg + "'";
    const std::string script = "set -u; mount -t tmpfs -o size=64k tmpfs '" + stateFolder() + "' || exit 100; cd '" +
                               stateFolder() + "';" + command + "; echo \"first=$?\"; cp scrub.record ../before;"
                               " dd if=/dev/zero of=filler bs=1k count=1000 2>/dev/null;" + command +
                               "; echo \"second=$?\"; cmp scrub.record ../before && echo same-record";
    const ProcessResult result =
        Trevalon::Testing::run({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", script}, root(), vault().environment());
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "first=0\n")) << result.output;
    EXPECT_TRUE(contains(result.output, "second=4\n")) << result.output;
    EXPECT_TRUE(contains(result.output, "same-record")) << result.output;
    EXPECT_TRUE(contains(result.output, "the record was not written: ")) << result.output;
    EXPECT_TRUE(contains(result.output, "No space left on device")) << result.output;
}

}  // namespace
