// What the pool operations share (not exported): the pool they act on, the
// task lock held while they run, pool errors with the pool's and the task's
// GUIDs, and the follow-up verify command.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Carrowen/Writers.h"
#include "Pool/Locking.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolOperationCommand.h"
#include "VSynchSetWriter.h"

namespace Pool {
namespace Operations {

// The pool of one command.
struct PoolTarget {
    explicit PoolTarget(const PoolOperationCommand& command);

    const DataObjects::TaskDataObject& task;
    std::string poolGuid;
    std::string folder;     // the pool folder, ending in '/'
    bool online;            // the task's own pool (holds the synchronisation set)
    std::string syncListPath;
    std::string indexPath;

    // A PoolError of this pool and task.
    PoolError error(int32_t number, const std::string& text) const;
    // "task 'name' (#id)".
    std::string taskText() const;
    // Raises POOL_FILE_UNREADABLE when the pool folder is missing.
    void requirePoolFolder() const;
    // The sync list's entries; SYNC_LIST_DAMAGED when it cannot be read.
    std::vector<Carrowen::SyncListEntryData> readSyncList() const;
};

// The task lock for the length of an operation: waited for at most
// OptimizeLockTimeout ms (MaintenanceOptimizeLockTimeout inside a maintenance
// job's session). Throws std::runtime_error when it is not obtained, and
// JobInterruptedException when a stop is asked for (Pool::Interruption)
// while it waits.
class HeldTaskLock {
public:
    explicit HeldTaskLock(const DataObjects::TaskDataObject& task);
    static unsigned long timeoutMs();

private:
    Locking::AutoUnlockManager manager_;
    Locking::PoolSystemLock lock_;  // destroyed before the manager
};

// The task's synchronisation set as read for a change: the main file, or the
// mirror when the main file is missing or bad. DISABLE_TASK_WRITERS when
// neither can be read.
VSynchFiles::FileContents readSynchSet(const PoolTarget& pool);

// A verify command for the same task, pool and session.
PoolOperationCommand verifyFollowUp(const PoolOperationCommand& command);

// Flushes a folder's entries to disk after files in it were removed or
// replaced by links; std::runtime_error naming it when that fails.
void syncFolder(const std::string& folder);

// True when `name` is a temporary file of a vault writer: ".<name>.tmp.<pid>.<n>".
// `pid` receives the writer's process id.
bool isTemporaryName(const std::string& name, long& pid);

}  // namespace Operations
}  // namespace Pool
