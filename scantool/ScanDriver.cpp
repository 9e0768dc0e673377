#include "ScanDriver.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "FileServices.h"
#include "Pool/Locking.h"
#include "ResultFiles.h"
#include "TaskSafetyCheck.h"
#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"
#include "WinKernel.h"

namespace Trevalon {

const char* const kToolVersion = "8.00.7416";

namespace {

const int kFacility = 0;
const unsigned kInfo = 4097;
const unsigned kWarning = 4098;
const unsigned kError = 4099;

using DataObjects::ComputerDataObject;
using DataObjects::CustomerDataObject;
using DataObjects::LocationDataObject;
using DataObjects::TaskDataObject;

// What one run knows while it walks.
struct Run {
    bool recheck = false;
    UnknownTaskList unknownTasks;
    ResultFiles* results = nullptr;
    std::string hostName;
    std::string vaultGuid;
    std::string runStamp;
    long long tasksCounter = 0;
};

bool isSelected(const Run& run, const TaskDataObject& task) {
    if (!run.recheck) return true;
    return run.unknownTasks.count(std::to_string(task.id)) != 0;
}

void handleTask(Run& run, DatabaseInterfaces::DbInterfaceManager& manager, const CustomerDataObject& customer,
                const LocationDataObject& location, const ComputerDataObject& computer,
                const TaskDataObject& task) {
    bool offlineDataDetected = false;
    try {
        if (!isSelected(run, task)) return;
        ++run.tasksCounter;
        log_show(kFacility, kInfo, "      Checking task %s", task.name.c_str());

        DataObjects::NodeDataObject node;
        manager.administratorInterface(true)->getNodeByTaskId(task.id, node);
        if (!boost::algorithm::iequals(node.hostName, run.hostName)) {
            log_show(kFacility, kWarning, "    * Unable to check task %s because it's bound to a different node %s",
                     task.name.c_str(), node.hostName.c_str());
            return;
        }

        Pool::Locking::AutoUnlockManager unlockManager(task, std::string());
        Pool::Locking::PoolSystemLock systemLock(0);  // destroyed before the manager releases the lock
        if (!unlockManager.lock(systemLock)) {
            log_show(kFacility, kWarning, "    * Unable to check task %s because it's being locked", task.name.c_str());
            run.results->writeUnknownTask(task.id, task.name);
            return;
        }
        const bool safe = checkTaskSafety(task, offlineDataDetected);
        const std::string verdict = VaultUtilities::formatMessage(
            safe ? "%s is safe to migrate" : "%s is NOT SAFE to migrate", task.name.c_str());
        log_show(kFacility, kInfo, safe ? "      + %s" : "      - %s", verdict.c_str());
        run.results->writeTaskLine(run.vaultGuid, run.hostName, customer.reference, location.reference,
                                   computer.name, task.name, safe, offlineDataDetected);
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Failed to process task %s due to error: %s", task.name.c_str(), error.what());
        run.results->writeUnknownTask(task.id, task.name);
    }
}

void walk(Run& run) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DataObjects::VaultDataObject vault;
    const uint32_t vaultId = DatabaseInterfaces::getVaultID(manager.applicationInterface(true));
    // A report of an unknown vault would carry an empty vault GUID on every
    // line and look like a complete scan of nothing.
    if (vaultId == 0 || !manager.administratorInterface(true)->getVault(vaultId, vault))
        throw std::runtime_error("the vault '" + DBConfig::Instance(false).getVaultID() +
                                 "' ([database] VaultID) cannot be found in the catalogue");
    run.vaultGuid = vault.guid;

    unsigned taskCount = 0;
    {
        std::vector<TaskDataObject> allTasks;
        manager.administratorInterface(true)->getAllTaskList(vaultId, allTasks, true);
        taskCount = static_cast<unsigned>(allTasks.size());
    }
    run.hostName = getNodeHostName();
    run.results->writeRunLine(run.vaultGuid, run.hostName, taskCount, run.runStamp);

