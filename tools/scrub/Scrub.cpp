#include "PoolScrub/Scrub.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/lexical_cast.hpp>
#include <nlohmann/json.hpp>

#include "Carrowen/Writers.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "IndexFile.h"
#include "JobSubmission.h"
#include "LocalSettings.h"
#include "Pool/Layout.h"
#include "Pool/Locking.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolOperationCommand.h"
#include "Pool/PoolStorage.h"
#include "PoolScrub/ScrubRecord.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"
#include "console/ExitCodes.h"
#include "console/Interrupt.h"
#include "console/ProgressLine.h"

namespace PoolScrub {

namespace {

using namespace VaultConsole;
using Clock = std::chrono::steady_clock;

const char* const kToolName = "poolcommand";
const char* const kDefaultStateFolder = "/var/lib/vault";

// One pool of a task bound to this node.
struct Target {
    DataObjects::TaskDataObject task;
    std::string poolGuid;
    std::string folder;  // ends in '/'
};

// A pool to verify in this run, and why.
struct Planned {
    const Target* target;
    int order;           // 0 never verified or changed, 1 last result not ok, 2 verified before
    int64_t verifiedAt;  // for order 2: oldest first
};

enum class Stop { None, Budget, Interrupted, StateNotWritten };

struct Summary {
    uint64_t poolsPlanned = 0;
    uint64_t poolsVerified = 0;
    uint64_t bytesRead = 0;
    uint64_t errorsFound = 0;  // pool errors handed to the error handler
    uint64_t failures = 0;     // verifies that failed otherwise
    uint64_t tasksMarkedSuspect = 0;
    uint64_t jobsQueued = 0;
    uint64_t skippedLocked = 0;
    uint64_t refusedBySettings = 0;  // Pellatrix.Verify=0 in the task's settings
    uint64_t leftForNextRun = 0;
    uint64_t tasks = 0;
    uint64_t pools = 0;
    uint64_t droppedFromRecord = 0;
    Stop stop = Stop::None;
    nlohmann::json problems = nlohmann::json::array();
};

bool sameFiles(const PoolEntry& entry, const std::string& folder) {
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    if (entry.files.empty()) return false;
    for (const FileIdentity& recorded : entry.files)
        if (identityOf(files, folder, recorded.name) != recorded) return false;
    return true;
}

// What the verify is going to read: the sync list, the containers it names,
// the index. Looked at before the verify runs, so a file changed while it
// runs shows a different identity next time and is verified again.
std::vector<FileIdentity> snapshot(const std::string& folder) {
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    std::vector<FileIdentity> out;
    out.push_back(identityOf(files, folder, Pool::Layout::SYNC_LIST_FILE_NAME));
    try {
        for (const Carrowen::SyncListEntryData& entry : Carrowen::readSyncList(folder + Pool::Layout::SYNC_LIST_FILE_NAME))
            if (!entry.containerFileName.empty() && entry.containerFileName.find('/') == std::string::npos)
                out.push_back(identityOf(files, folder, entry.containerFileName));
    } catch (const std::exception&) {
        // The verify meets the same damage and reports it.
    }
    out.push_back(identityOf(files, folder, IndexFileFormat::POOL_INDEX_FILE_NAME));
    return out;
}

uint64_t bytesOf(const std::vector<FileIdentity>& files) {
    uint64_t total = 0;
    for (const FileIdentity& file : files) total += file.size;
    return total;
}

uint64_t lastQueuedJob() {
    const std::vector<JobQueue::Job> jobs = JobQueue::listJobs();
    return jobs.empty() ? 0 : jobs.back().sequence;
}

std::string suspectCount(const DataObjects::TaskDataObject& task) {
    try {
        LocalSettings settings(task);
        const auto found = settings.values().find("SUSPECT_COUNT");
        return found == settings.values().end() ? std::string() : found->second;
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string commandText(const Target& target) {
    Pool::PoolOperationCommand command;
    command.command = Pool::POOL_COMMAND_VERIFY;
    command.task.reset(new DataObjects::TaskDataObject(target.task));
    if (Pool::isSecondaryPool(target.poolGuid, target.task))
        command.poolDescriptor.reset(new Pool::SecondaryPoolStorageDescriptor(target.poolGuid, target.task));
    else
        command.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor(target.poolGuid, target.task));
    return Veshmoor::PoolOperationCommandSerializer::toString(command);
}

std::string poolFolderOf(const DataObjects::TaskDataObject& task, const std::string& poolGuid) {
    if (Pool::isSecondaryPool(poolGuid, task)) return Pool::SecondaryPoolStorageDescriptor(poolGuid, task).getPoolFolder();
    return Pool::OnlineCarrowenStorageDescriptor(poolGuid, task).getPoolFolder();
}

// What the command manager is going to ask; a refused verify returns without
// reading anything, so it must not be recorded as verified. A settings file
// that cannot be read is left to the command manager to report.
bool verifyRefusedBySettings(const DataObjects::TaskDataObject& task) {
    try {
        return !LocalSettings(task).isRunnable("Pellatrix", "Verify");
    } catch (const std::exception&) {
        return false;
    }
}

bool taskLockIsFree(const DataObjects::TaskDataObject& task) {
    Pool::Locking::AutoUnlockManager manager(task, std::string());
    Pool::Locking::PoolSystemLock lock(0);  // destroyed before the manager releases the lock
    return manager.lock(lock);
}

// The pools of the tasks bound to this node, as the catalogue lists them.
std::vector<Target> nodeTargets(Summary& summary) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
    const uint32_t vaultId = DatabaseInterfaces::getVaultID(manager.applicationInterface(true));
    if (vaultId == 0)
        throw std::invalid_argument("the vault '" + NodeConfig::get("database", "VaultID", "vault") +
                                    "' ([database] VaultID) is not in the catalogue");
    const std::string hostName = getNodeHostName();
    std::vector<DataObjects::NodeDataObject> nodes;
    admin->getAllNodes(nodes);
    std::set<uint32_t> nodeIds;
    for (const DataObjects::NodeDataObject& node : nodes)
        if (boost::algorithm::iequals(node.hostName, hostName)) nodeIds.insert(node.id);
    if (nodeIds.empty())
        throw std::invalid_argument("this node ('" + hostName + "', [node] HostName) is not in the catalogue");
    std::vector<DataObjects::TaskDataObject> tasks;
    admin->getAllTaskList(vaultId, tasks, true);
    std::vector<Target> targets;
    std::set<PoolKey> seen;  // a pool listed twice for a task is verified once
    for (const DataObjects::TaskDataObject& task : tasks) {
        if (!nodeIds.count(task.nodeId)) continue;
        ++summary.tasks;
        std::vector<DataObjects::PoolDataObject> pools;
        admin->getTaskPools(task.id, pools);
        for (const DataObjects::PoolDataObject& pool : pools) {
            if (pool.guid.empty() || !seen.insert(PoolKey(task.id, pool.guid)).second) continue;
            Target target{task, pool.guid, poolFolderOf(task, pool.guid)};
            if (target.folder.empty()) continue;  // a task without a folder has no pool files
            if (target.folder.back() != '/') target.folder += '/';
            targets.push_back(std::move(target));
        }
    }
    summary.pools = targets.size();
    return targets;
}

// Waits until `seconds` have passed since `start`, waking for Ctrl-C.
void pauseUntil(Clock::time_point start, double seconds) {
    const Clock::time_point until = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (!interrupted()) {
        const Clock::time_point now = Clock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(100)));
    }
}

