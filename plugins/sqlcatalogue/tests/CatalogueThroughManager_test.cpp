// The SQL catalogue as every caller reaches it: loaded by name through the
// interface manager, built through the administrator interface's writes and
// walked the way the scan tool walks it.
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>
#include <libpq-fe.h>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DatabaseInterfaces/Factories.h"
#include "PgConnection.h"
#include "PgTestServer.h"
#include "TestVault.h"
#include "VaultLog.h"

namespace SqlCatalogueTest {
namespace {

using namespace DataObjects;
using DatabaseInterfaces::AdministratorInterface;
using DatabaseInterfaces::DbInterfaceManager;

void expectSameTask(const TaskDataObject& expected, const TaskDataObject& actual) {
    EXPECT_EQ(expected.typeId, actual.typeId);
    EXPECT_EQ(expected.computerId, actual.computerId);
    EXPECT_EQ(expected.name, actual.name);
    EXPECT_EQ(expected.storagePolicyId, actual.storagePolicyId);
    EXPECT_EQ(expected.billingCodeId, actual.billingCodeId);
    EXPECT_EQ(expected.description, actual.description);
    EXPECT_EQ(expected.guid, actual.guid);
    EXPECT_EQ(expected.status, actual.status);
    EXPECT_EQ(expected.enabled, actual.enabled);
    EXPECT_EQ(expected.visible, actual.visible);
    EXPECT_EQ(expected.nodeId, actual.nodeId);
    EXPECT_EQ(expected.suspect, actual.suspect);
    EXPECT_EQ(expected.poolGuid, actual.poolGuid);
    EXPECT_EQ(expected.taskFolder, actual.taskFolder);
    EXPECT_EQ(expected.storageGroupType, actual.storageGroupType);
    EXPECT_EQ(expected.aliasGuid, actual.aliasGuid);
    EXPECT_EQ(expected.originalSize, actual.originalSize);
    EXPECT_EQ(expected.revision, actual.revision);
}

// Every case runs against the SQLite file and the PostgreSQL server alike.
class CatalogueThroughManager : public StoreFixture {};

TEST_P(CatalogueThroughManager, WalksWhatTheAdministratorWroteInOrderWithEveryField) {
    SmallVault ids;
    {
        DbInterfaceManager writer;
        ids = buildSmallVault(*writer.administratorInterface(true));
    }
    EXPECT_EQ(ids.customerIds, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(ids.taskIds.back(), 8u);

    DbInterfaceManager manager;
    const uint32_t vaultId = DatabaseInterfaces::getVaultID(manager.applicationInterface(true));
    EXPECT_EQ(vaultId, ids.vaultId);
    AdministratorInterface* admin = manager.administratorInterface(true);
    VaultDataObject vault;
    ASSERT_TRUE(admin->getVault(vaultId, vault));
    EXPECT_EQ(vault.name, "vault-one");
    EXPECT_EQ(vault.guid, "a69171a3-953c-4c4d-a02e-dd329993dab0");
    EXPECT_EQ(vault.version, "8.50.0000");

    std::vector<TaskDataObject> allTasks;
    admin->getAllTaskList(vaultId, allTasks, true);
    EXPECT_EQ(allTasks.size(), 8u);

    // The walk appends: an entry already in the list stays first.
    std::vector<CustomerDataObject> customers(1);
    customers[0].name = "kept";
    admin->getCustomers(customers);
    ASSERT_EQ(customers.size(), 3u);
    EXPECT_EQ(customers[0].name, "kept");
    customers.erase(customers.begin());

    unsigned computerNumber = 0;
    std::vector<uint32_t> walkedTasks;
    for (size_t c = 0; c < customers.size(); ++c) {
        const CustomerDataObject& customer = customers[c];
        EXPECT_EQ(customer.id, ids.customerIds[c]);
        EXPECT_EQ(customer.name, "Customer " + std::to_string(c));
        EXPECT_EQ(customer.shortName, "C" + std::to_string(c));
        EXPECT_EQ(customer.reference, "REF-C" + std::to_string(c));
        EXPECT_EQ(customer.contact, "contact " + std::to_string(c));
        EXPECT_EQ(customer.status, c);

        std::vector<LocationDataObject> locations;
        admin->getCustomerLocations(customer.id, locations);
        ASSERT_EQ(locations.size(), c == 0 ? 2u : 1u);
        for (size_t l = 0; l < locations.size(); ++l) {
            EXPECT_EQ(locations[l].customerId, customer.id);
            EXPECT_EQ(locations[l].name, "Location " + std::to_string(c) + "." + std::to_string(l));
            EXPECT_EQ(locations[l].reference, "REF-L" + std::to_string(c) + std::to_string(l));
            EXPECT_EQ(locations[l].address, "street " + std::to_string(l));

            std::vector<ComputerDataObject> computers;
            admin->getLocationComputers(locations[l].id, computers);
            for (const ComputerDataObject& computer : computers) {
                EXPECT_EQ(computer.id, ids.computerIds[computerNumber]);
                EXPECT_EQ(computer.locationId, locations[l].id);
                EXPECT_EQ(computer.agentTypeId, 42u);
                EXPECT_EQ(computer.name, "computer " + std::to_string(computerNumber));
                EXPECT_EQ(computer.hostName, "host" + std::to_string(computerNumber));
                EXPECT_EQ(computer.operatingSystem, "linux");
                EXPECT_EQ(computer.guid, "COMPUTER-GUID-" + std::to_string(computerNumber));
                EXPECT_EQ(computer.licenceCount, 3u);
                EXPECT_TRUE(computer.active);

                std::vector<TaskDataObject> tasks;
                admin->getComputerTasks(computer.id, tasks);
                ASSERT_EQ(tasks.size(), 2u);
                for (unsigned n = 0; n < 2; ++n) {
                    const bool unbound = computerNumber == 3 && n == 1;
                    TaskDataObject expected = sampleTask(computerNumber, n, unbound ? 0 : ids.nodeIds[n]);
                    expected.computerId = computer.id;
                    expectSameTask(expected, tasks[n]);
                    walkedTasks.push_back(tasks[n].id);

                    NodeDataObject node;
                    node.hostName = "untouched";
                    EXPECT_EQ(admin->getNodeByTaskId(tasks[n].id, node), !unbound);
                    EXPECT_EQ(node.hostName, unbound ? "untouched" : (n == 0 ? "node-a.example" : "node-b.example"));
                }
                ++computerNumber;
            }
        }
    }
    EXPECT_EQ(computerNumber, 4u);
    EXPECT_EQ(walkedTasks, ids.taskIds);
}

namespace {

// Every field of a node, for comparing whole answers.
std::string nodeText(bool found, const NodeDataObject& n) {
    return std::string(found ? "found " : "none ") + std::to_string(n.id) + "|" + n.hostName + "|" + n.address +
           "|" + n.clusterAddress + "|" + n.description + "|" + n.version + "|" + n.platform + "|" +
           std::to_string(n.state) + "|" + std::to_string(n.requestedState) + "|" +
           std::to_string(n.primaryStorageGroupId);
}

}  // namespace

// After a computer's tasks were listed, a task's node is the node as of the
// listing, answered once; the next look-up, a new listing or a write through
// the interface asks the store again. Every answer is the one a fresh look-up
// gives (all fields), and "no node" leaves the caller's record untouched.
TEST_P(CatalogueThroughManager, NodeLookUpsAfterAListingAnswerAsOfTheListing) {
    DbInterfaceManager writer;
    AdministratorInterface* other = writer.administratorInterface(true);
    const SmallVault ids = buildSmallVault(*other);
    NodeDataObject richer;
    richer.hostName = "node-c.example";
    richer.address = "10.0.0.3";
    richer.clusterAddress = "cluster-3";
    richer.description = "third node";
    richer.version = "8.5";
    richer.platform = "linux";
    richer.state = 2;
    richer.requestedState = 3;
    richer.primaryStorageGroupId = 7;
    const uint32_t third = other->registerNodeToCluster(richer);
    const uint32_t computer = ids.computerIds[3];  // its second task is bound to no node
    std::vector<TaskDataObject> listedByOther;
    other->getComputerTasks(computer, listedByOther);
    ASSERT_EQ(listedByOther.size(), 2u);
    TaskDataObject bound = listedByOther[0];
    bound.nodeId = third;
    ASSERT_TRUE(other->updateTask(bound));

    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    auto fresh = [&](uint32_t taskId) {
        DbInterfaceManager another;
        NodeDataObject node;
        const bool found = another.administratorInterface(true)->getNodeByTaskId(taskId, node);
        return nodeText(found, node);
    };
    auto ask = [&](uint32_t taskId) {
        NodeDataObject node;
        node.hostName = "untouched";
        const bool found = admin->getNodeByTaskId(taskId, node);
        return nodeText(found, node);
    };

    // The listing's answers are those of fresh look-ups, field for field.
    std::vector<TaskDataObject> tasks;
    admin->getComputerTasks(computer, tasks);
    ASSERT_EQ(tasks.size(), 2u);
    const std::string thirdNode = fresh(tasks[0].id);
    EXPECT_EQ(thirdNode, "found " + std::to_string(third) +
                             "|node-c.example|10.0.0.3|cluster-3|third node|8.5|linux|2|3|7");
    EXPECT_EQ(ask(tasks[0].id), thirdNode);
    EXPECT_EQ(ask(tasks[1].id), "none 0|untouched||||||0|0|0");
    EXPECT_EQ(ask(tasks[1].id), "none 0|untouched||||||0|0|0");

    // Another writer rebinds a listed task: the first look-up answers as of
    // the listing, the next one asks the store.
    const std::string nodeA = fresh(ids.taskIds[0]);
    tasks.clear();
    admin->getComputerTasks(computer, tasks);
    bound.nodeId = ids.nodeIds[0];
    ASSERT_TRUE(other->updateTask(bound));
    EXPECT_EQ(ask(bound.id), thirdNode);
    EXPECT_EQ(ask(bound.id), nodeA);

    // A new listing of another computer drops the listing's nodes.
    bound.nodeId = third;
    tasks.clear();
    admin->getComputerTasks(computer, tasks);
    ASSERT_TRUE(other->updateTask(bound));
    std::vector<TaskDataObject> elsewhere;
    admin->getComputerTasks(ids.computerIds[0], elsewhere);
    EXPECT_EQ(ask(bound.id), thirdNode);

    // So does a write through this interface.
    tasks.clear();
    admin->getComputerTasks(computer, tasks);
    bound.nodeId = ids.nodeIds[0];
    ASSERT_TRUE(admin->updateTask(bound));
    EXPECT_EQ(ask(bound.id), nodeA);
}

TEST_P(CatalogueThroughManager, LookUpsByIdGuidAndHostName) {
    DbInterfaceManager manager;
    const SmallVault ids = buildSmallVault(*manager.administratorInterface(true));
    DatabaseInterfaces::ApplicationInterface* app = manager.applicationInterface(true);

    TaskDataObject task;
    ASSERT_TRUE(app->getTask("TASK-GUID-2-1", task));
    EXPECT_EQ(task.id, ids.taskIds[5]);
    TaskDataObject byId;
    ASSERT_TRUE(app->getTask(task.id, byId));
    EXPECT_EQ(byId.guid, "TASK-GUID-2-1");

    ComputerDataObject computer;
    ASSERT_TRUE(app->getComputer("COMPUTER-GUID-1", computer));
    EXPECT_EQ(computer.id, ids.computerIds[1]);
    ComputerDataObject computerById;
    ASSERT_TRUE(app->getComputer(ids.computerIds[2], computerById));
    EXPECT_EQ(computerById.guid, "COMPUTER-GUID-2");

    // Host names and pool GUIDs ignore letter case; task and computer GUIDs do not.
    NodeDataObject node;
    ASSERT_TRUE(app->getNodeByHostName("NODE-B.example", node));
    EXPECT_EQ(node.id, ids.nodeIds[1]);
    EXPECT_EQ(node.address, "10.0.0.2");
    EXPECT_EQ(app->getThisNodeId(), ids.nodeIds[0]);

    PoolDataObject pool;
    ASSERT_TRUE(app->getPoolByGuid("POOL-GUID-0-1", pool));
    EXPECT_EQ(pool.guid, "Pool-Guid-0-1");
    EXPECT_EQ(pool.folders, (std::vector<std::string>{"/storage/0-1/pool/", "/storage/0-1/pool/", ""}));
    EXPECT_EQ(pool.poolVersion, 60u);

    std::vector<TaskDataObject> poolTasks;
    app->getPoolTasks("pool-guid-0-1", poolTasks);
    ASSERT_EQ(poolTasks.size(), 1u);
    EXPECT_EQ(poolTasks[0].id, ids.taskIds[1]);
    std::vector<PoolDataObject> taskPools;
    app->getTaskPools(ids.taskIds[1], taskPools);
    ASSERT_EQ(taskPools.size(), 1u);
    EXPECT_EQ(taskPools[0].guid, "Pool-Guid-0-1");

    EXPECT_EQ(app->getTaskHierarchy(ids.taskIds[6]),
              "Customer 'Customer 1' / Location 'Location 1.0' / Computer 'computer 3' / Task 'task 3-0'");
    EXPECT_EQ(app->getTaskHierarchy(std::string("TASK-GUID-0-0")),
              "Customer 'Customer 0' / Location 'Location 0.0' / Computer 'computer 0' / Task 'task 0-0'");

    std::vector<NodeDataObject> nodes;
    app->getAllNodes(nodes);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[1].hostName, "node-b.example");
    // Registering a host name again keeps the one record.
    NodeDataObject again;
    again.hostName = "Node-A.Example";
    EXPECT_EQ(app->registerNodeToCluster(again), ids.nodeIds[0]);
}

TEST_P(CatalogueThroughManager, LookUpsThatFindNothingLeaveRecordsAndListsAlone) {
    DbInterfaceManager manager;
    const SmallVault ids = buildSmallVault(*manager.administratorInterface(true));
    AdministratorInterface* admin = manager.administratorInterface(true);

    TaskDataObject task;
    task.name = "untouched";
    EXPECT_FALSE(admin->getTask(999u, task));
    EXPECT_FALSE(admin->getTask("task-guid-0-0", task));  // wrong letter case
    EXPECT_EQ(task.name, "untouched");
    ComputerDataObject computer;
    computer.name = "untouched";
    EXPECT_FALSE(admin->getComputer("computer-guid-0", computer));
    EXPECT_FALSE(admin->getComputer(0u, computer));
    EXPECT_EQ(computer.name, "untouched");
    PoolDataObject pool;
    EXPECT_FALSE(admin->getPoolByGuid("no-such-pool", pool));
    EXPECT_EQ(pool.guid, "");
    NodeDataObject node;
    EXPECT_FALSE(admin->getNodeByTaskId(999, node));
    EXPECT_FALSE(admin->getNodeByHostName("node-c.example", node));
    VaultDataObject vault;
    EXPECT_FALSE(admin->getVault("other-vault", vault));
    EXPECT_FALSE(admin->getVault(ids.vaultId + 1, vault));
    EXPECT_EQ(admin->getTaskHierarchy(999u), "");
    EXPECT_EQ(admin->getTaskHierarchy(std::string("no-such-task")), "");

    std::vector<TaskDataObject> tasks(1);
    admin->getComputerTasks(999, tasks);
    admin->getAllTaskList(ids.vaultId + 1, tasks, true);
    admin->getPoolTasks("no-such-pool", tasks);
    EXPECT_EQ(tasks.size(), 1u);
    std::vector<LocationDataObject> locations;
    admin->getCustomerLocations(999, locations);
    EXPECT_TRUE(locations.empty());
}

TEST_P(CatalogueThroughManager, WritesUpdateAndRemoveTasksAndRefuseBadParents) {
    DbInterfaceManager manager;
    const SmallVault ids = buildSmallVault(*manager.administratorInterface(true));
    AdministratorInterface* admin = manager.administratorInterface(true);

    TaskDataObject task;
    ASSERT_TRUE(admin->getTask(ids.taskIds[0], task));
    task.name = "renamed";
    task.nodeId = ids.nodeIds[1];
    EXPECT_TRUE(admin->updateTask(task));
    TaskDataObject reread;
    ASSERT_TRUE(admin->getTask(ids.taskIds[0], reread));
    EXPECT_EQ(reread.name, "renamed");
    EXPECT_EQ(reread.nodeId, ids.nodeIds[1]);
    TaskDataObject unknown = task;
    unknown.id = 999;
    EXPECT_FALSE(admin->updateTask(unknown));

    admin->removeTask(ids.taskIds[0]);
    EXPECT_FALSE(admin->getTask(ids.taskIds[0], reread));
    std::vector<TaskDataObject> poolTasks;
    admin->getPoolTasks(task.poolGuid, poolTasks);
    EXPECT_TRUE(poolTasks.empty());

    EXPECT_FALSE(admin->associateTaskAndPool(999, task.poolGuid));
    EXPECT_FALSE(admin->associateTaskAndPool(ids.taskIds[1], "no-such-pool"));

    // Each failing add names what is missing and stores nothing.
    const std::vector<std::pair<std::string, std::function<void()>>> refused = {
        {"no customer with id 77", [&] { admin->addLocation(77, LocationDataObject()); }},
        {"no location with id 77", [&] { admin->addComputer(77, 0, ComputerDataObject()); }},
        {"no computer with id 77", [&] { admin->addTask(77, TaskDataObject()); }},
        {"no node with id 77", [&] { admin->addTask(ids.computerIds[0], sampleTask(9, 9, 77)); }},
        {"is in the catalogue already", [&] {
             PoolDataObject pool;
             pool.guid = "POOL-GUID-0-1";
             admin->addPool(pool);
         }},
    };
    for (const auto& entry : refused) {
        try {
            entry.second();
            ADD_FAILURE() << "expected a refusal: " << entry.first;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(entry.first), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(storeName_), std::string::npos) << error.what();
        }
    }
    std::vector<TaskDataObject> all;
    admin->getAllTaskList(ids.vaultId, all, true);
    EXPECT_EQ(all.size(), 7u);
}

TEST_P(CatalogueThroughManager, RefusesIdsBeyond32BitsAndKeepsTheTable) {
    {
        DbInterfaceManager manager;
        manager.administratorInterface(true)->addCustomer(CustomerDataObject());
    }
    runStoreSql("INSERT INTO customer(id, name, short_name, reference, contact, status) "
                "VALUES (4294967295, 'last', '', '', '', 0)");
    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    try {
        admin->addCustomer(CustomerDataObject());
        FAIL() << "an ID beyond 32 bits was handed out";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("table customer has no 32-bit ID left"), std::string::npos)
            << error.what();
    }
    std::vector<CustomerDataObject> customers;
    admin->getCustomers(customers);
    ASSERT_EQ(customers.size(), 2u);
    EXPECT_EQ(customers[1].id, 4294967295u);
}

