// vaultadmin check-catalogue on demo vaults damaged in every way it reports:
// each damage gives exactly its findings, in text and JSON, and the check
// changes nothing on the storage or in the catalogue. Also the exit codes
// for a side that cannot be read, and a vault that selects a plug-in without
// a task list.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "PgTestServer.h"
#include "TestSupport.h"

namespace VaultAdmin {
namespace {

using namespace Testing;
namespace fs = std::filesystem;
using Json = nlohmann::json;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("'" + from + "' not found in\n" + text);
    return text.replace(at, from.size(), to);
}

// The value of KEY in a label file's text.
std::string labelValue(const std::string& label, const std::string& key) {
    std::istringstream lines(label);
    for (std::string line; std::getline(lines, line);)
        if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    throw std::runtime_error("no " + key + " in\n" + label);
}

// A demo vault, with the folder of every task by name.
struct Vault {
    std::string root;
    std::map<std::string, std::string> env;
    std::map<std::string, std::string> folders;  // task name -> folder without the trailing separator

    std::string storage() const { return root + "/storage"; }
    std::string folder(const std::string& task) const { return folders.at(task); }
    std::string label(const std::string& task) const { return folder(task) + "/TaskLabel.cfg"; }
    std::string taskGuid(const std::string& task) const { return fs::path(folder(task)).filename().string(); }
    std::string computerGuid(const std::string& task) const {
        return fs::path(folder(task)).parent_path().filename().string();
    }
    std::string poolGuid(const std::string& task) const { return labelValue(readFile(label(task)), "POOL_GUID"); }
    void editLabel(const std::string& task, const std::string& from, const std::string& to) const {
        writeFile(label(task), replaced(readFile(label(task)), from, to));
    }
};

Vault buildDemo(const std::string& root, const std::string& connection = std::string()) {
    std::vector<std::string> args = {"demo", "--root", root};
    if (!connection.empty()) args.insert(args.end(), {"--database-connection", connection});
    const Outcome demo = vaultadmin(args);
    if (demo.exitCode != 0) throw std::runtime_error("demo failed: " + demo.output);
    Vault vault;
    vault.root = root;
    vault.env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};
    const Outcome tasks = vaultadmin({"tasks"}, vault.env);
    if (tasks.exitCode != 0) throw std::runtime_error("tasks failed: " + tasks.output);
    std::istringstream lines(tasks.output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() != 4) throw std::runtime_error("unexpected tasks line: " + line);
        std::string folder = fields[3];
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        vault.folders[fields[1]] = folder;
    }
    if (vault.folders.size() != 6) throw std::runtime_error("the demo vault has not 6 tasks:\n" + tasks.output);
    return vault;
}

// Everything below `top` (links not followed): path, type, size,
// modification time, and the content of every regular file. The SQLite
// library may open and remove its own side files (catalogue.db-journal and
// the like) beside the catalogue while reading it, so those, and the time of
// the folder holding them, are left out; the catalogue file itself is not.
std::map<std::string, std::string> snapshot(const std::string& top, const std::string& catalogueFolder) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().string();
        if (contains(path, "/catalogue.db-")) continue;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) throw std::runtime_error("lstat " + path);
        std::string state = std::to_string(info.st_mode) + " " + std::to_string(info.st_size);
        if (path != catalogueFolder)
            state += " " + std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
        if (S_ISREG(info.st_mode)) state += " " + readFile(path);
        out[path] = state;
    }
    return out;
}

// The paths whose state differs between two snapshots.
std::string changedPaths(const std::map<std::string, std::string>& before,
                         const std::map<std::string, std::string>& after) {
    std::string out;
    for (const auto& item : before) {
        auto found = after.find(item.first);
        if (found == after.end()) out += "  removed " + item.first + "\n";
        else if (found->second != item.second) out += "  changed " + item.first + "\n";
    }
    for (const auto& item : after)
        if (before.count(item.first) == 0) out += "  added " + item.first + "\n";
    return out;
}

using FindingSet = std::set<std::pair<std::string, std::string>>;  // (kind, task or pool GUID)

