// Commands that act on one task of a built vault: holding its lock (to play
// another vault process) and marking a safeset unavailable. Both read the task
// from the catalogue of the node configuration the process points at.
#pragma once

#include <cstdint>
#include <ostream>

#include "DataObjects/DataObjects.h"

namespace VaultAdmin {

// The task with catalogue identifier `taskId`; throws std::runtime_error when
// the catalogue has none.
DataObjects::TaskDataObject findTask(uint32_t taskId);

struct HoldLockOptions {
    uint32_t taskId = 0;
    uint64_t seconds = 0;        // how long to hold it; ignored with untilKilled
    bool untilKilled = false;
    uint64_t waitMilliseconds = 0;  // how long to wait for a lock held elsewhere
};

// Takes the task's lock, writes "holding ..." (flushed) to `out`, keeps it for
// the time asked and releases it. Throws when the lock cannot be had.
void holdTaskLock(const HoldLockOptions& options, std::ostream& out);

// Sets (or with `clear` clears) the unavailable bit of one safeset of the
// task's synchronisation set, under the task's lock (waited for at most
// `waitMilliseconds`).
void markSafesetUnavailable(uint32_t taskId, uint32_t safesetNumber, bool clear, uint64_t waitMilliseconds,
                            std::ostream& out);

}  // namespace VaultAdmin