TEST_P(CatalogueThroughManager, GlobalSettingsComeFromTheDatabaseOrTheDefault) {
    DbInterfaceManager manager;
    DatabaseInterfaces::ApplicationInterface* app = manager.applicationInterface(true);
    std::string value;
    app->updateGlobalSetting("RetentionDays", 30);  // a write creates the file
    EXPECT_EQ(app->getGlobalSetting("Missing", value, std::string("fallback")), DatabaseInterfaces::CONFIG_SOURCE_DEFAULT);
    EXPECT_EQ(value, "fallback");
    int days = 0;
    EXPECT_EQ(app->getGlobalSetting("RetentionDays", days, 1), DatabaseInterfaces::CONFIG_SOURCE_DATABASE);
    EXPECT_EQ(days, 30);
    app->updateGlobalSetting("RetentionDays", std::string("45"));
    EXPECT_EQ(app->getGlobalSetting("RetentionDays", days, 1), DatabaseInterfaces::CONFIG_SOURCE_DATABASE);
    EXPECT_EQ(days, 45);
    app->deleteGlobalSetting("RetentionDays");
    EXPECT_EQ(app->getGlobalSetting("RetentionDays", days, 1), DatabaseInterfaces::CONFIG_SOURCE_DEFAULT);
    EXPECT_EQ(days, 1);
}