// Runs the check as text and as JSON; both must say the same.
FindingSet check(const Vault& vault, int expectedExit, std::string* textOut = nullptr) {
    const Outcome text = vaultadmin({"check-catalogue"}, vault.env);
    const Outcome json = vaultadmin({"check-catalogue", "--json"}, vault.env);
    EXPECT_EQ(text.exitCode, expectedExit) << text.output;
    EXPECT_EQ(json.exitCode, expectedExit) << json.output;
    if (textOut) *textOut = text.output;
    const Json report = Json::parse(json.output);
    EXPECT_EQ(report.at("agree").get<bool>(), expectedExit == 0);
    FindingSet found;
    for (const Json& finding : report.at("findings")) {
        const std::string kind = finding.at("kind").get<std::string>();
        const bool aboutPool = kind.compare(0, 5, "pool-") == 0 && kind != "pool-differs";
        const bool aboutComputer = kind == "computer-name-differs";
        const Json& key = aboutPool ? finding.at("poolGuid") : aboutComputer ? finding.at("computerGuid")
                                                                              : finding.at("taskGuid");
        found.insert({kind, key.get<std::string>()});
        EXPECT_TRUE(contains(text.output, finding.at("message").get<std::string>() + "\n"))
            << "text output lacks the JSON's message\n" << text.output;
    }
    return found;
}

void addSecondRoot(const Vault& vault, const std::string& second) {
    fs::create_directories(second);
    const std::string config = vault.root + "/node.conf";
    writeFile(config, replaced(readFile(config), "Mount_0=" + vault.storage() + "\n",
                               "Mount_0=" + vault.storage() + "\nMount_1=" + second + "\n"));
}

// `expected` is taken before `apply`, from the undamaged vault.
struct Damage {
    const char* what;
    std::function<void(const Vault&, const std::string& outside)> apply;
    std::function<FindingSet(const Vault&)> expected;
};

const std::string kNewGuid = "0badc0de-0000-4000-8000-000000000001";
const std::string kNewPool = "0badc0de-0000-4000-8000-0000000000aa";

std::vector<Damage> damages() {
    return {
        {"a task folder removed by hand",
         [](const Vault& v, const std::string&) { fs::remove_all(v.folder("Branch share")); },
         [](const Vault& v) { return FindingSet{{"folder-missing", v.taskGuid("Branch share")}}; }},
        {"a label removed",
         [](const Vault& v, const std::string&) { fs::remove(v.label("Payroll database")); },
         [](const Vault& v) { return FindingSet{{"no-label", v.taskGuid("Payroll database")}}; }},
        {"a label without TASK_GUID",
         [](const Vault& v, const std::string&) {
             v.editLabel("Mail store", "TASK_GUID=" + v.taskGuid("Mail store") + "\n", "");
         },
         // A folder without TASK_GUID is not a task folder; its pool is still
         // the one the catalogue knows.
         [](const Vault& v) { return FindingSet{{"no-label", v.taskGuid("Mail store")}}; }},
        {"an old task folder brought back by a restore",
         [](const Vault& v, const std::string&) {
             const std::string folder = v.storage() + "/" + v.computerGuid("Design files") + "/" + kNewGuid;
             fs::create_directories(folder);
             writeFile(folder + "/TaskLabel.cfg", "COMPUTER=cad-station\nCOMPUTER_GUID=" + v.computerGuid("Design files") +
                                                      "\nPOOL_GUID=" + kNewPool + "\nTASK_GUID=" + kNewGuid +
                                                      "\nTASK_NAME=Old files\n");
         },
         // Its pool is named in the task's finding, not again on its own.
         [](const Vault&) { return FindingSet{{"task-not-in-catalogue", kNewGuid}}; }},
        {"a task renamed on one side",
         [](const Vault& v, const std::string&) { v.editLabel("Photo archive", "TASK_NAME=Photo archive", "TASK_NAME=Photos"); },
         [](const Vault& v) { return FindingSet{{"name-differs", v.taskGuid("Photo archive")}}; }},
        {"a task under another computer",
         [](const Vault& v, const std::string&) {
             v.editLabel("Daily documents", "COMPUTER_GUID=" + v.computerGuid("Daily documents"),
                         "COMPUTER_GUID=" + v.computerGuid("Payroll database"));
         },
         [](const Vault& v) { return FindingSet{{"computer-differs", v.taskGuid("Daily documents")}}; }},
        {"a computer renamed on the storage",
         [](const Vault& v, const std::string&) { v.editLabel("Branch share", "COMPUTER=file-server", "COMPUTER=fs2"); },
         [](const Vault& v) { return FindingSet{{"computer-name-differs", v.computerGuid("Branch share")}}; }},
        {"a label naming another pool",
         [](const Vault& v, const std::string&) {
             v.editLabel("Design files", "POOL_GUID=" + v.poolGuid("Design files"), "POOL_GUID=" + kNewPool);
         },
         [](const Vault& v) {
             return FindingSet{{"pool-differs", v.taskGuid("Design files")},
                               {"pool-not-in-catalogue", kNewPool},
                               {"pool-not-on-storage", v.poolGuid("Design files")}};
         }},
        {"a pool label without a task",
         [](const Vault& v, const std::string&) {
             const std::string folder = v.storage() + "/spare-pool";
             fs::create_directories(folder);
             writeFile(folder + "/TaskLabel.cfg", "POOL_GUID=" + kNewPool + "\n");
         },
         [](const Vault&) { return FindingSet{{"pool-not-in-catalogue", kNewPool}}; }},
        {"a task folder moved within the storage",
         [](const Vault& v, const std::string&) {
             fs::rename(v.folder("Mail store"), v.storage() + "/" + v.computerGuid("Payroll database") + "/moved");
         },
         [](const Vault& v) { return FindingSet{{"folder-differs", v.taskGuid("Mail store")}}; }},
        {"one task GUID under two storage roots",
         [](const Vault& v, const std::string& outside) {
             addSecondRoot(v, outside + "/second-root");
             fs::copy(v.folder("Photo archive"), outside + "/second-root/copy", fs::copy_options::recursive);
         },
         [](const Vault& v) { return FindingSet{{"duplicate", v.taskGuid("Photo archive")}}; }},
        {"a link out of the root to a labelled folder (never followed)",
         [](const Vault& v, const std::string& outside) {
             const std::string target = outside + "/elsewhere";
             fs::create_directories(target);
             writeFile(target + "/TaskLabel.cfg", "TASK_GUID=" + kNewGuid + "\nTASK_NAME=Elsewhere\n");
             fs::create_directory_symlink(target, v.storage() + "/link");
         },
         [](const Vault&) { return FindingSet{}; }},
        {"a task folder replaced by a link to its copy outside the root",
         [](const Vault& v, const std::string& outside) {
             fs::copy(v.folder("Payroll database"), outside + "/payroll", fs::copy_options::recursive);
             fs::remove_all(v.folder("Payroll database"));
             fs::create_directory_symlink(outside + "/payroll", v.folder("Payroll database"));
         },
         [](const Vault& v) { return FindingSet{{"folder-missing", v.taskGuid("Payroll database")}}; }},
    };
}

