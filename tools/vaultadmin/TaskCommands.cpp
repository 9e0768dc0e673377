#include "TaskCommands.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "Pool/Locking.h"
#include "VSynchSetWriter.h"

namespace VaultAdmin {
namespace {

// The task's lock, taken at construction or refused with an error.
class HeldTaskLock final {
public:
    HeldTaskLock(const DataObjects::TaskDataObject& task, const char* holder, uint64_t waitMilliseconds)
        : unlock_(task, holder), lock_(0) {
        const bool locked = waitMilliseconds == 0 ? unlock_.lock(lock_)
                                                  : unlock_.lock(lock_, static_cast<unsigned long>(waitMilliseconds));
        if (!locked)
            throw std::runtime_error("task " + std::to_string(task.id) + " ('" + task.name +
                                     "') is locked by another process");
    }

private:
    Pool::Locking::AutoUnlockManager unlock_;
    Pool::Locking::PoolSystemLock lock_;
};

}  // namespace

DataObjects::TaskDataObject findTask(uint32_t taskId) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
    if (!admin) throw std::runtime_error("the database plug-in gave no administrator interface");
    DataObjects::TaskDataObject task;
    if (taskId == 0 || !admin->getTask(taskId, task) || task.id != taskId)
        throw std::runtime_error("the catalogue has no task with id " + std::to_string(taskId));
    return task;
}

void holdTaskLock(const HoldLockOptions& options, std::ostream& out) {
    const DataObjects::TaskDataObject task = findTask(options.taskId);
    HeldTaskLock held(task, "vaultadmin hold-lock", options.waitMilliseconds);
    out << "holding the lock of task " << task.id << " ('" << task.name << "')" << std::endl;
    if (options.untilKilled) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    out << "released the lock of task " << task.id << std::endl;
}

void markSafesetUnavailable(uint32_t taskId, uint32_t safesetNumber, bool clear, uint64_t waitMilliseconds,
                            std::ostream& out) {
    const DataObjects::TaskDataObject task = findTask(taskId);
    HeldTaskLock held(task, "vaultadmin mark-unavailable", waitMilliseconds);
    VSynchFiles::setEntryUnavailable(task, safesetNumber, !clear);
    out << "safeset " << safesetNumber << " of task " << task.id << " ('" << task.name << "') is now "
        << (clear ? "available" : "unavailable") << std::endl;
}

}  // namespace VaultAdmin
