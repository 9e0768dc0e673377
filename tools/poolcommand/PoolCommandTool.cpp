#include "PoolCommandTool.h"

#include <csignal>
#include <deque>
#include <iostream>
#include <ostream>
#include <stdexcept>

#include <boost/lexical_cast.hpp>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "IndexFile.h"
#include "JobSubmission.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolFactory.h"
#include "Pool/PoolStorage.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"
#include "Veshmoor/VerifyManager.h"

namespace PoolCommandTool {

namespace {

const char* const kToolName = "poolcommand";

// Ctrl-C and SIGTERM ask the running operation to stop at its next check.
extern "C" void requestStop(int) { Pool::Interruption::request(); }

void stopOnSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

boost::shared_ptr<VaultCommandSession> openSession(const SessionSettings& settings, std::ostream& out) {
    batutil_LogOpen(settings.logFolder.empty() ? nullptr : settings.logFolder.c_str(), kToolName, 0, 0,
                    settings.verbose);
    VaultCommandSession::Options options;
    options.toolName = kToolName;
    options.folder = settings.logFolder;
    options.globalTag = settings.globalTag;
    options.dllRun = settings.maintenanceJob;
    boost::shared_ptr<VaultCommandSession> session(new VaultCommandSession(options));
    out << "log: " << batutil_LogPath() << "\nmaintenance log: " << session->maintenanceLogPath() << "\n";
    if (!session->getProgress()->statusFile().empty()) out << "status: " << session->getProgress()->statusFile() << "\n";
    out.flush();
    return session;
}

DataObjects::TaskDataObject findTask(uint32_t taskId) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DataObjects::TaskDataObject task;
    if (!manager.administratorInterface(true)->getTask(taskId, task))
        throw std::invalid_argument("task " + std::to_string(taskId) + " is not in the catalogue");
    return task;
}

uint64_t lastQueuedJob() {
    const std::vector<JobQueue::Job> jobs = JobQueue::listJobs();
    return jobs.empty() ? 0 : jobs.back().sequence;
}

// Hands a pool error to the error handler and lists the jobs it queued.
void handlePoolError(const Pool::PoolError& error, std::ostream& err) {
    std::cout.flush();
    err << "pool error " << Veshmoor::PoolErrorHandler::getErrorStr(error.getErrorNumber()) << " (0x" << std::hex
        << error.getErrorNumber() << std::dec << "): " << error.what() << "\n";
    const uint64_t before = lastQueuedJob();
    Veshmoor::PoolErrorHandler::handleError(error);
    for (const JobQueue::Job& job : JobQueue::listJobs())
        if (job.sequence > before) err << "queued job " << job.sequence << ": " << job.command << "\n";
}

}  // namespace

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
    stopOnSignals();
    boost::shared_ptr<VaultCommandSession> session = openSession(settings.session, out);
    std::deque<std::string> pending{settings.commandText};
    while (!pending.empty()) {
        const std::string text = pending.front();
        pending.pop_front();
        out << "running: " << text << std::endl;
        std::vector<std::string> followUps;
        out.flush();
        try {
            Veshmoor::PoolCommandManager::execute(session, text, followUps);
        } catch (const boost::bad_lexical_cast& error) {
            err << "cannot read the command text: " << error.what() << "\n";
            return kUsage;
        } catch (const Pool::JobInterruptedException& error) {
            err << "interrupted: " << error.what() << "\n";
            return kFailed;
        } catch (const Pool::PoolError& error) {
            handlePoolError(error, err);
            return kFailed;
        } catch (const VeshmoorException& error) {
            err << "command failed: " << error.what() << "\n";
            return kFailed;
        } catch (const std::exception& error) {
            // Reading the text failed (unknown task, missing field).
            err << "cannot read the command text: " << error.what() << "\n";
            return kUsage;
        }
        out << "status: " << session->getProgress()->getStatusMsg() << "\n";
        for (const std::string& followUp : followUps) {
            out << "follow-up: " << followUp << "\n";
            if (settings.runFollowUps) pending.push_back(followUp);
        }
        out << "done, " << followUps.size() << " follow-up command(s)" << std::endl;
    }
    return kDone;
}

int verifyTask(const SessionSettings& settings, uint32_t taskId, std::ostream& out, std::ostream& err) {
    boost::shared_ptr<VaultCommandSession> session = openSession(settings, out);
    const DataObjects::TaskDataObject task = findTask(taskId);
    std::vector<std::string> synchFiles, poolGuids;
    try {
        Veshmoor::VerifyManager::verifyTask(session, task, synchFiles, poolGuids);
    } catch (const std::exception& error) {
        err << "verify failed: " << error.what() << "\n";
        return kFailed;
    }
    for (const std::string& file : synchFiles) out << "synch file: " << file << "\n";
    for (const std::string& guid : poolGuids) out << "pool: " << guid << "\n";
    out << "task " << taskId << " verified" << std::endl;
    return kDone;
}

int verifyTaskFile(const SessionSettings& settings, uint32_t taskId, const std::string& file, std::ostream& out,
                   std::ostream& err) {
    boost::shared_ptr<VaultCommandSession> session = openSession(settings, out);
    const DataObjects::TaskDataObject task = findTask(taskId);
    std::string path = file;
    if (path.empty()) path = Pool::createPoolDescriptorForTask(task)->getPoolFolder() + IndexFileFormat::POOL_INDEX_FILE_NAME;
    try {
        Veshmoor::VerifyManager::verifyTaskFile(session, task, path);
    } catch (const Pool::PoolError& error) {
        handlePoolError(error, err);
        return kFailed;
    } catch (const std::exception& error) {
        err << "verify failed: " << error.what() << "\n";
        return kFailed;
    }
    out << "file " << path << " verified" << std::endl;
    return kDone;
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