void useIdleIoClass(std::ostream& err) {
    // ioprio_set(IOPRIO_WHO_PROCESS, this process, IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0))
    const int kWhoProcess = 1, kClassIdle = 3, kClassShift = 13;
    if (::syscall(SYS_ioprio_set, kWhoProcess, 0, kClassIdle << kClassShift) != 0)
        err << "warning: cannot use the idle I/O class: " << std::strerror(errno) << "\n";
}

std::string stopText(Stop stop) {
    switch (stop) {
        case Stop::None: return "";
        case Stop::Budget: return "time budget spent";
        case Stop::Interrupted: return "interrupted";
        case Stop::StateNotWritten: return "record not written";
    }
    return "";
}

int exitCodeOf(const Summary& summary) {
    if (summary.stop == Stop::StateNotWritten) return kExitStateNotWritten;
    if (summary.stop == Stop::Interrupted) return kExitInterrupted;
    if (summary.errorsFound > 0) return kExitDamageFound;
    if (summary.failures > 0) return kExitFailed;
    return kExitDone;
}

void report(const Summary& summary, int code, const ScrubSettings& settings, std::ostream& out) {
    if (settings.json) {
        nlohmann::json j;
        j["tasks"] = summary.tasks;
        j["pools"] = summary.pools;
        j["poolsPlanned"] = summary.poolsPlanned;
        j["poolsVerified"] = summary.poolsVerified;
        j["bytesRead"] = summary.bytesRead;
        j["errorsFound"] = summary.errorsFound;
        j["failures"] = summary.failures;
        j["tasksMarkedSuspect"] = summary.tasksMarkedSuspect;
        j["jobsQueued"] = summary.jobsQueued;
        j["skippedLocked"] = summary.skippedLocked;
        j["refusedBySettings"] = summary.refusedBySettings;
        j["leftForNextRun"] = summary.leftForNextRun;
        j["droppedFromRecord"] = summary.droppedFromRecord;
        j["stoppedBy"] = summary.stop == Stop::None ? nlohmann::json(nullptr) : nlohmann::json(stopText(summary.stop));
        j["problems"] = summary.problems;
        j["exitCode"] = code;
        out << j.dump(2) << std::endl;
        return;
    }
    out << "pools verified: " << summary.poolsVerified << " of " << summary.poolsPlanned << " due (" << summary.pools
        << " pools of " << summary.tasks << " tasks on this node)\n"
        << "bytes read: " << summary.bytesRead << " (" << ProgressLine::formatBytes(double(summary.bytesRead)) << ")\n"
        << "errors found: " << summary.errorsFound << "\n"
        << "other failures: " << summary.failures << "\n"
        << "tasks marked suspect: " << summary.tasksMarkedSuspect << "\n"
        << "jobs queued: " << summary.jobsQueued << "\n"
        << "skipped because locked: " << summary.skippedLocked << "\n"
        << "refused by local settings: " << summary.refusedBySettings << "\n"
        << "left for the next run: " << summary.leftForNextRun;
    if (summary.stop != Stop::None) out << " (" << stopText(summary.stop) << ")";
    out << std::endl;
}

}  // namespace

