// Task locks kept by the kernel: flock(LOCK_EX) on a per-task lock file in
// the lock folder. The kernel drops the lock when the last descriptor of the
// open file goes, so a lock ends with its holder however the holder ends. The
// lock file is never removed (removing it would let two processes lock two
// different files of the same name).
#include "Pool/Locking.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "Pool/Layout.h"
#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace Pool {
namespace Locking {

namespace {

constexpr int kLogFacility = 1;
constexpr unsigned kError = 4099;

enum class Attempt { Locked, Busy, Failed };

// The lock folder of this process, per node configuration file: [node]
// LockFolder is read at the first lock and the folder made sure of then, so a
// scan over many tasks does not read the configuration and look at the folder
// and its parents again for every lock. Every lock of a process lives in one
// folder: a changed LockFolder takes effect for processes started afterwards
// (a process that moved on while others kept the old folder would not
// exclude them).
class LockFolders {
public:
    // The folder (ending in '/') for the node configuration in use; made
    // when missing. Throws when it cannot be made.
    std::string folder() {
        const std::string config = NodeConfig::path();
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = folders_.find(config);
        if (it == folders_.end()) it = folders_.emplace(config, Layout::lockFolder()).first;
        if (made_.count(config) == 0) {
            VaultFiles::makeFolders(it->second);
            made_.insert(config);
        }
        return it->second;
    }
    // The folder vanished since it was made: make it again on the next use.
    void forgetMade() {
        std::lock_guard<std::mutex> lock(mutex_);
        made_.erase(NodeConfig::path());
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> folders_;
    std::set<std::string> made_;
};

LockFolders& lockFolders() {
    static LockFolders* folders = new LockFolders;  // never destroyed: locks may end in static destructors
    return *folders;
}

}  // namespace

PoolSystemLock::PoolSystemLock(int lockMode) : mode_(lockMode) {}
PoolSystemLock::~PoolSystemLock() = default;

struct AutoUnlockManager::State {
    DataObjects::TaskDataObject task;
    std::string path;
    std::unique_ptr<VaultFiles::LockFile> file;
    bool held = false;
    std::string failure;  // why the last attempt failed, other than a busy lock

    void logFailure(const char* what) {
        log_show(kLogFacility, kError, "Cannot lock task %s (#%u): %s", task.guid.c_str(), task.id, what);
        failure = what;
    }

    // Opens (creating when needed) the lock file once; a link or anything but
    // a regular file at its name is refused, without blocking. Logs and
    // answers false when it cannot.
    bool openLockFile() {
        if (file) return true;
        VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
        try {
            path = lockFolders().folder() + Layout::lockFileName(task);
        } catch (const std::exception& e) {
            logFailure(e.what());
            return false;
        }
        try {
            try {
                file = files.openLockFile(path, VaultFiles::LockTarget::File);
            } catch (const VaultFiles::FileError& error) {
                if (!error.missing()) throw;
                lockFolders().forgetMade();  // the folder went away since this process made it
                path = lockFolders().folder() + Layout::lockFileName(task);
                file = files.openLockFile(path, VaultFiles::LockTarget::File);
            }
        } catch (const VaultFiles::FileError& e) {
            log_show(kLogFacility, kError, "Cannot open lock file %s for task %s (#%u): %s", path.c_str(),
                     task.guid.c_str(), task.id, e.reason().c_str());
            failure = "cannot open the lock file " + path + ": " + e.reason();
            return false;
        } catch (const std::exception& e) {
            logFailure(e.what());
            return false;
        }
        return true;
    }

    Attempt tryOnce() {
        try {
            if (!file->tryLock()) return Attempt::Busy;
        } catch (const VaultFiles::FileError& e) {
            log_show(kLogFacility, kError, "Cannot lock file %s for task %s (#%u): %s", path.c_str(),
                     task.guid.c_str(), task.id, e.reason().c_str());
            failure = "cannot lock the lock file " + path + ": " + e.reason();
            return Attempt::Failed;
        }
        held = true;
        return Attempt::Locked;
    }
};

AutoUnlockManager::AutoUnlockManager(const DataObjects::TaskDataObject& task, const std::string& /*text*/)
    : state_(new State) {
    state_->task = task;
}

AutoUnlockManager::~AutoUnlockManager() {
    delete state_;  // closing the lock file releases a lock it holds
}

const std::string& AutoUnlockManager::failure() const { return state_->failure; }

bool AutoUnlockManager::lock(PoolSystemLock& /*lock*/) {
    state_->failure.clear();
    if (state_->held) return true;
    if (!state_->openLockFile()) return false;
    return state_->tryOnce() == Attempt::Locked;
}

bool AutoUnlockManager::lock(PoolSystemLock& /*lock*/, unsigned long timeoutMs) {
    using Clock = std::chrono::steady_clock;
    state_->failure.clear();
    if (state_->held) return true;
    if (!state_->openLockFile()) return false;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        const Attempt attempt = state_->tryOnce();
        if (attempt != Attempt::Busy) return attempt == Attempt::Locked;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

}  // namespace Locking
}  // namespace Pool
