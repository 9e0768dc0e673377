// vaultadmin: builds vaults for the maintenance tools to run against, and
// shows, checks and manipulates them. Exit codes (console/ExitCodes.h): 0
// done, 1 failed, 2 bad command line, 4 a state file not written completely,
// 5 check-catalogue found a difference, 8 the catalogue could not be read
// (--help and --version print and exit 0).
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "CatalogueAnswers.h"
#include "CatalogueCheck.h"
#include "CatalogueDatabase.h"
#include "DemoVault.h"
#include "DescriptionParser.h"
#include "FileDamage.h"
#include "PluginSelection.h"
#include "SyntheticVault.h"
#include "TaskCommands.h"
#include "VaultBuilder.h"
#include "VaultFiles.h"
#include "VaultInspector.h"
#include "VaultRoot.h"
#include "PoolCommands.h"
#include "VaultVersion.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "console/ExitCodes.h"
#include "console/ProgressLine.h"

namespace {

using namespace VaultAdmin;

constexpr int kFailed = VaultConsole::kExitFailed;
constexpr int kUsage = VaultConsole::kExitUsage;
constexpr uint64_t kMaxHoldSeconds = 366ull * 24 * 3600;

// CLI11 turns "-5" into a huge unsigned number: every unsigned option of a
// subcommand refuses a leading minus instead.
void refuseNegativeNumbers(CLI::App& app) {
    const CLI::Validator notNegative(
        [](std::string& text) {
            return !text.empty() && text[0] == '-' ? std::string("must not be negative") : std::string();
        },
        "");
    for (CLI::App* command : app.get_subcommands({})) {
        for (CLI::Option* option : command->get_options()) {
            if (option->get_type_name().find("UINT") != std::string::npos) option->check(notNegative);
        }
    }
}

// Points the process at the vault of `--config` (or $VAULT_NODE_CONFIG) and
// makes sure that vault finished building.
void useVault(const std::string& config) {
    std::string path = config;
    if (path.empty()) {
        const char* fromEnvironment = std::getenv("VAULT_NODE_CONFIG");
        path = fromEnvironment ? fromEnvironment : "";
    }
    requireCompleteVault(path);
    if (::setenv("VAULT_NODE_CONFIG", path.c_str(), 1) != 0) throw std::runtime_error("cannot set VAULT_NODE_CONFIG");
}

void printBuilt(const BuildReport& report, bool timings) {
    std::cout << "built " << report.tasks << " tasks, " << report.safesets << " safesets, "
              << report.containerBytes << " bytes of container records";
    if (timings)
        std::cout << " (catalogue " << report.catalogueSeconds << " s, storage " << report.storageSeconds << " s)";
    std::cout << "\nexport VAULT_NODE_CONFIG=" << report.nodeConfig << std::endl;
}

struct BuildArguments {
    std::string description;
    std::string root;
    bool force = false;
    std::string cataloguePlugin;
    std::string databaseConnection;
};

// --catalogue-plugin NAME: the plug-in the built vault's tools use.
void addPluginOption(CLI::App* command, BuildArguments& arguments) {
    command
        ->add_option("--catalogue-plugin", arguments.cataloguePlugin,
                     "database plug-in the vault's node configuration names after the build (for example "
                     "Quenlith, which answers from the storage); the catalogue is always written as SqlCatalogue")
        ->check(CLI::Validator([](std::string& name) { return pluginNameProblem(name); }, "NAME"));
}

void applyPlugin(const BuildArguments& arguments, const BuildReport& report) {
    if (arguments.cataloguePlugin.empty()) return;
    selectCataloguePlugin(report.nodeConfig, arguments.cataloguePlugin);
    std::cout << "catalogue plug-in: " << arguments.cataloguePlugin << std::endl;
}

const char* const kConnectionHelp =
    "keep the catalogue in this PostgreSQL database (a libpq connection string, written into node.conf as "
    "given: name a password file with passfile=... rather than the password) instead of ROOT/catalogue.db";

void addConnectionOption(CLI::App* command, std::string& connection) {
    command->add_option("--database-connection", connection, kConnectionHelp);
}

// A password in the connection string ends up in node.conf: said once, on
// standard error, without the password.
void warnOfPassword(const std::string& connection) {
    if (connectionHoldsPassword(connection))
        std::cerr << "vaultadmin: warning: the connection string holds a password, which node.conf will now hold "
                     "too; keep it in a password file instead (passfile=..., see docs/database.md)"
                  << std::endl;
}

// Fails with CatalogueNotServed when the vault's plug-in does not answer
// customers and task ids, which `command` needs.
void requireTaskCatalogue(const std::string& command) {
    DatabaseInterfaces::DbInterfaceManager manager;
    DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
    if (admin == nullptr) throw std::runtime_error("the database plug-in gave no administrator interface");
    VaultAdmin::requireServingCatalogue(*admin, command);
}

// Levenshtein distance, for naming the command a mistyped word was meant to be.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The first word that is not an option, when it names no command: the
// message names it (and the nearest command, when one is close).
std::string unknownCommandMessage(CLI::App& app, int argc, char** argv) {
    if (argc < 2) return std::string();
    const std::string word = argv[1];
    if (word.empty() || word[0] == '-') return std::string();
    std::string nearest;
    size_t best = 3;  // at most two edits away
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == word) return std::string();
        const size_t distance = editDistance(word, command->get_name());
        if (distance < best) {
            best = distance;
            nearest = command->get_name();
        }
    }
    std::string message = "vaultadmin: unknown command '" + word + "'";
    if (!nearest.empty()) message += " (did you mean '" + nearest + "'?)";
    return message + "; vaultadmin --help lists the commands";
}