int64_t parseDuration(const std::string& text) {
    if (text.empty()) throw std::invalid_argument("an empty duration");
    int64_t total = 0;
    size_t i = 0;
    bool unitless = false;
    while (i < text.size()) {
        if (unitless) throw std::invalid_argument("'" + text + "': a number without a unit must stand alone");
        if (text[i] < '0' || text[i] > '9') throw std::invalid_argument("'" + text + "' is not a duration (e.g. 90s, 15m, 2h, 7d, 1h30m)");
        int64_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (value > (INT64_MAX - 9) / 10) throw std::invalid_argument("'" + text + "' is too long a duration");
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        int64_t unit = 1;
        if (i == text.size()) {
            unitless = total == 0 && text.find_first_not_of("0123456789") == std::string::npos;
            if (!unitless) throw std::invalid_argument("'" + text + "': the last number has no unit");
        } else {
            switch (text[i]) {
                case 's': unit = 1; break;
                case 'm': unit = 60; break;
                case 'h': unit = 3600; break;
                case 'd': unit = 86400; break;
                default: throw std::invalid_argument("'" + text + "': unknown unit '" + text[i] + "' (s, m, h, d)");
            }
            ++i;
        }
        if (value > (INT64_MAX - total) / unit) throw std::invalid_argument("'" + text + "' is too long a duration");
        total += value * unit;
    }
    return total;
}

std::string stateFolder() {
    std::string folder = NodeConfig::get("node", "StateFolder", kDefaultStateFolder);
    return folder.empty() ? std::string(kDefaultStateFolder) : folder;
}

