// The vaultadmin program as users and other tests run it: help, refusal of
// bad command lines and descriptions, the demo vault, task locks, the
// unavailable bit and file damage.
#include <signal.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VaultVersion.h"

namespace VaultAdmin {
namespace {

using namespace Testing;

const char* const kSourceDir = VAULTADMIN_SOURCE_DIR;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The catalogue id of a task, from `vaultadmin tasks`.
std::string taskIdOf(const std::string& tasksOutput, const std::string& name) {
    std::istringstream lines(tasksOutput);
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && line.compare(tab + 1, name.size() + 1, name + "\t") == 0)
            return line.substr(0, tab);
    }
    return "";
}

TEST(VaultAdminCli, HelpExplainsEveryCommand) {
    const Outcome help = vaultadmin({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"build", "validate", "demo", "generate", "create-schema", "add-tasks", "show", "tasks", "hold-lock",
          "mark-unavailable", "damage"})
        EXPECT_TRUE(contains(help.output, command)) << command << " missing from:\n" << help.output;
    const Outcome generateHelp = vaultadmin({"generate", "--help"});
    EXPECT_EQ(generateHelp.exitCode, 0);
    EXPECT_TRUE(contains(generateHelp.output, "--affected-share")) << generateHelp.output;
    const Outcome version = vaultadmin({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(contains(version.output, "vaultadmin " VAULT_PACKAGE_VERSION)) << version.output;
}

TEST(VaultAdminCli, BadCommandLinesAreRefused) {
    TempFolder temp;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"build", "--root", temp / "v"},
        {"generate", "--root", temp / "v", "--tasks", "-5"},
        {"generate", "--root", temp / "v", "--tasks", "many"},
        {"hold-lock", "--task-id", "1"},
        {"hold-lock", "--task-id", "1", "--seconds", "5", "--until-killed"},
        {"damage", "--file", temp / "f"},
        {"damage", "--file", temp / "f", "--truncate", "1", "--flip", "2"},
    };
    for (const auto& args : cases) {
        const Outcome outcome = vaultadmin(args);
        std::string line;
        for (const auto& arg : args) line += arg + " ";
        EXPECT_EQ(outcome.exitCode, 2) << line << "\n" << outcome.output;
        EXPECT_FALSE(outcome.output.empty()) << line;
    }
    EXPECT_FALSE(exists(temp / "v"));
}

