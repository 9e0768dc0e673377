// Every application slot (0 to 87) on both interfaces: answered, or "Not
// implemented" raised before any argument is touched. The administrator
// interface answers alike, except for getAnyComputeruserByUserIdAgentVersion.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"
#include "DbInterfaces/CShMApplicationInterfaceImpl.h"

namespace InterfaceTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

const uint32_t kSentinel = 777;

template <class R>
R marked() {
    R record;
    record.id = kSentinel;
    return record;
}

template <class R>
bool untouched(const R& record) {
    return record.id == kSentinel;
}

template <class R>
bool untouched(const std::vector<R>& list) {
    return list.size() == 1 && untouched(list[0]);
}

// One of every argument a slot may fill, each marked, so that a stub can be
// shown to have left them all alone.
struct Arguments {
    VaultDataObject vault = marked<VaultDataObject>();
    NodeDataObject node = marked<NodeDataObject>();
    std::vector<NodeDataObject> nodes{marked<NodeDataObject>()};
    CustomerDataObject customer = marked<CustomerDataObject>();
    LocationDataObject location = marked<LocationDataObject>();
    std::vector<LocationDataObject> locations{marked<LocationDataObject>()};
    VaultAccountDataObject account = marked<VaultAccountDataObject>();
    std::vector<VaultAccountDataObject> accounts{marked<VaultAccountDataObject>()};
    UserDataObject user = marked<UserDataObject>();
    ComputerDataObject computer = marked<ComputerDataObject>();
    std::vector<ComputerDataObject> computers{marked<ComputerDataObject>()};
    ComputerUserDataObject computerUser = marked<ComputerUserDataObject>();
    std::vector<ComputerUserDataObject> computerUsers{marked<ComputerUserDataObject>()};
    TaskDataObject task = marked<TaskDataObject>();
    std::vector<TaskDataObject> tasks{marked<TaskDataObject>()};
    std::vector<TaskAssociationDataObject> associations{marked<TaskAssociationDataObject>()};
    SecondaryStorageDataObject secondary = marked<SecondaryStorageDataObject>();
    std::vector<SecondaryStorageDataObject> secondaries{marked<SecondaryStorageDataObject>()};
    PoolDataObject pool = marked<PoolDataObject>();
    std::vector<PoolDataObject> pools{marked<PoolDataObject>()};
    std::vector<VActivityEntry> activity{VActivityEntry()};
    std::vector<NodeStatusStateObject> statuses{NodeStatusStateObject()};
    NodeStatusStateObject status;
    std::vector<ScheduledTask> scheduled{ScheduledTask()};
    std::vector<FileCacheConfigurationObject> fileCache{FileCacheConfigurationObject()};
    VBigInt big1, big2;
    std::string text = "sentinel";
    isotime time;

    bool allUntouched() const {
        return untouched(vault) && untouched(node) && untouched(nodes) && untouched(customer) &&
               untouched(location) && untouched(locations) && untouched(account) && untouched(accounts) &&
               untouched(user) && untouched(computer) && untouched(computers) && untouched(computerUser) &&
               untouched(computerUsers) && untouched(task) && untouched(tasks) && untouched(associations) &&
               untouched(secondary) && untouched(secondaries) && untouched(pool) && untouched(pools) &&
               activity.size() == 1 && statuses.size() == 1 && scheduled.size() == 1 && fileCache.size() == 1 &&
               text == "sentinel";
    }
};

enum Kind { Answer, Stub, AnswerHereStubOnAdministrator };

struct Slot {
    int slot;
    const char* name;
    Kind kind;
    std::function<void(ApplicationInterface&, Arguments&)> call;
};

#define SLOT(n, name, kind, ...) {n, name, kind, [](ApplicationInterface& i, Arguments& a) { (void)a; __VA_ARGS__; }}