std::string describe(const FindingSet& findings) {
    std::string out;
    for (const auto& finding : findings) out += "  " + finding.first + " " + finding.second + "\n";
    return out.empty() ? "  (none)\n" : out;
}

TEST(CheckCatalogue, EachDamageGivesItsFindingsAndChangesNothing) {
    for (const Damage& damage : damages()) {
        SCOPED_TRACE(damage.what);
        TempFolder temp;
        const Vault vault = buildDemo(temp / "demo");
        ASSERT_EQ(check(vault, 0), FindingSet{});
        const FindingSet expected = damage.expected(vault);
        damage.apply(vault, temp.path());
        const auto before = snapshot(temp.path(), vault.root);
        const FindingSet found = check(vault, expected.empty() ? 0 : 5);
        EXPECT_EQ(found, expected) << "found:\n" << describe(found) << "expected:\n" << describe(expected);
        EXPECT_EQ(changedPaths(before, snapshot(temp.path(), vault.root)), "") << "the check changed the vault";
    }
}

TEST(CheckCatalogue, EachFindingSaysWhatBothSidesHoldAndWhere) {
    TempFolder temp;
    const Vault vault = buildDemo(temp / "demo");
    vault.editLabel("Photo archive", "TASK_NAME=Photo archive", "TASK_NAME=Photos");
    fs::remove_all(vault.folder("Branch share"));
    std::string text;
    check(vault, 5, &text);
    EXPECT_TRUE(contains(text, "task " + vault.taskGuid("Photo archive") + " (computer " +
                                   vault.computerGuid("Photo archive") + "): name differs: catalogue task 2 has " +
                                   "'Photo archive', the label in " + vault.folder("Photo archive") +
                                   " has 'Photos'\n")) << text;
    EXPECT_TRUE(contains(text, "folder missing: catalogue task 5 'Branch share' names the folder " +
                                   vault.folder("Branch share") + "/, but it does not exist\n")) << text;
    EXPECT_TRUE(contains(text, "\n2 difference(s) found\n")) << text;

    const Outcome json = vaultadmin({"check-catalogue", "--json"}, vault.env);
    const Json report = Json::parse(json.output);
    EXPECT_EQ(report.at("catalogue").at("tasks"), 6);
    EXPECT_EQ(report.at("storage").at("taskFolders"), 5);
    EXPECT_EQ(report.at("storage").at("roots"), Json::array({vault.storage()}));
    const Json& renamed = report.at("findings").at(1);
    EXPECT_EQ(renamed.at("kind"), "name-differs");
    EXPECT_EQ(renamed.at("catalogue").at("name"), "Photo archive");
    EXPECT_EQ(renamed.at("storage").at("name"), "Photos");
    EXPECT_EQ(renamed.at("storage").at("folder"), vault.folder("Photo archive"));
    EXPECT_EQ(renamed.at("storage").at("root"), vault.storage());
}

