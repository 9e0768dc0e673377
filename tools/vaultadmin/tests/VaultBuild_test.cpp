// Building vaults in process and reading them back through the catalogue
// (interface manager and plug-in) and the storage readers.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DescriptionParser.h"
#include "SyntheticVault.h"
#include "TestSupport.h"
#include "VaultBuilder.h"
#include "VaultInspector.h"
#include "VaultRoot.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace VaultAdmin {
namespace {

using Testing::TempFolder;

const char* const kDescription = R"({
  "vault": {"id": "round-trip", "version": "8.50.0123"},
  "nodes": [{"hostName": "alpha"}, {"hostName": "beta"}],
  "thisNode": "alpha",
  "customers": [
    {"name": "First \"quoted\" customer", "reference": "C-1", "locations": [
      {"name": "North", "reference": "C-1-N", "computers": [
        {"name": "pc one", "tasks": [
          {"name": "Documents", "node": "alpha", "safesets": [
            {"number": 9, "version": "8.40", "records": 12, "marked": [0, 11]},
            {"number": 2, "version": "", "records": 0, "unavailable": true},
            {"number": 4294967295, "version": "8.50", "records": 10, "markedShare": 0.3}]},
          {"name": "Empty task", "node": "BETA", "safesets": []}]},
        {"name": "pc two", "guid": "11111111-2222-4333-8444-555555555555", "tasks": [
          {"name": "Documents", "node": "beta", "safesets": [
            {"number": 1, "version": "8.41", "records": 3, "marked": [1]}]}]}]},
      {"name": "South", "reference": "", "computers": []}]},
    {"name": "Second", "reference": "C-2", "locations": []}
  ]
})";

// Compares what the storage and the catalogue hold with the description,
// element by element and in order.
void expectVaultMatches(const VaultDescription& expected, const InspectedVault& actual, const VaultPaths& paths) {
    EXPECT_EQ(actual.name, expected.id);
    EXPECT_EQ(actual.guid, expected.guid);
    EXPECT_EQ(actual.version, expected.version);
    EXPECT_EQ(actual.thisNode, expected.thisNode);
    EXPECT_EQ(actual.nodes, expected.nodes);
    ASSERT_EQ(actual.customers.size(), expected.customers.size());
    std::set<uint32_t> taskIds;
    for (size_t c = 0; c < expected.customers.size(); ++c) {
        const auto& ec = expected.customers[c];
        const auto& ac = actual.customers[c];
        EXPECT_EQ(ac.name, ec.name);
        EXPECT_EQ(ac.reference, ec.reference);
        ASSERT_EQ(ac.locations.size(), ec.locations.size());
        for (size_t l = 0; l < ec.locations.size(); ++l) {
            const auto& el = ec.locations[l];
            const auto& al = ac.locations[l];
            EXPECT_EQ(al.name, el.name);
            EXPECT_EQ(al.reference, el.reference);
            ASSERT_EQ(al.computers.size(), el.computers.size());
            for (size_t k = 0; k < el.computers.size(); ++k) {
                const auto& ek = el.computers[k];
                const auto& ak = al.computers[k];
                EXPECT_EQ(ak.name, ek.name);
                EXPECT_EQ(ak.guid, ek.guid);
                ASSERT_EQ(ak.tasks.size(), ek.tasks.size());
                for (size_t t = 0; t < ek.tasks.size(); ++t) {
                    const auto& et = ek.tasks[t];
                    const auto& at = ak.tasks[t];
                    SCOPED_TRACE(ek.name + " / " + et.name);
                    EXPECT_TRUE(taskIds.insert(at.id).second) << "task id " << at.id << " given twice";
                    EXPECT_EQ(at.name, et.name);
                    EXPECT_EQ(at.guid, et.guid);
                    EXPECT_EQ(at.poolGuid, et.poolGuid);
                    EXPECT_EQ(at.node, et.node);
                    EXPECT_EQ(at.folder, paths.storage + "/" + ek.guid + "/" + et.guid + "/");
                    EXPECT_EQ(at.error, "");
                    ASSERT_EQ(at.safesets.size(), et.safesets.size());
                    // The synchronisation set lists safesets in ascending number.
                    std::vector<SafesetDescription> sorted = et.safesets;
                    std::sort(sorted.begin(), sorted.end(),
                              [](const SafesetDescription& a, const SafesetDescription& b) { return a.number < b.number; });
                    for (size_t s = 0; s < sorted.size(); ++s) {
                        const auto& es = sorted[s];
                        const auto& as = at.safesets[s];
                        SCOPED_TRACE("safeset " + std::to_string(es.number));
                        EXPECT_EQ(as.error, "");
                        EXPECT_EQ(as.number, es.number);
                        EXPECT_EQ(as.unavailable, es.unavailable);
                        EXPECT_EQ(as.version, es.version);
                        EXPECT_EQ(as.recordIdLowerBound, kFirstRecordId);
                        EXPECT_EQ(as.recordIdUpperBound, kFirstRecordId + es.records);
                        EXPECT_EQ(as.records, es.records);
                        std::vector<uint32_t> marked;
                        for (uint64_t i = 0; i < es.records; ++i)
                            if (es.marked.isMarked(i, es.records)) marked.push_back(kFirstRecordId + uint32_t(i));
                        EXPECT_EQ(as.markedIds, marked);
                    }
                }
            }
        }
    }
}

