// What the poolcommand program does, apart from reading its command line:
// running a command text through the pool-management library on a vault,
// and verifying a task or one of its files. Every function returns the
// program's exit code (VaultConsole::ExitCode, listed in docs/poolmgmt.md).
//
// Output: without --json, results go to `out` and failures to `err` as lines
// for a person. With --json, `out` receives one JSON object per command (one
// line each) and the lines for a person go to `err`.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/ExitCodes.h"

namespace PoolCommandTool {

constexpr int kDone = VaultConsole::kExitDone;
constexpr int kFailed = VaultConsole::kExitFailed;
constexpr int kUsage = VaultConsole::kExitUsage;

// The exit codes of poolcommand, as --help lists them.
const char* exitCodeHelp();

struct SessionSettings {
    std::string logFolder;   // "" : [node] LogFolder
    std::string globalTag;
    bool maintenanceJob = false;  // the shorter lock time-outs of maintenance jobs
    bool verbose = false;         // also show the vault log's lines on standard output
    bool json = false;            // one JSON object per command on `out`
    bool progress = true;         // the progress line on a terminal (--no-progress: false)
};

struct RunSettings {
    SessionSettings session;
    std::string commandText;
    bool runFollowUps = false;  // run each follow-up too, in order
};

// Runs the command text with PoolCommandManager::execute and prints every
// follow-up command text, one per line ("follow-up: <text>"). A pool error
// is printed, handed to the pool error handler, and the jobs it queued and
// the tasks it marked suspect are listed. A command the task's local
// settings refuse is reported as refused.
int runCommand(const RunSettings& settings, std::ostream& out, std::ostream& err);

// The command text for a task and operation name (verify, optimize, dedup,
// delete), as the library writes it. Throws std::invalid_argument for an
// unknown name or a task the catalogue does not know, CatalogueUnreachable
// when the catalogue cannot be asked, CatalogueCannotAnswer when it answers
// without a task record.
std::string commandTextFor(uint32_t taskId, const std::string& operation, const std::vector<uint32_t>& safesets,
                           const std::vector<std::string>& parameters);

// VerifyManager::verifyTask for the task, printing the synchronisation files
// and the pool GUIDs it lists.
int verifyTask(const SessionSettings& session, uint32_t taskId, std::ostream& out, std::ostream& err);

// VerifyManager::verifyTaskFile for the file (default: the pool's index file);
// a pool error is handed to the pool error handler as for runCommand.
int verifyTaskFile(const SessionSettings& session, uint32_t taskId, const std::string& file, std::ostream& out,
                   std::ostream& err);

// A command that failed before it could run (its task look-up): with --json,
// prints its JSON object. Returns `code`.
int reportEarlyFailure(const SessionSettings& settings, const std::string& command, uint32_t taskId, int code,
                       const std::string& message, std::ostream& out);

// Lists the node's job queue, one job a line ("<sequence> <command>").
int listJobs(std::ostream& out, std::ostream& err);

// The catalogue or its server could not be asked (exit code 8); the text
// names the catalogue (the database file or the server).
class CatalogueUnreachable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The catalogue answered a look-up by task id without a task record (the
// storage-walking catalogue does): the command needs a catalogue that
// answers task ids (exit code 1).
class CatalogueCannotAnswer : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace PoolCommandTool
