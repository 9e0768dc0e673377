// What the catalogue reads and fixed answers put into the caller's records,
// on the fixture's storage (InterfaceFixture.h).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"
#include "DbInterfaces/CShMApplicationInterfaceImpl.h"
#include "InterfaceFixture.h"

namespace InterfaceTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

class CatalogueReads : public ::testing::Test {
protected:
    CShMApplicationInterfaceImpl application;
    CShMAdministratorInterfaceImpl administrator;
    AdministratorInterface& admin() { return administrator; }
};

TEST_F(CatalogueReads, TaskByGuidFromOneGenerationAndUnknownGuidsAnswerTrueWithEmptyFields) {
    const struct {
        const char* guid;
        uint32_t computerId;
        const char* name;
        int folder;  // task number, 0: none
    } cases[] = {
        {"T1", 1, "Docs", 1}, {"T2", 1, "Mail", 2}, {"T3", 2, "Photos", 3},
        {"T5", 0, "", 5},        // a folder, but no computer lists it
        {"t1", 0, "", 0},        // task GUIDs are bytes
        {"unknown", 0, "", 0},
    };
    for (ApplicationInterface* interface : {static_cast<ApplicationInterface*>(&application),
                                            static_cast<ApplicationInterface*>(&admin())}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.guid);
            TaskDataObject task;
            EXPECT_TRUE(interface->getTask(std::string(c.guid), task));
            EXPECT_EQ(task.id, 1u);
            EXPECT_EQ(task.typeId, 1u);
            EXPECT_EQ(task.computerId, c.computerId);
            EXPECT_EQ(task.name, c.name);
            EXPECT_EQ(task.guid, c.guid);
            EXPECT_EQ(task.aliasGuid, c.guid);
            EXPECT_TRUE(task.enabled && task.visible);
            EXPECT_EQ(task.taskFolder, c.folder == 0 ? std::string() : taskFolder(c.folder));
            EXPECT_EQ(task.status, 1u);  // untouched defaults
            EXPECT_EQ(task.storageGroupType, 4u);
            EXPECT_EQ(task.poolGuid, "");
        }
    }
}

TEST_F(CatalogueReads, ComputersTheirIdsNamesAndTasks) {
    std::vector<ComputerDataObject> computers(1);
    application.getLocationComputers(42, computers);
    ASSERT_EQ(computers.size(), 4u);
    const struct {
        uint32_t id;
        const char* guid;
        const char* name;
    } expected[] = {{1, "C-one", "one"}, {2, "C-two", "C-two"}, {3, "C-three", "three"}};
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(computers[n + 1].id, expected[n].id);
        EXPECT_EQ(computers[n + 1].guid, expected[n].guid);
        EXPECT_EQ(computers[n + 1].name, expected[n].name);
        EXPECT_TRUE(computers[n + 1].active);
    }
    std::vector<ComputerDataObject> byUser;
    EXPECT_TRUE(admin().getAllComputersByUserID(9, byUser));
    EXPECT_EQ(byUser.size(), 3u);

    ComputerDataObject computer;
    EXPECT_TRUE(application.getComputer(std::string("C-two"), computer));
    EXPECT_EQ(computer.id, 2u);
    EXPECT_EQ(computer.guid, "");  // only the ID and the flag are set
    computer = ComputerDataObject();
    EXPECT_TRUE(application.getComputer(std::string("c-two"), computer));
    EXPECT_EQ(computer.id, 0u);
    EXPECT_TRUE(computer.active);
    EXPECT_TRUE(application.getComputer(77u, computer));
    EXPECT_EQ(computer.id, 77u);

    for (uint32_t id : {0u, 4u}) {
        std::vector<TaskDataObject> none;
        application.getComputerTasks(id, none);
        EXPECT_TRUE(none.empty()) << id;
    }
    std::vector<TaskDataObject> tasks;
    admin().getComputerTasks(1, tasks);
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].guid, "T1");
    EXPECT_EQ(tasks[1].guid, "T2");
    EXPECT_EQ(tasks[1].taskFolder, taskFolder(2));
    EXPECT_EQ(tasks[1].computerId, 1u);
}