TEST(CheckCatalogue, ASideThatCannotBeReadHasItsOwnExitCode) {
    TempFolder temp;
    const Vault vault = buildDemo(temp / "demo");

    // The storage root is gone: 1, naming it.
    fs::rename(vault.storage(), temp / "moved-storage");
    Outcome outcome = vaultadmin({"check-catalogue"}, vault.env);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "storage root " + vault.storage() + " cannot be opened")) << outcome.output;
    fs::rename(temp / "moved-storage", vault.storage());

    // The catalogue file is gone: 8 (and JSON that says so).
    fs::rename(vault.root + "/catalogue.db", temp / "moved.db");
    outcome = vaultadmin({"check-catalogue", "--json"}, vault.env);
    EXPECT_EQ(outcome.exitCode, 8) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "\"exitCode\": 8")) << outcome.output;
    EXPECT_FALSE(fs::exists(vault.root + "/catalogue.db")) << "the check created a catalogue";
    fs::rename(temp / "moved.db", vault.root + "/catalogue.db");
    EXPECT_EQ(check(vault, 0), FindingSet{});
}

TEST(CheckCatalogue, APluginWithoutTaskListIsNamed) {
    TempFolder temp;
    const std::string root = temp / "demo";
    const Outcome demo = vaultadmin({"demo", "--root", root, "--catalogue-plugin", "Quenlith"});
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};
    const std::vector<std::vector<std::string>> commands = {
        {"check-catalogue"}, {"tasks"}, {"show"}, {"hold-lock", "--task-id", "6", "--seconds", "0"},
        {"mark-unavailable", "--task-id", "6", "--safeset", "1"}, {"settings", "--task-id", "6"},
        {"pool", "--task-id", "6", "--command", "verify"}};
    for (const auto& command : commands) {
        const Outcome outcome = vaultadmin(command, env);
        EXPECT_EQ(outcome.exitCode, 1) << command[0] << "\n" << outcome.output;
        EXPECT_TRUE(contains(outcome.output, "vaultadmin " + command[0] +
                                                 " needs a catalogue that answers customers and task ids"))
            << outcome.output;
        EXPECT_TRUE(contains(outcome.output, "selects the plug-in 'Quenlith'")) << outcome.output;
        EXPECT_FALSE(contains(outcome.output, "has no task with id")) << outcome.output;
    }
}

// The same checks against a catalogue on the PostgreSQL test server.
TEST(CheckCatalogue, PostgresCatalogueGivesTheSameFindings) {
    const std::string database = SqlCatalogueTest::createPgDatabase();
    const std::string connection = SqlCatalogueTest::pgServerConninfo() + " dbname=" + database;
    {
        TempFolder temp;
        const Vault vault = buildDemo(temp / "demo", connection);
        EXPECT_EQ(check(vault, 0), FindingSet{});
        // Four damages at once: a missing folder, an unknown one, a renamed
        // task and another pool.
        const std::vector<Damage> all = damages();
        FindingSet expected;
        for (size_t i : {0u, 3u, 4u, 7u}) {
            const FindingSet part = all[i].expected(vault);
            expected.insert(part.begin(), part.end());
        }
        for (size_t i : {0u, 3u, 4u, 7u}) all[i].apply(vault, temp.path());
        const FindingSet found = check(vault, 5);
        EXPECT_EQ(found, expected) << "found:\n" << describe(found) << "expected:\n" << describe(expected);

        // A server that cannot be reached: 8.
        const std::string config = vault.root + "/node.conf";
        writeFile(config, replaced(readFile(config), "dbname=" + database, "dbname=" + database + "_absent"));
        const Outcome unreachable = vaultadmin({"check-catalogue"}, vault.env);
        EXPECT_EQ(unreachable.exitCode, 8) << unreachable.output;
    }
    SqlCatalogueTest::dropPgDatabase(database);
}

}  // namespace
}  // namespace VaultAdmin
