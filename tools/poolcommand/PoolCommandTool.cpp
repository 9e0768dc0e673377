#include "PoolCommandTool.h"

#include <pthread.h>

#include <cctype>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <boost/lexical_cast.hpp>
#include <nlohmann/json.hpp>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "IndexFile.h"
#include "JobSubmission.h"
#include "LocalSettings.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolFactory.h"
#include "Pool/PoolStorage.h"
#include "ReadGlobalSetting.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"
#include "Veshmoor/VerifyManager.h"
#include "console/Interrupt.h"
#include "console/ProgressLine.h"

namespace PoolCommandTool {

namespace {

using VaultConsole::ProgressLine;

const char* const kToolName = "poolcommand";

// The library's own refusals of a command text (the texts it fixes).
const char* const kTaskNotFound = "task not found in PoolOperationCommandSerializer";
const char* const kFixedTextErrors[] = {"PoolOperationCommand.task is null", "PoolOperationCommand.poolDescriptor is null",
                                        "PoolOperationCommand.command is not set"};
// What a pool operation or a verification says when another process holds the task's lock.
const char* const kLockHeld[] = {") is locked by another process (waited ",
                                 "Failed to obtain lock for re-creating missing synch file."};

const char* const kNeedsTaskIds =
    "the catalogue answered a look-up by task id without a task record: this command needs a catalogue that "
    "answers task ids (the SqlCatalogue plug-in; Quenlith does not, see docs/poolmgmt.md)";

// A command text that does not read (exit code 2).
class BadCommandText : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }
bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool saysLockHeld(const std::string& text) {
    for (const char* phrase : kLockHeld)
        if (contains(text, phrase)) return true;
    return false;
}

const char* outcomeName(int code) {
    switch (code) {
        case VaultConsole::kExitDone: return "done";
        case VaultConsole::kExitUsage: return "bad-command";
        case VaultConsole::kExitStateNotWritten: return "state-not-written";
        case VaultConsole::kExitDamageFound: return "damage-found";
        case VaultConsole::kExitRefusedBySettings: return "refused-by-settings";
        case VaultConsole::kExitTaskLocked: return "task-locked";
        case VaultConsole::kExitCatalogueUnreachable: return "catalogue-unreachable";
        case VaultConsole::kExitInterrupted: return "interrupted";
        default: return "failed";
    }
}

struct Report {
    std::string command;  // run, verify-task, verify-file
    std::string text;     // the command text (run)
    uint32_t taskId = 0;  // verify-task, verify-file
    std::string file;     // verify-file
    int exitCode = kDone;
    std::string message;
    bool poolError = false;
    int32_t errorNumber = 0;
    std::string errorName;
    std::string errorText;
    std::vector<std::string> followUps;
    std::vector<JobQueue::Job> jobs;
    std::vector<DataObjects::TaskDataObject> markedSuspect;
};

void printJson(const Report& report, std::ostream& out) {
    nlohmann::ordered_json object;
    object["command"] = report.command;
    if (report.command == "run")
        object["text"] = report.text;
    else
        object["task_id"] = report.taskId;
    if (report.command == "verify-file") object["file"] = report.file;
    object["outcome"] = outcomeName(report.exitCode);
    object["exit_code"] = report.exitCode;
    object["message"] = report.message.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(report.message);
    if (report.poolError) {
        std::ostringstream hex;
        hex << "0x" << std::hex << static_cast<uint32_t>(report.errorNumber);
        object["pool_error"] = {{"number", report.errorNumber},
                                {"hex", hex.str()},
                                {"name", report.errorName},
                                {"text", report.errorText}};
    } else {
        object["pool_error"] = nullptr;
    }
    object["follow_ups"] = report.followUps;
    object["jobs_queued"] = nlohmann::ordered_json::array();
    for (const JobQueue::Job& job : report.jobs)
        object["jobs_queued"].push_back({{"sequence", job.sequence}, {"command", job.command}});
    object["marked_suspect"] = nlohmann::ordered_json::array();
    for (const DataObjects::TaskDataObject& task : report.markedSuspect)
        object["marked_suspect"].push_back({{"task_id", task.id}, {"name", task.name}, {"guid", task.guid}});
    // Invalid UTF-8 in a name or text is replaced, never a reason to fail.
    out << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << std::endl;
}

// Ends a command: its JSON object, and its exit code.
int finish(const Report& report, const SessionSettings& settings, std::ostream& out) {
    if (settings.json) printJson(report, out);
    return report.exitCode;
}

boost::shared_ptr<VaultCommandSession> openSession(const SessionSettings& settings, std::ostream& human) {
    batutil_LogOpen(settings.logFolder.empty() ? nullptr : settings.logFolder.c_str(), kToolName, 0, 0,
                    settings.verbose);
    VaultCommandSession::Options options;
    options.toolName = kToolName;
    options.folder = settings.logFolder;
    options.globalTag = settings.globalTag;
    options.dllRun = settings.maintenanceJob;
    boost::shared_ptr<VaultCommandSession> session(new VaultCommandSession(options));
    human << "log: " << batutil_LogPath() << "\nmaintenance log: " << session->maintenanceLogPath() << "\n";
    if (!session->getProgress()->statusFile().empty()) human << "status: " << session->getProgress()->statusFile() << "\n";
    human.flush();
    return session;
}

// The catalogue's administrator interface; failing to get it means the
// catalogue (its file or its server) cannot be reached.
class Catalogue {
public:
    DatabaseInterfaces::AdministratorInterface& get() {
        if (!interface_) {
            try {
                interface_ = manager_.administratorInterface(true);
            } catch (const std::exception& error) {
                throw CatalogueUnreachable(error.what());
            }
        }
        return *interface_;
    }

private:
    DatabaseInterfaces::DbInterfaceManager manager_;
    DatabaseInterfaces::AdministratorInterface* interface_ = nullptr;
};

DataObjects::TaskDataObject findTask(uint32_t taskId) {
    Catalogue catalogue;
    DataObjects::TaskDataObject task;
    bool found = false;
    try {
        found = catalogue.get().getTask(taskId, task);
    } catch (const CatalogueUnreachable&) {
        throw;
    } catch (const std::exception& error) {
        if (std::string(error.what()) == "Not implemented") throw CatalogueCannotAnswer(kNeedsTaskIds);
        throw CatalogueUnreachable(error.what());
    }
    if (!found) throw std::invalid_argument("task " + std::to_string(taskId) + " is not in the catalogue");
    if (task.id != taskId || task.guid.empty()) throw CatalogueCannotAnswer(kNeedsTaskIds);
    return task;
}

// Reads a command text as the library does (task look-up included), telling
// a text that does not read from a catalogue that does not answer.
Pool::PoolOperationCommand readCommand(const std::string& text, Catalogue& catalogue) {
    Pool::PoolOperationCommand command;
    DatabaseInterfaces::AdministratorInterface& administrator = catalogue.get();
    try {
        Veshmoor::PoolOperationCommandSerializer::fromString(text, command, administrator);
    } catch (const boost::bad_lexical_cast& error) {
        throw BadCommandText(error.what());
    } catch (const std::exception& error) {
        const std::string what = error.what();
        if (startsWith(what, kTaskNotFound)) throw BadCommandText(what);
        for (const char* fixed : kFixedTextErrors) {
            if (what != fixed) continue;
            // A task the catalogue "found" without filling its record.
            if (command.task && command.task->guid.empty()) throw CatalogueCannotAnswer(kNeedsTaskIds);
            throw BadCommandText(what);
        }
        if (what == "Not implemented") throw CatalogueCannotAnswer(kNeedsTaskIds);
        // Everything else came from the task look-up.
        throw CatalogueUnreachable(what);
    }
    if (command.task->guid.empty()) throw CatalogueCannotAnswer(kNeedsTaskIds);
    return command;
}

// The same question the command manager asks the task's local settings
// before it runs a command; false when the settings cannot be read (the
// manager then fails on them itself).
bool refusedBySettings(const Pool::PoolOperationCommand& command) {
    const auto& table = Veshmoor::PoolCommandManager::executionSettings_;
    const auto setting = table.find(command.command);
    if (setting == table.end() || !command.task) return false;
    try {
        return !LocalSettings(*command.task).isRunnable(setting->second.first, setting->second.second);
    } catch (const std::exception&) {
        return false;
    }
}

uint64_t lastQueuedJob() {
    const std::vector<JobQueue::Job> jobs = JobQueue::listJobs();
    return jobs.empty() ? 0 : jobs.back().sequence;
}

// Whether the global setting DisabledErrorHandlers switches the handler of
// `number` off: decimal numbers between any punctuation or blanks.
bool handlerDisabled(int32_t number) {
    std::string value;
    try {
        readGlobalSetting("DisabledErrorHandlers", value, std::string());
    } catch (const std::exception&) {
        return false;
    }
    std::string token;
    for (size_t i = 0; i <= value.size(); ++i) {
        const unsigned char c = i < value.size() ? static_cast<unsigned char>(value[i]) : ' ';
        if (c < 0x80 && (std::isspace(c) || std::ispunct(c))) {
            if (!token.empty() && std::atoi(token.c_str()) == number) return true;
            token.clear();
        } else {
            token += static_cast<char>(c);
        }
    }
    return false;
}

// The tasks a pool error's handler acts on: the task it names, or every task
// of its pool. Empty when the catalogue does not say.
std::vector<DataObjects::TaskDataObject> tasksConcerned(const Pool::PoolError& error) {
    std::vector<DataObjects::TaskDataObject> tasks;
    try {
        Catalogue catalogue;
        if (!error.getJobGuid().empty()) {
            DataObjects::TaskDataObject task;
            if (catalogue.get().getTask(error.getJobGuid(), task)) tasks.push_back(task);
        } else {
            catalogue.get().getPoolTasks(error.getPoolGuid(), tasks);
        }
    } catch (const std::exception&) {
        tasks.clear();
    }
    return tasks;
}

// The suspect mark's counter, or "?" when the settings cannot be read.
std::string suspectCount(const DataObjects::TaskDataObject& task) {
    try {
        const LocalSettings settings(task);
        const auto& values = settings.values();
        const auto count = values.find("SUSPECT_COUNT");
        return count == values.end() ? std::string() : count->second;
    } catch (const std::exception&) {
        return "?";
    }
}

// Hands a pool error to the error handler and records what it did: the jobs
// it queued and the tasks it marked suspect. Exit code 5, or 4 when a task
// that should now be marked suspect is not (its settings file could not be
// written).
void handlePoolError(const Pool::PoolError& error, Report& report, std::ostream& human) {
    human.flush();
    report.poolError = true;
    report.errorNumber = error.getErrorNumber();
    report.errorName = Veshmoor::PoolErrorHandler::getErrorStr(error.getErrorNumber());
    report.errorText = error.what();
    human << "pool error " << report.errorName << " (0x" << std::hex << error.getErrorNumber() << std::dec
          << "): " << error.what() << "\n";

    const std::vector<DataObjects::TaskDataObject> tasks = tasksConcerned(error);
    std::vector<std::string> before;
    for (const DataObjects::TaskDataObject& task : tasks) before.push_back(suspectCount(task));
    const uint64_t lastJob = lastQueuedJob();
    Veshmoor::PoolErrorHandler::handleError(error);
    for (const JobQueue::Job& job : JobQueue::listJobs())
        if (job.sequence > lastJob) {
            report.jobs.push_back(job);
            human << "queued job " << job.sequence << ": " << job.command << "\n";
        }

    // A CRC error marks the first task; the others mark every task.
    const bool known = !startsWith(report.errorName, "Unknown error code");
    const bool marksAll = error.getErrorNumber() != Pool::ErrorNumber::CONTAINER_CHECKSUM;
    const bool marks = known && !handlerDisabled(error.getErrorNumber());
    std::string unmarked;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const std::string after = suspectCount(tasks[i]);
        if (after != before[i] && after != "?") {
            report.markedSuspect.push_back(tasks[i]);
            human << "marked suspect: task " << tasks[i].name << " (#" << tasks[i].id << ")\n";
        } else if (marks && (marksAll || i == 0) && unmarked.empty()) {
            unmarked = tasks[i].name + " (#" + std::to_string(tasks[i].id) + ")";
        }
    }
    if (!unmarked.empty()) {
        report.exitCode = VaultConsole::kExitStateNotWritten;
        report.message = "task " + unmarked + " could not be marked suspect: its settings file was not written (the vault log says why)";
        human << report.message << "\n";
    } else {
        report.exitCode = VaultConsole::kExitDamageFound;
        report.message = "a pool error was found and handled";
    }
}