TEST_F(CatalogueReads, PoolsIgnoreLetterCaseAndAnswerInTheCataloguesSpelling) {
    PoolDataObject pool;
    pool.folders[2] = "kept";
    EXPECT_TRUE(application.getPoolByGuid("POOL-A", pool));
    EXPECT_EQ(pool.guid, "Pool-A");
    EXPECT_EQ(pool.folders, (std::vector<std::string>{taskFolder(1), taskFolder(1), "kept"}));
    PoolDataObject missing;
    missing.guid = "before";
    EXPECT_FALSE(application.getPoolByGuid("Pool-", missing));
    EXPECT_EQ(missing.guid, "before");
    PoolDataObject shortRecord;
    shortRecord.folders.clear();
    EXPECT_TRUE(application.getPoolByGuid("pool-b", shortRecord));
    EXPECT_EQ(shortRecord.folders, (std::vector<std::string>{taskFolder(4), taskFolder(4)}));

    SecondaryStorageDataObject storage;
    EXPECT_TRUE(admin().getSecondaryStoragesByPoolGuid("POOL-B", storage));
    EXPECT_EQ(storage.poolGuid, "pool-b");
    EXPECT_EQ(storage.folder, taskFolder(4));
    SecondaryStorageDataObject none;
    none.folder = "before";
    EXPECT_FALSE(application.getSecondaryStoragesByPoolGuid("nope", none));
    EXPECT_EQ(none.folder, "before");

    std::vector<PoolDataObject> first, other;
    application.getTaskPools(1, first);
    application.getTaskPools(99, other);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].guid, "Pool-A");
    EXPECT_EQ(first[1].folders[0], taskFolder(4));
    EXPECT_EQ(first[1].folders[2], "");
    ASSERT_EQ(other.size(), 2u);
    EXPECT_EQ(other[1].guid, first[1].guid);
}

TEST_F(CatalogueReads, VaultNodesUsersAndAccounts) {
    VaultDataObject byId, byName;
    application.getVault(12345u, byId);
    EXPECT_EQ(byId.id, 1u);
    EXPECT_EQ(byId.guid, kQuenlithVaultGuid);
    EXPECT_EQ(byId.name, "");
    application.getVault("asked-for", byName);
    EXPECT_EQ(byName.name, "asked-for");

    std::vector<NodeDataObject> nodes;
    application.getAllNodes(nodes);
    admin().getAllNodes(nodes);
    ASSERT_EQ(nodes.size(), 2u);
    for (const NodeDataObject& node : nodes) {
        EXPECT_EQ(node.id, 1u);
        EXPECT_EQ(node.hostName, kHostName);
        EXPECT_EQ(node.address, "127.0.0.1");
        EXPECT_EQ(node.clusterAddress, "127.0.0.1");
    }
    NodeDataObject node;
    application.getNodeByTaskId(8, node);
    EXPECT_EQ(node.hostName, kHostName);
    EXPECT_EQ(node.address, "");

    UserDataObject user;
    admin().getUser(5u, "ignored", user);
    EXPECT_EQ(user.userName, "alice");
    EXPECT_EQ(user.password, "secret");
    EXPECT_EQ(user.firstName, "xxx");
    EXPECT_EQ(user.lastName, "xxx");
    EXPECT_EQ(user.id, 1u);
    EXPECT_EQ(user.accountId, 1u);

    const struct {
        const char* configured;
        const char* asked;
        bool answer;
    } accounts[] = {{"Acme-Corp", "ACME-corp", true}, {"Acme-Corp", "Acme", false}, {"", "anything", true},
                    {"\xC9tude", "\xC9TUDE", true}, {"\xC9tude", "\xE9tude", false}};
    for (const auto& c : accounts) {
        setVaultAccount(c.configured);
        VaultAccountDataObject account;
        EXPECT_EQ(application.getAccount(std::string(c.asked), account), c.answer) << c.configured << "/" << c.asked;
        EXPECT_EQ(account.id, 1u);
        EXPECT_EQ(account.customerId, 1u);
        EXPECT_EQ(account.locationId, 1u);
    }
    setVaultAccount("Acme-Corp");
}

