#include "Veshmoor/PoolErrorHandler.h"

#include <stdexcept>

#include <boost/bind/bind.hpp>

#include "CrcRepairGate.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DisabledHandlers.h"
#include "JobSubmission.h"
#include "LibraryState.h"
#include "LocalSettings.h"
#include "LogIds.h"
#include "Pool/PoolErrors.h"
#include "ReadGlobalSetting.h"
#include "StatusText.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace Veshmoor {

namespace {

using detail::kFacility;
using detail::kCatalogueFacility;
using detail::kInformation;
using detail::kError;
using detail::kHandlerFailure;
using detail::kSubmitRequestFailed;


std::string labelOf(const std::vector<DataObjects::TaskDataObject>& tasks) {
    return tasks.empty() ? std::string("(nullptr)") : detail::taskLabel(tasks.front());
}

}  // namespace

PoolErrorHandler::PoolErrorHandler(const std::string& poolGuid, const std::string& taskGuid) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DataObjects::TaskDataObject task;
    try {
        DatabaseInterfaces::AdministratorInterface* catalogue = manager.administratorInterface(true);
        if (!taskGuid.empty()) {
            if (!catalogue->getTask(taskGuid, task))
                throw VaultUtilities::Error(1, kError, "PoolErrorHandler: Task not found, Task GUID {%s}",
                                            taskGuid.c_str());
            tasks_.push_back(task);
        } else {
            catalogue->getPoolTasks(poolGuid, tasks_);
            if (tasks_.empty())
                throw VaultUtilities::Error(1, kError, "PoolErrorHandler: No Tasks were found for the Pool {%s}",
                                            poolGuid.c_str());
        }
        const std::string lookupGuid = poolGuid.empty() ? tasks_.front().poolGuid : poolGuid;
        if (!catalogue->getPoolByGuid(lookupGuid, pool_))
            throw VaultUtilities::Error(1, kError, "PoolErrorHandler: Pool not found, Pool GUID {%s}",
                                        lookupGuid.c_str());
        initErrorHandlers();
    } catch (const VaultUtilities::Error& error) {
        error.logShow(nullptr);
    } catch (const std::exception& error) {
        log_show(kCatalogueFacility, kError, "PoolErrorHandler: Unknown error during initialization");
        // The fixed line above does not say what failed; this one does.
        log_show(kCatalogueFacility, kError, "PoolErrorHandler: %s", error.what());
    } catch (...) {
        log_show(kCatalogueFacility, kError, "PoolErrorHandler: Unknown error during initialization");
    }
}

// The handlers are bound to the object they belong to, so a copy binds its
// own instead of copying bindings to the source.
PoolErrorHandler::PoolErrorHandler(const PoolErrorHandler& other) : pool_(other.pool_), tasks_(other.tasks_) {
    if (!other.handlers_.empty()) initErrorHandlers();
}

PoolErrorHandler& PoolErrorHandler::operator=(const PoolErrorHandler& other) {
    if (this != &other) {
        pool_ = other.pool_;
        tasks_ = other.tasks_;
        handlers_.clear();
        if (!other.handlers_.empty()) initErrorHandlers();
    }
    return *this;
}

PoolErrorHandler::~PoolErrorHandler() = default;

void PoolErrorHandler::initErrorHandlers() {
    using boost::placeholders::_1;
    using boost::placeholders::_2;
    handlers_.clear();
    const Handler submit = boost::bind(&PoolErrorHandler::submitCrcRepair, this, _1, _2);
    const Handler mark = boost::bind(&PoolErrorHandler::markTasksAsSuspect, this, _1, _2);
    handlers_[0x00320000] = submit;
    handlers_[0x00320001] = mark;
    handlers_[0x00320002] = mark;
    handlers_[0x00510000] = mark;
    handlers_[0x00510001] = mark;
    handlers_[0x00510002] = mark;
}

std::string PoolErrorHandler::getErrorStr(int32_t errorCode) {
    const auto found = errorCodesStr_.find(errorCode);
    if (found != errorCodesStr_.end()) return found->second;
    return VaultUtilities::formatMessage("Unknown error code 0x%x", static_cast<unsigned>(errorCode));
}

