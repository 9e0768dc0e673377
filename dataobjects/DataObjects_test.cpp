#include "DataObjects/DataObjects.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "VaultSettings.h"

namespace {

using namespace DataObjects;

// Points the node configuration at a file of the test's own.
class DataObjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/dataobjects_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("VAULT_NODE_CONFIG", (dir_ + "/node.conf").c_str(), 1);
    }
    void TearDown() override {
        ::unlink((dir_ + "/node.conf").c_str());
        ::rmdir(dir_.c_str());
    }
    std::string dir_;
};

TEST_F(DataObjectsTest, EveryDefaultOfTheRecords) {
    const TaskDataObject task;
    const ComputerDataObject computer;
    const VaultDataObject vault;
    const NodeDataObject node;
    const PoolDataObject pool;
    const StorageGroupDataObject group;
    const StorageLocationDataObject location;

    struct Number {
        const char* field;
        uint64_t actual;
        uint64_t expected;
    };
    const Number numbers[] = {
        {"Task.id", task.id, 0}, {"Task.auxValue", task.auxValue, 0},
        {"Task#1", task.typeId, 0}, {"Task.computerId", task.computerId, 0},
        {"Task#4", task.storagePolicyId, 0}, {"Task#5", task.billingCodeId, 0},
        {"Task#8", task.status, 1}, {"Task#9", task.enabled, 0}, {"Task#10", task.visible, 0},
        {"Task#11", task.nodeId, 0}, {"Task#12", task.suspect, 0}, {"Task#15", task.storageGroupType, 4},
        {"Task#17", task.originalSize, 0}, {"Task#18", task.revision, 0},
        {"Computer#1", computer.locationId, 0}, {"Computer#2", computer.agentTypeId, 0},
        {"Computer#10", computer.status, 1}, {"Computer#11", computer.licenceCount, 1},
        {"Computer#13", computer.storageGroupType, 4}, {"Computer#15", computer.active, 0},
        {"Vault#5", vault.nodeCount, 0}, {"Vault#6", vault.flags, 0},
        {"Node#7", node.state, 0}, {"Node#8", node.requestedState, 0}, {"Node#9", node.primaryStorageGroupId, 0},
        {"Pool#2", pool.secondary, 0}, {"Pool.poolVersion", pool.poolVersion, 50},
        {"Pool#4", pool.storageGroupId, 0}, {"Pool#5", pool.taskCount, 0}, {"Pool#6", pool.flags, 0},
        {"Pool#7", pool.revision, 0}, {"Pool.folders.size", pool.folders.size(), 3},
        {"Pool.folderKinds.size", pool.folderKinds.size(), 3},
        {"Group#1", group.nodeId, 0}, {"Group#2", group.type, 255}, {"Group#4", group.blockSize, 512},
        {"Group#5", group.fillThreshold, 85},
        {"Location.storageGroupId", location.storageGroupId, 0}, {"Location#2", location.type, 255},
        {"Location#4", location.readOnly, 0}, {"Location#5", location.priority, 1},
        {"Location#6", location.enabled, 1}, {"Location#10", location.flags, 0},
        {"Location.properties.size", location.properties.size(), 0},
        {"Task.propertyGroups.size", task.propertyGroups.size(), 0},
    };
    for (const auto& n : numbers) EXPECT_EQ(n.actual, n.expected) << n.field;
    for (uint32_t kind : pool.folderKinds) EXPECT_EQ(kind, 4u);

    const std::vector<const std::string*> strings = {
        &task.name, &task.description, &task.guid, &task.poolGuid, &task.taskFolder, &task.aliasGuid,
        &computer.name, &computer.description, &computer.hostName, &computer.operatingSystem,
        &computer.agentVersion, &computer.contact, &computer.notes, &computer.nodeName, &computer.guid,
        &vault.name, &vault.description, &vault.address, &vault.version, &vault.guid,
        &node.hostName, &node.address, &node.clusterAddress, &node.description, &node.version, &node.platform,
        &pool.guid, &pool.folders[0], &pool.folders[1], &pool.folders[2],
        &group.name, &location.path, &location.userName, &location.password, &location.domain,
        &location.description,
    };
    for (size_t i = 0; i < strings.size(); ++i) EXPECT_TRUE(strings[i]->empty()) << "string #" << i;
}

TEST_F(DataObjectsTest, PoolVersionComesFromTheConfiguration) {
    EXPECT_EQ(PoolDataObject().poolVersion, 50u);  // no file
    NodeConfig::set("numbers", "PoolVersion", "60");
    EXPECT_EQ(PoolDataObject().poolVersion, 60u);
    NodeConfig::set("numbers", "PoolVersion", "not a number");
    EXPECT_EQ(PoolDataObject().poolVersion, 50u);
}

TEST_F(DataObjectsTest, CopiesAreEqualAndIndependent) {
    TaskDataObject original;
    original.id = 9;
    original.auxValue = 3;
    original.guid = "task-guid";
    original.taskFolder = "/srv/t/";
    original.propertyGroups = {{"first", {{"a", "1"}, {"b", "2"}}}, {"second", {{"c", "3"}}}};

    TaskDataObject copy(original);
    TaskDataObject assigned;
    assigned = original;
    for (const TaskDataObject* record : {&copy, &assigned}) {
        EXPECT_EQ(record->id, 9u);
        EXPECT_EQ(record->auxValue, 3u);
        EXPECT_EQ(record->guid, "task-guid");
        EXPECT_EQ(record->taskFolder, "/srv/t/");
        EXPECT_EQ(record->propertyGroups, original.propertyGroups);
    }
    copy.propertyGroups[0].second["a"] = "changed";
    copy.propertyGroups.pop_back();
    assigned.guid = "other";
    EXPECT_EQ(original.propertyGroups.size(), 2u);
    EXPECT_EQ(original.propertyGroups[0].second.at("a"), "1");
    EXPECT_EQ(original.guid, "task-guid");

    // Copying a pool keeps its fields and does not read the configuration again.
    PoolDataObject pool;
    pool.poolVersion = 70;
    pool.folders[0] = "/p";
    const PoolDataObject poolCopy(pool);
    EXPECT_EQ(poolCopy.poolVersion, 70u);
    EXPECT_EQ(poolCopy.folders, pool.folders);
}

}  // namespace
