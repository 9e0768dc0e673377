#include "ScanDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <stdexcept>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <nlohmann/json.hpp>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "FileServices.h"
#include "PassRecord.h"
#include "Pool/Locking.h"
#include "ReadAhead.h"
#include "ResultFiles.h"
#include "ScanProgress.h"
#include "TaskSafetyCheck.h"
#include "TaskStorageDescriptor.h"
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

struct TaskRef {
    uint32_t id;
    std::string name;
};

// What became of the tasks of one pass. Every selected task ends in exactly
// one of checked, deferred (locked or failed) or bound to another node, so
//   selected = checked + deferredLocked + deferredFailed + otherNode,
//   checked = safe + atRisk,
// and withOfflineData counts checked tasks that met an unavailable safeset.
struct PassCounts {
    long long checked = 0, safe = 0, atRisk = 0, withOfflineData = 0;
    long long deferredLocked = 0, deferredFailed = 0, otherNode = 0;
    std::vector<TaskRef> atRiskTasks, lockedTasks, failedTasks;
};

// What one run knows while it walks.
struct Run {
    bool recheck = false;
    UnknownTaskList unknownTasks;
    ResultFiles* results = nullptr;
    ScanProgress* progress = nullptr;
    std::string hostName;
    std::string vaultGuid;
    std::string runStamp;
    long long tasksCounter = 0;
    unsigned tasksInVault = 0;
    unsigned tasksAhead = 0;  // tasks listed and read ahead of the checks
    PassCounts counts;

    // An initial pass notes every task its walk meets; a re-check pass looks
    // for tasks of this node that the initial pass did not meet.
    std::vector<uint32_t> tasksMet;
    PassRecord record;
    long long missedCount = 0;
    std::vector<std::string> missedNames;  // the first few
};

const size_t kMissedNamesShown = 5;

bool isSelected(const Run& run, const TaskDataObject& task) {
    if (!run.recheck) return true;
    return run.unknownTasks.count(std::to_string(task.id)) != 0;
}

// A task that a re-check pass does not select: if no pass of this folder met
// it and it belongs to this node, it was added after the initial pass and is
// checked by no pass until a new initial pass.
void noteUnselected(Run& run, DatabaseInterfaces::DbInterfaceManager& manager, const TaskDataObject& task) {
    if (run.record.state() != PassRecord::State::Loaded || run.record.met(task.id)) return;
    try {
        DataObjects::NodeDataObject node;
        manager.administratorInterface(true)->getNodeByTaskId(task.id, node);
        if (!boost::algorithm::iequals(node.hostName, run.hostName)) return;
    } catch (const std::exception&) {
        // Its node cannot be told: count it, the warning errs on the side of a check.
    }
    ++run.missedCount;
    if (run.missedNames.size() < kMissedNamesShown) run.missedNames.push_back(task.name);
}

