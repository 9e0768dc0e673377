// poolcommand: runs pool operation commands and verifications of the
// pool-management library on a vault, for a person at a terminal or a script
// (--json). The exit codes are those of console/ExitCodes.h that apply here,
// listed by --help (exitCodeHelp) and in docs/poolmgmt.md.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "PoolCommandTool.h"
#include "PoolScrub/Scrub.h"
#include "VaultVersion.h"

namespace {

using namespace PoolCommandTool;

void useConfig(const std::string& config) {
    if (!config.empty() && ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1) != 0)
        throw std::runtime_error("cannot set VAULT_NODE_CONFIG");
}

void addSessionOptions(CLI::App& command, std::string& config, SessionSettings& session) {
    command.add_option("--config", config, "node configuration (default: $VAULT_NODE_CONFIG)");
    command.add_option("--log-folder", session.logFolder, "folder of the logs and the status file (default: [node] LogFolder)");
    command.add_option("--tag", session.globalTag, "the session's global tag");
    command.add_flag("--maintenance-job", session.maintenanceJob, "use the maintenance jobs' lock time-out");
    command.add_flag("-v,--verbose", session.verbose, "also show the vault log's lines");
    command.add_flag("--json", session.json, "print one JSON object per command on standard output (docs/poolmgmt.md)");
    command.add_flag("!--no-progress", session.progress, "no progress line on a terminal");
}

// CLI11 says only "A subcommand is required" for a mistyped one: name the
// word and the subcommands there are. The first word that is not an option
// must be a subcommand (the program's own options take no values).
bool unknownSubcommand(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') continue;
        std::string names;
        for (CLI::App* command : app.get_subcommands({})) {
            if (command->get_name() == argv[i]) return false;
            names += (names.empty() ? "" : ", ") + command->get_name();
        }
        std::cerr << "poolcommand: unknown subcommand '" << argv[i] << "' (one of: " << names
                  << "; see poolcommand --help)\n";
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs pool commands and verifications on a vault"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "poolcommand " VAULT_PACKAGE_VERSION);
    app.footer(exitCodeHelp());
    std::string config;

    RunSettings run;
    uint32_t runTaskId = 0;
    std::string operation;
    std::vector<uint32_t> safesets;
    std::vector<std::string> parameters;
    CLI::App* runCommandLine = app.add_subcommand("run", "run one pool command (text, or task and operation)");
    addSessionOptions(*runCommandLine, config, run.session);
    CLI::Option* textOption = runCommandLine->add_option("--text", run.commandText, "the command text");
    CLI::Option* taskOption = runCommandLine->add_option("--task-id", runTaskId, "the task");
    runCommandLine->add_option("--operation", operation, "verify, optimize, dedup or delete")->needs(taskOption);
    runCommandLine->add_option("--safesets", safesets, "safeset numbers")->delimiter(',')->needs(taskOption);
    runCommandLine->add_option("--parameter", parameters, "an operation parameter")->needs(taskOption);
    runCommandLine->add_flag("--follow", run.runFollowUps, "run every follow-up command too");
    textOption->excludes(taskOption);

    SessionSettings verify;
    uint32_t verifyTaskId = 0;
    CLI::App* verifyCommandLine = app.add_subcommand("verify-task", "check a task's synchronisation files and pools");
    addSessionOptions(*verifyCommandLine, config, verify);
    verifyCommandLine->add_option("--task-id", verifyTaskId, "the task")->required();

    SessionSettings verifyFile;
    uint32_t fileTaskId = 0;
    std::string file;
    CLI::App* fileCommandLine = app.add_subcommand("verify-file", "verify one index file of a task");
    addSessionOptions(*fileCommandLine, config, verifyFile);
    fileCommandLine->add_option("--task-id", fileTaskId, "the task")->required();
    fileCommandLine->add_option("--file", file, "the file (default: the task's pool index file)");

    CLI::App* jobsCommandLine = app.add_subcommand("jobs", "list the node's job queue");
    jobsCommandLine->add_option("--config", config, "node configuration (default: $VAULT_NODE_CONFIG)");

    // scrub: its options, run and exit codes are the PoolScrub library's.
    PoolScrub::ScrubCommand scrub(app);

    // CLI11 would read "-5" as a huge unsigned number.
    const CLI::Validator notNegative(
        [](std::string& text) { return !text.empty() && text[0] == '-' ? std::string("must not be negative") : std::string(); },
        "");
    for (CLI::App* command : app.get_subcommands({}))
        for (CLI::Option* option : command->get_options())
            if (option->get_type_name().find("UINT") != std::string::npos) option->check(notNegative);

    if (unknownSubcommand(app, argc, argv)) return kUsage;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kUsage;
    }

    if (scrub.chosen()) return scrub.run();

    // The command that runs, for a failure before it could start.
    const SessionSettings& session = *runCommandLine ? run.session : *verifyCommandLine ? verify : verifyFile;
    const std::string name = *runCommandLine ? "run" : *verifyCommandLine ? "verify-task" : "verify-file";
    const uint32_t taskId = *runCommandLine ? runTaskId : *verifyCommandLine ? verifyTaskId : fileTaskId;
    try {
        useConfig(config);
        if (*runCommandLine) {
            if (run.commandText.empty()) {
                if (operation.empty() || !*taskOption) {
                    std::cerr << "run: give --text, or --task-id with --operation\n";
                    return kUsage;
                }
                run.commandText = commandTextFor(runTaskId, operation, safesets, parameters);
            }
            return runCommand(run, std::cout, std::cerr);
        }
        if (*verifyCommandLine) return verifyTask(verify, verifyTaskId, std::cout, std::cerr);
        if (*jobsCommandLine) return listJobs(std::cout, std::cerr);
        return verifyTaskFile(verifyFile, fileTaskId, file, std::cout, std::cerr);
    } catch (const std::invalid_argument& error) {
        std::cerr << "poolcommand: " << error.what() << "\n";
        return reportEarlyFailure(session, name, taskId, kUsage, error.what(), std::cout);
    } catch (const CatalogueUnreachable& error) {
        std::cerr << "poolcommand: the catalogue could not be reached: " << error.what() << "\n";
        return reportEarlyFailure(session, name, taskId, VaultConsole::kExitCatalogueUnreachable, error.what(),
                                  std::cout);
    } catch (const std::exception& error) {
        std::cerr << "poolcommand: " << error.what() << "\n";
        return reportEarlyFailure(session, name, taskId, kFailed, error.what(), std::cout);
    }
}