// Runs `work` on a thread of its own while this thread keeps the progress
// line drawn and passes an operator's Ctrl-C on to the pool operations
// (which stop at their next check). The work's exception is rethrown here.
template <typename Work>
void runWatched(ProgressLine& line, uint64_t done, Work work) {
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        // Ctrl-C is this thread's to see: the work's blocking calls are not
        // cut short by it (they would fail with EINTR instead of stopping at
        // a check).
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        finishedChanged.notify_all();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        bool passedOn = false;
        while (!finished) {
            finishedChanged.wait_for(lock, std::chrono::milliseconds(100));
            if (!passedOn && VaultConsole::interrupted()) {
                Pool::Interruption::request();
                passedOn = true;
            }
            line.update(done);
        }
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

// The outcome of a failure that is not a pool error.
void recordFailure(Report& report, int code, const std::string& message, std::ostream& human, const char* prefix) {
    report.exitCode = code;
    report.message = message;
    human << prefix << message << "\n";
}

}  // namespace

const char* exitCodeHelp() {
    return "Exit codes:\n"
           "  0    done\n"
           "  1    failed for another reason (the message says which)\n"
           "  2    bad command line, or a command text that does not read\n"
           "  3    (scrub) another scrub is running on this node: retry later\n"
           "  4    a task's settings file was not written: a pool error's suspect mark is missing;\n"
           "       (scrub) the scrub record was not written completely (the previous one is kept)\n"
           "  5    a pool error was found and handled (see the jobs queued and the tasks marked suspect)\n"
           "  6    the task's local settings refuse the command\n"
           "  7    the task's lock is held by another process: retry later\n"
           "  8    the catalogue or its server could not be reached: retry later\n"
           "  130  interrupted by Ctrl-C or SIGTERM\n";
}

