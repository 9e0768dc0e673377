// The administrator's own stubs, the authentication and test parts, and the
// replication, billing, backup and diagnostics interfaces: every operation
// either gives its fixed answer or raises "Not implemented".
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"
#include "DbInterfaces/OtherInterfaces.h"

namespace InterfaceTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

void expectNotImplemented(const std::function<void()>& call, const std::string& what) {
    try {
        call();
        ADD_FAILURE() << what << " answered instead of raising";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Not implemented") << what;
    }
}

TEST(OtherInterfaces, AdministratorStubsAndItsSmallParts) {
    CShMAdministratorInterfaceImpl object;
    AdministratorInterface& admin = object;
    std::vector<CustomerDataObject> customers;
    TaskDataObject task;
    VaultDataObject vault;
    UserDataObject user;
    PoolDataObject pool;
    std::vector<StorageLocationDataObject> locations;
    VBigInt a, b;
    const std::vector<std::pair<std::string, std::function<void()>>> stubs = {
        {"addVault", [&] { admin.addVault(vault); }},
        {"getCustomers", [&] { admin.getCustomers(customers); }},
        {"addTask", [&] { admin.addTask(1, task); }},
        {"removeTask", [&] { admin.removeTask(1); }},
        {"updateTask", [&] { admin.updateTask(task); }},
        {"addUser", [&] { admin.addUser(1, user); }},
        {"addPool", [&] { admin.addPool(pool); }},
        {"associateTaskAndPool", [&] { admin.associateTaskAndPool(1, "p"); }},
        {"getTaskShareInPool", [&] { admin.getTaskShareInPool(1, "p", a, b); }},
        {"getStorageLocationsByType", [&] { admin.getStorageLocationsByType(StorageLocationType(0), locations); }},
        {"changePassword", [&] { admin.changePassword("x"); }},
        {"getDiffTableAccessStats",
         [&] {
             std::vector<TableAccessStatsDataObject> stats;
             admin.getDiffTableAccessStats(stats);
         }},
        {"authenticateUser", [&] { static_cast<AuthenticationInterface&>(object).authenticateUser(1, "u", "p"); }},
        {"clear", [&] { static_cast<TestInterface&>(object).clear(); }},
    };
    for (const auto& stub : stubs) expectNotImplemented(stub.second, stub.first);
    EXPECT_TRUE(customers.empty());
    // A pointer to the object is an administrator interface without adjustment.
    EXPECT_EQ(static_cast<void*>(&admin), static_cast<void*>(&object));
}

TEST(OtherInterfaces, ReplicationAnswersOnlyItsFourNotificationsAndQuestions) {
    CShMReplicationInterfaceImpl replication;
    ReplicationInterface& r = replication;
    VaultDataObject vault;
    ComputerDataObject computer;
    TaskDataObject task;
    VaultAccountDataObject account;
    EXPECT_NO_THROW(r.raiseReplicationEvent(vault, ReplicationScopeMode(0), EventSubmitionMode(0), 1, ReplicationDirection(0)));
    EXPECT_NO_THROW(r.raiseReplicationEvent(computer, ReplicationScopeMode(0), EventSubmitionMode(0), 1,
                                            ReplicationDirection(0)));
    EXPECT_TRUE(r.isBackupAllowed(account));
    EXPECT_NO_THROW(r.setReplicationInfo(nullptr));
    expectNotImplemented([&] { r.raiseReplicationEvent(task, ReplicationScopeMode(0), EventSubmitionMode(0), 1,
                                                       ReplicationDirection(0)); },
                         "raiseReplicationEvent(task)");
    expectNotImplemented([&] { r.isBackupAllowed(task); }, "isBackupAllowed(task)");
    expectNotImplemented([&] { r.find("token", task); }, "find(task)");
    expectNotImplemented([&] { r.find("token", vault); }, "find(vault)");
    expectNotImplemented([&] { r.getToken(computer); }, "getToken(computer)");
    expectNotImplemented([&] { r.isReplicationTarget(); }, "isReplicationTarget");
    expectNotImplemented([&] { r.purgePendingEvents(); }, "purgePendingEvents");
}

TEST(OtherInterfaces, BillingBackupAndDiagnostics) {
    CShMBillingCodeInterfaceImpl billing;
    std::vector<BillingDataObject> codes;
    expectNotImplemented([&] { billing.getAllBillingCodes(codes); }, "getAllBillingCodes");
    expectNotImplemented([&] { billing.findBillingCodeID("x"); }, "findBillingCodeID");
    CShMSimpleBackupImpl backup;
    expectNotImplemented([&] { backup.makeBackup("/tmp/x"); }, "makeBackup");
    expectNotImplemented([&] { backup.restore(nullptr); }, "restore");
    expectNotImplemented([&] { backup.shrink(); }, "shrink");
    DBDiagnosticsImpl diagnostics;
    EXPECT_EQ(diagnostics.runDiagnostics(0), 0);
    EXPECT_EQ(diagnostics.runDiagnostics(0xFFFFFFFFu), 0);
}

}  // namespace
}  // namespace InterfaceTest
