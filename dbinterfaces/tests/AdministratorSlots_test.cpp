// Every operation of the administrator's own slots (88 to 188): the thirteen
// it answers, and "Not implemented" raised before any argument is touched by
// all the others.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"

namespace InterfaceTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

const uint32_t kSentinel = 555;

template <class R>
R marked() {
    R record;
    record.id = kSentinel;
    return record;
}

template <class R>
bool kept(const std::vector<R>& list) {
    return list.size() == 1 && list[0].id == kSentinel;
}

struct Arguments {
    VaultDataObject vault = marked<VaultDataObject>();
    std::vector<VaultDataObject> vaults{marked<VaultDataObject>()};
    std::vector<NodeLoadDataObject> nodeLoads{marked<NodeLoadDataObject>()};
    std::vector<ComputerLoadDataObject> computerLoads{marked<ComputerLoadDataObject>()};
    CustomerDataObject customer = marked<CustomerDataObject>();
    std::vector<CustomerDataObject> customers{marked<CustomerDataObject>()};
    LocationDataObject location = marked<LocationDataObject>();
    VaultAccountDataObject account = marked<VaultAccountDataObject>();
    std::vector<VaultAccountDataObject> accounts{marked<VaultAccountDataObject>()};
    UserDataObject user = marked<UserDataObject>();
    std::vector<UserDataObject> users{marked<UserDataObject>()};
    ComputerDataObject computer = marked<ComputerDataObject>();
    std::vector<ComputerDataObject> computers{marked<ComputerDataObject>()};
    TypeLookupDataObject type = marked<TypeLookupDataObject>();
    std::vector<TypeLookupDataObject> types{marked<TypeLookupDataObject>()};
    ComputerUserDataObject computerUser = marked<ComputerUserDataObject>();
    TaskDataObject task = marked<TaskDataObject>();
    PoolDataObject pool = marked<PoolDataObject>();
    VaultAliasDataObject vaultAlias = marked<VaultAliasDataObject>();
    std::vector<VaultAliasDataObject> vaultAliases{marked<VaultAliasDataObject>()};
    ComputerAliasDataObject computerAlias = marked<ComputerAliasDataObject>();
    std::vector<ComputerAliasDataObject> computerAliases{marked<ComputerAliasDataObject>()};
    TaskAliasDataObject taskAlias = marked<TaskAliasDataObject>();
    std::vector<TaskAliasDataObject> taskAliases{marked<TaskAliasDataObject>()};
    StorageGroupDataObject group = marked<StorageGroupDataObject>();
    std::vector<StorageGroupDataObject> groups{marked<StorageGroupDataObject>()};
    StorageLocationDataObject storageLocation = marked<StorageLocationDataObject>();
    std::vector<StorageLocationDataObject> storageLocations{marked<StorageLocationDataObject>()};
    StoragePolicyDataObject policy = marked<StoragePolicyDataObject>();
    std::vector<StoragePolicyDataObject> policies{marked<StoragePolicyDataObject>()};
    std::vector<TableAccessStatsDataObject> stats{marked<TableAccessStatsDataObject>()};
    ItemStateMap states{{VSMPObjectIdentifier(), ObjectDisabilityState()}};
    StorageGroupMap groupMap;
    FileTypeMap fileTypes{{"doc", StoragePolicyDataObject::FileType()}};
    VBigInt big1, big2, big3;

    bool allKept() const {
        return vault.id == kSentinel && kept(vaults) && kept(nodeLoads) && kept(computerLoads) &&
               customer.id == kSentinel && kept(customers) && location.id == kSentinel && account.id == kSentinel &&
               kept(accounts) && user.id == kSentinel && kept(users) && computer.id == kSentinel && kept(computers) &&
               type.id == kSentinel && kept(types) && computerUser.id == kSentinel && task.id == kSentinel &&
               pool.id == kSentinel && vaultAlias.id == kSentinel && vaultAlias.vaultId == 0 && kept(vaultAliases) &&
               computerAlias.id == kSentinel && kept(computerAliases) && taskAlias.id == kSentinel &&
               kept(taskAliases) && group.id == kSentinel && kept(groups) && storageLocation.id == kSentinel &&
               kept(storageLocations) && policy.id == kSentinel && kept(policies) && kept(stats) &&
               states.size() == 1 && fileTypes.size() == 1;
    }
};