std::string commandTextFor(uint32_t taskId, const std::string& operation, const std::vector<uint32_t>& safesets,
                           const std::vector<std::string>& parameters) {
    static const std::pair<const char*, int32_t> codes[] = {
        {"verify", Pool::POOL_COMMAND_VERIFY},
        {"optimize", Pool::POOL_COMMAND_OPTIMIZE},
        {"dedup", Pool::POOL_COMMAND_DEDUPLICATE},
        {"delete", Pool::POOL_COMMAND_DELETE_SAFESETS},
    };
    Pool::PoolOperationCommand command;
    for (const auto& code : codes)
        if (operation == code.first) command.command = code.second;
    if (command.command == Pool::PoolOperationCommand::COMMAND_NOT_SET)
        throw std::invalid_argument("unknown operation '" + operation + "' (verify, optimize, dedup, delete)");
    const DataObjects::TaskDataObject task = findTask(taskId);
    command.task.reset(new DataObjects::TaskDataObject(task));
    command.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor(task.poolGuid, task));
    command.safesets = safesets;
    command.parameters = parameters;
    return Veshmoor::PoolOperationCommandSerializer::toString(command);
}

int runCommand(const RunSettings& settings, std::ostream& out, std::ostream& err) {
    std::ostream& human = settings.session.json ? err : out;
    VaultConsole::installInterruptHandlers();
    boost::shared_ptr<VaultCommandSession> session = openSession(settings.session, human);
    ProgressLine line("Running pool commands", ProgressLine::Unit::Items, "commands", settings.session.progress);
    std::deque<std::string> pending{settings.commandText};
    uint64_t done = 0;
    while (!pending.empty()) {
        Report report;
        report.command = "run";
        report.text = pending.front();
        pending.pop_front();
        line.clear();
        human << "running: " << report.text << std::endl;
        if (VaultConsole::interrupted()) {
            recordFailure(report, VaultConsole::kExitInterrupted, "stopped before this command", human, "interrupted: ");
            return finish(report, settings.session, out);
        }
        line.setTotal(done + pending.size() + 1);
        std::vector<Pool::PoolOperationCommand> produced;
        bool refusedBefore = false;
        try {
            Catalogue catalogue;
            Pool::PoolOperationCommand command = readCommand(report.text, catalogue);
            command.globalTag = session->getGlobalTag();
            refusedBefore = refusedBySettings(command);
            if (!refusedBefore && command.poolDescriptor) {
                // The library looks the pool up next; a catalogue that does
                // not answer now is a reason to retry, not a failed command.
                DataObjects::PoolDataObject pool;
                try {
                    catalogue.get().getPoolByGuid(command.poolDescriptor->getPoolGuid(), pool);
                } catch (const std::exception& error) {
                    throw CatalogueUnreachable(error.what());
                }
            }
            runWatched(line, done, [&] { Veshmoor::PoolCommandManager::execute(session, command, produced); });
            for (const Pool::PoolOperationCommand& followUp : produced)
                report.followUps.push_back(Veshmoor::PoolOperationCommandSerializer::toString(followUp));
            // The manager refuses without a word to its caller: ask the same
            // question again; refused both before and after, with nothing
            // produced, the manager refused too.
            if (refusedBefore && produced.empty() && refusedBySettings(command)) {
                line.clear();
                const auto& setting = Veshmoor::PoolCommandManager::executionSettings_.at(command.command);
                recordFailure(report, VaultConsole::kExitRefusedBySettings,
                              "the command was refused by the task's local settings (" + setting.first + "." +
                                  setting.second + " in " + LocalSettings::settingsPath(*command.task) + ")",
                              err, "refused: ");
                return finish(report, settings.session, out);
            }
        } catch (const BadCommandText& error) {
            line.clear();
            recordFailure(report, kUsage, error.what(), err, "cannot read the command text: ");
            return finish(report, settings.session, out);
        } catch (const CatalogueUnreachable& error) {
            line.clear();
            recordFailure(report, VaultConsole::kExitCatalogueUnreachable, error.what(), err,
                          "the catalogue could not be reached: ");
            return finish(report, settings.session, out);
        } catch (const CatalogueCannotAnswer& error) {
            line.clear();
            recordFailure(report, kFailed, error.what(), err, "");
            return finish(report, settings.session, out);
        } catch (const Pool::JobInterruptedException& error) {
            line.clear();
            recordFailure(report, VaultConsole::kExitInterrupted, error.what(), err, "interrupted: ");
            return finish(report, settings.session, out);
        } catch (const Pool::PoolError& error) {
            line.clear();
            handlePoolError(error, report, err);
            return finish(report, settings.session, out);
        } catch (const std::exception& error) {
            // VeshmoorException: the command failed.
            line.clear();
            const std::string what = error.what();
            recordFailure(report, saysLockHeld(what) ? VaultConsole::kExitTaskLocked : kFailed, what, err,
                          "command failed: ");
            return finish(report, settings.session, out);
        }
        ++done;
        line.clear();
        human << "status: " << session->getProgress()->getStatusMsg() << "\n";
        for (const std::string& followUp : report.followUps) {
            human << "follow-up: " << followUp << "\n";
            if (settings.runFollowUps) pending.push_back(followUp);
        }
        human << "done, " << report.followUps.size() << " follow-up command(s)" << std::endl;
        finish(report, settings.session, out);
    }
    return kDone;
}

