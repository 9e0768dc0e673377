// Task locks kept by the kernel: flock(LOCK_EX) on a per-task lock file in
// the lock folder. The kernel drops the lock when the last descriptor of the
// open file goes, so a lock ends with its holder however the holder ends. The
// lock file is never removed (removing it would let two processes lock two
// different files of the same name).
#include "Pool/Locking.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "Pool/Layout.h"
#include "StorageIo.h"
#include "VaultLog.h"

namespace Pool {
namespace Locking {

namespace {

constexpr int kLogFacility = 1;
constexpr unsigned kError = 4099;

enum class Attempt { Locked, Busy, Failed };

std::string errorText(int err) {
    char buffer[256];
    return std::string(strerror_r(err, buffer, sizeof buffer));
}

}  // namespace

PoolSystemLock::PoolSystemLock(int lockMode) : mode_(lockMode) {}
PoolSystemLock::~PoolSystemLock() = default;

struct AutoUnlockManager::State {
    DataObjects::TaskDataObject task;
    std::string path;
    int fd = -1;
    bool held = false;

    // Opens (creating when needed) the lock file once; logs and answers false
    // when it cannot.
    bool openLockFile() {
        if (fd >= 0) return true;
        try {
            path = Layout::lockFilePath(task);
            StorageIo::makeFolders(Layout::lockFolder());
        } catch (const std::exception& e) {
            log_show(kLogFacility, kError, "Cannot lock task %s (#%u): %s", task.guid.c_str(), task.id, e.what());
            return false;
        }
        // O_NOFOLLOW: a link planted in the lock folder must not make us create
        // or open a file elsewhere.
        const int flags = O_CREAT | O_CLOEXEC | O_NOFOLLOW;
        do {
            fd = ::open(path.c_str(), O_RDWR | flags, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EACCES) {  // another user's lock file: reading is enough for flock
            do {
                fd = ::open(path.c_str(), O_RDONLY | flags, 0644);
            } while (fd < 0 && errno == EINTR);
        }
        if (fd < 0) {
            log_show(kLogFacility, kError, "Cannot open lock file %s for task %s (#%u): %s", path.c_str(),
                     task.guid.c_str(), task.id, errorText(errno).c_str());
            return false;
        }
        return true;
    }

    Attempt tryOnce() {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0) {
            held = true;
            return Attempt::Locked;
        }
        if (errno == EWOULDBLOCK) return Attempt::Busy;
        log_show(kLogFacility, kError, "Cannot lock file %s for task %s (#%u): %s", path.c_str(), task.guid.c_str(),
                 task.id, errorText(errno).c_str());
        return Attempt::Failed;
    }
};

AutoUnlockManager::AutoUnlockManager(const DataObjects::TaskDataObject& task, const std::string& /*text*/)
    : state_(new State) {
    state_->task = task;
}

AutoUnlockManager::~AutoUnlockManager() {
    if (state_->fd >= 0) {
        if (state_->held) ::flock(state_->fd, LOCK_UN);
        ::close(state_->fd);
    }
    delete state_;
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