class VaultBuild : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("VAULT_NODE_CONFIG"); }
    TempFolder temp_;
};

TEST_F(VaultBuild, BuiltVaultReadsBackAsDescribed) {
    const VaultDescription description = parseDescription(kDescription);
    const VaultPaths paths(temp_ / "vault");
    const BuildReport report = buildVault(description, paths.root, BuildOptions());
    EXPECT_EQ(report.nodeConfig, paths.nodeConfig);
    EXPECT_EQ(report.tasks, 3u);
    EXPECT_FALSE(Testing::exists(paths.marker));

    ASSERT_EQ(std::string(std::getenv("VAULT_NODE_CONFIG")), paths.nodeConfig);
    EXPECT_EQ(NodeConfig::get("node", "HostName"), "alpha");
    EXPECT_EQ(NodeConfig::get("node", "LockFolder"), paths.locks);
    EXPECT_EQ(NodeConfig::get("database", "File"), paths.catalogue);
    EXPECT_EQ(NodeConfig::get("local", "Mount_0"), paths.storage);

    const InspectedVault vault = inspectVault(InspectOptions());
    expectVaultMatches(description, vault, paths);

    // The label file of every task folder, as the storage scanner reads it.
    const ComputerDescription& computer = description.customers[0].locations[0].computers[0];
    const TaskDescription& task = computer.tasks[0];
    VaultUtilities::ConfigFilePersistManager label(taskFolderOf(paths, computer, task) + kTaskLabelFileName);
    const VaultUtilities::ConfigGroup& values = label.getConfigReadOnly();
    EXPECT_EQ(values.value("TASK_GUID").svalue(), task.guid);
    EXPECT_EQ(values.value("TASK_NAME").svalue(), task.name);
    EXPECT_EQ(values.value("COMPUTER_GUID").svalue(), computer.guid);
    EXPECT_EQ(values.value("COMPUTER").svalue(), computer.name);
    EXPECT_EQ(values.value("POOL_GUID").svalue(), task.poolGuid);
    EXPECT_EQ(values.entries().size(), 5u);

    // The pool records that the pool library looks up by GUID.
    DatabaseInterfaces::DbInterfaceManager manager;
    DataObjects::PoolDataObject pool;
    ASSERT_TRUE(manager.administratorInterface(true)->getPoolByGuid(task.poolGuid, pool));
    EXPECT_EQ(pool.folders[0], taskFolderOf(paths, computer, task) + "pool/");
}

TEST_F(VaultBuild, RebuildingGivesTheSameVaultAndNeedsForce) {
    const VaultDescription description = parseDescription(kDescription);
    const VaultPaths paths(temp_ / "vault");
    buildVault(description, paths.root, BuildOptions());
    const InspectedVault first = inspectVault(InspectOptions());

    try {
        buildVault(description, paths.root, BuildOptions());
        FAIL() << "built over an existing vault without force";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("--force"), std::string::npos) << error.what();
    }
    BuildOptions force;
    force.force = true;
    buildVault(description, paths.root, force);
    const InspectedVault second = inspectVault(InspectOptions());
    expectVaultMatches(description, second, paths);
    ASSERT_EQ(second.customers[0].locations[0].computers[0].tasks.size(), 2u);
    EXPECT_EQ(second.customers[0].locations[0].computers[0].tasks[1].id,
              first.customers[0].locations[0].computers[0].tasks[1].id);
}

