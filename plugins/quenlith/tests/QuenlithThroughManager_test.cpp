// The plug-in as every host reaches it: loaded by name through the interface
// manager, or by hand through its C entry points.
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/AuthenticationInterface.h"
#include "DatabaseInterfaces/BillingCodeInterface.h"
#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DatabaseInterfaces/Factories.h"
#include "DatabaseInterfaces/ReplicationInterface.h"
#include "DatabaseInterfaces/SimpleBackupInterface.h"
#include "DatabaseInterfaces/TestInterface.h"
#include "PluginFixture.h"

namespace QuenlithTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

class QuenlithThroughManager : public PluginFixture {};

// The walk a catalogue tool makes: computers, their tasks, each pool.
TEST_F(QuenlithThroughManager, AnswersTheStorageThroughTheManagerByName) {
    DbInterfaceManager manager;
    ApplicationInterface* app = manager.applicationInterface(true);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(getVaultID(app), 1u);
    std::vector<ComputerDataObject> computers;
    app->getLocationComputers(0, computers);
    ASSERT_EQ(computers.size(), 2u);
    EXPECT_EQ(computers[0].name, "desk");
    EXPECT_EQ(computers[1].name, "laptop");
    std::vector<TaskDataObject> tasks;
    app->getComputerTasks(computers[0].id, tasks);
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[1].name, "Mail");
    EXPECT_EQ(tasks[1].taskFolder, taskFolder(2));
    PoolDataObject pool;
    EXPECT_TRUE(app->getPoolByGuid("p-3", pool));
    EXPECT_EQ(pool.folders[0], taskFolder(3));

    AdministratorInterface* admin = manager.administratorInterface(true);
    std::vector<StorageLocationDataObject> locations;
    admin->getStorageLocations(1, locations);
    EXPECT_EQ(locations.size(), 3u);
    std::vector<CustomerDataObject> customers;
    EXPECT_THROW(admin->getCustomers(customers), std::runtime_error);
}

TEST_F(QuenlithThroughManager, EntryPointsFactoriesAndEveryInterfaceTheyCreate) {
    void* library = ::dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using DatabaseFactoryEntry = VaultInfoFactory* (*)(const char*, const char*, const char*, const char*, const char*);
    auto getDatabaseFactory = reinterpret_cast<DatabaseFactoryEntry>(::dlsym(library, "getDatabaseFactory"));
    auto getVaultInfoFactory = reinterpret_cast<VaultInfoFactory* (*)(bool)>(::dlsym(library, "getVaultInfoFactoryInstanceImpl"));
    auto getBackupFactory = reinterpret_cast<IBackupFactory* (*)()>(::dlsym(library, "getBackupFactory"));
    auto getDiagnosticsFactory = reinterpret_cast<IDBDiagnosticsFactory* (*)()>(::dlsym(library, "getDBDiagnosticsFactory"));
    auto termLibrary = reinterpret_cast<void (*)()>(::dlsym(library, "termLibrary"));
    ASSERT_TRUE(getDatabaseFactory && getVaultInfoFactory && getBackupFactory && getDiagnosticsFactory && termLibrary);

    std::unique_ptr<VaultInfoFactory> factory(getDatabaseFactory(nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->createGlobalSettingInterface(), nullptr);
    std::unique_ptr<AdministratorInterface> first(factory->createAdministratorInterface());
    std::unique_ptr<AdministratorInterface> second(factory->createAdministratorInterface());
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    ComputerDataObject computer;
    first->getComputer(std::string("C-2"), computer);
    EXPECT_EQ(computer.id, 2u);

    // The catalogue was built once; termLibrary leaves it as it is, so new
    // interfaces still see it even though the storage changed since.
    ASSERT_EQ(std::remove(labelPath(3).c_str()), 0);
    termLibrary();
    first.reset();
    second.reset();
    std::unique_ptr<VaultInfoFactory> again(getVaultInfoFactory(true));
    std::unique_ptr<ApplicationInterface> app(again->createApplicationInterface());
    TaskDataObject task;
    app->getTask(std::string("T-3"), task);
    EXPECT_EQ(task.name, "Photos");

    std::unique_ptr<AuthenticationInterface> authentication(factory->createAuthenticationInterface());
    EXPECT_THROW(authentication->authenticateUser(1, "u", "p"), std::runtime_error);
    std::unique_ptr<TestInterface> test(factory->createTestInterface());
    EXPECT_THROW(test->clear(), std::runtime_error);
    std::unique_ptr<BillingCodeInterface> billing(factory->createBillingCodeInterface());
    EXPECT_THROW(billing->findBillingCodeID("x"), std::runtime_error);
    std::unique_ptr<ReplicationInterface> replication(factory->createReplicationInterface());
    EXPECT_TRUE(replication->isBackupAllowed(VaultAccountDataObject()));
    std::unique_ptr<IBackupFactory> backupFactory(getBackupFactory());
    std::unique_ptr<SimpleBackupInterface> backup(backupFactory->createSimpleBackupInterface());
    EXPECT_THROW(backup->shrink(), std::runtime_error);
    std::unique_ptr<IDBDiagnosticsFactory> diagnosticsFactory(getDiagnosticsFactory());
    std::unique_ptr<DBDiagnosticsInterface> diagnostics(diagnosticsFactory->createDBDiagnostics());
    EXPECT_EQ(diagnostics->runDiagnostics(0), 0);

    // A host that closes the library does not take the refresh thread's code
    // away: the library stays mapped.
    ::dlclose(library);
    EXPECT_NE(::dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// Exactly the seven C entry points are dynamic symbols of the library.
TEST_F(QuenlithThroughManager, ExportsOnlyTheSevenEntryPoints) {
    const std::string command = "nm -D --defined-only '" + pluginPath() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t blank = text.rfind(' ');
        const std::string kind = blank != std::string::npos && blank >= 2 ? text.substr(blank - 1, 1) : "";
        if (kind == "T" || kind == "D" || kind == "B" || kind == "W" || kind == "V" || kind == "R")
            exported.insert(text.substr(blank + 1));
    }
    ASSERT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(exported, (std::set<std::string>{"initLibrary", "termLibrary", "getDatabaseFactory",
                                               "getVaultInfoFactoryInstanceImpl", "getBackupFactory",
                                               "getDBDiagnosticsFactory", "clearDbSchemaAlreadyVerified"}));
}

}  // namespace
}  // namespace QuenlithTest