int verifyTask(const SessionSettings& settings, uint32_t taskId, std::ostream& out, std::ostream& err) {
    std::ostream& human = settings.json ? err : out;
    VaultConsole::installInterruptHandlers();
    Report report;
    report.command = "verify-task";
    report.taskId = taskId;
    boost::shared_ptr<VaultCommandSession> session = openSession(settings, human);
    const DataObjects::TaskDataObject task = findTask(taskId);
    std::vector<std::string> synchFiles, poolGuids;
    {
        ProgressLine line("Verifying task " + std::to_string(taskId), ProgressLine::Unit::Items, "tasks",
                          settings.progress);
        line.setTotal(1);
        try {
            runWatched(line, 0, [&] { Veshmoor::VerifyManager::verifyTask(session, task, synchFiles, poolGuids); });
        } catch (const std::exception& error) {
            line.clear();
            const std::string what = error.what();
            recordFailure(report, saysLockHeld(what) ? VaultConsole::kExitTaskLocked : kFailed, what, err,
                          "verify failed: ");
            return finish(report, settings, out);
        }
    }
    for (const std::string& file : synchFiles) human << "synch file: " << file << "\n";
    for (const std::string& guid : poolGuids) human << "pool: " << guid << "\n";
    human << "task " << taskId << " verified" << std::endl;
    return finish(report, settings, out);
}

