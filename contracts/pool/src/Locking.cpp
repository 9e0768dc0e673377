// Task locks kept by the kernel: flock(LOCK_EX) on a per-task lock file in
// the lock folder. The kernel drops the lock when the last descriptor of the
// open file goes, so a lock ends with its holder however the holder ends. The
// lock file is never removed (removing it would let two processes lock two
// different files of the same name).
#include "Pool/Locking.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "Pool/Layout.h"
#include "VaultFiles.h"
#include "VaultLog.h"

namespace Pool {
namespace Locking {

namespace {

constexpr int kLogFacility = 1;
constexpr unsigned kError = 4099;

enum class Attempt { Locked, Busy, Failed };

// Lock folders this process has made sure of, so a scan over many tasks does
// not look at the folder and its parents again for every lock.
class KnownFolders {
public:
    bool contains(const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex_);
        return folders_.count(folder) != 0;
    }
    void add(const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex_);
        folders_.insert(folder);
    }
    void forget(const std::string& folder) {
        std::lock_guard<std::mutex> lock(mutex_);
        folders_.erase(folder);
    }

private:
    std::mutex mutex_;
    std::set<std::string> folders_;
};

KnownFolders& knownFolders() {
    static KnownFolders* folders = new KnownFolders;  // never destroyed: locks may end in static destructors
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

    void logFailure(const char* what) const {
        log_show(kLogFacility, kError, "Cannot lock task %s (#%u): %s", task.guid.c_str(), task.id, what);
    }

    // Opens (creating when needed) the lock file once; a link or anything but
    // a regular file at its name is refused, without blocking. Logs and
    // answers false when it cannot.
    bool openLockFile() {
        if (file) return true;
        VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
        std::string folder;
        try {
            path = Layout::lockFilePath(task);
            folder = VaultFiles::folderOf(path);
            if (!knownFolders().contains(folder)) {
                VaultFiles::makeFolders(files, folder);
                knownFolders().add(folder);
            }
        } catch (const std::exception& e) {
            logFailure(e.what());
            return false;
        }
        try {
            try {
                file = files.openLockFile(path, VaultFiles::LockTarget::File);
            } catch (const VaultFiles::FileError& error) {
                if (!error.missing()) throw;
                // The folder went away since this process made it.
                knownFolders().forget(folder);
                VaultFiles::makeFolders(files, folder);
                knownFolders().add(folder);
                file = files.openLockFile(path, VaultFiles::LockTarget::File);
            }
        } catch (const VaultFiles::FileError& e) {
            log_show(kLogFacility, kError, "Cannot open lock file %s for task %s (#%u): %s", path.c_str(),
                     task.guid.c_str(), task.id, e.reason().c_str());
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

bool AutoUnlockManager::lock(PoolSystemLock& /*lock*/) {
    if (state_->held) return true;
    if (!state_->openLockFile()) return false;
    return state_->tryOnce() == Attempt::Locked;
}

bool AutoUnlockManager::lock(PoolSystemLock& /*lock*/, unsigned long timeoutMs) {
    using Clock = std::chrono::steady_clock;
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
