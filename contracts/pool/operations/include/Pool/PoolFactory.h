// The pool factory: the operations of one pool format, and how a tool asks a
// running operation to stop. Defined in the PoolOperations library (CMake
// target PoolOperations), which reads pool files through Carrowen.
//
// Operations (docs/pool-operations.md):
//   verify (0)       reads the sync list, every container it names, in full,
//                    and the pool's index file when there is one; damage
//                    raises PoolError with the number of Pool/PoolErrors.h.
//                    No follow-up.
//   optimize (1)     removes what dead writers left in the pool folder:
//                    temporary files and containers no sync list names.
//                    Follow-up: one verify command.
//   deduplicate (2)  makes byte-identical containers of the pool one file
//                    (hard links, each made under a temporary name and
//                    renamed over the duplicate). No follow-up.
//   delete safesets (3)
//                    removes the command's safesets from the synchronisation
//                    set (main and mirror), the sync list and the index file,
//                    each replaced atomically, then their containers.
//                    Follow-up: one verify command.
// Every operation works under the task lock (waited for at most
// OptimizeLockTimeout ms, MaintenanceOptimizeLockTimeout when
// VaultCommandSession::isDllRun(); a lock not obtained is a
// std::runtime_error). Every file it replaces is written to a temporary name,
// flushed and renamed, so a crash at any point leaves each file old or new.
// A follow-up command copies the command's task, descriptor and globalTag.
//
// Interruption: an operation checks between its steps whether a stop was
// asked, through its own interrupt() (from any thread) or for every operation
// of the process through Interruption::request() (safe to call from a signal
// handler). It then raises JobInterruptedException, having changed nothing or
// having finished the change it had begun (for delete: once the
// synchronisation set is replaced, the rest of the delete is completed).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Pool/PoolApi.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolOperationCommand.h"

namespace Pool {

namespace Interruption {
// Asks every running and future operation of this process to stop, until
// clear(). Async-signal-safe.
POOL_API void request();
POOL_API void clear();
POOL_API bool requested();
}  // namespace Interruption

class POOL_API PoolOperation {
public:
    virtual ~PoolOperation();
    PoolOperation(const PoolOperation&) = delete;
    PoolOperation& operator=(const PoolOperation&) = delete;

    // Performs the command and appends its follow-up commands to `followUps`
    // (never clears it). Raises PoolError for damaged or unreachable pool
    // data, JobInterruptedException when stopped, and std::runtime_error for
    // everything else (lock not obtained, a file that cannot be replaced).
    virtual void run(std::vector<PoolOperationCommand>& followUps) = 0;

    // Asks this operation to stop at its next check. Safe from any thread.
    void interrupt();
    bool interruptRequested() const;

    // Called at every check with the check's name (before the stop test), so
    // a test can interrupt or end the process at an exact point. Null: none.
    void setCheckpointHook(std::function<void(const char* checkpoint)> hook);

    const PoolOperationCommand& command() const { return command_; }

protected:
    explicit PoolOperation(const PoolOperationCommand& command);
    // Runs the hook, then raises JobInterruptedException when a stop was asked.
    void checkpoint(const char* name);
    // Runs the hook only: a point inside a change that, once begun, is
    // completed (a test may still end the process there).
    void progressPoint(const char* name);

private:
    PoolOperationCommand command_;
    std::atomic<bool> interrupted_{false};
    std::function<void(const char*)> hook_;
};

class POOL_API PoolFactory {
public:
    virtual ~PoolFactory();

    // The factory of pool format `poolVersion` (PoolDataObject::poolVersion).
    // Known: 50. Throws std::invalid_argument naming the version otherwise.
    static boost::shared_ptr<PoolFactory> getPoolFactory(uint32_t poolVersion);

    // The operation for `command`. Throws std::invalid_argument for an
    // unknown command code, a command without task or pool descriptor, a
    // delete without safesets, or a descriptor that is not of the task.
    virtual boost::shared_ptr<PoolOperation> createOperation(const PoolOperationCommand& command) = 0;

    virtual uint32_t poolVersion() const = 0;

protected:
    PoolFactory() = default;
};

}  // namespace Pool
