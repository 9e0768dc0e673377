// vaultadmin commands over the maintenance services: a task's settings and
// suspect mark, the job queue, and pool operations on a task's pool.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace VaultAdmin {

struct PoolCommandLine {
    std::string config;
    uint32_t taskId = 0;
    // settings
    std::vector<std::string> set;    // KEY=VALUE
    std::vector<std::string> unset;  // KEY
    // suspect
    std::string markReason;
    bool manual = false;
    bool clear = false;
    // pool
    std::string operation;
    std::vector<uint32_t> safesets;
    std::string poolGuid;

    CLI::App* settingsCommand = nullptr;
    CLI::App* suspectCommand = nullptr;
    CLI::App* queueCommand = nullptr;
    CLI::App* poolCommand = nullptr;
};

// Adds the commands settings, suspect, queue and pool to `app`.
void addPoolCommands(CLI::App& app, PoolCommandLine& line);

// Runs the one of those commands that was given; -1 when none was. Returns the
// exit code (0 done, 1 failed, 2 bad command line, 4 a state file could not be
// written completely: the old file is kept). Other failures are thrown.
// `useVault` points the process at the vault of a --config value.
int runPoolCommands(const PoolCommandLine& line, const std::function<void(const std::string&)>& useVault,
                    std::ostream& out, std::ostream& err);

}  // namespace VaultAdmin