int runScrub(const ScrubSettings& settings, std::ostream& out, std::ostream& err) {
    installInterruptHandlers();
    if (settings.idle) useIdleIoClass(err);
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    const std::string folder = stateFolder();
    RecordStore store(files, folder);
    std::unique_ptr<VaultFiles::LockFile> lock;
    try {
        VaultFiles::makeFolders(files, folder);
        lock = files.openLockFile(store.lockPath(), VaultFiles::LockTarget::File);
        if (!lock->tryLock()) {
            err << "poolcommand scrub: another scrub is running on this node (" << store.lockPath()
                << " is locked); try again later\n";
            return kExitBusy;
        }
    } catch (const VaultFiles::FileError& error) {
        err << "poolcommand scrub: the state folder cannot be used: " << error.what() << "\n";
        return kExitStateNotWritten;
    }
    store.removeLeftovers();

    batutil_LogOpen(settings.logFolder.empty() ? nullptr : settings.logFolder.c_str(), kToolName, 0, 0, settings.verbose);
    VaultCommandSession::Options options;
    options.toolName = kToolName;
    options.folder = settings.logFolder;
    options.globalTag = settings.globalTag;
    options.dllRun = true;  // a maintenance job: the shorter task-lock wait
    boost::shared_ptr<VaultCommandSession> session(new VaultCommandSession(options));
    if (!settings.json)
        out << "log: " << batutil_LogPath() << "\nmaintenance log: " << session->maintenanceLogPath()
            << "\nrecord: " << store.recordPath() << std::endl;

    std::string warning;
    Record record = store.load(warning);
    if (!warning.empty()) err << "warning: " << warning << "\n";

    Summary summary;
    std::vector<Target> targets;
    try {
        targets = nodeTargets(summary);
    } catch (const std::invalid_argument& error) {
        err << "poolcommand scrub: " << error.what() << "\n";
        return kExitFailed;
    } catch (const std::exception& error) {
        err << "poolcommand scrub: cannot read the catalogue: " << error.what() << "\n";
        return kExitCatalogueUnreachable;
    }

    // Keep only the pools the catalogue still lists for this node.
    const bool passWasComplete = record.passComplete;
    const uint64_t currentPass = record.passComplete ? record.pass + 1 : std::max<uint64_t>(record.pass, 1);
    std::map<PoolKey, PoolEntry> kept;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    std::vector<Planned> plan;
    for (const Target& target : targets) {
        const PoolKey key(target.task.id, target.poolGuid);
        const auto found = record.pools.find(key);
        if (found == record.pools.end()) {
            plan.push_back({&target, 0, 0});
            continue;
        }
        const PoolEntry& entry = found->second;
        kept[key] = entry;
        if (!sameFiles(entry, target.folder))
            plan.push_back({&target, 0, 0});
        else if (entry.pass == currentPass)
            continue;  // verified in this pass already
        else if (settings.maxAgeSeconds >= 0 && entry.verifiedAt > now - settings.maxAgeSeconds)
            continue;  // verified recently enough
        else
            plan.push_back({&target, entry.result == Result::Ok ? 2 : 1, entry.verifiedAt});
    }
    summary.droppedFromRecord = record.pools.size() - kept.size();
    record.pools.swap(kept);
    std::stable_sort(plan.begin(), plan.end(), [](const Planned& a, const Planned& b) {
        if (a.order != b.order) return a.order < b.order;
        return a.order == 2 && a.verifiedAt < b.verifiedAt;
    });
    summary.poolsPlanned = plan.size();

    ProgressLine progress("Verifying pools", ProgressLine::Unit::Items, "pools", settings.progress && !settings.json);
    progress.setTotal(plan.size());
    const Clock::time_point started = Clock::now();
    bool journalOpen = false;
    for (size_t i = 0; i < plan.size(); ++i) {
        const Target& target = *plan[i].target;
        const std::string what = "task " + std::to_string(target.task.id) + " pool " + target.poolGuid;
        if (interrupted()) {
            summary.stop = Stop::Interrupted;
            summary.leftForNextRun += plan.size() - i;
            break;
        }
        if (verifyRefusedBySettings(target.task)) {
            ++summary.refusedBySettings;
            progress.clear();
            if (!settings.json) out << "skipped " << what << ": its local settings refuse the verify (Pellatrix.Verify)" << std::endl;
            continue;
        }
        if (!taskLockIsFree(target.task)) {
            ++summary.skippedLocked;
            progress.clear();
            if (!settings.json) out << "skipped " << what << ": its task is locked by another process" << std::endl;
            continue;
        }
        const std::vector<FileIdentity> identities = snapshot(target.folder);
        progress.clear();
        if (!settings.json) out << "verifying " << what << std::endl;
        const Clock::time_point poolStarted = Clock::now();
        Result result = Result::Ok;
        std::string problem;
        bool locked = false, stopped = false;
        try {
            std::vector<std::string> followUps;
            Veshmoor::PoolCommandManager::execute(session, commandText(target), followUps);
        } catch (const Pool::JobInterruptedException& error) {
            stopped = true;
            problem = error.what();
        } catch (const Pool::PoolError& error) {
            result = Result::Damaged;
            ++summary.errorsFound;
            problem = "pool error " + Veshmoor::PoolErrorHandler::getErrorStr(error.getErrorNumber()) + ": " + error.what();
            // The tasks the handler may mark: the pool's tasks.
            std::vector<DataObjects::TaskDataObject> concerned{target.task};
            try {
                DatabaseInterfaces::DbInterfaceManager manager;
                std::vector<DataObjects::TaskDataObject> poolTasks;
                manager.administratorInterface(true)->getPoolTasks(target.poolGuid, poolTasks);
                for (const auto& t : poolTasks)
                    if (t.id != target.task.id) concerned.push_back(t);
            } catch (const std::exception&) {
                // Counting the marks of the task itself is still right.
            }
            std::vector<std::string> countsBefore;
            for (const auto& t : concerned) countsBefore.push_back(suspectCount(t));
            const uint64_t before = lastQueuedJob();
            Veshmoor::PoolErrorHandler::handleError(error);
            for (size_t t = 0; t < concerned.size(); ++t)
                if (suspectCount(concerned[t]) != countsBefore[t]) ++summary.tasksMarkedSuspect;
            for (const JobQueue::Job& job : JobQueue::listJobs())
                if (job.sequence > before) {
                    ++summary.jobsQueued;
                    if (!settings.json) out << "queued job " << job.sequence << ": " << job.command << "\n";
                }
        } catch (const std::exception& error) {
            problem = error.what();
            // The task lock taken by another process since it was looked at.
            if (!taskLockIsFree(target.task)) {
                locked = true;
            } else {
                result = Result::Failed;
                ++summary.failures;
            }
        }
        if (locked) {
            ++summary.skippedLocked;
            if (!settings.json) out << "skipped " << what << ": its task is locked by another process" << std::endl;
            continue;
        }
        if (stopped) {
            summary.stop = Stop::Interrupted;
            summary.leftForNextRun += plan.size() - i;
            break;
        }
        PoolEntry entry;
        entry.taskId = target.task.id;
        entry.poolGuid = target.poolGuid;
        entry.result = result;
        entry.pass = currentPass;
        entry.verifiedAt = static_cast<int64_t>(std::time(nullptr));
        entry.files = identities;
        ++summary.poolsVerified;
        summary.bytesRead += bytesOf(identities);
        if (!problem.empty()) {
            err << what << ": " << problem << "\n";
            summary.problems.push_back({{"task", target.task.id}, {"pool", target.poolGuid},
                                        {"result", resultName(result)}, {"text", problem}});
        }
        try {
            if (!journalOpen) {
                // The first pool of this run: a record of the pools that are
                // still this node's, in the pass now running.
                record.pass = currentPass;
                record.passComplete = false;
                store.writeRecord(record);
                journalOpen = true;
            }
            store.appendPool(entry);
            record.pools[PoolKey(entry.taskId, entry.poolGuid)] = entry;
            if (store.journalLength() > std::max<size_t>(256, record.pools.size() / 4)) store.writeRecord(record);
        } catch (const std::exception& error) {
            err << "poolcommand scrub: the record was not written: " << error.what()
                << "; the previous record is kept\n";
            summary.stop = Stop::StateNotWritten;
            summary.leftForNextRun += plan.size() - i - 1;
            break;
        }
        if (!settings.json) out << "verified " << what << ": " << resultName(result) << ", " << bytesOf(identities) << " bytes" << std::endl;
        progress.update(i + 1);
        if (settings.rateMiBPerSecond > 0)
            pauseUntil(poolStarted, double(bytesOf(identities)) / (settings.rateMiBPerSecond * 1024 * 1024));
        if (settings.maxDurationSeconds >= 0 &&
            Clock::now() - started >= std::chrono::seconds(settings.maxDurationSeconds) && i + 1 < plan.size()) {
            summary.stop = Stop::Budget;
            summary.leftForNextRun += plan.size() - i - 1;
            break;
        }
    }
    progress.clear();

    if (summary.stop != Stop::StateNotWritten) {
        const bool reachedEnd = summary.stop == Stop::None;
        const bool write = journalOpen || summary.droppedFromRecord > 0 || (reachedEnd && !passWasComplete);
        if (reachedEnd) {
            record.pass = currentPass;
            record.passComplete = true;
        }
        if (write) {
            try {
                store.writeRecord(record);
            } catch (const std::exception& error) {
                err << "poolcommand scrub: the record was not written: " << error.what()
                    << "; the previous record is kept\n";
                summary.stop = Stop::StateNotWritten;
            }
        }
    }
    const int code = exitCodeOf(summary);
    report(summary, code, settings, out);
    return code;
}

}  // namespace PoolScrub
