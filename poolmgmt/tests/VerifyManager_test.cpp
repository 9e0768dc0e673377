// The verify manager on built vaults: synchronisation files, the task lock
// held by another process, the configured time-outs, pools from the
// catalogue, and index files of every size.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "IndexFile.h"
#include "Pool/Layout.h"
#include "Pool/PoolErrors.h"
#include "TaskHierarchy.h"
#include "VSynchSet.h"
#include "VSynchSetWriter.h"
#include "VaultCommandSession.h"
#include "VaultFixture.h"
#include "Veshmoor/VerifyManager.h"

namespace {

using Trevalon::Testing::ChildProcess;
using Trevalon::Testing::binDir;
using Trevalon::Testing::fileExists;
using Trevalon::Testing::readFile;
using Veshmoor::VerifyManager;

// Opens the protected helpers to the tests.
struct VerifyManagerInside : VerifyManager {
    using VerifyManager::getOptimizeLockTimeout;
};

class VerifyOnVault : public Veshmoor::testing::VaultFixture {
protected:
    void SetUp() override {
        VaultFixture::SetUp();
        daily_ = task("Daily");
        folder_ = Pool::Layout::synchFolder(daily_);
        main_ = folder_ + VSynchSet::MAIN_FILE_NAME;
        mirror_ = folder_ + VSynchSet::MIRROR_FILE_NAME;
        hierarchy_ = getTaskHierarchy(static_cast<int32_t>(daily_.id));
        ASSERT_FALSE(hierarchy_.empty());
    }
    void TearDown() override {
        VaultCommandSession::setDllRun(false);
        VaultFixture::TearDown();
    }
    // Runs verifyTask; the failure text, or "" when it passed.
    std::string verify() {
        synchFiles_.clear();
        poolGuids_.clear();
        try {
            VerifyManager::verifyTask(session_, daily_, synchFiles_, poolGuids_);
            return "";
        } catch (const VeshmoorException& error) {
            return error.what();
        }
    }
    // Another process holding the task's lock for `seconds`.
    std::unique_ptr<ChildProcess> holdLock(int seconds) {
        std::unique_ptr<ChildProcess> holder(new ChildProcess(
            {binDir() + "/vaultadmin", "hold-lock", "--config", vault().nodeConfig(), "--task-id",
             std::to_string(daily_.id), "--seconds", std::to_string(seconds)},
            root(), vault().environment()));
        EXPECT_TRUE(holder->waitForOutput("holding", 20000));
        return holder;
    }

    DataObjects::TaskDataObject daily_;
    std::string folder_, main_, mirror_, hierarchy_;
    std::vector<std::string> synchFiles_, poolGuids_;
};

TEST_F(VerifyOnVault, BothFilesPresentTakesNoLock) {
    // With a lock time-out of 0 a verify that tried the held lock would fail
    // at once, so success shows that it took none (however slow the machine).
    setConfig("numbers", "OptimizeLockTimeout", "0");
    auto holder = holdLock(600);
    EXPECT_EQ(verify(), "");
    EXPECT_EQ(synchFiles_, (std::vector<std::string>{main_, mirror_}));
    EXPECT_EQ(poolGuids_, std::vector<std::string>{daily_.poolGuid});
    EXPECT_EQ(maintenanceLines(), std::vector<std::string>{"TEST-I-0001 Checking task " + hierarchy_});
    EXPECT_EQ(session_->getProgress()->getStatusMsg(), "Checking task " + hierarchy_);
    EXPECT_TRUE(logLinesWith("missing").empty());
}

TEST_F(VerifyOnVault, AMissingFileIsRecreatedFromTheOther) {
    const std::string original = readFile(main_);
    for (const std::string* missing : {&mirror_, &main_}) {
        ASSERT_EQ(::unlink(missing->c_str()), 0);
        EXPECT_EQ(verify(), "");
        EXPECT_EQ(readFile(*missing), original) << *missing;
        EXPECT_EQ(synchFiles_, (std::vector<std::string>{main_, mirror_}));
    }
    const auto warnings = logLinesWith("One of the Synch Files is missing");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "TEST-W-0002 One of the Synch Files is missing for task '" + hierarchy_ + "', Will re-create it...");
}