TEST_F(VaultBuild, ForceNeverRemovesFilesABuildDidNotWrite) {
    const VaultPaths paths(temp_ / "vault");
    std::filesystem::create_directories(paths.root);
    Testing::writeFile(paths.root + "/notes.txt", "mine");
    BuildOptions force;
    force.force = true;
    EXPECT_THROW(buildVault(parseDescription(kDescription), paths.root, force), std::runtime_error);
    EXPECT_EQ(Testing::readFile(paths.root + "/notes.txt"), "mine");
    EXPECT_FALSE(Testing::exists(paths.marker));
}

TEST_F(VaultBuild, FailedBuildLeavesTheMarkerAndCommandsRefuseTheVault) {
    const VaultPaths paths(temp_ / "vault");
    const char* pluginDir = std::getenv("VAULT_PLUGIN_DIR");
    ASSERT_NE(pluginDir, nullptr) << "run through ctest";
    const std::string realPluginDir = pluginDir;
    {
        // The catalogue plug-in cannot be found: the build stops after the
        // node configuration is written.
        TempFolder noPlugins;
        ::setenv("VAULT_PLUGIN_DIR", noPlugins.path().c_str(), 1);
        EXPECT_THROW(buildVault(parseDescription(kDescription), paths.root, BuildOptions()), std::runtime_error);
        ::setenv("VAULT_PLUGIN_DIR", realPluginDir.c_str(), 1);
    }
    EXPECT_TRUE(Testing::exists(paths.marker));
    EXPECT_TRUE(Testing::exists(paths.nodeConfig));
    try {
        requireCompleteVault(paths.nodeConfig);
        FAIL() << "an incomplete vault was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("incomplete"), std::string::npos) << error.what();
    }

    BuildOptions force;
    force.force = true;
    buildVault(parseDescription(kDescription), paths.root, force);
    EXPECT_FALSE(Testing::exists(paths.marker));
    EXPECT_NO_THROW(requireCompleteVault(paths.nodeConfig));
}

TEST_F(VaultBuild, GeneratedVaultFollowsItsNumbers) {
    SyntheticParameters p;
    p.tasks = 25;
    p.safesetsPerTask = 2;
    p.recordsPerSafeset = 6;
    p.affectedShare = 0.5;
    p.markedShare = 1.0;
    p.nodes = 3;
    p.seed = 7;
    p.customers = 2;
    p.computersPerCustomer = 3;
    const VaultDescription description = syntheticDescription(p);
    const VaultPaths paths(temp_ / "vault");
    buildVault(description, paths.root, BuildOptions());
    const InspectedVault vault = inspectVault(InspectOptions());
    expectVaultMatches(description, vault, paths);

    size_t tasks = 0, affected = 0, withMarks = 0;
    std::set<std::string> nodes;
    for (const auto& customer : vault.customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers)
                for (const auto& task : computer.tasks) {
                    ++tasks;
                    nodes.insert(task.node);
                    ASSERT_EQ(task.safesets.size(), 2u);
                    for (const auto& safeset : task.safesets) {
                        EXPECT_TRUE(safeset.version == "8.40" || safeset.version == "8.50") << safeset.version;
                        if (safeset.version == "8.40") ++affected;
                        // With markedShare 1 every affected safeset marks its last record only.
                        if (safeset.version == "8.40") {
                            EXPECT_EQ(safeset.markedIds, std::vector<uint32_t>{kFirstRecordId + 5});
                        } else {
                            EXPECT_TRUE(safeset.markedIds.empty());
                        }
                        if (!safeset.markedIds.empty()) ++withMarks;
                    }
                }
    EXPECT_EQ(tasks, 25u);
    EXPECT_EQ(vault.customers.size(), 2u);
    EXPECT_EQ(nodes, (std::set<std::string>{"node1", "node2", "node3"}));
    EXPECT_GT(affected, 0u);
    EXPECT_LT(affected, 50u);
    EXPECT_EQ(withMarks, affected);

    // The same numbers give the same vault; another seed another one.
    SyntheticParameters other = p;
    other.seed = 8;
    auto versions = [](const VaultDescription& d) {
        std::string all;
        for (const auto& c : d.customers)
            for (const auto& l : c.locations)
                for (const auto& k : l.computers)
                    for (const auto& t : k.tasks)
                        for (const auto& s : t.safesets) all += s.version + ",";
        return all;
    };
    EXPECT_EQ(versions(syntheticDescription(p)), versions(description));
    EXPECT_NE(versions(syntheticDescription(other)), versions(description));
    p.tasks = 0;
    EXPECT_THROW(syntheticDescription(p), std::invalid_argument);
}

}  // namespace
}  // namespace VaultAdmin
