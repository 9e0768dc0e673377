// A vault built by vaultadmin, answered once by the SQL catalogue plug-in and
// once by Quenlith, through the interface manager: the same computers,
// names, tasks, folders and pools, apart from what Quenlith defines
// differently:
// - IDs: Quenlith numbers computers by their place in its scan, every task
//   is ID 1 and the vault too; records are therefore matched by GUID, and
//   each plug-in's task must point at its own ID of its computer;
// - order: the scan's order, not the catalogue's;
// - pools: Quenlith's pool folder is the task folder that holds the label,
//   the SQL catalogue's is the pool folder below it ("pool/");
// - a computer without tasks has no label, so Quenlith does not know it;
// - the vault GUID is Quenlith's fixed one, and its only node is this one.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CatalogueWalk.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultSettings.h"

namespace QuenlithTest {
namespace {

using CatalogueQuery::CatalogueView;
using CatalogueQuery::ComputerView;
using CatalogueQuery::TaskView;

const char* const kDescription = R"({
  "vault": { "id": "compare", "version": "8.50.0000" },
  "nodes": [ { "hostName": "node1" }, { "hostName": "node2" } ],
  "thisNode": "node1",
  "customers": [
    { "name": "Harbour", "reference": "H",
      "locations": [ { "name": "Quay", "reference": "Q",
        "computers": [
          { "name": "desk", "tasks": [
              { "name": "Docs", "node": "node1", "safesets": [ { "number": 1, "version": "8.40", "records": 3 } ] },
              { "name": "Mail", "node": "node2", "safesets": [] } ] },
          { "name": "idle", "tasks": [] } ] } ] },
    { "name": "Northfield", "reference": "N",
      "locations": [ { "name": "Works", "reference": "W",
        "computers": [
          { "name": "cad station \u00e9", "guid": "ABCDEF01-2345-4678-9ABC-DEF012345678", "tasks": [
              { "name": "Design files", "guid": "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D", "node": "node1", "safesets": [] },
              { "name": "Renders", "node": "node1", "safesets": [ { "number": 4, "version": "8.50", "records": 2 } ] } ] } ] } ] }
  ]
})";

std::string binaryFolder() {
    const char* folder = std::getenv("VAULT_BIN_DIR");
    return folder != nullptr ? folder : ".";
}

CatalogueView walkWith(const std::string& plugin) {
    NodeConfig::set("database", "Plugin", plugin);
    DatabaseInterfaces::DbInterfaceManager manager;
    return CatalogueQuery::walkCatalogue(manager);
}

std::map<std::string, const ComputerView*> byGuid(const CatalogueView& view) {
    std::map<std::string, const ComputerView*> computers;
    for (const ComputerView& computer : view.computers) computers[computer.guid] = &computer;
    return computers;
}

std::map<std::string, TaskView> tasksByGuid(const ComputerView& computer) {
    std::map<std::string, TaskView> tasks;
    for (const TaskView& task : computer.tasks) tasks[task.guid] = task;
    return tasks;
}

TEST(SameAnswersAsSqlCatalogue, ComputersNamesTasksFoldersAndPools) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenlith-compare-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    const std::string root = pattern;
    {
        std::ofstream(root + "/vault.json") << kDescription;
    }
    const std::string command = "'" + binaryFolder() + "/vaultadmin' build --description '" + root +
                                "/vault.json' --root '" + root + "/vault' --catalogue-plugin Quenlith > '" + root +
                                "/build.out' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ::setenv("VAULT_NODE_CONFIG", (root + "/vault/node.conf").c_str(), 1);
    EXPECT_EQ(NodeConfig::get("database", "Plugin"), "Quenlith");

    const CatalogueView sql = walkWith("SqlCatalogue");
    const CatalogueView quenlith = walkWith("Quenlith");
    EXPECT_EQ(sql.plugin, "SqlCatalogue");
    EXPECT_EQ(quenlith.plugin, "Quenlith");

    const auto sqlComputers = byGuid(sql);
    const auto quenlithComputers = byGuid(quenlith);
    ASSERT_EQ(sqlComputers.size(), 3u);
    ASSERT_EQ(quenlithComputers.size(), 2u);
    size_t tasksCompared = 0;
    for (const auto& entry : sqlComputers) {
        const ComputerView& expected = *entry.second;
        const auto found = quenlithComputers.find(entry.first);
        if (expected.tasks.empty()) {
            EXPECT_EQ(found, quenlithComputers.end()) << expected.name;
            continue;
        }
        ASSERT_NE(found, quenlithComputers.end()) << expected.name;
        const ComputerView& actual = *found->second;
        EXPECT_EQ(actual.name, expected.name);
        const auto expectedTasks = tasksByGuid(expected);
        const auto actualTasks = tasksByGuid(actual);
        ASSERT_EQ(actualTasks.size(), expectedTasks.size()) << expected.name;
        for (const auto& task : expectedTasks) {
            const auto same = actualTasks.find(task.first);
            ASSERT_NE(same, actualTasks.end()) << task.second.name;
            EXPECT_EQ(same->second.name, task.second.name);
            EXPECT_EQ(same->second.folder, task.second.folder);
            EXPECT_EQ(same->second.computerId, actual.id);
            EXPECT_EQ(task.second.computerId, expected.id);
            ++tasksCompared;
        }
    }
    EXPECT_EQ(tasksCompared, 4u);
    // GUIDs given in capitals reach both plug-ins byte for byte.
    EXPECT_NE(quenlithComputers.find("ABCDEF01-2345-4678-9ABC-DEF012345678"), quenlithComputers.end());

    std::map<std::string, std::string> sqlPools, quenlithPools;
    for (const auto& pool : sql.pools) sqlPools[pool.guid] = pool.folder;
    for (const auto& pool : quenlith.pools) quenlithPools[pool.guid] = pool.folder;
    ASSERT_EQ(quenlithPools.size(), sqlPools.size());
    EXPECT_EQ(sqlPools.size(), 4u);
    for (const auto& pool : sqlPools) {
        ASSERT_EQ(quenlithPools.count(pool.first), 1u) << pool.first;
        EXPECT_EQ(quenlithPools[pool.first] + "pool/", pool.second);
    }

    EXPECT_EQ(quenlith.vault.guid, "a69171a3-953c-4c4d-a02e-dd329993dab0");
    EXPECT_EQ(quenlith.vault.name, sql.vault.name);
    ASSERT_EQ(quenlith.nodes.size(), 1u);
    EXPECT_EQ(quenlith.nodes[0].hostName, "node1");

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

}  // namespace
}  // namespace QuenlithTest