// Both files missing: the set cannot be opened, which fails the task before
// the files are looked at one by one.
TEST_F(VerifyOnVault, BothFilesMissingFailsTheTask) {
    ASSERT_EQ(::unlink(main_.c_str()), 0);
    ASSERT_EQ(::unlink(mirror_.c_str()), 0);
    EXPECT_EQ(verify(), "Failed to open synch file.");
    EXPECT_EQ(logLinesWith("Failed to verify task").at(0),
              "TEST-E-0003 Failed to verify task " + std::to_string(daily_.id) + ": Failed to open synch file.");
    EXPECT_EQ(maintenanceLines().back(), "TEST-E-0003 Failed to verify task: Failed to open synch file.");
    EXPECT_TRUE(synchFiles_.empty());
    EXPECT_TRUE(poolGuids_.empty());
}

TEST_F(VerifyOnVault, TheOlderFormatIsNotVerifiedButItsPoolsAreListed) {
    VSynchFiles::writeSet(folder_, VSynchFiles::readFile(main_).entries, VSynchFiles::Format::Older);
    ASSERT_EQ(::unlink(mirror_.c_str()), 0);
    EXPECT_EQ(verify(), "");
    EXPECT_FALSE(fileExists(mirror_)) << "an older set is left as it is";
    EXPECT_TRUE(synchFiles_.empty());
    EXPECT_EQ(poolGuids_, std::vector<std::string>{daily_.poolGuid});
    // The task label ends in a blank, so two blanks follow its ')'.
    EXPECT_EQ(logLinesWith("old files format").at(0),
              "TEST-I-0001 Task Daily (" + daily_.guid + ", #" + std::to_string(daily_.id) +
                  ")  Synch files verification will be skipped due to old files format");
}

TEST_F(VerifyOnVault, PoolsComeFromTheCatalogue) {
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        DataObjects::PoolDataObject secondary;
        secondary.guid = "5ec0da27-0000-4000-8000-000000000002";
        secondary.secondary = true;
        manager.administratorInterface(true)->addPool(secondary);
        DataObjects::PoolDataObject other;
        other.guid = "0a0a0a0a-0000-4000-8000-000000000003";
        manager.administratorInterface(true)->addPool(other);
        ASSERT_TRUE(manager.administratorInterface(true)->associateTaskAndPool(daily_.id, secondary.guid));
        ASSERT_TRUE(manager.administratorInterface(true)->associateTaskAndPool(daily_.id, other.guid));
    }
    poolGuids_ = {"kept"};
    std::vector<std::string> files;
    VerifyManager::verifyTask(session_, daily_, files, poolGuids_);
    EXPECT_EQ(poolGuids_, (std::vector<std::string>{"kept", daily_.poolGuid, "0a0a0a0a-0000-4000-8000-000000000003"}));

    sql("DELETE FROM task_pool WHERE task_id = " + std::to_string(daily_.id) + ";");
    EXPECT_EQ(verify(), "pool not found for task (from database): " + daily_.guid);
    EXPECT_EQ(synchFiles_.size(), 2u) << "what was appended before the failure stays";
}

// With the caller's interface: the same lists, lines and failures.
TEST_F(VerifyOnVault, TheCallersInterfaceGivesTheSameResult) {
    DatabaseInterfaces::DbInterfaceManager manager;
    std::vector<std::string> files, pools;
    VerifyManager::verifyTask(session_, daily_, files, pools, *manager.administratorInterface(true));
    EXPECT_EQ(files, (std::vector<std::string>{main_, mirror_}));
    EXPECT_EQ(pools, std::vector<std::string>{daily_.poolGuid});
    EXPECT_EQ(maintenanceLines(), std::vector<std::string>{"TEST-I-0001 Checking task " + hierarchy_});
    sql("DELETE FROM task_pool WHERE task_id = " + std::to_string(daily_.id) + ";");
    EXPECT_THROW(VerifyManager::verifyTask(session_, daily_, files, pools, *manager.administratorInterface(true)),
                 VeshmoorException);
    EXPECT_EQ(maintenanceLines().back(), "TEST-E-0003 Failed to verify task: pool not found for task (from database): " + daily_.guid);
}