const std::vector<Slot>& slots() {
    static const std::vector<Slot> table = {
        SLOT(0, "getGlobalSetting(bool)", Answer, bool v = false; i.getGlobalSetting("k", v, true); EXPECT_TRUE(v)),
        SLOT(1, "getGlobalSetting(int)", Answer, int v = 0; i.getGlobalSetting("k", v, -5); EXPECT_EQ(v, -5)),
        SLOT(2, "getGlobalSetting(unsigned)", Answer, unsigned v = 0; i.getGlobalSetting("k", v, 5u); EXPECT_EQ(v, 5u)),
        SLOT(3, "getGlobalSetting(long long)", Answer, long long v = 0; i.getGlobalSetting("k", v, 7ll); EXPECT_EQ(v, 7)),
        SLOT(4, "getGlobalSetting(unsigned long long)", Answer, unsigned long long v = 0;
             i.getGlobalSetting("k", v, 8ull); EXPECT_EQ(v, 8u)),
        SLOT(5, "getGlobalSetting(float)", Answer, float v = 0; i.getGlobalSetting("k", v, 1.5f); EXPECT_EQ(v, 1.5f)),
        SLOT(6, "getGlobalSetting(double)", Answer, double v = 0; i.getGlobalSetting("k", v, 2.5); EXPECT_EQ(v, 2.5)),
        SLOT(7, "getGlobalSetting(text)", Answer, std::string v = "x"; const std::string d = "dflt";
             EXPECT_EQ(i.getGlobalSetting("Mount_0", v, d), CONFIG_SOURCE_DEFAULT); EXPECT_EQ(v, "dflt")),
        SLOT(8, "updateGlobalSetting(bool)", Stub, i.updateGlobalSetting("k", true)),
        SLOT(9, "updateGlobalSetting(int)", Stub, i.updateGlobalSetting("k", 1)),
        SLOT(10, "updateGlobalSetting(unsigned)", Stub, i.updateGlobalSetting("k", 1u)),
        SLOT(11, "updateGlobalSetting(long long)", Stub, i.updateGlobalSetting("k", 1ll)),
        SLOT(12, "updateGlobalSetting(unsigned long long)", Stub, i.updateGlobalSetting("k", 1ull)),
        SLOT(13, "updateGlobalSetting(float)", Stub, i.updateGlobalSetting("k", 1.0f)),
        SLOT(14, "updateGlobalSetting(double)", Stub, i.updateGlobalSetting("k", 1.0)),
        SLOT(15, "updateGlobalSetting(text)", Stub, i.updateGlobalSetting("k", std::string("v"))),
        SLOT(16, "deleteGlobalSetting", Stub, i.deleteGlobalSetting("k")),
        SLOT(18, "_getGlobalSetting", Answer, EXPECT_EQ(i._getGlobalSetting("VaultUser", a.text, "d"), CONFIG_SOURCE_DEFAULT);
             EXPECT_EQ(a.text, "d")),
        SLOT(19, "_updateGlobalSetting", Stub, i._updateGlobalSetting("k", "v")),
        SLOT(20, "getVault(name)", Answer, EXPECT_TRUE(i.getVault("v", a.vault))),
        SLOT(21, "getVault(id)", Answer, EXPECT_TRUE(i.getVault(9u, a.vault))),
        SLOT(22, "getThisNodeId", Stub, i.getThisNodeId()),
        SLOT(23, "getNodeById", Stub, i.getNodeById(1, a.node)),
        SLOT(24, "getNodeByHostName", Stub, i.getNodeByHostName("h", a.node)),
        SLOT(25, "getAllNodes", Answer, i.getAllNodes(a.nodes); EXPECT_EQ(a.nodes.size(), 2u)),
        SLOT(26, "getNodeByTaskId", Answer, EXPECT_TRUE(i.getNodeByTaskId(5, a.node))),
        SLOT(27, "getAllNodesByObjectId", Answer, i.getAllNodesByObjectId(3, COPY_OBJECT_TASK, a.nodes);
             EXPECT_EQ(a.nodes.size(), 2u)),
        SLOT(28, "updateNode", Stub, i.updateNode(a.node)),
        SLOT(29, "setNodeRequestedState", Stub, i.setNodeRequestedState(1, NodeState())),
        SLOT(30, "setNodeActiveState", Stub, i.setNodeActiveState(1, NodeState())),
        SLOT(31, "setNodeLocalPrimaryStorageGroup", Stub, i.setNodeLocalPrimaryStorageGroup(1, 1)),
        SLOT(32, "setNodeStatus", Stub, i.setNodeStatus(a.node, a.status)),
        SLOT(33, "getNodeStatusAndState", Stub, i.getNodeStatusAndState(1, a.status)),
        SLOT(34, "getAllNodeStatusAndStates", Stub, i.getAllNodeStatusAndStates(a.statuses)),
        SLOT(35, "removeNotRespondingNodes", Stub, i.removeNotRespondingNodes(1, a.nodes)),
        SLOT(36, "getCustomer", Answer, EXPECT_TRUE(i.getCustomer(1, a.customer)); EXPECT_TRUE(untouched(a.customer))),
        SLOT(37, "getCustomerByShortName", Answer, EXPECT_TRUE(i.getCustomerByShortName("c", a.customer));
             EXPECT_TRUE(untouched(a.customer))),
        SLOT(38, "getCustomerLocations", Stub, i.getCustomerLocations(1, a.locations)),
        SLOT(39, "getLocation", Answer, EXPECT_TRUE(i.getLocation(1, a.location)); EXPECT_TRUE(untouched(a.location))),
        SLOT(40, "getAccounts", Stub, i.getAccounts(1, a.accounts)),
        SLOT(41, "getAccount(name)", Answer, EXPECT_TRUE(i.getAccount("acme-corp", a.account))),
        SLOT(42, "getAccount(id)", Answer, EXPECT_TRUE(i.getAccount(4u, a.account))),
        SLOT(43, "getUser(id)", Answer, EXPECT_TRUE(i.getUser(1u, a.user))),
        SLOT(44, "getUser(account, name)", Answer, EXPECT_TRUE(i.getUser(1u, "n", a.user))),
        SLOT(45, "getComputer(guid)", Answer, EXPECT_TRUE(i.getComputer(std::string("C-two"), a.computer))),
        SLOT(46, "getComputer(id)", Answer, EXPECT_TRUE(i.getComputer(2u, a.computer))),
        SLOT(47, "getLocationComputers", Answer, i.getLocationComputers(1, a.computers); EXPECT_EQ(a.computers.size(), 4u)),
        SLOT(48, "getStorageLocationComputers", Stub, i.getStorageLocationComputers(1, a.computers)),
        SLOT(49, "getUsersComputers", Stub, i.getUsersComputers(1, a.computerUsers)),
        SLOT(50, "getComputeruserByUserIdHostName", Stub, i.getComputeruserByUserIdHostName(1, "h", a.computerUser)),
        SLOT(51, "getAnyComputeruserByUserIdAgentVersion", AnswerHereStubOnAdministrator,
             EXPECT_FALSE(i.getAnyComputeruserByUserIdAgentVersion(1, "v", a.computerUser));
             EXPECT_EQ(a.computerUser.id, 0u)),
        SLOT(52, "getTask(guid)", Answer, EXPECT_TRUE(i.getTask(std::string("T1"), a.task))),
        SLOT(53, "getTask(id)", Answer, EXPECT_TRUE(i.getTask(1u, a.task)); EXPECT_TRUE(untouched(a.task))),
        SLOT(54, "getComputerTasks", Answer, i.getComputerTasks(1, a.tasks); EXPECT_EQ(a.tasks.size(), 3u)),
        SLOT(55, "getComputerTask", Stub, i.getComputerTask(1, "n", a.task)),
        SLOT(56, "getAllTaskList", Stub, i.getAllTaskList(1, a.tasks, true)),
        SLOT(57, "getTaskActivity", Stub, i.getTaskActivity(1, a.activity)),
        SLOT(58, "recordTaskActivity(entry)", Answer, i.recordTaskActivity(1, VActivityEntry())),
        SLOT(59, "recordTaskActivity(list)", Answer, i.recordTaskActivity(1, a.activity)),
        SLOT(60, "removeTaskActivity", Stub, i.removeTaskActivity(1, a.time, a.time)),
        SLOT(61, "getTasksAssociatedToNode", Answer, i.getTasksAssociatedToNode(1, a.associations);
             EXPECT_TRUE(a.associations.empty())),
        SLOT(62, "getMoveReadyTasksAssociatedToNode", Answer, i.getMoveReadyTasksAssociatedToNode(1, 5, a.associations);
             EXPECT_TRUE(a.associations.empty())),
        SLOT(63, "releaseTaskNodeAssociation", Answer, i.releaseTaskNodeAssociation(1)),
        SLOT(64, "touchTaskNodeAssociationTimestamp", Answer, i.touchTaskNodeAssociationTimestamp(1)),
        SLOT(65, "addTaskSecondaryStorage", Stub, i.addTaskSecondaryStorage(a.secondary)),
        SLOT(66, "updateTaskSecondaryStorage", Stub, i.updateTaskSecondaryStorage(1, a.secondary)),
        SLOT(67, "getTaskSecondaryStorages(sizes)", Stub, i.getTaskSecondaryStorages(1, a.big1, a.big2)),
        SLOT(68, "getTaskSecondaryStorages(list)", Stub, i.getTaskSecondaryStorages(1, a.secondaries)),
        SLOT(69, "removeTaskSecondaryStorages", Stub, i.removeTaskSecondaryStorages(1)),
        SLOT(70, "getSecondaryStoragesByPoolGuid", Answer, EXPECT_TRUE(i.getSecondaryStoragesByPoolGuid("POOL-A", a.secondary))),
        SLOT(71, "getTaskHierarchy(text)", Answer, EXPECT_EQ(i.getTaskHierarchy(std::string("T1")), "")),
        SLOT(72, "getTaskHierarchy(id)", Answer, EXPECT_EQ(i.getTaskHierarchy(1u), "")),
        SLOT(73, "getLatestRevision", Stub, i.getLatestRevision()),
        SLOT(74, "validateUserForTask", Answer, EXPECT_TRUE(i.validateUserForTask(1, 2))),
        SLOT(75, "getPoolByGuid", Answer, EXPECT_TRUE(i.getPoolByGuid("pool-a", a.pool))),
        SLOT(76, "getPoolTasks", Stub, i.getPoolTasks("p", a.tasks)),
        SLOT(77, "getTaskPools", Answer, i.getTaskPools(1, a.pools); EXPECT_EQ(a.pools.size(), 3u)),
        SLOT(78, "registerNodeToCluster", Stub, i.registerNodeToCluster(a.node)),
        SLOT(79, "unregisterNodeFromCluster", Stub, i.unregisterNodeFromCluster("h")),
        SLOT(80, "getAllScheduledTasks", Stub, i.getAllScheduledTasks(a.scheduled)),
        SLOT(81, "updateAllScheduledTasks", Stub, i.updateAllScheduledTasks(a.scheduled)),
        SLOT(82, "deleteAllScheduledTasks", Stub, i.deleteAllScheduledTasks()),
        SLOT(83, "updateScheduledTask", Stub, i.updateScheduledTask(a.scheduled[0])),
        SLOT(84, "deleteScheduledTask", Stub, i.deleteScheduledTask(a.scheduled[0])),
        SLOT(85, "getDatabaseTableModifiedTimestamp", Stub, i.getDatabaseTableModifiedTimestamp("d", "t")),
        SLOT(86, "getVaultScheduledTasksModifiedTimestamp", Stub, i.getVaultScheduledTasksModifiedTimestamp()),
        SLOT(87, "getFileCacheConfiguration", Answer, i.getFileCacheConfiguration(a.fileCache);
             EXPECT_EQ(a.fileCache.size(), 1u)),
    };
    return table;
}