// A progress line per phase of long work: a new phase starts a new line, so
// its rate and time left are its own.
class PhaseProgress {
public:
    explicit PhaseProgress(bool wanted) : wanted_(wanted) {}
    void operator()(const std::string& what, uint64_t done, uint64_t total) {
        if (!line_ || what != what_) {
            line_.reset();
            what_ = what;
            line_.reset(new VaultConsole::ProgressLine(what, VaultConsole::ProgressLine::Unit::Items, "tasks", wanted_));
        }
        line_->setTotal(total);
        line_->update(done);
    }
    // Whether a line can be drawn at all (wanted, and standard error is a terminal).
    bool active() const { return VaultConsole::ProgressLine("", VaultConsole::ProgressLine::Unit::Items, "", wanted_).active(); }
    void clear() { line_.reset(); }

private:
    bool wanted_;
    std::string what_;
    std::unique_ptr<VaultConsole::ProgressLine> line_;
};

struct ShowArguments {
    std::string config;
    bool catalogueOnly = false;
};

struct DamageArguments {
    std::vector<std::string> files;
    uint64_t truncate = 0;
    uint64_t flip = 0;
    uint64_t count = 1;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"vaultadmin: builds vaults for the vault maintenance tools, and shows and changes them.\n"
                 "Commands that act on a built vault read its node configuration from --config\n"
                 "(default: $VAULT_NODE_CONFIG) and refuse a vault whose build did not finish."};
    app.require_subcommand(1);
    app.set_version_flag("--version", "vaultadmin " VAULT_PACKAGE_VERSION);
    app.footer("Exit codes: 0 done; 1 failed (the message says what and where); 2 a refused command line;\n"
               "4 a state file could not be written completely (settings, suspect, pool: the old one is kept);\n"
               "5 check-catalogue found a difference between the catalogue and the storage;\n"
               "8 the catalogue could not be opened or read (check-catalogue).");

    BuildArguments build;
    CLI::App* buildCommand = app.add_subcommand(
        "build", "Build a vault under --root from a JSON description (see docs/vaultadmin.md); prints the "
                 "export line that points the tools at it.");
    buildCommand->add_option("--description", build.description, "vault description file (JSON)")->required();
    buildCommand->add_option("--root", build.root, "folder to build the vault in")->required();
    buildCommand->add_flag("--force", build.force, "replace an earlier vault in --root (and in the database)");
    addPluginOption(buildCommand, build);
    addConnectionOption(buildCommand, build.databaseConnection);

    std::string validateFile;
    CLI::App* validateCommand =
        app.add_subcommand("validate", "Check a JSON description without building anything.");
    validateCommand->add_option("--description", validateFile, "vault description file (JSON)")->required();

    BuildArguments demo;
    CLI::App* demoCommand = app.add_subcommand(
        "demo", "Build the small demo vault under --root (its description is written to ROOT/vault.json).");
    demoCommand->add_option("--root", demo.root, "folder to build the vault in")->required();
    demoCommand->add_flag("--force", demo.force, "replace an earlier vault in --root (and in the database)");
    addPluginOption(demoCommand, demo);
    addConnectionOption(demoCommand, demo.databaseConnection);

    BuildArguments generated;
    SyntheticParameters synthetic;
    CLI::App* generateCommand = app.add_subcommand(
        "generate", "Build a large synthetic vault for benchmarks. Per safeset, drawn with --seed: version 8.40 "
                    "with probability --affected-share (else 8.50); an 8.40 safeset gets one marked record (its "
                    "last) with probability --marked-share; unavailable with probability --unavailable-share. "
                    "Task i is bound to node<i mod K + 1>; node1 is this node.");
    generateCommand->add_option("--root", generated.root, "folder to build the vault in")->required();
    generateCommand->add_flag("--force", generated.force, "replace an earlier vault in --root (and in the database)");
    addPluginOption(generateCommand, generated);
    addConnectionOption(generateCommand, generated.databaseConnection);
    generateCommand->add_option("--tasks", synthetic.tasks, "number of tasks")->capture_default_str();
    generateCommand->add_option("--safesets-per-task", synthetic.safesetsPerTask, "safesets of every task")
        ->capture_default_str();
    generateCommand->add_option("--records-per-safeset", synthetic.recordsPerSafeset,
                                "records of every container (128 bytes each)")
        ->capture_default_str();
    generateCommand->add_option("--affected-share", synthetic.affectedShare,
                                "share of safesets written by version 8.40 (0 to 1)")
        ->capture_default_str();
    generateCommand->add_option("--marked-share", synthetic.markedShare,
                                "share of 8.40 safesets holding a marked record (0 to 1)")
        ->capture_default_str();
    generateCommand->add_option("--unavailable-share", synthetic.unavailableShare,
                                "share of safesets marked unavailable (0 to 1)")
        ->capture_default_str();
    generateCommand->add_option("--nodes", synthetic.nodes, "number of vault nodes")->capture_default_str();
    generateCommand->add_option("--seed", synthetic.seed, "seed of the random choices")->capture_default_str();
    generateCommand->add_option("--customers", synthetic.customers, "customers (default: one per 100 tasks)");
    unsigned storageWriters = BuildOptions().storageWriters;
    generateCommand->add_option("--storage-writers", storageWriters, "tasks whose files are written at once")
        ->check(CLI::Range(1u, 64u))
        ->capture_default_str();
    generateCommand->add_option("--computers-per-customer", synthetic.computersPerCustomer,
                                "computers of every customer")
        ->capture_default_str();
    bool generateNoProgress = false;
    generateCommand->add_flag("--no-progress", generateNoProgress,
                              "no progress line on standard error (it is shown only on a terminal)");

    std::string checkConfig;
    bool checkJsonOutput = false, checkNoProgress = false;
    CLI::App* checkCommand = app.add_subcommand(
        "check-catalogue",
        "Compare the catalogue with the task labels on the storage roots (read-only) and list every "
        "difference by task and computer GUID: folders missing or without a label, labelled folders no catalogue "
        "task names, differing names, computers and pools, pools only one side knows, and one GUID in two "
        "folders. Exits 0 when they agree, 5 when they differ, 8 when the catalogue cannot be read, 1 when the "
        "storage cannot.");
    checkCommand->add_option("--config", checkConfig, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    checkCommand->add_flag("--json", checkJsonOutput, "print one JSON object (docs/vaultadmin.md) instead of text");
    checkCommand->add_flag("--no-progress", checkNoProgress,
                           "no progress line on standard error (it is shown only on a terminal)");

    std::string schemaConnection;
    CLI::App* schemaCommand = app.add_subcommand(
        "create-schema", "Create the catalogue's tables in an empty PostgreSQL database (or bring them to the "
                         "current schema version), so that vault nodes can share it.");
    schemaCommand->add_option("--database-connection", schemaConnection, "libpq connection string of the database")
        ->required();

    std::string addConfig, addDescription;
    CLI::App* addCommand = app.add_subcommand(
        "add-tasks", "Add the customers of a JSON description (same vault ID; new customer or computer names) with "
                     "their tasks to a built vault, while the tools may run on it: storage first, then catalogue.");
    addCommand->add_option("--config", addConfig, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    addCommand->add_option("--description", addDescription, "description of what to add (JSON)")->required();

    ShowArguments show;
    CLI::App* showCommand = app.add_subcommand(
        "show", "Print where the catalogue is, then the vault's customers, locations, computers and tasks with their ids, nodes and folders, "
                "and every safeset's version, record count, marked count and availability as read from the "
                "storage. Exits with 1 when a storage file cannot be read.");
    showCommand->add_option("--config", show.config, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    showCommand->add_flag("--catalogue-only", show.catalogueOnly, "skip the storage (no safesets)");

    ShowArguments tasks;
    CLI::App* tasksCommand =
        app.add_subcommand("tasks", "Print one line per task: id, name, node and folder, separated by tabs.");
    tasksCommand->add_option("--config", tasks.config, "the vault's node configuration (default $VAULT_NODE_CONFIG)");

    std::string holdConfig;
    HoldLockOptions hold;
    CLI::App* holdCommand = app.add_subcommand(
        "hold-lock", "Take a task's lock and keep it, as another vault process would; prints \"holding\" once it "
                     "holds the lock. The lock ends with the process, however it ends.");
    holdCommand->add_option("--config", holdConfig, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    holdCommand->add_option("--task-id", hold.taskId, "catalogue id of the task")->required();
    CLI::Option* seconds = holdCommand->add_option("--seconds", hold.seconds, "how long to hold the lock")
                               ->check(CLI::Range(uint64_t(0), kMaxHoldSeconds));
    CLI::Option* untilKilled = holdCommand->add_flag("--until-killed", hold.untilKilled, "hold it until killed");
    seconds->excludes(untilKilled);
    holdCommand->add_option("--wait-ms", hold.waitMilliseconds,
                            "wait this long for a lock held elsewhere (default: fail at once)");

    std::string markConfig;
    uint32_t markTask = 0, markSafeset = 0;
    bool markClear = false;
    uint64_t markWait = 10000;
    CLI::App* markCommand = app.add_subcommand(
        "mark-unavailable", "Mark one safeset of a task unavailable (offline), or available again with --clear, "
                            "under the task's lock.");
    markCommand->add_option("--config", markConfig, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    markCommand->add_option("--task-id", markTask, "catalogue id of the task")->required();
    markCommand->add_option("--safeset", markSafeset, "safeset number")->required();
    markCommand->add_flag("--clear", markClear, "make the safeset available again");
    markCommand->add_option("--wait-ms", markWait, "how long to wait for the task's lock")->capture_default_str();

    DamageArguments damage;
    CLI::App* damageCommand = app.add_subcommand(
        "damage", "Damage files to exercise error paths: shorten them to --truncate BYTES, or invert --count "
                  "bytes from offset --flip.");
    damageCommand->add_option("--file", damage.files, "file to damage (may be repeated)")->required();
    CLI::Option* truncate = damageCommand->add_option("--truncate", damage.truncate, "new size in bytes");
    CLI::Option* flip = damageCommand->add_option("--flip", damage.flip, "offset of the first byte to invert");
    damageCommand->add_option("--count", damage.count, "bytes to invert (with --flip)")->capture_default_str();
    truncate->excludes(flip);

    PoolCommandLine poolLine;
    addPoolCommands(app, poolLine);

    refuseNegativeNumbers(app);
    const std::string unknown = unknownCommandMessage(app, argc, argv);
    if (!unknown.empty()) {
        std::cerr << unknown << std::endl;
        return kUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : kUsage;
    }

    try {
        std::string taskCommand;
        for (CLI::App* command : {poolLine.settingsCommand, poolLine.suspectCommand, poolLine.poolCommand})
            if (command != nullptr && *command) taskCommand = command->get_name();
        const auto useTaskVault = [&](const std::string& config) {
            useVault(config);
            if (!taskCommand.empty()) requireTaskCatalogue(taskCommand);
        };
        const int poolResult = runPoolCommands(poolLine, useTaskVault, std::cout, std::cerr);
        if (poolResult >= 0) return poolResult;
        if (*buildCommand) {
            const VaultDescription vault = readDescriptionFile(build.description);
            BuildOptions options;
            options.force = build.force;
            options.databaseConnection = build.databaseConnection;
            warnOfPassword(options.databaseConnection);
            const BuildReport report = buildVault(vault, build.root, options);
            applyPlugin(build, report);
            printBuilt(report, false);
        } else if (*validateCommand) {
            const VaultDescription vault = readDescriptionFile(validateFile);
            std::cout << validateFile << ": valid (" << vault.taskCount() << " tasks, " << vault.safesetCount()
                      << " safesets)" << std::endl;
        } else if (*demoCommand) {
            const VaultDescription vault = parseDescription(demoDescriptionJson());
            BuildOptions options;
            options.force = demo.force;
            options.databaseConnection = demo.databaseConnection;
            warnOfPassword(options.databaseConnection);
            const BuildReport report = buildVault(vault, demo.root, options);
            const VaultPaths paths(demo.root);
            VaultFiles::replaceFile(paths.description, demoDescriptionJson());
            applyPlugin(demo, report);
            std::cout << "demo description: " << paths.description << "\nlock task '" << kDemoLockedTaskName
                      << "' with hold-lock while a scan runs (its id: vaultadmin tasks)\n";
            printBuilt(report, false);
        } else if (*generateCommand) {
            VaultDescription vault;
            try {
                vault = syntheticDescription(synthetic);
            } catch (const std::invalid_argument& error) {
                std::cerr << "generate: " << error.what() << std::endl;
                return kUsage;
            }
            BuildOptions options;
            options.force = generated.force;
            options.databaseConnection = generated.databaseConnection;
            warnOfPassword(options.databaseConnection);
            PhaseProgress progress(!generateNoProgress);
            // On a terminal the progress line says what the plain progress
            // lines would; in a pipe or a file the plain lines are kept.
            options.progress = progress.active() ? nullptr : &std::cout;
            options.onProgress = [&](const char* what, uint64_t done, uint64_t total) { progress(what, done, total); };
            options.storageWriters = storageWriters;
            const BuildReport report = buildVault(vault, generated.root, options);
            progress.clear();
            applyPlugin(generated, report);
            printBuilt(report, true);
        } else if (*schemaCommand) {
            std::cout << createCatalogueSchema(schemaConnection) << std::endl;
        } else if (*addCommand) {
            const VaultDescription more = readDescriptionFile(addDescription);
            useVault(addConfig);
            const BuildReport report = addToVault(more, BuildOptions());
            std::cout << "added " << report.tasks << " tasks, " << report.safesets << " safesets" << std::endl;
        } else if (*checkCommand) {
            useVault(checkConfig);
            PhaseProgress progress(!checkNoProgress);
            CheckOptions options;
            options.progress = [&](const std::string& what, uint64_t done, uint64_t total) {
                progress(what, done, total);
            };
            int code = VaultConsole::kExitDone;
            std::string failure;
            CheckReport report;
            try {
                report = runCatalogueCheck(options);
            } catch (const CatalogueUnreadable& error) {
                code = VaultConsole::kExitCatalogueUnreachable;
                failure = error.what();
            } catch (const StorageUnreadable& error) {
                code = kFailed;
                failure = error.what();
            } catch (const CatalogueNotServed& error) {
                code = kFailed;
                failure = error.what();
            }
            progress.clear();
            if (!failure.empty()) {
                std::cerr << "vaultadmin: " << failure << std::endl;
                if (checkJsonOutput)
                    std::cout << nlohmann::json{{"error", failure}, {"exitCode", code}}.dump(2) << std::endl;
                return code;
            }
            if (checkJsonOutput)
                std::cout << checkJson(report).dump(2) << std::endl;
            else
                printCheckText(report, std::cout);
            if (!std::cout) return kFailed;
            return report.findings.empty() ? VaultConsole::kExitDone : VaultConsole::kExitDamageFound;
        } else if (*showCommand) {
            useVault(show.config);
            requireTaskCatalogue("show");
            InspectOptions options;
            options.readStorage = !show.catalogueOnly;
            const InspectedVault vault = inspectVault(options);
            std::cout << catalogueLocation() << "\n";
            printVault(vault, std::cout);
            if (vault.problemCount() > 0) {
                std::cerr << "vaultadmin: " << vault.problemCount() << " storage problem(s) found" << std::endl;
                return kFailed;
            }
        } else if (*tasksCommand) {
            useVault(tasks.config);
            requireTaskCatalogue("tasks");
            InspectOptions options;
            options.readStorage = false;
            printTasks(inspectVault(options), std::cout);
        } else if (*holdCommand) {
            if (!*seconds && !hold.untilKilled) {
                std::cerr << "hold-lock: give --seconds S or --until-killed\n";
                return kUsage;
            }
            useVault(holdConfig);
            requireTaskCatalogue("hold-lock");
            holdTaskLock(hold, std::cout);
        } else if (*markCommand) {
            useVault(markConfig);
            requireTaskCatalogue("mark-unavailable");
            markSafesetUnavailable(markTask, markSafeset, markClear, markWait, std::cout);
        } else if (*damageCommand) {
            if (!*truncate && !*flip) {
                std::cerr << "damage: give --truncate BYTES or --flip OFFSET\n";
                return kUsage;
            }
            for (const std::string& file : damage.files) {
                if (*truncate) truncateFile(file, damage.truncate);
                else flipBytes(file, damage.flip, damage.count);
                std::cout << "damaged " << file << std::endl;
            }
        }
    } catch (const std::exception& error) {
        std::cerr << "vaultadmin: " << error.what() << std::endl;
        return kFailed;
    }
    return 0;
}
