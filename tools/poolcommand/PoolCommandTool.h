// What the poolcommand program does, apart from reading its command line:
// running a command text through the pool-management library on a vault,
// and verifying a task or one of its files. Output goes to `out` (results)
// and `err` (failures); every function returns the program's exit code.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace PoolCommandTool {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct SessionSettings {
    std::string logFolder;   // "" : [node] LogFolder
    std::string globalTag;
    bool maintenanceJob = false;  // the shorter lock time-outs of maintenance jobs
    bool verbose = false;         // also show the vault log's lines on standard output
};

struct RunSettings {
    SessionSettings session;
    std::string commandText;
    bool runFollowUps = false;  // run each follow-up too, in order
};

// Runs the command text with PoolCommandManager::execute and prints every
// follow-up command text, one per line ("follow-up: <text>"). A pool error
// is printed, handed to the pool error handler, and the jobs it queued are
// listed. Exit codes: 0 done, 1 the command failed, 2 the text does not read.
int runCommand(const RunSettings& settings, std::ostream& out, std::ostream& err);

// The command text for a task and operation name (verify, optimize, dedup,
// delete), as the library writes it; throws std::invalid_argument for an
// unknown name or a task or pool the catalogue does not know.
std::string commandTextFor(uint32_t taskId, const std::string& operation, const std::vector<uint32_t>& safesets,
                           const std::vector<std::string>& parameters);

// VerifyManager::verifyTask for the task, printing the synchronisation files
// and the pool GUIDs it lists.
int verifyTask(const SessionSettings& session, uint32_t taskId, std::ostream& out, std::ostream& err);

// VerifyManager::verifyTaskFile for the file (default: the pool's index file);
// a pool error is handed to the pool error handler as for runCommand.
int verifyTaskFile(const SessionSettings& session, uint32_t taskId, const std::string& file, std::ostream& out,
                   std::ostream& err);

// Lists the node's job queue, one job a line ("<sequence> <command>").
int listJobs(std::ostream& out, std::ostream& err);

}  // namespace PoolCommandTool