struct Slot {
    int slot;
    const char* name;
    bool answered;
    std::function<void(AdministratorInterface&, Arguments&)> call;
};

#define ANSWER(n, name, ...) {n, name, true, [](AdministratorInterface& i, Arguments& a) { (void)a; __VA_ARGS__; }}
#define STUB(n, name, ...) {n, name, false, [](AdministratorInterface& i, Arguments& a) { (void)a; __VA_ARGS__; }}

const std::vector<Slot>& slots() {
    static const std::vector<Slot> table = {
        STUB(88, "addVault", i.addVault(a.vault)),
        STUB(89, "removeVault", i.removeVault(1)),
        STUB(90, "updateVault", i.updateVault(a.vault)),
        ANSWER(91, "getVaults", i.getVaults(a.vaults); EXPECT_EQ(a.vaults.size(), 2u)),
        STUB(92, "getLoadOnClusterNodes", i.getLoadOnClusterNodes(a.nodeLoads, a.computerLoads)),
        STUB(93, "rebalanceLoadOnClusterNodes", i.rebalanceLoadOnClusterNodes()),
        STUB(94, "addCustomer", i.addCustomer(a.customer)),
        STUB(95, "removeCustomer", i.removeCustomer(1)),
        STUB(96, "updateCustomer", i.updateCustomer(a.customer)),
        STUB(97, "getCustomers", i.getCustomers(a.customers)),
        STUB(98, "getCustomerByComputerID", i.getCustomerByComputerID(1)),
        STUB(99, "moveAllComputersToAnotherNode", i.moveAllComputersToAnotherNode(1)),
        STUB(100, "moveComputerToAnotherNode", i.moveComputerToAnotherNode(1)),
        STUB(101, "addLocation", i.addLocation(1, a.location)),
        STUB(102, "addLocationExplicitly", i.addLocationExplicitly(1, a.location)),
        STUB(103, "removeLocation", i.removeLocation(1)),
        STUB(104, "updateLocation", i.updateLocation(a.location)),
        STUB(105, "addAccount", i.addAccount(1, 1, a.account)),
        STUB(106, "removeAccount", i.removeAccount(1)),
        STUB(107, "updateAccount", i.updateAccount(a.account)),
        STUB(108, "getAccountsByCustomerLocation", i.getAccountsByCustomerLocation(1, a.accounts)),
        STUB(109, "addUser", i.addUser(1, a.user)),
        STUB(110, "removeUser", i.removeUser(1)),
        STUB(111, "updateUser", i.updateUser(a.user)),
        STUB(112, "getAccountUsers", i.getAccountUsers(1, a.users)),
        ANSWER(113, "addComputer", EXPECT_EQ(i.addComputer(1, 1, a.computer), 1u)),
        STUB(114, "removeComputer", i.removeComputer(1)),
        ANSWER(115, "updateComputer", EXPECT_TRUE(i.updateComputer(a.computer))),
        ANSWER(116, "updateComputerStorageLocation", EXPECT_TRUE(i.updateComputerStorageLocation(a.computer, "/s"))),
        STUB(117, "addAgentType", i.addAgentType(a.type)),
        STUB(118, "updateAgentType", i.updateAgentType(a.type)),
        STUB(119, "getAgentType", i.getAgentType(1, a.type)),
        STUB(120, "getAllAgentTypes", i.getAllAgentTypes(a.types)),
        STUB(121, "getAllBackupTypes", i.getAllBackupTypes(a.types)),
        STUB(122, "createUsersComputer", i.createUsersComputer(a.computerUser)),
        STUB(123, "updateUsersComputer", i.updateUsersComputer(a.computerUser)),
        STUB(124, "removeUsersComputerByComputerID", i.removeUsersComputerByComputerID(1)),
        STUB(125, "removeUsersComputerByUserID", i.removeUsersComputerByUserID(1)),
        STUB(126, "getComputerUsers", i.getComputerUsers(1, a.users)),
        ANSWER(127, "getAllComputersByUserID", EXPECT_TRUE(i.getAllComputersByUserID(1, a.computers));
               EXPECT_EQ(a.computers.size(), 4u)),
        STUB(128, "addTask", i.addTask(1, a.task)),
        STUB(129, "removeTask", i.removeTask(1)),
        STUB(130, "updateTask", i.updateTask(a.task)),
        ANSWER(131, "updateTaskSynchFiles", EXPECT_TRUE(i.updateTaskSynchFiles(a.task, "/s"))),
        ANSWER(132, "updateTaskPrimaryStorage", EXPECT_TRUE(i.updateTaskPrimaryStorage(a.task, "/s"))),
        STUB(133, "addPool", i.addPool(a.pool)),
        STUB(134, "updatePool", i.updatePool(a.pool)),
        STUB(135, "removePool", i.removePool("p")),
        ANSWER(136, "updatePoolStorageLocation", EXPECT_TRUE(i.updatePoolStorageLocation("p", "/s", PoolLocation(0)))),
        STUB(137, "resetPoolStorageLocation", i.resetPoolStorageLocation("p", PoolLocation(0))),
        STUB(138, "associateTaskAndPool", i.associateTaskAndPool(1, "p")),
        STUB(139, "disassociateTaskAndPool", i.disassociateTaskAndPool(1, "p")),
        STUB(140, "getTaskShareInPool", i.getTaskShareInPool(1, "p", a.big1, a.big2)),
        STUB(141, "updateTaskShareInPool", i.updateTaskShareInPool(1, "p", a.big1, a.big2)),
        STUB(142, "updateTaskShareInPoolEx", i.updateTaskShareInPoolEx(1, "p", a.big1, a.big2, a.big3)),
        STUB(143, "updateTaskOriginalSize", i.updateTaskOriginalSize(1, 5)),
        STUB(144, "getTaskReplicatedInPool", i.getTaskReplicatedInPool(1, "p", a.big1)),
        STUB(145, "updateTaskReplicatedInPool", i.updateTaskReplicatedInPool(1, "p", a.big1)),
        STUB(146, "getVaultReplicatedStat", i.getVaultReplicatedStat(a.big1, a.big2)),
        STUB(147, "addVaultAlias", i.addVaultAlias(a.vaultAlias)),
        STUB(148, "removeVaultAlias", i.removeVaultAlias(1)),
        ANSWER(149, "getVaultAliasByGUID", EXPECT_TRUE(i.getVaultAliasByGUID("g", a.vaultAlias));
               EXPECT_EQ(a.vaultAlias.vaultId, 1u)),
        STUB(150, "getAllVaultAlias", i.getAllVaultAlias(a.vaultAliases)),
        STUB(151, "getAllVaultAlias(vault)", i.getAllVaultAlias(1, a.vaultAliases)),
        STUB(152, "addComputerAlias", i.addComputerAlias(a.computerAlias)),
        STUB(153, "removeComputerAlias", i.removeComputerAlias(1)),
        STUB(154, "getComputerAlias", i.getComputerAlias(1, 1, a.computerAlias)),
        STUB(155, "getComputerAliases", i.getComputerAliases(1, a.computerAliases)),
        STUB(156, "getComputerAliasByGUID", i.getComputerAliasByGUID("g", a.computerAlias)),
        STUB(157, "getAllComputerAlias", i.getAllComputerAlias(a.computerAliases)),
        STUB(158, "getAllComputerAlias(vault)", i.getAllComputerAlias(1, a.computerAliases)),
        STUB(159, "addTaskAlias", i.addTaskAlias(a.taskAlias)),
        STUB(160, "removeTaskAlias", i.removeTaskAlias(1)),
        STUB(161, "getTaskAlias", i.getTaskAlias(1, 1, a.taskAlias)),
        STUB(162, "getTaskAliasByGUID", i.getTaskAliasByGUID("g", a.taskAlias)),
        STUB(163, "getTaskAliases", i.getTaskAliases(1, a.taskAliases)),
        STUB(164, "getAllTaskAlias", i.getAllTaskAlias(a.taskAliases)),
        STUB(165, "getAllTaskAlias(vault)", i.getAllTaskAlias(1, a.taskAliases)),
        STUB(166, "getItemStates", i.getItemStates(a.states)),
        STUB(167, "getFirstOwnerForGroup", i.getFirstOwnerForGroup(1, "g", "o")),
        STUB(168, "addStorageGroupAndLocation", i.addStorageGroupAndLocation(a.group, a.storageLocation)),
        STUB(169, "addStorageLocation", i.addStorageLocation(1, a.storageLocation)),
        ANSWER(170, "getStorageGroups", i.getStorageGroups(StorageGroupType(0), a.groups); EXPECT_EQ(a.groups.size(), 1u)),
        ANSWER(171, "getStorageLocations", i.getStorageLocations(3, a.storageLocations);
               EXPECT_EQ(a.storageLocations.size(), 6u)),
        STUB(172, "getStorageLocationsByType", i.getStorageLocationsByType(StorageLocationType(0), a.storageLocations)),
        STUB(173, "updateStorageGroup", i.updateStorageGroup(a.group)),
        STUB(174, "updateStorageLocation", i.updateStorageLocation(a.storageLocation)),
        STUB(175, "updateStorageGroups(type)", i.updateStorageGroups(StorageGroupType(0), a.groupMap)),
        STUB(176, "updateStorageGroups", i.updateStorageGroups(a.groupMap)),
        STUB(177, "removeStorageGroup", i.removeStorageGroup(1)),
        STUB(178, "removeStorageLocation", i.removeStorageLocation(1)),
        STUB(179, "calculatePoolSize", i.calculatePoolSize(PoolSizeAlgorithm(0), 1, a.big1, a.big2)),
        ANSWER(180, "getStoragePolicy", i.getStoragePolicy("n", a.policy); EXPECT_EQ(a.policy.id, 1u)),
        STUB(181, "getStoragePolicies", i.getStoragePolicies(a.policies)),
        STUB(182, "updateStoragePolicy", i.updateStoragePolicy(a.policy)),
        STUB(183, "addStoragePolicy", i.addStoragePolicy(a.policy)),
        STUB(184, "removeStoragePolicy", i.removeStoragePolicy(1)),
        STUB(185, "changePassword", i.changePassword("x")),
        ANSWER(186, "getFileTypes", i.getFileTypes(1, a.fileTypes); EXPECT_EQ(a.fileTypes.size(), 1u)),
        STUB(187, "getTableAccessStats", i.getTableAccessStats(a.stats)),
        STUB(188, "getDiffTableAccessStats", i.getDiffTableAccessStats(a.stats)),
    };
    return table;
}

TEST(AdministratorSlots, EveryOwnSlotAnswersOrRaisesBeforeTouchingItsArguments) {
    CShMAdministratorInterfaceImpl object;
    AdministratorInterface& administrator = object;
    std::vector<int> numbers;
    for (const Slot& slot : slots()) {
        SCOPED_TRACE(std::to_string(slot.slot) + " " + slot.name);
        numbers.push_back(slot.slot);
        Arguments arguments;
        if (slot.answered) {
            EXPECT_NO_THROW(slot.call(administrator, arguments));
            continue;
        }
        try {
            slot.call(administrator, arguments);
            ADD_FAILURE() << "answered instead of raising";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Not implemented");
        }
        EXPECT_TRUE(arguments.allKept());
    }
    // The table names every slot from 88 to 188 once, in order.
    std::vector<int> expected;
    for (int n = 88; n <= 188; ++n) expected.push_back(n);
    EXPECT_EQ(numbers, expected);
}

}  // namespace
}  // namespace InterfaceTest