TEST_P(CatalogueThroughManager, UnservedOperationsRaiseNotImplemented) {
    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    DatabaseInterfaces::ApplicationInterface* app = manager.applicationInterface(true);
    std::vector<VaultAccountDataObject> accounts;
    DataObjects::UserDataObject user;
    std::vector<StorageGroupDataObject> groups;
    const std::vector<std::function<void()>> calls = {
        [&] { app->getAccounts(1, accounts); },
        [&] { app->getLatestRevision(); },
        [&] { admin->addUser(1, user); },
        [&] { admin->removeVault(1); },
        [&] { admin->getStorageGroups(DatabaseInterfaces::STORAGE_GROUP_ANY, groups); },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        try {
            calls[i]();
            ADD_FAILURE() << "call " << i << " did not raise";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Not implemented") << "call " << i;
        }
    }
}

// A store that cannot serve raises, at the first call, an error that names
// the store (file, or database and server) and says why, never a password;
// and a failed open leaves the interface usable for a retry.
TEST_P(CatalogueThroughManager, UnusableStoresRaiseErrorsNamingThem) {
    struct Case {
        const char* label;
        std::function<void()> prepare;  // breaks the store
        std::string name;               // how the error names the store
        std::string expected;
    };
    const std::string password = "Secret-Not-Shown-7";
    std::vector<Case> cases;
    if (backend() == Backend::Sqlite) {
        cases = {
            {"missing", [] {}, storeName_, "does not exist"},
            {"corrupt", [&] { std::ofstream(databaseFile_) << std::string(4096, 'x'); }, storeName_,
             "file is not a database"},
            {"newer", [&] { runSql(databaseFile_, "PRAGMA user_version=99"); }, storeName_, "has schema version 99"},
            {"negative version", [&] { runSql(databaseFile_, "PRAGMA user_version=-1"); }, storeName_,
             "has schema version -1; this plug-in knows versions up to 1"},
            {"largest version", [&] { runSql(databaseFile_, "PRAGMA user_version=2147483647"); }, storeName_,
             "has schema version 2147483647; this plug-in knows versions up to 1"},
            {"empty", [&] { std::ofstream{databaseFile_}; }, storeName_, "holds no catalogue (it is empty)"},
        };
    } else {
        const std::string server = pgServerFolder();
        auto connection = [&](const std::string& text) {
            return [this, text] { writeConfig("Plugin=SqlCatalogue\nBackend=postgresql\nConnection=" + text + "\n"); };
        };
        // The schema made, then its version column changed by `sql`.
        auto withVersion = [this](const std::string& sql) {
            return [this, sql] {
                runStoreSql("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
                DbInterfaceManager creator;
                std::vector<CustomerDataObject> none;
                creator.administratorInterface(true)->getCustomers(none);  // creates the schema
                runStoreSql(sql);
            };
        };
        auto atVersion = [withVersion](int version) {
            return withVersion("UPDATE catalogue_schema SET version = " + std::to_string(version));
        };
        const std::string known = "; this plug-in knows versions 0 to 1";
        cases = {
            {"newer", atVersion(99), storeName_, "has schema version 99"},
            {"negative version", atVersion(-1), storeName_, "has schema version -1"},
            // Versions a cast to 32 bits would read as 1, or as 0.
            {"version beyond 32 bits",
             withVersion("ALTER TABLE catalogue_schema ALTER version TYPE bigint;"
                         " UPDATE catalogue_schema SET version = 4294967297"),
             storeName_, "has schema version 4294967297" + known},
            {"version far below 0",
             withVersion("ALTER TABLE catalogue_schema ALTER version TYPE bigint;"
                         " UPDATE catalogue_schema SET version = -9223372036854775808"),
             storeName_, "has schema version -9223372036854775808" + known},
            {"version not a number",
             withVersion("ALTER TABLE catalogue_schema ALTER version TYPE text;"
                         " UPDATE catalogue_schema SET version = '1 beta'"),
             storeName_, "has schema version '1 beta'" + known},
            {"missing database", connection(pgServerConninfo() + " dbname=no_such_database"),
             "catalogue database 'no_such_database' on server '" + server + ":5432'",
             "cannot connect: connection to server on socket"},
            {"wrong password", connection("host=" + server + " user=vault password=" + password + " dbname=" +
                                          pgDatabase_),
             storeName_, "password authentication failed for user \"vault\""},
            {"unreachable server", connection("host=" + folder_ + "/no-server dbname=" + pgDatabase_),
             "catalogue database '" + pgDatabase_ + "' on server '" + folder_ + "/no-server:5432'",
             "cannot connect: "},
            {"not a connection string", connection("host=" + server + " password " + password),
             "[database] Connection", "is not a valid PostgreSQL connection string"},
            {"unknown backend", [this] { writeConfig("Plugin=SqlCatalogue\nBackend=oracle\n"); },
             "[database] Backend 'oracle'", "is not known"},
        };
    }
    for (const Case& c : cases) {
        if (backend() == Backend::Sqlite) std::remove(databaseFile_.c_str());
        else writeConfig(storeLines());
        c.prepare();
        DbInterfaceManager manager;
        std::vector<CustomerDataObject> customers;
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                manager.administratorInterface(true)->getCustomers(customers);
                ADD_FAILURE() << c.label << ": no error";
            } catch (const std::runtime_error& error) {
                const std::string text = error.what();
                EXPECT_NE(text.find(c.name), std::string::npos) << c.label << ": " << text;
                EXPECT_NE(text.find(c.expected), std::string::npos) << c.label << ": " << text;
                EXPECT_EQ(text.find(password), std::string::npos) << c.label << ": " << text;
            }
        }
    }
}