int verifyTaskFile(const SessionSettings& settings, uint32_t taskId, const std::string& file, std::ostream& out,
                   std::ostream& err) {
    std::ostream& human = settings.json ? err : out;
    VaultConsole::installInterruptHandlers();
    Report report;
    report.command = "verify-file";
    report.taskId = taskId;
    boost::shared_ptr<VaultCommandSession> session = openSession(settings, human);
    const DataObjects::TaskDataObject task = findTask(taskId);
    std::string path = file;
    if (path.empty()) path = Pool::createPoolDescriptorForTask(task)->getPoolFolder() + IndexFileFormat::POOL_INDEX_FILE_NAME;
    report.file = path;
    {
        ProgressLine line("Verifying " + path, ProgressLine::Unit::Items, "files", settings.progress);
        line.setTotal(1);
        try {
            runWatched(line, 0, [&] { Veshmoor::VerifyManager::verifyTaskFile(session, task, path); });
        } catch (const Pool::PoolError& error) {
            line.clear();
            handlePoolError(error, report, err);
            return finish(report, settings, out);
        } catch (const std::exception& error) {
            line.clear();
            recordFailure(report, kFailed, error.what(), err, "verify failed: ");
            return finish(report, settings, out);
        }
    }
    human << "file " << path << " verified" << std::endl;
    return finish(report, settings, out);
}

int reportEarlyFailure(const SessionSettings& settings, const std::string& command, uint32_t taskId, int code,
                       const std::string& message, std::ostream& out) {
    if (!settings.json) return code;
    Report report;
    report.command = command;
    report.taskId = taskId;
    report.exitCode = code;
    report.message = message;
    printJson(report, out);
    return code;
}

int listJobs(std::ostream& out, std::ostream& err) {
    std::vector<std::string> problems;
    const std::vector<JobQueue::Job> jobs = JobQueue::listJobs(&problems);
    for (const JobQueue::Job& job : jobs) out << job.sequence << " " << job.command << "  (" << job.submitted << ")\n";
    out << jobs.size() << " job(s) in " << JobQueue::spoolFolder() << std::endl;
    for (const std::string& problem : problems) err << "cannot read: " << problem << "\n";
    return problems.empty() ? kDone : kFailed;
}

}  // namespace PoolCommandTool
