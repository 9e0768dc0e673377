// The errors of pool operations (numbers and their meaning in
// docs/pool-operations.md).
//
// A PoolError says that a pool's data is damaged or unreachable: the pool
// error handler of the maintenance library acts on its number (marking tasks
// suspect, submitting a repair). Everything else an operation refuses (a bad
// command, an unknown pool version, a lock it cannot get) is a plain standard
// exception, which marks nothing.
#pragma once

#include <cstdint>
#include <string>

#include "Pool/PoolApi.h"
#include "VaultUtilities.h"

namespace Pool {

// Error numbers carried by PoolError::getErrorNumber.
namespace ErrorNumber {
// A container record or chunk fails its checksum: repairable from the
// client's data, so the handler submits a CRC repair.
constexpr int32_t CONTAINER_CHECKSUM = 0x00320000;
// A container named by the sync list is missing, unreadable, truncated or
// not a container.
constexpr int32_t CONTAINER_UNREADABLE = 0x00320001;
// The sync list is missing, unreadable or damaged.
constexpr int32_t SYNC_LIST_DAMAGED = 0x00320002;
// The pool's index file fails a checksum.
constexpr int32_t INDEX_CHECKSUM = 0x00510000;
// A pool file other than a container is missing or unreadable (the index
// file, the pool folder).
constexpr int32_t POOL_FILE_UNREADABLE = 0x00510001;
// The task's files disagree or a task file is invalid: the task's writers
// must stop (DisableTaskWritersError).
constexpr int32_t DISABLE_TASK_WRITERS = 0x00510002;
// Not a pool error: the number JobInterruptedException carries.
constexpr int32_t JOB_INTERRUPTED = 0x00510100;
}  // namespace ErrorNumber

// A pool's data is damaged or unreachable. getNumber() (of
// VaultUtilities::Error) equals getErrorNumber(); the message identifier is
// 0x1003 (error).
class POOL_API PoolError : public VaultUtilities::Error {
public:
    // `context` is handed through to the error handler unread (may be null).
    PoolError(int32_t errorNumber, const std::string& poolGuid, const std::string& jobGuid, const std::string& text,
              void* context = nullptr);
    ~PoolError() override;

    // The pool in error ("" when the error names only the task).
    const std::string& getPoolGuid() const { return poolGuid_; }
    // The job in error: the GUID of the task whose pool operation met it.
    const std::string& getJobGuid() const { return jobGuid_; }
    int32_t getErrorNumber() const { return errorNumber_; }
    void* getContext() const { return context_; }

private:
    int32_t errorNumber_;
    std::string poolGuid_;
    std::string jobGuid_;
    void* context_;
};

// A pool file of the task is invalid, so the task's writers must stop: a
// PoolError with number DISABLE_TASK_WRITERS, the task's GUID as job GUID and
// no pool GUID, carrying the printf-formatted text.
class POOL_API DisableTaskWritersError : public PoolError {
public:
    DisableTaskWritersError(const std::string& taskGuid, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    ~DisableTaskWritersError() override;
};

// A running operation stopped because it was asked to (see
// Pool/PoolFactory.h, "Interruption"). The pool is then as it was before the
// operation or as it is after it, never in between. Not a PoolError: an
// interruption says nothing about the pool's data. Number JOB_INTERRUPTED,
// message identifier 0x1001 (information).
class POOL_API JobInterruptedException : public VaultUtilities::Error {
public:
    JobInterruptedException(const std::string& poolGuid, const std::string& jobGuid, const std::string& text);
    ~JobInterruptedException() override;
    const std::string& getPoolGuid() const { return poolGuid_; }
    const std::string& getJobGuid() const { return jobGuid_; }

private:
    std::string poolGuid_;
    std::string jobGuid_;
};

}  // namespace Pool