void handleTask(Run& run, DatabaseInterfaces::DbInterfaceManager& manager, const CustomerDataObject& customer,
                const LocationDataObject& location, const ComputerDataObject& computer,
                const TaskDataObject& task) {
    bool offlineDataDetected = false;
    if (run.progress) run.progress->taskMet();
    if (!run.recheck) run.tasksMet.push_back(task.id);
    try {
        if (!isSelected(run, task)) {
            if (run.recheck) noteUnselected(run, manager, task);
            return;
        }
        ++run.tasksCounter;
        log_show(kFacility, kInfo, "      Checking task %s", task.name.c_str());

        DataObjects::NodeDataObject node;
        manager.administratorInterface(true)->getNodeByTaskId(task.id, node);
        if (!boost::algorithm::iequals(node.hostName, run.hostName)) {
            log_show(kFacility, kWarning, "    * Unable to check task %s because it's bound to a different node %s",
                     task.name.c_str(), node.hostName.c_str());
            ++run.counts.otherNode;
            return;
        }

        Pool::Locking::AutoUnlockManager unlockManager(task, std::string());
        Pool::Locking::PoolSystemLock systemLock(0);  // destroyed before the manager releases the lock
        if (!unlockManager.lock(systemLock)) {
            log_show(kFacility, kWarning, "    * Unable to check task %s because it's being locked", task.name.c_str());
            run.results->writeUnknownTask(task.id, task.name);
            ++run.counts.deferredLocked;
            run.counts.lockedTasks.push_back({task.id, task.name});
            return;
        }
        const bool safe = checkTaskSafety(task, offlineDataDetected);
        const std::string verdict = VaultUtilities::formatMessage(
            safe ? "%s is safe to migrate" : "%s is NOT SAFE to migrate", task.name.c_str());
        log_show(kFacility, kInfo, safe ? "      + %s" : "      - %s", verdict.c_str());
        run.results->writeTaskLine(run.vaultGuid, run.hostName, customer.reference, location.reference,
                                   computer.name, task.name, safe, offlineDataDetected);
        ++run.counts.checked;
        if (safe) {
            ++run.counts.safe;
        } else {
            ++run.counts.atRisk;
            run.counts.atRiskTasks.push_back({task.id, task.name});
        }
        if (offlineDataDetected) ++run.counts.withOfflineData;
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Failed to process task %s due to error: %s", task.name.c_str(), error.what());
        run.results->writeUnknownTask(task.id, task.name);
        ++run.counts.deferredFailed;
        run.counts.failedTasks.push_back({task.id, task.name});
    }
}

// One step of the walk, in the order the walk takes them.
struct WalkStep {
    enum Kind { Customer, Computer, Task, Failure } kind;
    std::shared_ptr<const CustomerDataObject> customer;
    std::shared_ptr<const LocationDataObject> location;
    std::shared_ptr<const ComputerDataObject> computer;
    TaskDataObject task;
    std::exception_ptr failure;  // a listing that failed: the walk ends here
};

// The walk over customers, locations, computers and tasks, with up to
// `tasksAhead` tasks of the computer being walked queued before they are
// handled. The catalogue calls are the walk's own, in its order and at the
// same points between the tasks' checks.
class WalkAhead {
public:
    WalkAhead(DatabaseInterfaces::DbInterfaceManager& manager, Run& run, ReadAhead& readAhead)
        : manager_(manager), run_(run), readAhead_(readAhead) {
        manager_.administratorInterface(true)->getCustomers(customers_);
    }

    // The next step, or null at the end of the walk.
    const WalkStep* next() {
        fill();
        return steps_.empty() ? nullptr : &steps_.front();
    }
    void pop() {
        if (steps_.front().kind == WalkStep::Task) --tasksQueued_;
        steps_.pop_front();
    }

private:
    // Queues at least one step. A listing is made only when every step
    // before it was handled, as a walk without reading ahead makes it: a
    // catalogue that fails (or changes) in the middle of the walk then ends
    // it (or shows) at the same point. Tasks of a list already fetched are
    // queued up to `tasksAhead`, so that their files can be announced.
    void fill() {
        const size_t wanted = std::max<size_t>(1, run_.tasksAhead);
        while (!ended_ && (steps_.empty() || (tasksQueued_ < wanted && taskIndex_ < tasks_.size()))) {
            try {
                advance();
            } catch (...) {
                WalkStep failure{WalkStep::Failure, nullptr, nullptr, nullptr, TaskDataObject(), std::current_exception()};
                steps_.push_back(std::move(failure));
                ended_ = true;
            }
        }
    }