// The diagnostics interface checks the store the node configuration names.
TEST_P(CatalogueThroughManager, DiagnosticsCheckTheConfiguredStore) {
    {
        DbInterfaceManager writer;
        buildSmallVault(*writer.administratorInterface(true));
    }
    void* handle = ::dlopen((std::string(std::getenv("VAULT_PLUGIN_DIR")) + "/libSqlCatalogue.so").c_str(),
                            RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using DiagnosticsFactory = DatabaseInterfaces::IDBDiagnosticsFactory* (*)();
    auto getDiagnostics = reinterpret_cast<DiagnosticsFactory>(::dlsym(handle, "getDBDiagnosticsFactory"));
    ASSERT_NE(getDiagnostics, nullptr);
    std::unique_ptr<DatabaseInterfaces::IDBDiagnosticsFactory> factory(getDiagnostics());
    auto run = [&] {
        std::unique_ptr<DatabaseInterfaces::DBDiagnosticsInterface> diagnostics(factory->createDBDiagnostics());
        return diagnostics->runDiagnostics(0);
    };
    EXPECT_EQ(run(), 0);
    if (backend() == Backend::Postgres) {
        // A host name registered twice, written around the plug-in.
        runStoreSql("INSERT INTO node VALUES (3, 'NODE-A.EXAMPLE', '', '', '', '', '', 0, 0, 0)");
        EXPECT_EQ(run(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, CatalogueThroughManager, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

class PostgresStore : public CatalogueFixture {
protected:
    Backend backend() const override { return Backend::Postgres; }
};

// A write that fails before its first statement (here: its table lock times
// out while another session holds the table) leaves the connection fit for
// the next call, rather than inside a dead transaction.
TEST_F(PostgresStore, AWriteThatCannotLockItsTableFailsAloneAndTheNextOneWorks) {
    writeConfig("Plugin=SqlCatalogue\nVaultID=vault-one\nBackend=postgresql\nConnection=" + pgConninfo_ +
                " options='-c lock_timeout=200'\n");
    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    EXPECT_EQ(admin->addCustomer(CustomerDataObject()), 1u);

    PGconn* holder = PQconnectdb(pgConninfo_.c_str());
    ASSERT_EQ(PQstatus(holder), CONNECTION_OK) << PQerrorMessage(holder);
    PQclear(PQexec(holder, "BEGIN; LOCK TABLE customer IN ACCESS EXCLUSIVE MODE"));
    try {
        admin->addCustomer(CustomerDataObject());
        ADD_FAILURE() << "the write went through a held lock";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(storeName_ + ": cannot run \"BEGIN; LOCK TABLE customer"),
                  std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("lock timeout"), std::string::npos) << error.what();
    }
    PQclear(PQexec(holder, "ROLLBACK"));
    PQfinish(holder);

    EXPECT_EQ(admin->addCustomer(CustomerDataObject()), 2u);
    std::vector<CustomerDataObject> customers;
    admin->getCustomers(customers);
    EXPECT_EQ(customers.size(), 2u);
}

// A session the server ends (as on a restart) fails the call that meets it,
// naming the lost connection; the next call connects again.
TEST_F(PostgresStore, ALostSessionFailsOneCallAndTheNextConnectsAgain) {
    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    admin->addCustomer(CustomerDataObject());

    PGconn* other = PQconnectdb(pgConninfo_.c_str());
    ASSERT_EQ(PQstatus(other), CONNECTION_OK) << PQerrorMessage(other);
    const std::string ours = "FROM pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid()"
                             " AND application_name = 'vault-catalogue'";
    PQclear(PQexec(other, ("SELECT pg_terminate_backend(pid) " + ours).c_str()));
    for (int i = 0; i < 6000; ++i) {  // up to a minute: ends as soon as the sessions are gone
        PGresult* left = PQexec(other, ("SELECT count(*) " + ours).c_str());
        const bool gone = PQresultStatus(left) == PGRES_TUPLES_OK && std::string(PQgetvalue(left, 0, 0)) == "0";
        PQclear(left);
        if (gone) break;
        ::usleep(10000);
    }
    PQfinish(other);

    std::vector<CustomerDataObject> customers;
    try {
        admin->getCustomers(customers);
        ADD_FAILURE() << "a call on the ended session succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(storeName_ + ": lost the connection to the server: "),
                  std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(customers.empty());
    admin->getCustomers(customers);
    EXPECT_EQ(customers.size(), 1u);
}

// An immediate restart of the server cuts the session without a word: the
// next call fails, saying the connection was lost, and the one after it
// connects again (a scan defers one task, not two). Whatever the server says
// about it goes to the log, never to standard error.
TEST_F(PostgresStore, AnImmediateRestartCostsOneCall) {
    SqlCatalogueTest::PrivatePgServer server;
    writeConfig("Plugin=SqlCatalogue\nVaultID=vault-one\nBackend=postgresql\nConnection=" +
                server.conninfo("catalogue") + "\n");
    batutil_LogOpen(folder_.c_str(), "Restart", 0, 0, false);
    DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    admin->addCustomer(CustomerDataObject());
    std::vector<CustomerDataObject> customers;
    admin->getCustomers(customers);
    ASSERT_EQ(customers.size(), 1u);
    // The test server commits without waiting for its log
    // (synchronous_commit=off): a checkpoint puts the customer on disk, so
    // the restart cannot take it away.
    SqlCatalogue::PgConnection(server.conninfo("catalogue")).execute("CHECKPOINT");

    server.restartImmediately();
    ::testing::internal::CaptureStderr();
    customers.clear();
    std::string firstError;
    try {
        admin->getCustomers(customers);
    } catch (const std::runtime_error& error) {
        firstError = error.what();
    }
    std::string secondError;
    try {
        admin->getCustomers(customers);
    } catch (const std::runtime_error& error) {
        secondError = error.what();
    }
    const std::string standardError = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(firstError.find("lost the connection to the server"), std::string::npos) << firstError;
    EXPECT_EQ(secondError, "");
    EXPECT_EQ(customers.size(), 1u);
    EXPECT_EQ(standardError, "");
}

// Notices and warnings the server sends beside its answers are log lines of
// the matching level naming the database, not text on standard error.
TEST_F(PostgresStore, ServerNoticesAreLogLinesNotStandardError) {
    batutil_LogOpen(folder_.c_str(), "Notices", 0, 0, false);
    SqlCatalogue::PgConnection connection(pgConninfo_);
    ::testing::internal::CaptureStderr();
    connection.execute("DO $$ BEGIN RAISE NOTICE 'a note from the server'; "
                       "RAISE WARNING 'a warning from the server'; END $$");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    std::ifstream in(folder_ + "/Notices.log");
    std::string line, note, warning;
    while (std::getline(in, line)) {
        if (line.find("a note from the server") != std::string::npos) note = line;
        if (line.find("a warning from the server") != std::string::npos) warning = line;
    }
    EXPECT_NE(note.find("NOTICES-I-"), std::string::npos) << note;
    EXPECT_NE(note.find(storeName_ + ": the server says: NOTICE:"), std::string::npos) << note;
    EXPECT_NE(warning.find("NOTICES-W-"), std::string::npos) << warning;
}

// The plug-in exports its C entry points and nothing else.
TEST(SqlCataloguePlugin, ExportsExactlyItsEntryPoints) {
    const char* folder = std::getenv("VAULT_PLUGIN_DIR");
    ASSERT_NE(folder, nullptr);
    const std::string command = std::string("nm -D --defined-only '") + folder + "/libSqlCatalogue.so' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const size_t space = text.rfind(' ');
        if (space == std::string::npos || space < 2) continue;
        const char kind = text[space - 1];
        if (kind == 'T' || kind == 'D' || kind == 'B' || kind == 'R' || kind == 'W' || kind == 'V' || kind == 'u')
            exported.insert(text.substr(space + 1));
    }
    const int status = ::pclose(pipe);
    if (status != 0 && exported.empty()) GTEST_SKIP() << "nm is not available";
    const std::set<std::string> expected = {"initLibrary",       "termLibrary",
                                            "getDatabaseFactory", "getVaultInfoFactoryInstanceImpl",
                                            "getBackupFactory",   "getDBDiagnosticsFactory",
                                            "clearDbSchemaAlreadyVerified"};
    EXPECT_EQ(exported, expected);
}

}  // namespace
}  // namespace SqlCatalogueTest