TEST_F(CatalogueReads, AdministratorsOwnAnswers) {
    std::vector<VaultDataObject> vaults;
    admin().getVaults(vaults);
    admin().getVaults(vaults);
    ASSERT_EQ(vaults.size(), 2u);
    EXPECT_EQ(vaults[0].name, "vault");  // [database] VaultID, default "vault"
    EXPECT_EQ(vaults[0].id, 1u);
    EXPECT_EQ(vaults[1].guid, kQuenlithVaultGuid);

    for (StorageGroupType type : {StorageGroupType(0), StorageGroupType(1), StorageGroupType(2)}) {
        std::vector<StorageGroupDataObject> groups(3);
        admin().getStorageGroups(type, groups);
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(groups[0].name, "SSG01");
        EXPECT_EQ(groups[0].id, 0u);
        EXPECT_EQ(groups[0].nodeId, 1u);
        EXPECT_EQ(groups[0].type, 1u);
        EXPECT_EQ(groups[0].blockSize, 512u);
        EXPECT_EQ(groups[0].fillThreshold, 85u);
    }

    std::vector<StorageLocationDataObject> locations(1);
    admin().getStorageLocations(7, locations);
    ASSERT_EQ(locations.size(), 6u);
    for (int n = 1; n <= 5; ++n) {
        const StorageLocationDataObject& location = locations[static_cast<size_t>(n)];
        EXPECT_EQ(location.path, taskFolder(n));
        EXPECT_EQ(location.storageGroupId, 7u);
        EXPECT_EQ(location.type, 0u);
        EXPECT_EQ(location.priority, 999u);
        EXPECT_FALSE(location.readOnly);
        EXPECT_TRUE(location.enabled);
        EXPECT_EQ(location.id, 0u);
    }

    StoragePolicyDataObject policy;
    policy.storageGroupId = 5;
    policy.retentionDays = 6;
    policy.compress = true;
    policy.encrypt = true;
    admin().getStoragePolicy("gold", policy);
    EXPECT_EQ(policy.id, 1u);
    EXPECT_EQ(policy.storageGroupId, 5u);
    EXPECT_EQ(policy.retentionDays, 0u);
    EXPECT_EQ(policy.name, "gold");
    EXPECT_TRUE(policy.compress);
    EXPECT_FALSE(policy.encrypt);

    VaultAliasDataObject alias;
    EXPECT_TRUE(admin().getVaultAliasByGUID("anything", alias));
    EXPECT_EQ(alias.vaultId, 1u);

    FileTypeMap fileTypes{{"doc", StoragePolicyDataObject::FileType()}};
    admin().getFileTypes(1, fileTypes);
    EXPECT_EQ(fileTypes.size(), 1u);

    const TaskDataObject task;
    const ComputerDataObject computer;
    EXPECT_EQ(admin().addComputer(1, 1, computer), 1u);
    EXPECT_TRUE(admin().updateComputer(computer));
    EXPECT_TRUE(admin().updateComputerStorageLocation(computer, "/x"));
    EXPECT_TRUE(admin().updateTaskSynchFiles(task, "/x"));
    EXPECT_TRUE(admin().updateTaskPrimaryStorage(task, "/x"));
    EXPECT_TRUE(admin().updatePoolStorageLocation("Pool-A", "/elsewhere", PoolLocation(0)));
    PoolDataObject pool;
    admin().getPoolByGuid("Pool-A", pool);
    EXPECT_EQ(pool.folders[0], taskFolder(1));  // the fixed answers changed nothing
}

TEST_F(CatalogueReads, ARefreshedCatalogueAnswersFromTheNewScan) {
    // The look-up waits for the first scan, so the label below comes after it.
    TaskDataObject before;
    application.getTask(std::string("T6"), before);
    EXPECT_EQ(before.name, "");
    const std::string label = storageRoot() + "/m4/later/TaskLabel.cfg";
    std::filesystem::create_directories(storageRoot() + "/m4/later");
    std::ofstream(label) << "TASK_GUID=T6\nTASK_NAME=Later\nCOMPUTER_GUID=C-two\n";
    refreshCatalogue();
    TaskDataObject after;
    admin().getTask(std::string("T6"), after);
    EXPECT_EQ(after.name, "Later");
    EXPECT_EQ(after.computerId, 2u);
    EXPECT_EQ(after.taskFolder, storageRoot() + "/m4/later/");
    ASSERT_EQ(std::remove(label.c_str()), 0);
    refreshCatalogue();
    std::vector<TaskDataObject> tasks;
    application.getComputerTasks(2, tasks);
    EXPECT_EQ(tasks.size(), 1u);
}

}  // namespace
}  // namespace InterfaceTest
