#include "OperationSupport.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "Pool/Layout.h"
#include "Pool/PoolFactory.h"
#include "IndexFile.h"
#include "TaskStorageDescriptor.h"
#include "VaultCommandSession.h"
#include "VaultFiles.h"
#include "VaultSettings.h"

namespace Pool {
namespace Operations {

namespace {

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

PoolTarget::PoolTarget(const PoolOperationCommand& command)
    : task(*command.task),
      poolGuid(command.poolDescriptor->getPoolGuid()),
      folder(withSlash(command.poolDescriptor->getPoolFolder())),
      online(!task.poolGuid.empty() && ::strcasecmp(poolGuid.c_str(), task.poolGuid.c_str()) == 0 &&
             folder == Layout::poolFolder(task)),
      syncListPath(folder.empty() ? std::string() : folder + Layout::SYNC_LIST_FILE_NAME),
      indexPath(folder.empty() ? std::string() : folder + IndexFileFormat::POOL_INDEX_FILE_NAME) {}

PoolError PoolTarget::error(int32_t number, const std::string& text) const {
    return PoolError(number, poolGuid, task.guid, text);
}

std::string PoolTarget::taskText() const { return "task '" + task.name + "' (#" + std::to_string(task.id) + ")"; }

void PoolTarget::requirePoolFolder() const {
    struct stat st;
    if (folder.empty() || ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw error(ErrorNumber::POOL_FILE_UNREADABLE,
                    "pool " + poolGuid + " of " + taskText() + ": pool folder '" + folder + "' does not exist");
}

std::vector<Carrowen::SyncListEntryData> PoolTarget::readSyncList() const {
    try {
        return Carrowen::readSyncList(syncListPath);
    } catch (const std::exception& e) {
        throw error(ErrorNumber::SYNC_LIST_DAMAGED, e.what());
    }
}

HeldTaskLock::HeldTaskLock(const DataObjects::TaskDataObject& task) : manager_(task, std::string()), lock_(1) {
    using Clock = std::chrono::steady_clock;
    const unsigned long timeout = timeoutMs();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
    // Waited for in short slices, so that a stop asked for meanwhile (Ctrl-C)
    // ends the wait instead of the time-out.
    for (;;) {
        const Clock::time_point now = Clock::now();
        const unsigned long left =
            now >= deadline ? 0 : static_cast<unsigned long>(
                                      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        if (manager_.lock(lock_, std::min(left, 50UL))) return;
        // A lock file that cannot be used fails at once: say so, not a wait.
        if (!manager_.failure().empty())
            throw std::runtime_error("task '" + task.name + "' (#" + std::to_string(task.id) +
                                     ") cannot be locked: " + manager_.failure());
        if (Interruption::requested())
            throw JobInterruptedException(task.poolGuid, task.guid,
                                          "pool operation interrupted while waiting for the lock of task '" +
                                              task.name + "' (#" + std::to_string(task.id) + ")");
        if (left == 0 || Clock::now() >= deadline) break;
    }
    throw std::runtime_error("task '" + task.name + "' (#" + std::to_string(task.id) +
                             ") is locked by another process (waited " + std::to_string(timeout) + " ms)");
}

unsigned long HeldTaskLock::timeoutMs() {
    unsigned long value = 0;
    if (VaultCommandSession::isDllRun()) return sys_getconfignum("MaintenanceOptimizeLockTimeout", &value, 30000);
    return sys_getconfignum("OptimizeLockTimeout", &value, 300000);
}

VSynchFiles::FileContents readSynchSet(const PoolTarget& pool) {
    const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(pool.task);
    if (folder.empty())
        throw pool.error(ErrorNumber::DISABLE_TASK_WRITERS, pool.taskText() + ": no task folder, so no synchronisation set");
    try {
        return VSynchFiles::readFile(folder + VSynchSet::MAIN_FILE_NAME);
    } catch (const std::exception& mainError) {
        try {
            return VSynchFiles::readFile(folder + VSynchSet::MIRROR_FILE_NAME);
        } catch (const std::exception& mirrorError) {
            throw pool.error(ErrorNumber::DISABLE_TASK_WRITERS, pool.taskText() + ": no readable synchronisation file: " +
                                                                    mainError.what() + "; " + mirrorError.what());
        }
    }
}

PoolOperationCommand verifyFollowUp(const PoolOperationCommand& command) {
    PoolOperationCommand verify;
    verify.command = POOL_COMMAND_VERIFY;
    verify.task = command.task;
    verify.poolDescriptor = command.poolDescriptor;
    verify.globalTag = command.globalTag;
    return verify;
}

void syncFolder(const std::string& folder) { VaultFiles::FileSystem::real().syncFolder(folder); }

bool isTemporaryName(const std::string& name, long& pid) {
    if (name.size() < 2 || name[0] != '.') return false;
    const size_t tmp = name.rfind(".tmp.");
    if (tmp == std::string::npos || tmp == 0) return false;
    const std::string rest = name.substr(tmp + 5);  // "<pid>.<n>"
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == rest.size()) return false;
    const std::string pidText = rest.substr(0, dot);
    const std::string counter = rest.substr(dot + 1);
    if (pidText.find_first_not_of("0123456789") != std::string::npos || pidText.size() > 9) return false;
    if (counter.find_first_not_of("0123456789") != std::string::npos) return false;
    pid = std::stol(pidText);
    return true;
}

}  // namespace Operations
}  // namespace Pool
