// Task locks between the vault's processes on one node.
//
// A lock is held by a process (kept by the kernel, so it ends with its holder,
// whatever way the holder ends). Lock files live in [node] LockFolder of the
// node configuration (default /var/lock/vault), one per task
// (Pool::Layout::lockFileName); the folder is read and created when missing
// at a process's first lock (once per node configuration file), and lock
// files are never removed. A link, FIFO or anything but a regular file at a
// lock file's name is refused without blocking. Two managers for one task exclude each other even
// in one process. A lock file that cannot be created or opened makes lock()
// answer false and log one line (4099) naming the path.
#pragma once

#include <string>

#include "DataObjects/DataObjects.h"
#include "Pool/PoolApi.h"

namespace Pool {
namespace Locking {

class POOL_API PoolSystemLock {
public:
    // 0: scan/read use, 1: repair use. Both exclude every other holder.
    explicit PoolSystemLock(int lockMode);
    ~PoolSystemLock();
    int mode() const { return mode_; }

private:
    int mode_;
};

class POOL_API AutoUnlockManager {
public:
    AutoUnlockManager(const DataObjects::TaskDataObject& task, const std::string& text);
    // Releases the lock when this manager holds it.
    ~AutoUnlockManager();
    AutoUnlockManager(const AutoUnlockManager&) = delete;
    AutoUnlockManager& operator=(const AutoUnlockManager&) = delete;

    // Tries once; true when the task is now locked by this process.
    bool lock(PoolSystemLock& lock);
    // Waits at most `timeoutMs` milliseconds for the lock (retrying every 1 to
    // 20 ms); true when it was obtained.
    bool lock(PoolSystemLock& lock, unsigned long timeoutMs);

    // Why the last lock() answered false when no other holder was the cause:
    // the lock file could not be made, opened or locked (a link or anything
    // but a regular file at its name). Such a lock() answers at once, without
    // waiting. "" after a success or a lock held by another.
    const std::string& failure() const;

private:
    struct State;
    State* state_;
};

}  // namespace Locking
}  // namespace Pool