    std::vector<CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    for (const CustomerDataObject& customer : customers) {
        std::vector<LocationDataObject> locations;
        manager.administratorInterface(true)->getCustomerLocations(customer.id, locations);
        log_show(kFacility, kInfo, "Checking tasks for customer %s", customer.name.c_str());
        for (const LocationDataObject& location : locations) {
            std::vector<ComputerDataObject> computers;
            manager.administratorInterface(true)->getLocationComputers(location.id, computers);
            for (const ComputerDataObject& computer : computers) {
                log_show(kFacility, kInfo, "    Checking tasks for computer %s", computer.name.c_str());
                std::vector<TaskDataObject> tasks;
                manager.administratorInterface(true)->getComputerTasks(computer.id, tasks);
                for (const TaskDataObject& task : tasks) handleTask(run, manager, customer, location, computer, task);
            }
        }
    }
    log_show(kFacility, kInfo, "Finished checking for %lld tasks...", run.tasksCounter);
}

}  // namespace

std::string formatRunStamp(std::time_t startTime) {
    struct tm local = {};
    GetLocalTm(startTime, &local);
    char text[64] = {0};
    std::strftime(text, sizeof text, "%b-%d-%Y_%H-%M-%S", &local);
    return text;
}

int runScan() {
    const std::time_t startTime = std::time(nullptr);

    // One run per working folder, decided before any file is touched: two
    // runs would interleave their report lines and replace each other's list.
    std::unique_ptr<VaultFiles::LockFile> folderLock;
    std::string folderLockProblem;
    try {
        folderLock = VaultFiles::FileSystem::real().openLockFile(".", VaultFiles::LockTarget::Folder);
        if (!folderLock->tryLock()) {
            // The log is not opened: this line goes to standard error.
            log_show(kFacility, kError,
                     "Another run of Trevalon is working in this folder; this run stops without touching its files");
            return kExitFolderBusy;
        }
    } catch (const VaultFiles::FileError& error) {
        folderLockProblem = error.what();
    }

    // The log takes the folder's name when it fits the kernel layer's buffer;
    // the result files are always opened by their bare names, so the list is
    // read and written in the same place whatever the folder's length.
    char currentDirectory[MAX_PATH] = {0};
    if (FileServices::__GetCurrentDirectory(sizeof currentDirectory, currentDirectory) == 0)
        std::snprintf(currentDirectory, sizeof currentDirectory, ".");
    batutil_LogOpen(currentDirectory, "Trevalon", 0, 0, true);
    log_show(kFacility, kInfo, "Tool version: %s", kToolVersion);
    log_show(kFacility, kInfo, "Vault version: %s", Version::local().c_str());
    if (!folderLockProblem.empty())
        log_show(kFacility, kWarning, "The working folder cannot be locked (%s); a second run here would not be noticed",
                 folderLockProblem.c_str());

    Run run;
    run.runStamp = formatRunStamp(startTime);
    run.unknownTasks = loadUnknownTaskList(kUnknownTasksFileName);
    run.recheck = !run.unknownTasks.empty();
    ResultFiles results(std::string(), run.recheck);
    run.results = &results;
    log_show(kFacility, kInfo, run.recheck ? "Re-checking tasks that were not checked in previous attempt"
                                           : "Initial checking for tasks affected by KQ-6157");

    try {
        walk(run);
    } catch (const std::exception& error) {
        log_show(kFacility, kInfo, "Unhandled exception caught: %s", error.what());
        results.discardUnknownTasks();
        return kExitWalkFailed;
    } catch (...) {
        // Our libraries throw only standard exceptions; anything else is
        // still a walk that did not finish, and must not leave a list that
        // claims the pass ended.
        log_show(kFacility, kInfo, "Unhandled exception caught: %s", "unknown error");
        results.discardUnknownTasks();
        return kExitWalkFailed;
    }
    results.commitUnknownTasks();
    return results.complete() ? kExitCompleted : kExitResultsIncomplete;
}

}  // namespace Trevalon
