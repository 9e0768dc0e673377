// vaultadmin's commands over the maintenance services, end to end on built
// vaults: pool operations finding what `damage` did, a delete that `show` and
// the scan tool read back, task settings and suspect marks, the job queue,
// and a delete killed at many points.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "JobSubmission.h"
#include "TaskHierarchy.h"
#include "TestSupport.h"

namespace VaultAdmin {
namespace {

using namespace Testing;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A vault of one task ("Archive", id 1) with `safesets` safesets of 20 records.
class BuiltVault {
public:
    explicit BuiltVault(unsigned safesets) {
        std::string list;
        for (unsigned s = 1; s <= safesets; ++s)
            list += std::string(s > 1 ? "," : "") + "{\"number\": " + std::to_string(s) +
                    ", \"version\": \"8.50\", \"records\": 20}";
        writeFile(temp_ / "vault.json",
                  R"({"vault": {"id": "v", "version": "8.50.0000"}, "nodes": [{"hostName": "n1"}], "thisNode": "n1",
                      "customers": [{"name": "c", "reference": "C", "locations": [{"name": "l", "reference": "L",
                      "computers": [{"name": "pc", "tasks": [{"name": "Archive", "node": "n1", "safesets": [)" +
                      list + "]}]}]}]}]}");
        const Outcome built = vaultadmin({"build", "--description", temp_ / "vault.json", "--root", root()});
        if (built.exitCode != 0) throw std::runtime_error(built.output);
        env_ = {{"VAULT_NODE_CONFIG", root() + "/node.conf"}};
        const Outcome tasks = vaultadmin({"tasks"}, env_);
        std::istringstream lines(tasks.output);
        std::string id, name, node;
        lines >> id;
        std::getline(lines, name);
        taskFolder_ = name.substr(name.rfind('\t') + 1);
    }
    std::string root() const { return temp_ / "vault"; }
    const std::map<std::string, std::string>& env() const { return env_; }
    std::string poolFile(const std::string& name) const { return taskFolder_ + "pool/" + name; }
    std::string synchFile(const std::string& name) const { return taskFolder_ + "sync/" + name; }
    Outcome pool(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {"pool", "--task-id", "1"};
        all.insert(all.end(), args.begin(), args.end());
        return vaultadmin(all, env_);
    }

private:
    TempFolder temp_;
    std::map<std::string, std::string> env_;
    std::string taskFolder_;
};

TEST(PoolCommands, VerifyFindsWhatDamageDidWithTheDocumentedNumbers) {
    BuiltVault vault(3);
    Outcome verify = vault.pool({"--command", "verify"});
    ASSERT_EQ(verify.exitCode, 0) << verify.output;
    EXPECT_TRUE(contains(verify.output, ": done")) << verify.output;
    ASSERT_TRUE(exists(vault.poolFile("pool.vix")));  // the build wrote the pool's index

    struct Case {
        std::string file;
        std::vector<std::string> damage;
        const char* number;
    };
    const Case cases[] = {
        {vault.poolFile("00000002.vfl"), {"--flip", "700"}, "pool error 0x00320000"},
        {vault.poolFile("00000002.vfl"), {"--truncate", "100"}, "pool error 0x00320001"},
        {vault.poolFile("synclist.vsl"), {"--flip", "40"}, "pool error 0x00320002"},
        {vault.poolFile("pool.vix"), {"--flip", "520"}, "pool error 0x00510000"},
        {vault.poolFile("pool.vix"), {"--truncate", "511"}, "pool error 0x00510000"},
    };
    for (const Case& c : cases) {
        const std::string saved = readFile(c.file);
        std::vector<std::string> args = {"damage", "--file", c.file};
        args.insert(args.end(), c.damage.begin(), c.damage.end());
        ASSERT_EQ(vaultadmin(args).exitCode, 0);
        verify = vault.pool({"--command", "verify"});
        EXPECT_EQ(verify.exitCode, 1) << c.number << "\n" << verify.output;
        EXPECT_TRUE(contains(verify.output, c.number)) << verify.output;
        EXPECT_TRUE(contains(verify.output, c.file)) << verify.output;
        writeFile(c.file, saved);
    }
    EXPECT_EQ(vault.pool({"--command", "verify"}).exitCode, 0);
    // Refused command lines.
    EXPECT_EQ(vault.pool({"--command", "frobnicate"}).exitCode, 2);
    EXPECT_EQ(vault.pool({"--command", "delete"}).exitCode, 2);
    EXPECT_EQ(vault.pool({"--command", "verify", "--safeset", "1"}).exitCode, 2);
}

TEST(PoolCommands, DeleteLeavesFilesThatShowAndTheScanToolRead) {
    BuiltVault vault(4);
    const Outcome deleted = vault.pool({"--command", "delete", "--safeset", "2", "--safeset", "3"});
    ASSERT_EQ(deleted.exitCode, 0) << deleted.output;
    EXPECT_TRUE(contains(deleted.output, "follow-up: verify\n")) << deleted.output;
    EXPECT_EQ(readFile(vault.synchFile("synchset.vss")), readFile(vault.synchFile("synchset-mirror.vss")));
    EXPECT_FALSE(exists(vault.poolFile("00000002.vfl")));
    const Outcome show = vaultadmin({"show"}, vault.env());
    ASSERT_EQ(show.exitCode, 0) << show.output;
    EXPECT_TRUE(contains(show.output, "safeset 1 version '8.50' records 20")) << show.output;
    EXPECT_TRUE(contains(show.output, "safeset 4 version '8.50' records 20")) << show.output;
    EXPECT_FALSE(contains(show.output, "safeset 2 ")) << show.output;
    EXPECT_EQ(vault.pool({"--command", "verify"}).exitCode, 0);

    // The scan tool walks the task: both remaining safesets checked, no error.
    const std::string scanner = std::string(getenv("VAULT_BIN_DIR")) + "/Trevalon";
    if (exists(scanner)) {
        TempFolder work;
        Child scan({"/bin/sh", "-c", "cd '" + work.path() + "' && exec '" + scanner + "'"}, vault.env());
        const Outcome scanned = scan.wait();
        EXPECT_EQ(scanned.exitCode, 0) << scanned.output;
        EXPECT_TRUE(contains(readFile(work / "Output.csv"), "Archive")) << readFile(work / "Output.csv");
        EXPECT_EQ(readFile(work / "UnknownTasks.txt"), "");
    }
}

TEST(PoolCommands, SettingsAndSuspectMarksAreShownAndChanged) {
    BuiltVault vault(1);
    const auto run = [&](std::vector<std::string> args) { return vaultadmin(args, vault.env()); };
    Outcome out = run({"settings", "--task-id", "1"});
    ASSERT_EQ(out.exitCode, 0) << out.output;
    EXPECT_TRUE(contains(out.output, "(none: every feature enabled)")) << out.output;
    out = run({"settings", "--task-id", "1", "--set", "Pellatrix.Verify=0", "--set", "Ombrikate=0"});
    EXPECT_TRUE(contains(out.output, "  Ombrikate=0\n  Pellatrix.Verify=0\n")) << out.output;
    out = run({"settings", "--task-id", "1", "--unset", "Ombrikate"});
    EXPECT_FALSE(contains(out.output, "Ombrikate")) << out.output;
    EXPECT_EQ(run({"settings", "--task-id", "1", "--set", "novalue"}).exitCode, 1);
    EXPECT_EQ(run({"settings", "--task-id", "1", "--set", "A=1\nB=2"}).exitCode, 1);

    EXPECT_TRUE(contains(run({"suspect", "--task-id", "1"}).output, "task 1 ('Archive') is not suspect"));
    out = run({"suspect", "--task-id", "1", "--mark", "Mark Task Suspect", "--manual"});
    EXPECT_TRUE(contains(out.output, "is suspect: Mark Task Suspect\n  marked 1 time(s)")) << out.output;
    EXPECT_TRUE(contains(out.output, "needs an administrator")) << out.output;
    out = run({"suspect", "--task-id", "1", "--clear"});
    EXPECT_TRUE(contains(out.output, "is not suspect")) << out.output;
    EXPECT_EQ(run({"suspect", "--task-id", "1", "--manual"}).exitCode, 2);
    EXPECT_EQ(run({"suspect", "--task-id", "99"}).exitCode, 1);

    // A damaged settings file is an error naming it, and is left as it is.
    const std::string settings = vault.poolFile("../tasksettings.cfg");
    writeFile(settings, "Pellatrix.Verify=0\nbroken line\n");
    out = run({"suspect", "--task-id", "1", "--mark", "x"});
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_TRUE(contains(out.output, "tasksettings.cfg: line 2 is not KEY=VALUE")) << out.output;
    EXPECT_EQ(readFile(settings), "Pellatrix.Verify=0\nbroken line\n");
}

TEST(PoolCommands, QueueListsJobsAndNamesDamagedOnesAndTasksAreNamedFromTheCatalogue) {
    BuiltVault vault(1);
    ASSERT_EQ(::setenv("VAULT_NODE_CONFIG", (vault.root() + "/node.conf").c_str(), 1), 0);
    // Task naming goes through the vault's catalogue plug-in.
    EXPECT_EQ("Customer 'c' / Location 'l' / Computer 'pc' / Task 'Archive'", getTaskHierarchy(1));
    EXPECT_EQ("", getTaskHierarchy(2));
    ASSERT_EQ(sys_submit(nullptr, "pellatrix ssirepaircrcall task 1", 1, 0, nullptr, nullptr), 1);
    ASSERT_EQ(sys_submit(nullptr, "pellatrix verify task 1", 3, 0, "admin", "after the move"), 2);
    Outcome queue = vaultadmin({"queue"}, vault.env());
    ASSERT_EQ(queue.exitCode, 0) << queue.output;
    EXPECT_TRUE(contains(queue.output, "spool folder " + vault.root() + "/spool/: 2 job(s)\n")) << queue.output;
    EXPECT_TRUE(contains(queue.output, "\tpellatrix ssirepaircrcall task 1\n")) << queue.output;
    EXPECT_TRUE(contains(queue.output, "2\tpriority 3\t")) << queue.output;
    EXPECT_TRUE(contains(queue.output, "\tadmin\tpellatrix verify task 1\t# after the move\n")) << queue.output;
    writeFile(vault.root() + "/spool/job-0000000002.job", "SEQUENCE=2\n");
    queue = vaultadmin({"queue"}, vault.env());
    EXPECT_EQ(queue.exitCode, 1);
    EXPECT_TRUE(contains(queue.output, ": 1 job(s)")) << queue.output;
    EXPECT_TRUE(contains(queue.output, vault.root() + "/spool/job-0000000002.job: no COMMAND")) << queue.output;
}

// A full file system under the task folder (a small tmpfs in a mount
// namespace of the test's own): a suspect mark cannot be written, the old
// settings file stays whole and the exit code is 4.
TEST(PoolCommands, AFullDiskKeepsTheOldSettingsAndExitsWithFour) {
    if (vaultadmin({"--help"}).exitCode != 0 || std::system("/usr/bin/unshare -rm /bin/true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs user and mount namespaces (unshare -rm) to mount a small tmpfs";
    BuiltVault vault(1);
    const std::string taskFolder = vault.poolFile("..");
    const std::string script =
        "set -u; mount -t tmpfs -o size=64k tmpfs '" + taskFolder + "' || exit 100; cd '" + taskFolder +
        "'; printf 'Pellatrix.Verify=0\n' > tasksettings.cfg; dd if=/dev/zero of=filler bs=1k count=1000 2>/dev/null; '" +
        vaultadminPath() + "' suspect --task-id 1 --mark 'CRC Error'; echo \"exit=$?\"; cat tasksettings.cfg; echo '--end'";
    Child child({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", script}, vault.env());
    const Outcome outcome = child.wait();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "No space left on device")) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "its old version is kept")) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "exit=4\nPellatrix.Verify=0\n--end")) << outcome.output;
}

TEST(PoolCommands, DeleteKilledAtManyPointsIsCompletedByARerun) {
    BuiltVault vault(240);
    unsigned cutShort = 0;  // rounds whose kill came before the delete was done
    for (unsigned round = 0; round < 20; ++round) {
        std::vector<std::string> args = {"--command", "delete"};
        for (unsigned s = 1 + round * 12; s <= 12 + round * 12; ++s) {
            args.push_back("--safeset");
            args.push_back(std::to_string(s));
        }
        std::vector<std::string> all = {vaultadminPath(), "pool", "--task-id", "1"};
        all.insert(all.end(), args.begin(), args.end());
        {
            Child deleting(all, vault.env());
            // From before the program is up to after its delete is done.
            std::this_thread::sleep_for(std::chrono::microseconds(1000 + 600 * round));
            deleting.kill(SIGKILL);
            deleting.wait();
        }
        // Every file whole, the lock free at once: show reads the pool, the
        // rerun completes the delete and the pool verifies.
        const Outcome show = vaultadmin({"show"}, vault.env());
        EXPECT_EQ(show.exitCode, 0) << round << "\n" << show.output;
        cutShort += contains(show.output, "safeset " + std::to_string(12 + round * 12) + " ");
        const Outcome rerun = vault.pool(args);
        EXPECT_EQ(rerun.exitCode, 0) << round << "\n" << rerun.output;
        EXPECT_FALSE(exists(vault.poolFile(std::to_string(100000000 + 12 + round * 12).substr(1) + ".vfl"))) << round;
        const Outcome verify = vault.pool({"--command", "verify"});
        EXPECT_EQ(verify.exitCode, 0) << round << "\n" << verify.output;
    }
    EXPECT_GT(cutShort, 0u);
}

}  // namespace
}  // namespace VaultAdmin
