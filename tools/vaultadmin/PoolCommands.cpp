#include "PoolCommands.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "JobSubmission.h"
#include "LocalSettings.h"
#include "Pool/PoolFactory.h"
#include "Pool/PoolStorage.h"
#include "TaskCommands.h"
#include "VaultFiles.h"

namespace VaultAdmin {
namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kNotWritten = 4;  // a state file could not be written completely

// True when the file layer failed to write, flush or replace a file (rather
// than to find or read one).
bool isWriteFailure(const VaultFiles::FileError& e) {
    for (const char* operation : {"write", "sync", "rename", "close", "replace"})
        if (e.operation().compare(0, std::strlen(operation), operation) == 0) return true;
    return false;
}

const char* const kOperations[] = {"verify", "optimize", "deduplicate", "delete"};

std::string taskText(const DataObjects::TaskDataObject& task) {
    return "task " + std::to_string(task.id) + " ('" + task.name + "')";
}

std::string hexNumber(int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(number));
    return text;
}

int showSettings(const PoolCommandLine& line, std::ostream& out) {
    const DataObjects::TaskDataObject task = findTask(line.taskId);
    for (const std::string& assignment : line.set) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::invalid_argument("--set " + assignment + ": give KEY=VALUE");
        LocalSettings::setValue(task, assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    for (const std::string& key : line.unset) LocalSettings::removeValue(task, key);
    const LocalSettings settings(task);
    out << "settings of " << taskText(task) << ": " << LocalSettings::settingsPath(task) << "\n";
    if (settings.values().empty()) out << "  (none: every feature enabled)\n";
    for (const auto& entry : settings.values()) out << "  " << entry.first << "=" << entry.second << "\n";
    return 0;
}

int showSuspect(const PoolCommandLine& line, std::ostream& out) {
    const DataObjects::TaskDataObject task = findTask(line.taskId);
    if (line.clear) LocalSettings::clearSuspect(task);
    if (!line.markReason.empty()) LocalSettings::markTaskAsSuspect(task, line.markReason, line.manual);
    const LocalSettings settings(task);
    if (!settings.isSuspect()) {
        out << taskText(task) << " is not suspect\n";
        return 0;
    }
    const auto value = [&](const char* key) {
        const auto it = settings.values().find(key);
        return it == settings.values().end() ? std::string() : it->second;
    };
    out << taskText(task) << " is suspect: " << value("SUSPECT_REASON") << "\n  marked " << value("SUSPECT_COUNT")
        << " time(s), last at " << value("SUSPECT_TIME") << "; "
        << (value("SUSPECT_MANUAL") == "1" ? "needs an administrator" : "awaits its repair job") << "\n";
    return 0;
}

int listQueue(std::ostream& out, std::ostream& err) {
    std::vector<std::string> problems;
    const std::vector<JobQueue::Job> jobs = JobQueue::listJobs(&problems);
    out << "spool folder " << JobQueue::spoolFolder() << ": " << jobs.size() << " job(s)\n";
    for (const JobQueue::Job& job : jobs)
        out << job.sequence << "\tpriority " << job.priority << "\t" << job.submitted << "\t" << job.user << "\t"
            << job.command << (job.comment.empty() ? "" : "\t# " + job.comment) << "\n";
    for (const std::string& problem : problems) err << "vaultadmin: " << problem << "\n";
    return problems.empty() ? 0 : kFailed;
}

// A stop request from the terminal or a service manager reaches the operation.
extern "C" void requestStop(int) { Pool::Interruption::request(); }

int runPoolOperation(const PoolCommandLine& line, std::ostream& out, std::ostream& err) {
    int32_t code = -1;
    for (int32_t i = 0; i < 4; ++i)
        if (line.operation == kOperations[i]) code = i;
    if (code < 0) {
        err << "pool: --command must be verify, optimize, deduplicate or delete\n";
        return kUsage;
    }
    if ((code == Pool::POOL_COMMAND_DELETE_SAFESETS) != !line.safesets.empty()) {
        err << "pool: give --safeset with delete, and only with delete\n";
        return kUsage;
    }
    Pool::PoolOperationCommand command;
    command.command = code;
    command.task.reset(new DataObjects::TaskDataObject(findTask(line.taskId)));
    command.safesets = line.safesets;
    const std::string guid = line.poolGuid.empty() ? command.task->poolGuid : line.poolGuid;
    if (Pool::isSecondaryPool(guid, *command.task))
        command.poolDescriptor.reset(new Pool::SecondaryPoolStorageDescriptor(guid, *command.task));
    else
        command.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor(guid, *command.task));
    command.globalTag = "vaultadmin";

    DataObjects::PoolDataObject pool;
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
        if (!admin) throw std::runtime_error("the database plug-in gave no administrator interface");
        if (!admin->getPoolByGuid(command.task->poolGuid, pool))
            throw std::runtime_error("the catalogue has no pool " + command.task->poolGuid);
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    const std::string what = line.operation + " of " + taskText(*command.task) + " pool " + guid;
    try {
        std::vector<Pool::PoolOperationCommand> followUps;
        Pool::PoolFactory::getPoolFactory(pool.poolVersion)->createOperation(command)->run(followUps);
        out << what << ": done\n";
        for (const auto& followUp : followUps)
            out << "follow-up: " << (followUp.command >= 0 && followUp.command < 4 ? kOperations[followUp.command] : "?")
                << "\n";
        return 0;
    } catch (const Pool::JobInterruptedException& e) {
        err << what << ": interrupted: " << e.what() << "\n";
    } catch (const Pool::PoolError& e) {
        err << what << ": pool error " << hexNumber(e.getErrorNumber()) << ": " << e.what() << "\n";
    }
    return kFailed;
}

}  // namespace