TEST(VaultAdminCli, HelpListsEveryExitCodeAndAMistypedCommandIsNamed) {
    const Outcome help = vaultadmin({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* code : {"0 done", "1 failed", "2 a refused command line", "4 a state file could not be written",
                             "5 check-catalogue found a difference", "8 the catalogue could not be opened"})
        EXPECT_TRUE(contains(help.output, code)) << code << " missing from:\n" << help.output;

    // The word is named, with the command it is closest to when one is near.
    const struct {
        const char* word;
        const char* message;
    } cases[] = {
        {"shwo", "vaultadmin: unknown command 'shwo' (did you mean 'show'?)"},
        {"check-catalog", "vaultadmin: unknown command 'check-catalog' (did you mean 'check-catalogue'?)"},
        {"frobnicate", "vaultadmin: unknown command 'frobnicate'; vaultadmin --help lists the commands"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = vaultadmin({c.word, "--config", "/nonexistent"});
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_TRUE(contains(outcome.output, c.message)) << outcome.output;
        EXPECT_FALSE(contains(outcome.output, "A subcommand is required")) << outcome.output;
    }
}

TEST(VaultAdminCli, BadDescriptionWritesNothing) {
    TempFolder temp;
    writeFile(temp / "bad.json",
              R"({"vault": {"id": "v", "version": "8.50"}, "nodes": [{"hostName": "n"}], "thisNode": "n",
                  "customers": [{"name": "c", "reference": "", "locations": [{"name": "l", "reference": "",
                  "computers": [{"name": "pc", "tasks": [{"name": "t", "node": "m", "safesets": []}]}]}]}]})");
    const Outcome outcome = vaultadmin({"build", "--description", temp / "bad.json", "--root", temp / "vault"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(contains(outcome.output, temp / "bad.json" + ": customers[0].locations[0].computers[0].tasks[0].node: "
                                                            "unknown node 'm'"))
        << outcome.output;
    EXPECT_FALSE(exists(temp / "vault"));
}

TEST(VaultAdminCli, ExampleDescriptionsAreValid) {
    for (const auto& entry : std::filesystem::directory_iterator(std::string(kSourceDir) + "/examples")) {
        const Outcome outcome = vaultadmin({"validate", "--description", entry.path().string()});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    }
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(VaultAdminCli, GenerateFollowsItsOptions) {
    TempFolder temp;
    const std::string root = temp / "generated";
    const Outcome generated =
        vaultadmin({"generate", "--root", root, "--tasks", "6", "--safesets-per-task", "2", "--records-per-safeset",
                    "4", "--affected-share", "1", "--marked-share", "1", "--unavailable-share", "0", "--nodes", "3",
                    "--customers", "2", "--computers-per-customer", "1", "--storage-writers", "2"});
    ASSERT_EQ(generated.exitCode, 0) << generated.output;
    EXPECT_TRUE(contains(generated.output, "built 6 tasks, 12 safesets")) << generated.output;
    const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};
    const Outcome show = vaultadmin({"show"}, env);
    ASSERT_EQ(show.exitCode, 0) << show.output;
    EXPECT_EQ(occurrences(show.output, "version '8.40' records 4 marked 1\n"), 12u) << show.output;
    EXPECT_EQ(occurrences(show.output, "\ncustomer "), 2u) << show.output;
    EXPECT_EQ(occurrences(show.output, "' node node3 "), 2u) << show.output;
    EXPECT_TRUE(contains(show.output, "this node node1")) << show.output;
    EXPECT_EQ(show.output.rfind("catalogue database '" + root + "/catalogue.db'\nvault ", 0), 0u) << show.output;
}

TEST(VaultAdminCli, DemoVaultLocksAndUnavailableSafesets) {
    TempFolder temp;
    const std::string root = temp / "demo";
    const Outcome demo = vaultadmin({"demo", "--root", root});
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    EXPECT_TRUE(contains(demo.output, "export VAULT_NODE_CONFIG=" + root + "/node.conf")) << demo.output;
    EXPECT_TRUE(exists(root + "/vault.json"));
    const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};

    const Outcome tasks = vaultadmin({"tasks"}, env);
    ASSERT_EQ(tasks.exitCode, 0) << tasks.output;
    const std::string payroll = taskIdOf(tasks.output, "Payroll database");
    const std::string mail = taskIdOf(tasks.output, "Mail store");
    ASSERT_NE(payroll, "") << tasks.output;
    ASSERT_NE(mail, "") << tasks.output;
    EXPECT_TRUE(contains(tasks.output, "Branch share\tvault-node-2\t" + root + "/storage/")) << tasks.output;

    {
        Child holder({vaultadminPath(), "hold-lock", "--task-id", payroll, "--until-killed"}, env);
        ASSERT_TRUE(holder.waitFor("holding", 20000)) << holder.wait().output;
        const Outcome refused = vaultadmin({"hold-lock", "--config", root + "/node.conf", "--task-id", payroll,
                                            "--seconds", "0"},
                                           {{"VAULT_NODE_CONFIG", ""}});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(contains(refused.output, "locked by another process")) << refused.output;
        holder.kill(SIGKILL);
        holder.wait();
    }
    const Outcome free = vaultadmin({"hold-lock", "--task-id", payroll, "--seconds", "0"}, env);
    EXPECT_EQ(free.exitCode, 0) << free.output;

    const Outcome mark = vaultadmin({"mark-unavailable", "--task-id", mail, "--safeset", "2"}, env);
    ASSERT_EQ(mark.exitCode, 0) << mark.output;
    Outcome show = vaultadmin({"show"}, env);
    ASSERT_EQ(show.exitCode, 0) << show.output;
    EXPECT_TRUE(contains(show.output, "safeset 2 version '8.40' records 20 marked 0 unavailable")) << show.output;
    EXPECT_TRUE(contains(show.output, "safeset 2 version '8.40' records 25 marked 2\n")) << show.output;
    ASSERT_EQ(vaultadmin({"mark-unavailable", "--task-id", mail, "--safeset", "2", "--clear"}, env).exitCode, 0);
    show = vaultadmin({"show"}, env);
    EXPECT_TRUE(contains(show.output, "safeset 2 version '8.40' records 20 marked 0\n")) << show.output;

    const Outcome missing = vaultadmin({"mark-unavailable", "--task-id", mail, "--safeset", "77"}, env);
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
    const Outcome noTask = vaultadmin({"hold-lock", "--task-id", "999", "--seconds", "0"}, env);
    EXPECT_EQ(noTask.exitCode, 1);
    EXPECT_TRUE(contains(noTask.output, "no task with id 999")) << noTask.output;
}

TEST(VaultAdminCli, DamagedStorageIsReportedByShow) {
    TempFolder temp;
    const std::string root = temp / "demo";
    ASSERT_EQ(vaultadmin({"demo", "--root", root}).exitCode, 0);
    const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};
    std::string container;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "/storage"))
        if (entry.path().extension() == ".vfl") container = entry.path().string();
    ASSERT_NE(container, "");
    ASSERT_EQ(vaultadmin({"damage", "--file", container, "--flip", "200", "--count", "3"}).exitCode, 0);
    const Outcome show = vaultadmin({"show"}, env);
    EXPECT_EQ(show.exitCode, 1) << show.output;
    EXPECT_TRUE(contains(show.output, "ERROR")) << show.output;
    EXPECT_TRUE(contains(show.output, "storage problem")) << show.output;
}