TEST_F(VerifyOnVault, TheLockIsWaitedForUpToTheTimeOut) {
    setConfig("numbers", "OptimizeLockTimeout", "4000");
    ASSERT_EQ(::unlink(mirror_.c_str()), 0);
    {
        auto holder = holdLock(30);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(verify(), "Failed to obtain lock for re-creating missing synch file.");
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3900));
        EXPECT_FALSE(fileExists(mirror_));
        holder->kill(SIGKILL);
    }
    {
        auto holder = holdLock(1);
        EXPECT_EQ(verify(), "");
        EXPECT_TRUE(fileExists(mirror_));
        holder->wait();
    }
}

TEST(VerifyTimeOut, FromConfigurationPerKindOfRun) {
    Trevalon::Testing::TempFolder folder("veshmoor-timeout");
    const std::string config = folder.file("node.conf");
    ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1);
    struct Case {
        const char* numbers;
        bool dllRun;
        unsigned long expected;
    } cases[] = {
        {"", false, 300000},
        {"", true, 30000},
        {"OptimizeLockTimeout=1234\n", false, 1234},
        {"OptimizeLockTimeout=1234\n", true, 30000},
        {"MaintenanceOptimizeLockTimeout=77\nOptimizeLockTimeout=1234\n", true, 77},
        {"OptimizeLockTimeout=-5\n", false, 300000},
    };
    for (const Case& c : cases) {
        Trevalon::Testing::writeFile(config + ".new", std::string("[numbers]\n") + c.numbers);
        ASSERT_EQ(::rename((config + ".new").c_str(), config.c_str()), 0);
        VaultCommandSession::setDllRun(c.dllRun);
        EXPECT_EQ(VerifyManagerInside::getOptimizeLockTimeout(), c.expected) << c.numbers << c.dllRun;
    }
    VaultCommandSession::setDllRun(false);
}

TEST_F(VerifyOnVault, IndexFilesOfEverySize) {
    const std::string good = root() + "/good.vix";
    {
        IndexFileWriter writer(good, daily_.poolGuid);
        IndexEntry entry;
        entry.safesetNumber = 1;
        entry.recordId = 1;
        writer.append(entry);
        writer.commit();
    }
    Trevalon::Testing::writeFile(root() + "/511.vix", std::string(511, '\0'));
    Trevalon::Testing::writeFile(root() + "/512.vix", std::string(512, '\0'));
    ASSERT_EQ(::mkfifo((root() + "/fifo.vix").c_str(), 0644), 0);
    const std::string damaged = root() + "/damaged.vix";
    std::string bytes = readFile(good);
    bytes[bytes.size() - 1] ^= 0x01;
    Trevalon::Testing::writeFile(damaged, bytes);

    EXPECT_NO_THROW(VerifyManager::verifyTaskFile(session_, daily_, good));
    struct Case {
        std::string path;
        std::string expectedStart;
    } cases[] = {
        {root() + "/511.vix", root() + "/511.vix: File size is smaller than header size"},
        {root() + "/512.vix", "File Invalid:  " + root() + "/512.vix, error: " + root() + "/512.vix: "},
        {damaged, "File Invalid:  " + damaged + ", error: " + damaged + ": "},
        {root() + "/fifo.vix", "File Invalid:  " + root() + "/fifo.vix, error: " + root() + "/fifo.vix: "},
        {root() + "/missing.vix", "File Invalid:  " + root() + "/missing.vix, error: " + root() + "/missing.vix: "},
    };
    for (const Case& c : cases) {
        try {
            VerifyManager::verifyTaskFile(session_, daily_, c.path);
            ADD_FAILURE() << "accepted " << c.path;
        } catch (const Pool::DisableTaskWritersError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.expectedStart, 0), 0u) << error.what();
            EXPECT_EQ(error.getJobGuid(), daily_.guid);
            EXPECT_EQ(error.getErrorNumber(), Pool::ErrorNumber::DISABLE_TASK_WRITERS);
        }
    }
    const auto lines = maintenanceLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "TEST-E-0003 Failed to verify task (" + std::to_string(daily_.id) + ") file: " + root() +
                            "/511.vix: File size is smaller than header size");
    EXPECT_EQ(logLinesWith("Verifying task").at(0), "TEST-I-0001 Verifying task \"Daily\" file \"" + good + "\"");
}

}  // namespace