void expectSlots(ApplicationInterface& interface, bool administrator) {
    for (const Slot& slot : slots()) {
        SCOPED_TRACE(std::to_string(slot.slot) + " " + slot.name);
        const bool stub = slot.kind == Stub || (administrator && slot.kind == AnswerHereStubOnAdministrator);
        Arguments arguments;
        if (!stub) {
            EXPECT_NO_THROW(slot.call(interface, arguments));
            continue;
        }
        try {
            slot.call(interface, arguments);
            ADD_FAILURE() << "answered instead of raising";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Not implemented");
        }
        EXPECT_TRUE(arguments.allUntouched());
    }
}

TEST(ApplicationSlots, EverySlotOfTheApplicationInterface) {
    CShMApplicationInterfaceImpl application;
    expectSlots(application, false);
}

TEST(ApplicationSlots, EverySlotOfTheAdministratorInterface) {
    CShMAdministratorInterfaceImpl administrator;
    expectSlots(static_cast<AdministratorInterface&>(administrator), true);
}

TEST(ApplicationSlots, TheTableCoversSlots0To87ExceptTheDestructor) {
    std::vector<int> numbers;
    for (const Slot& slot : slots()) numbers.push_back(slot.slot);
    std::vector<int> expected;
    for (int n = 0; n <= 87; ++n)
        if (n != 17) expected.push_back(n);
    EXPECT_EQ(numbers, expected);
}

}  // namespace
}  // namespace InterfaceTest