    // One listing or one queued task.
    void advance() {
        if (taskIndex_ < tasks_.size()) {
            const TaskDataObject& task = tasks_[taskIndex_++];
            // Numbered like the walk's tasks; only selected tasks are read.
            ++announced_;
            if (isSelected(run_, task) && !task.taskFolder.empty())
                readAhead_.announce(announced_, TaskStorageDescriptor::getSynchFilesStorageLocation(task));
            WalkStep step{WalkStep::Task, customer_, location_, computer_, task, nullptr};
            steps_.push_back(std::move(step));
            ++tasksQueued_;
            return;
        }
        if (computerIndex_ < computers_.size()) {
            computer_ = std::make_shared<const ComputerDataObject>(computers_[computerIndex_++]);
            steps_.push_back({WalkStep::Computer, customer_, location_, computer_, TaskDataObject(), nullptr});
            tasks_.clear();
            taskIndex_ = 0;
            manager_.administratorInterface(true)->getComputerTasks(computer_->id, tasks_);
            return;
        }
        if (locationIndex_ < locations_.size()) {
            location_ = std::make_shared<const LocationDataObject>(locations_[locationIndex_++]);
            computers_.clear();
            computerIndex_ = 0;
            manager_.administratorInterface(true)->getLocationComputers(location_->id, computers_);
            return;
        }
        if (customerIndex_ < customers_.size()) {
            customer_ = std::make_shared<const CustomerDataObject>(customers_[customerIndex_++]);
            locations_.clear();
            locationIndex_ = 0;
            manager_.administratorInterface(true)->getCustomerLocations(customer_->id, locations_);
            steps_.push_back({WalkStep::Customer, customer_, nullptr, nullptr, TaskDataObject(), nullptr});
            return;
        }
        ended_ = true;
    }

    DatabaseInterfaces::DbInterfaceManager& manager_;
    Run& run_;
    ReadAhead& readAhead_;
    std::vector<CustomerDataObject> customers_;
    std::vector<LocationDataObject> locations_;
    std::vector<ComputerDataObject> computers_;
    std::vector<TaskDataObject> tasks_;
    size_t customerIndex_ = 0, locationIndex_ = 0, computerIndex_ = 0, taskIndex_ = 0;
    std::shared_ptr<const CustomerDataObject> customer_;
    std::shared_ptr<const LocationDataObject> location_;
    std::shared_ptr<const ComputerDataObject> computer_;
    std::deque<WalkStep> steps_;
    size_t tasksQueued_ = 0;
    uint64_t announced_ = 0;
    bool ended_ = false;
};

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
    run.tasksInVault = taskCount;
    if (!run.recheck) run.tasksMet.reserve(taskCount);
    if (run.progress) run.progress->start(taskCount);
    run.hostName = getNodeHostName();
    run.results->writeRunLine(run.vaultGuid, run.hostName, taskCount, run.runStamp);

    // The next tasks of the computer being walked are queued ahead of the
    // checks, so that their files can be announced to the readers; every log
    // line, check and result line still follows the walk's order, and the
    // listings are made at the same points as without reading ahead.
    ReadAhead readAhead(run.tasksAhead);
    WalkAhead ahead(manager, run, readAhead);
    uint64_t sequence = 0;
    while (const WalkStep* step = ahead.next()) {
        switch (step->kind) {
        case WalkStep::Customer:
            log_show(kFacility, kInfo, "Checking tasks for customer %s", step->customer->name.c_str());
            break;
        case WalkStep::Computer:
            log_show(kFacility, kInfo, "    Checking tasks for computer %s", step->computer->name.c_str());
            break;
        case WalkStep::Task:
            readAhead.reached(++sequence);
            handleTask(run, manager, *step->customer, *step->location, *step->computer, step->task);
            break;
        case WalkStep::Failure:
            std::rethrow_exception(step->failure);
        }
        ahead.pop();
    }
    if (run.progress) run.progress->finish();
    log_show(kFacility, kInfo, "Finished checking for %lld tasks...", run.tasksCounter);
}

std::string formatSeconds(double seconds) {
    char text[64];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const long long whole = static_cast<long long>(seconds + 0.5);
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld (%lld s)", whole / 3600, whole / 60 % 60, whole % 60,
                      whole);
    }
    return text;
}

