// Task locks between real processes: lock_holder_helper holds a task's lock in
// a child process while this process tries to take it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "Pool/Layout.h"
#include "Pool/Locking.h"
#include "StorageTestSupport.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Pool::Locking::AutoUnlockManager;
using Pool::Locking::PoolSystemLock;

const char* const kGuid = "5D3A1C2B-0000-4000-8000-00000000A11C";

long msSince(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A running lock_holder_helper and the first line it printed.
class Holder {
public:
    Holder(const std::string& guid, long holdMs) {
        const char* binDir = std::getenv("VAULT_BIN_DIR");
        const std::string program = std::string(binDir ? binDir : ".") + "/lock_holder_helper";
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string hold = std::to_string(holdMs);
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(guid.c_str()),
                        const_cast<char*>(hold.c_str()), nullptr};
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            throw std::runtime_error("cannot start " + program);
        }
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') firstLine_ += c;
        ::close(fds[0]);
    }
    ~Holder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    const std::string& firstLine() const { return firstLine_; }
    void kill() { ::kill(pid_, SIGKILL); }
    // The exit status as waitpid reports it.
    int wait() {
        int status = -1;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    std::string firstLine_;
};

class LockingTest : public ::testing::Test {
protected:
    void SetUp() override {
        StorageTest::useNodeConfig(temp_, "[node]\nLockFolder=" + temp_.path() + "locks/vault\n");
        task_.guid = kGuid;
        task_.id = 31;
    }
    StorageTest::TempFolder temp_;
    DataObjects::TaskDataObject task_;
};

TEST_F(LockingTest, HolderRefusesOthersAndItsLockDiesWithIt) {
    Holder holder(kGuid, 60000);
    ASSERT_EQ("locked", holder.firstLine());

    PoolSystemLock systemLock(0);
    AutoUnlockManager manager(task_, "");
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(manager.lock(systemLock));
    // The untimed try answers without waiting for the holder (which holds for
    // a minute); the bound leaves room for a loaded machine.
    EXPECT_LT(msSince(start), 30000);
    const Clock::time_point timed = Clock::now();
    EXPECT_FALSE(manager.lock(systemLock, 150));
    EXPECT_GE(msSince(timed), 150);

    holder.kill();
    holder.wait();
    EXPECT_TRUE(manager.lock(systemLock));  // free right after the holder was killed
}

TEST_F(LockingTest, TimedWaitSucceedsWhenTheHolderExits) {
    Holder holder(kGuid, 300);
    ASSERT_EQ("locked", holder.firstLine());
    PoolSystemLock systemLock(1);
    AutoUnlockManager manager(task_, "");
    // Success within a time-out far beyond the holder's 300 ms shows the wait
    // ended when the holder did, however slowly the machine runs.
    EXPECT_TRUE(manager.lock(systemLock, 600000));
    const int status = holder.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(LockingTest, DestroyingTheManagerReleasesTheLock) {
    PoolSystemLock systemLock(0);
    auto first = std::make_unique<AutoUnlockManager>(task_, "");
    ASSERT_TRUE(first->lock(systemLock));
    EXPECT_TRUE(first->lock(systemLock));  // asking again while holding it
    {
        Holder other(kGuid, 0);
        EXPECT_EQ("refused", other.firstLine());
    }
    AutoUnlockManager second(task_, "");  // another manager in this process is excluded too
    EXPECT_FALSE(second.lock(systemLock));
    first.reset();
    EXPECT_TRUE(second.lock(systemLock));
}

TEST_F(LockingTest, OtherTasksAreNotExcluded) {
    PoolSystemLock systemLock(0);
    AutoUnlockManager manager(task_, "");
    ASSERT_TRUE(manager.lock(systemLock));
    DataObjects::TaskDataObject byId;  // no GUID: its lock file is named by id
    byId.id = 31;
    AutoUnlockManager other(byId, "");
    EXPECT_TRUE(other.lock(systemLock));
}

TEST_F(LockingTest, UnusableLockFolderRefusesTheLock) {
    StorageTest::writeBytes(temp_.path() + "plainfile", "x");
    StorageTest::useNodeConfig(temp_, "[node]\nLockFolder=" + temp_.path() + "plainfile/locks\n");
    PoolSystemLock systemLock(0);
    AutoUnlockManager manager(task_, "");
    EXPECT_FALSE(manager.lock(systemLock));
    EXPECT_FALSE(manager.lock(systemLock, 50));
}

}  // namespace