void PoolErrorHandler::handleError(int32_t errorCode, void* context) {
    std::string name;
    std::string label;
    try {
        name = getErrorStr(errorCode);
        label = labelOf(tasks_);
        log_show(kFacility, kInformation, "Handling pool {%s} error '%s' for the task %s", pool_.guid.c_str(),
                 name.c_str(), label.c_str());
        const auto handler = handlers_.find(errorCode);
        if (handler == handlers_.end()) throw std::runtime_error("Unhandled error code");
        if (!isHandlerEnabled(errorCode)) {
            log_show(kFacility, kInformation, "The handler for the error '%s' is disabled", name.c_str());
            return;
        }
        handler->second(context, name);
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Failed to handle pool {%s} error '%s' for the task %s: %s", pool_.guid.c_str(),
                 name.c_str(), label.c_str(), error.what());
    } catch (...) {
        log_show(kFacility, kHandlerFailure, "Failed to handle pool {%s} error '%s' for the task %s",
                 pool_.guid.c_str(), name.c_str(), label.c_str());
    }
}

void PoolErrorHandler::handleError(const Pool::PoolError& error) {
    try {
        PoolErrorHandler handler(error.getPoolGuid(), error.getJobGuid());
        handler.handleError(error.getErrorNumber(), error.getContext());
    } catch (const std::exception& failure) {
        // Only creating the interface manager or the pool record can get here.
        log_show(kFacility, kError, "Failed to handle pool {%s} error '%s' for the task %s: %s",
                 error.getPoolGuid().c_str(), getErrorStr(error.getErrorNumber()).c_str(), "(nullptr)",
                 failure.what());
    } catch (...) {
        log_show(kFacility, kHandlerFailure, "Failed to handle pool {%s} error '%s' for the task %s",
                 error.getPoolGuid().c_str(), getErrorStr(error.getErrorNumber()).c_str(), "(nullptr)");
    }
}

// Read on every call, so a changed setting takes effect at the next error.
bool PoolErrorHandler::isHandlerEnabled(int32_t errorCode) {
    std::string disabled;
    readGlobalSetting("DisabledErrorHandlers", disabled, std::string());
    return !detail::settingDisablesCode(disabled, errorCode);
}

// Every task is marked even when one of them cannot be: the first failure is
// reported once all have been tried.
void PoolErrorHandler::markTasksAsSuspect(void*, const std::string& errorName) {
    std::string firstFailure;
    for (const DataObjects::TaskDataObject& task : tasks_) {
        try {
            LocalSettings::markTaskAsSuspect(task, errorName, true);
        } catch (const std::exception& error) {
            if (firstFailure.empty()) firstFailure = error.what();
        }
    }
    if (!firstFailure.empty()) throw std::runtime_error(firstFailure);
}

void PoolErrorHandler::submitCrcRepair(void*, const std::string& errorName) {
    try {
        if (tasks_.empty()) throw std::runtime_error("no task to repair");
        const DataObjects::TaskDataObject& task = tasks_.front();
        LocalSettings::markTaskAsSuspect(task, errorName, false);

        detail::CrcRepairGate gate(detail::lastCrcRepairTaskId());
        detail::CrcRepairSlot previous = detail::kNoCrcRepairTask;
        if (!gate.claim(task.id, previous)) return;
        // From here a job that is not queued gives the claim back, so the
        // task's next CRC error tries again.
        try {
            unsigned long submitRepairs = 1;
            sys_getconfignum("SubmitFileCrcRepair", &submitRepairs, 1);
            if (submitRepairs == 0) return;
            log_show(kFacility, kInformation, "Submitting repair crc...");
            const std::string job = VaultUtilities::formatMessage("pellatrix ssirepaircrcall task %u", task.id);
            if (sys_submit(nullptr, job.c_str(), SUBMIT_PRIORITY_NORMAL, 0, nullptr, nullptr) <= 0) {
                gate.release(task.id, previous);
                log_showEx(nullptr, kCatalogueFacility, kSubmitRequestFailed);
            }
        } catch (...) {
            gate.release(task.id, previous);
            throw;
        }
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Error occurred while trying to submit ssirepaircrc for this task: %s", error.what());
    } catch (...) {
        log_show(kFacility, kError, "Error occurred while trying to submit ssirepaircrc for this task");
    }
}

}  // namespace Veshmoor