void addPoolCommands(CLI::App& app, PoolCommandLine& line) {
    const auto addVaultOptions = [&line](CLI::App* command) {
        command->add_option("--config", line.config, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    };
    line.settingsCommand = app.add_subcommand(
        "settings", "Show a task's local settings (which maintenance features may run on it), after the changes "
                    "given; e.g. --set Pellatrix.Verify=0 disables verification (see docs/task-settings.md).");
    addVaultOptions(line.settingsCommand);
    line.settingsCommand->add_option("--task-id", line.taskId, "catalogue id of the task")->required();
    line.settingsCommand->add_option("--set", line.set, "KEY=VALUE to set (may be repeated)");
    line.settingsCommand->add_option("--unset", line.unset, "KEY to remove (may be repeated)");

    line.suspectCommand = app.add_subcommand(
        "suspect", "Show whether a task is marked suspect, after marking it (--mark REASON) or clearing the mark.");
    addVaultOptions(line.suspectCommand);
    line.suspectCommand->add_option("--task-id", line.taskId, "catalogue id of the task")->required();
    CLI::Option* mark = line.suspectCommand->add_option("--mark", line.markReason, "mark it suspect for REASON");
    line.suspectCommand->add_flag("--manual", line.manual, "with --mark: only an administrator clears the mark")
        ->needs(mark);
    line.suspectCommand->add_flag("--clear", line.clear, "clear the mark")->excludes(mark);

    line.queueCommand = app.add_subcommand(
        "queue", "List the node's job queue (the spool folder): number, priority, time, user and command of every "
                 "job. Exits with 1 when a job file is damaged (each is named).");
    addVaultOptions(line.queueCommand);

    line.poolCommand = app.add_subcommand(
        "pool", "Run a pool operation on a task's pool under its lock, as the maintenance tools do, and print its "
                "follow-ups. Ctrl-C asks the operation to stop cleanly. Exits with 1 on a pool error (its number "
                "printed, see docs/pool-operations.md).");
    addVaultOptions(line.poolCommand);
    line.poolCommand->add_option("--task-id", line.taskId, "catalogue id of the task")->required();
    line.poolCommand->add_option("--command", line.operation, "verify, optimize, deduplicate or delete")->required();
    line.poolCommand->add_option("--safeset", line.safesets, "safeset to delete (may be repeated)");
    line.poolCommand->add_option("--pool-guid", line.poolGuid, "a secondary pool of the task (default its pool)");
}

int runPoolCommands(const PoolCommandLine& line, const std::function<void(const std::string&)>& useVault,
                    std::ostream& out, std::ostream& err) {
    try {
        if (*line.settingsCommand) {
            useVault(line.config);
            return showSettings(line, out);
        }
        if (*line.suspectCommand) {
            useVault(line.config);
            return showSuspect(line, out);
        }
        if (*line.queueCommand) {
            useVault(line.config);
            return listQueue(out, err);
        }
        if (*line.poolCommand) {
            useVault(line.config);
            return runPoolOperation(line, out, err);
        }
    } catch (const VaultFiles::FileError& e) {
        if (!isWriteFailure(e)) throw;
        err << "vaultadmin: " << e.what() << " (the file was not replaced; its old version is kept)\n";
        return kNotWritten;
    }
    return -1;
}

}  // namespace VaultAdmin