// The information lines after "Finished checking for ... tasks...".
void logSummary(const Run& run, double seconds) {
    const PassCounts& c = run.counts;
    log_show(kFacility, kInfo, "Summary of this %s pass: %lld tasks selected of %u in the vault",
             run.recheck ? "re-check" : "initial", run.tasksCounter, run.tasksInVault);
    log_show(kFacility, kInfo, "  checked: %lld (safe: %lld, at risk: %lld; with offline data: %lld)", c.checked,
             c.safe, c.atRisk, c.withOfflineData);
    log_show(kFacility, kInfo, "  deferred to the next run: %lld (locked: %lld, check failed: %lld)",
             c.deferredLocked + c.deferredFailed, c.deferredLocked, c.deferredFailed);
    log_show(kFacility, kInfo, "  bound to another node: %lld", c.otherNode);
    log_show(kFacility, kInfo, "  time taken: %s", formatSeconds(seconds).c_str());
}

// A re-check pass that met tasks of this node no pass here has checked or
// listed says so once, with how to have them checked.
void warnAboutMissedTasks(const Run& run) {
    if (!run.recheck) return;
    if (run.record.state() == PassRecord::State::Missing) {
        log_show(kFacility, kWarning,
                 "This folder holds no record of its initial pass (%s), so tasks added to the vault since then "
                 "cannot be told apart: a re-check pass checks only the tasks in %s. To check every task, remove %s "
                 "(or run in an empty folder) and run again",
                 kPassRecordFileName, kUnknownTasksFileName, kUnknownTasksFileName);
        return;
    }
    if (run.record.state() == PassRecord::State::Unreadable) {
        log_show(kFacility, kWarning,
                 "The record of this folder's initial pass (%s) cannot be used (%s), so tasks added to the vault "
                 "since then cannot be told apart. To check every task, remove %s (or run in an empty folder) and "
                 "run again",
                 kPassRecordFileName, run.record.problem().c_str(), kUnknownTasksFileName);
        return;
    }
    if (run.missedCount == 0) return;
    std::string names;
    for (const std::string& name : run.missedNames) names += (names.empty() ? "" : ", ") + name;
    if (static_cast<size_t>(run.missedCount) > run.missedNames.size()) names += ", ...";
    log_show(kFacility, kWarning,
             "%lld task(s) of this node were added after this folder's initial pass (%s) and were checked by no "
             "pass here: %s. A re-check pass checks only the tasks in %s; to check them, remove %s (or run in an "
             "empty folder) and run again: that initial pass checks every task",
             run.missedCount, run.record.initialRunStamp().c_str(), names.c_str(), kUnknownTasksFileName,
             kUnknownTasksFileName);
}

nlohmann::json tasksJson(const std::vector<TaskRef>& tasks) {
    nlohmann::json list = nlohmann::json::array();
    for (const TaskRef& task : tasks) list.push_back({{"id", task.id}, {"name", task.name}});
    return list;
}

