#include "Veshmoor/VerifyManager.h"

#include <stdexcept>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "FileError.h"
#include "FileServices.h"
#include "IndexFile.h"
#include "LogIds.h"
#include "Pool/Locking.h"
#include "Pool/PoolErrors.h"
#include "StatusText.h"
#include "TaskHierarchy.h"
#include "TaskStorageDescriptor.h"
#include "VSynchSet.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace Veshmoor {

namespace {

using detail::kFacility;
using detail::kSynchFacility;
using detail::kInformation;
using detail::kWarning;
using detail::kError;

const uint64_t kIndexHeaderSize = 512;
const int kRepairLockMode = 1;

}  // namespace

// Where verifyTask names the task and finds its pools: by default the
// library's task naming and an interface manager of its own; or a caller's
// administrator interface.
class TaskCatalogue {
public:
    virtual ~TaskCatalogue() = default;
    virtual std::string hierarchy(uint32_t taskId) = 0;
    virtual void taskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) = 0;
};

class DefaultCatalogue final : public TaskCatalogue {
public:
    std::string hierarchy(uint32_t taskId) override { return getTaskHierarchy(static_cast<int32_t>(taskId)); }
    void taskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) override {
        DatabaseInterfaces::DbInterfaceManager manager;
        manager.administratorInterface(true)->getTaskPools(taskId, pools);
    }
};

class GivenCatalogue final : public TaskCatalogue {
public:
    explicit GivenCatalogue(DatabaseInterfaces::AdministratorInterface& catalogue) : catalogue_(catalogue) {}
    // Never fails, as the library's task naming: "" when the look-up does.
    std::string hierarchy(uint32_t taskId) override {
        try {
            return catalogue_.getTaskHierarchy(taskId);
        } catch (const std::exception&) {
            return std::string();
        }
    }
    void taskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) override {
        catalogue_.getTaskPools(taskId, pools);
    }

private:
    DatabaseInterfaces::AdministratorInterface& catalogue_;
};

void VerifyManager::verifyTask(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                               std::vector<std::string>& synchFiles, std::vector<std::string>& poolGuids) {
    DefaultCatalogue catalogue;
    verifyTaskWith(session, task, synchFiles, poolGuids, catalogue);
}

void VerifyManager::verifyTask(boost::shared_ptr<VaultCommandSession> session, const DataObjects::TaskDataObject& task,
                               std::vector<std::string>& synchFiles, std::vector<std::string>& poolGuids,
                               DatabaseInterfaces::AdministratorInterface& catalogue) {
    GivenCatalogue given(catalogue);
    verifyTaskWith(session, task, synchFiles, poolGuids, given);
}

void VerifyManager::verifyTaskWith(boost::shared_ptr<VaultCommandSession> session,
                                   const DataObjects::TaskDataObject& task, std::vector<std::string>& synchFiles,
                                   std::vector<std::string>& poolGuids, TaskCatalogue& catalogue) {
    if (!session) throw std::invalid_argument("VerifyManager: no command session");
    try {
        const std::string message = "Checking task " + catalogue.hierarchy(task.id);
        session->logMaintenance(kFacility, kInformation, "%s", message.c_str());
        session->getProgress()->SetStatusMsg(message, 0);

        VSynchSet set(0, true, 0);
        if (set.Open(task, false) < 1) throw std::runtime_error("Failed to open synch file.");
        set.Close(false, nullptr);

        if (set.isOldFileFormat()) {
            log_show(kFacility, kInformation, "Task %s Synch files verification will be skipped due to old files format",
                     detail::taskLabel(task).c_str());
        } else {
            const std::string directory = AddTrailingSlash(TaskStorageDescriptor::getSynchFilesStorageLocation(task));
            ensureSynchFiles(task, directory);
            synchFiles.push_back(directory + VSynchSet::MAIN_FILE_NAME);
            synchFiles.push_back(directory + VSynchSet::MIRROR_FILE_NAME);
        }

        std::vector<DataObjects::PoolDataObject> pools;
        catalogue.taskPools(task.id, pools);
        if (pools.empty())
            throw std::runtime_error(
                VaultUtilities::formatMessage("pool not found for task (from database): %s", task.guid.c_str()));
        for (const DataObjects::PoolDataObject& pool : pools)
            if (!pool.secondary) poolGuids.push_back(pool.guid);
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Failed to verify task %u: %s", task.id, error.what());
        session->logMaintenance(kFacility, kError, "Failed to verify task: %s", error.what());
        throw VeshmoorException(error.what());
    }
}

void VerifyManager::ensureSynchFiles(const DataObjects::TaskDataObject& task, const std::string& directory) {
    const bool mainExists = vv_FileExists(nullptr, directory / VFileName(VSynchSet::MAIN_FILE_NAME));
    const bool mirrorExists = vv_FileExists(nullptr, directory / VFileName(VSynchSet::MIRROR_FILE_NAME));
    if (directory.empty() || (!mainExists && !mirrorExists))
        throw std::runtime_error("Synch Files are not avaiable for task");
    if (mainExists && mirrorExists) return;

    log_show(kSynchFacility, kWarning, "One of the Synch Files is missing for task '%s', Will re-create it...",
             getTaskHierarchy(static_cast<int32_t>(task.id)).c_str());
    // Released in reverse order on every way out: the set, the pool-system
    // lock, then the manager that holds the task lock.
    Pool::Locking::AutoUnlockManager unlockManager(task, std::string());
    Pool::Locking::PoolSystemLock systemLock(kRepairLockMode);
    if (!unlockManager.lock(systemLock, getOptimizeLockTimeout()))
        throw std::runtime_error("Failed to obtain lock for re-creating missing synch file.");
    VSynchSet set(1, true, 0);
    if (set.Open(task, true) < 1) throw std::runtime_error("Failed to open synch file for re-creating missing synch file.");
    set.Close(true, nullptr);
}

unsigned long VerifyManager::getOptimizeLockTimeout() {
    unsigned long timeout = 0;
    if (VaultCommandSession::isDllRun()) return sys_getconfignum("MaintenanceOptimizeLockTimeout", &timeout, 30000);
    return sys_getconfignum("OptimizeLockTimeout", &timeout, 300000);
}

void VerifyManager::verifyTaskFile(boost::shared_ptr<VaultCommandSession> session,
                                   const DataObjects::TaskDataObject& task, const std::string& filePath) {
    if (!session) throw std::invalid_argument("VerifyManager: no command session");
    log_show(kFacility, kInformation, "Verifying task \"%s\" file \"%s\"", task.name.c_str(), filePath.c_str());
    try {
        IndexFileBase file;
        file.open(filePath, 1, 1);
        if (file.getPhysicalSize() < kIndexHeaderSize)
            throw Pool::DisableTaskWritersError(task.guid, "%s: File size is smaller than header size", filePath.c_str());
        file.verify(true);
        file.close(true);
    } catch (const FileError& error) {
        session->logMaintenance(kFacility, kError, "Failed to verify task (%u) file: %s", task.id, error.what());
        throw Pool::DisableTaskWritersError(task.guid, "File Invalid:  %s, error: %s", filePath.c_str(), error.what());
    } catch (const Pool::PoolError& error) {
        session->logMaintenance(kFacility, kError, "Failed to verify task (%u) file: %s", task.id, error.what());
        throw;
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Failed to verify task file: %s", error.what());
        session->logMaintenance(kFacility, kError, "Failed to verify task (%u) file: %s", task.id, error.what());
        log_show(kFacility, kInformation, "File Invalid:  %s", filePath.c_str());
        throw VeshmoorException(error.what());
    }
}

}  // namespace Veshmoor