TEST(VaultAdminCli, DamageTruncatesAndFlipsWithinTheFileOnly) {
    TempFolder temp;
    const std::string file = temp / "f";
    writeFile(file, std::string("\x00\x01\x02\x03\x04\x05", 6));
    ASSERT_EQ(vaultadmin({"damage", "--file", file, "--flip", "1", "--count", "2"}).exitCode, 0);
    EXPECT_EQ(readFile(file), std::string("\x00\xfe\xfd\x03\x04\x05", 6));
    const Outcome beyond = vaultadmin({"damage", "--file", file, "--flip", "5", "--count", "2"});
    EXPECT_EQ(beyond.exitCode, 1);
    EXPECT_TRUE(contains(beyond.output, file)) << beyond.output;
    EXPECT_EQ(readFile(file), std::string("\x00\xfe\xfd\x03\x04\x05", 6));
    EXPECT_EQ(vaultadmin({"damage", "--file", file, "--truncate", "9"}).exitCode, 1);
    ASSERT_EQ(vaultadmin({"damage", "--file", file, "--truncate", "2"}).exitCode, 0);
    EXPECT_EQ(readFile(file), std::string("\x00\xfe", 2));
    EXPECT_EQ(vaultadmin({"damage", "--file", temp / "none", "--truncate", "0"}).exitCode, 1);
}

TEST(VaultAdminCli, IncompleteVaultIsRefused) {
    TempFolder temp;
    TempFolder noPlugins;
    const std::string root = temp / "vault";
    const Outcome failed = vaultadmin({"demo", "--root", root}, {{"VAULT_PLUGIN_DIR", noPlugins.path()}});
    EXPECT_EQ(failed.exitCode, 1) << failed.output;
    ASSERT_TRUE(exists(root + "/.incomplete"));
    for (const char* command : {"show", "tasks"}) {
        const Outcome refused = vaultadmin({command, "--config", root + "/node.conf"});
        EXPECT_EQ(refused.exitCode, 1) << refused.output;
        EXPECT_TRUE(contains(refused.output, "incomplete")) << refused.output;
    }
    const Outcome again = vaultadmin({"demo", "--root", root});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(contains(again.output, "--force")) << again.output;
    EXPECT_EQ(vaultadmin({"demo", "--root", root, "--force"}).exitCode, 0);
    EXPECT_EQ(vaultadmin({"tasks", "--config", root + "/node.conf"}).exitCode, 0);
}

}  // namespace
}  // namespace VaultAdmin