// The pass for scripts: see docs/trevalon.md for the schema.
std::string summaryJson(const Run& run, int exitCode, double seconds, const std::string& walkError,
                        const std::string& configPath, bool configFound) {
    const PassCounts& c = run.counts;
    char workingFolder[MAX_PATH] = {0};
    if (FileServices::__GetCurrentDirectory(sizeof workingFolder, workingFolder) == 0) workingFolder[0] = 0;
    nlohmann::json out = {
        {"program", "Trevalon"},
        {"version", kToolVersion},
        {"pass", run.recheck ? "recheck" : "initial"},
        {"exitCode", exitCode},
        {"walkCompleted", walkError.empty()},
        {"runStamp", run.runStamp},
        {"seconds", seconds},
        {"nodeConfiguration", {{"path", configPath}, {"found", configFound}}},
        {"files",
         {{"workingFolder", workingFolder},
          {"log", "Trevalon.log"},
          {"report", kReportFileName},
          {"unknownTasks", kUnknownTasksFileName},
          {"initialPassRecord", kPassRecordFileName}}},
        {"tasksInVault", run.tasksInVault},
        {"counts",
         {{"selected", run.tasksCounter},
          {"checked", c.checked},
          {"safe", c.safe},
          {"atRisk", c.atRisk},
          {"withOfflineData", c.withOfflineData},
          {"deferredLocked", c.deferredLocked},
          {"deferredFailed", c.deferredFailed},
          {"otherNode", c.otherNode},
          {"addedSinceInitialPass", run.missedCount}}},
        {"atRiskTasks", tasksJson(c.atRiskTasks)},
        {"deferredTasks", {{"locked", tasksJson(c.lockedTasks)}, {"failed", tasksJson(c.failedTasks)}}},
    };
    if (!walkError.empty()) out["walkError"] = walkError;
    // Names are bytes from the catalogue; bytes that are not UTF-8 become U+FFFD.
    return out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string formatRunStamp(std::time_t startTime) {
    struct tm local = {};
    GetLocalTm(startTime, &local);
    char text[64] = {0};
    std::strftime(text, sizeof text, "%b-%d-%Y_%H-%M-%S", &local);
    return text;
}

int runScan(const ScanOptions& options) {
    const std::time_t startTime = std::time(nullptr);
    const auto startClock = std::chrono::steady_clock::now();

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
    const std::string configPath = NodeConfig::path();
    const bool configFound =
        VaultFiles::FileSystem::real().status(configPath, VaultFiles::Links::Follow).kind != VaultFiles::FileKind::Missing;
    if (!configFound)
        log_show(kFacility, kWarning,
                 "No node configuration file at %s (set VAULT_NODE_CONFIG to name another); defaults apply",
                 configPath.c_str());

    ScanProgress progress(options.progress);
    Run run;
    run.progress = &progress;
    run.runStamp = formatRunStamp(startTime);
    run.tasksAhead = configuredTasksAhead();
    run.unknownTasks = loadUnknownTaskList(kUnknownTasksFileName);
    run.recheck = !run.unknownTasks.empty();
    if (run.recheck) run.record = PassRecord::load(kPassRecordFileName);
    ResultFiles results(std::string(), run.recheck);
    run.results = &results;
    log_show(kFacility, kInfo, run.recheck ? "Re-checking tasks that were not checked in previous attempt"
                                           : "Initial checking for tasks affected by KQ-6157");

    std::string walkError;
    try {
        walk(run);
    } catch (const std::exception& error) {
        walkError = error.what();
    } catch (...) {
        // Our libraries throw only standard exceptions; anything else is
        // still a walk that did not finish, and must not leave a list that
        // claims the pass ended.
        walkError = "unknown error";
    }
    progress.finish();
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - startClock).count();
    };
    int exitCode = kExitCompleted;
    if (!walkError.empty()) {
        log_show(kFacility, kInfo, "Unhandled exception caught: %s", walkError.c_str());
        log_show(kFacility, kInfo, "Node configuration: %s%s", configPath.c_str(),
                 configFound ? "" : " (not found; defaults applied)");
        results.discardUnknownTasks();
        exitCode = kExitWalkFailed;
    } else {
        logSummary(run, seconds());
        results.commitUnknownTasks();
        if (!run.recheck && results.complete()) {
            // The list is in place: this pass is the folder's initial pass now.
            try {
                PassRecord::write(kPassRecordFileName, run.runStamp, run.tasksMet);
            } catch (const VaultFiles::FileError& error) {
                log_show(kFacility, kError, "%s was not written: %s", kPassRecordFileName, error.what());
                try {
                    // A record of an older pass would name tasks this pass met as added later.
                    VaultFiles::FileSystem::real().remove(kPassRecordFileName);
                } catch (const VaultFiles::FileError&) {
                }
                exitCode = kExitResultsIncomplete;
            }
        }
        warnAboutMissedTasks(run);
        if (!results.complete()) exitCode = kExitResultsIncomplete;
    }
    if (!options.summaryJsonPath.empty()) {
        try {
            VaultFiles::replaceFile(
                VaultFiles::FileSystem::real(), options.summaryJsonPath,
                summaryJson(run, exitCode == kExitWalkFailed ? 255 : exitCode, seconds(), walkError, configPath,
                            configFound));
        } catch (const std::exception& error) {
            log_show(kFacility, kError, "The summary %s was not written: %s", options.summaryJsonPath.c_str(),
                     error.what());
            if (exitCode == kExitCompleted) exitCode = kExitResultsIncomplete;
        }
    }
    return exitCode;
}

}  // namespace Trevalon
