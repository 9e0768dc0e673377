// Kills a verify while it re-creates a missing mirror, at many points: the
// mirror is then whole or absent, the task lock is free at once, and the
// next verify re-creates it.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include <gtest/gtest.h>

#include "Pool/Layout.h"
#include "Pool/Locking.h"
#include "VSynchSet.h"
#include "VSynchSetWriter.h"
#include "VaultFixture.h"

namespace {

using Trevalon::Testing::ChildProcess;
using Trevalon::Testing::binDir;
using Trevalon::Testing::fileExists;
using Trevalon::Testing::readFile;

class VerifyCrash : public Veshmoor::testing::VaultFixture {
protected:
    std::vector<std::string> verifyCommand(uint32_t taskId) const {
        return {binDir() + "/poolcommand", "verify-task", "--config", vault().nodeConfig(), "--log-folder",
                root() + "/logs", "--task-id", std::to_string(taskId)};
    }
};

TEST_F(VerifyCrash, AKilledRecreationLeavesTheMirrorWholeOrAbsent) {
    const DataObjects::TaskDataObject daily = task("Daily");
    const std::string folder = Pool::Layout::synchFolder(daily);
    const std::string main = folder + VSynchSet::MAIN_FILE_NAME, mirror = folder + VSynchSet::MIRROR_FILE_NAME;
    // A large set, so that writing the mirror takes a while.
    std::vector<VSynchEntry> entries;
    for (uint32_t n = 1; n <= 40000; ++n) {
        VSynchEntry entry;
        entry.safesetNumber = n;
        entry.fileName = VFileName(std::string(200, 'a' + static_cast<char>(n % 26)));
        entries.push_back(entry);
    }
    VSynchFiles::writeSet(folder, entries);
    const std::string wanted = readFile(main);

    // How long a whole run takes.
    ASSERT_EQ(::unlink(mirror.c_str()), 0);
    const auto start = std::chrono::steady_clock::now();
    Trevalon::Testing::ProcessResult full = Trevalon::Testing::run(verifyCommand(daily.id), root(), vault().environment());
    ASSERT_EQ(full.exitCode, 0) << full.output;
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(readFile(mirror), wanted);

    std::mt19937 random(7);
    std::uniform_int_distribution<long> delay(0, runTime.count());
    int killedWhole = 0, killedAbsent = 0;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(::unlink(mirror.c_str()), 0);
        ChildProcess child(verifyCommand(daily.id), root(), vault().environment(), false);
        usleep(static_cast<useconds_t>(delay(random)));
        child.kill(SIGKILL);
        child.wait();
        if (fileExists(mirror)) {
            ASSERT_EQ(readFile(mirror), wanted) << "round " << round;
            ++killedWhole;
        } else {
            ++killedAbsent;
            // The lock is free at once: another process could take it now.
            Pool::Locking::AutoUnlockManager manager(daily, "");
            Pool::Locking::PoolSystemLock lock(0);
            ASSERT_TRUE(manager.lock(lock)) << "round " << round;
        }
        if (!fileExists(mirror)) {
            Trevalon::Testing::ProcessResult rerun = Trevalon::Testing::run(verifyCommand(daily.id), root(), vault().environment());
            ASSERT_EQ(rerun.exitCode, 0) << rerun.output;
            ASSERT_EQ(readFile(mirror), wanted);
        }
    }
    EXPECT_EQ(readFile(main), wanted) << "the main file is never touched";
    std::cout << "kills after the mirror was written: " << killedWhole << ", before: " << killedAbsent << std::endl;
}

}  // namespace
