// The interface manager's failures, each naming the plug-in and what went
// wrong, and its sharing of one loaded plug-in between managers and threads.
#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DatabaseInterfaces/Factories.h"
#include "DatabaseInterfaces/ReplicationInterface.h"
#include "TestVault.h"

namespace SqlCatalogueTest {
namespace {

using DatabaseInterfaces::DbInterfaceManager;

class ManagerErrors : public CatalogueFixture {
protected:
    std::string pluginPath(const std::string& name) const {
        return std::string(std::getenv("VAULT_PLUGIN_DIR")) + "/lib" + name + ".so";
    }
    std::string errorOf(const std::string& plugin, bool administrator) {
        writeConfig("Plugin=" + plugin + "\nFile=" + databaseFile_ + "\n");
        DbInterfaceManager manager;
        try {
            if (administrator)
                manager.administratorInterface(true);
            else
                manager.applicationInterface(true);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "no error";
    }
};

TEST_F(ManagerErrors, EachFaultOfAPlugInIsNamed) {
    struct Case {
        std::string plugin;
        bool administrator;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"NoSuchPlugin", true,
         "cannot load database plug-in 'NoSuchPlugin' from '" + pluginPath("NoSuchPlugin") + "': "},
        {"BadPluginNoFactory", true,
         "no entry point 'getDatabaseFactory' in database plug-in '" + pluginPath("BadPluginNoFactory") + "'"},
        {"BadPluginNullFactory", true,
         "database plug-in '" + pluginPath("BadPluginNullFactory") + "' returned no factory"},
        {"BadPluginNullInterface", true,
         "database plug-in '" + pluginPath("BadPluginNullInterface") + "' returned no administrator interface"},
        {"BadPluginNullInterface", false,
         "database plug-in '" + pluginPath("BadPluginNullInterface") + "' returned no application interface"},
        {"../lib/SqlCatalogue", true, "database plug-in name '../lib/SqlCatalogue' in [database] Plugin is not valid"},
    };
    for (const Case& c : cases) {
        const std::string text = errorOf(c.plugin, c.administrator);
        EXPECT_EQ(text.compare(0, c.expected.size(), c.expected), 0) << "got: " << text << "\nwant: " << c.expected;
    }
}

TEST_F(ManagerErrors, WithoutCreateNothingIsLoadedOrMade) {
    writeConfig("Plugin=NoSuchPlugin\n");
    DbInterfaceManager manager;
    EXPECT_EQ(manager.administratorInterface(false), nullptr);
    EXPECT_EQ(manager.applicationInterface(false), nullptr);
}

// Run against both stores: each thread's manager has connections of its own.
class SharedPlugIn : public StoreFixture {};

TEST_P(SharedPlugIn, ManagersAndThreadsShareOnePlugInAndKeepTheirInterfaces) {
    {
        DbInterfaceManager writer;
        buildSmallVault(*writer.administratorInterface(true));
    }
    DbInterfaceManager first;
    DatabaseInterfaces::AdministratorInterface* kept = first.administratorInterface(true);
    EXPECT_EQ(first.administratorInterface(true), kept);
    EXPECT_EQ(first.administratorInterface(false), kept);

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&failures] {
            for (int i = 0; i < 20; ++i) {
                try {
                    DbInterfaceManager manager;
                    std::vector<DataObjects::CustomerDataObject> customers;
                    manager.administratorInterface(true)->getCustomers(customers);
                    if (customers.size() != 2 || DatabaseInterfaces::getVaultID(manager.applicationInterface(true)) != 1)
                        ++failures;
                } catch (...) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedPlugIn, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

// The plug-in's factories, called directly the way any host may call them.
TEST_F(ManagerErrors, FactoriesOfThePlugInServeWithoutArguments) {
    {
        DbInterfaceManager writer;
        buildSmallVault(*writer.administratorInterface(true));
    }
    void* handle = ::dlopen(pluginPath("SqlCatalogue").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using Factory = DatabaseInterfaces::VaultInfoFactory* (*)(const char*, const char*, const char*, const char*,
                                                              const char*);
    using DiagnosticsFactory = DatabaseInterfaces::IDBDiagnosticsFactory* (*)();
    auto getDatabaseFactory = reinterpret_cast<Factory>(::dlsym(handle, "getDatabaseFactory"));
    auto getDiagnostics = reinterpret_cast<DiagnosticsFactory>(::dlsym(handle, "getDBDiagnosticsFactory"));
    ASSERT_NE(getDatabaseFactory, nullptr);
    ASSERT_NE(getDiagnostics, nullptr);

    // Null texts: the database file comes from the node configuration.
    std::unique_ptr<DatabaseInterfaces::VaultInfoFactory> factory(
        getDatabaseFactory(nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->createGlobalSettingInterface(), nullptr);
    std::unique_ptr<DatabaseInterfaces::ApplicationInterface> app(factory->createApplicationInterface());
    DataObjects::VaultDataObject vault;
    EXPECT_TRUE(app->getVault("vault-one", vault));

    std::unique_ptr<DatabaseInterfaces::ReplicationInterface> replication(factory->createReplicationInterface());
    EXPECT_TRUE(replication->isBackupAllowed(DataObjects::VaultAccountDataObject()));
    EXPECT_THROW(replication->isBackupAllowed(DataObjects::TaskDataObject()), std::runtime_error);

    std::unique_ptr<DatabaseInterfaces::IDBDiagnosticsFactory> diagnosticsFactory(getDiagnostics());
    std::unique_ptr<DatabaseInterfaces::DBDiagnosticsInterface> diagnostics(diagnosticsFactory->createDBDiagnostics());
    EXPECT_EQ(diagnostics->runDiagnostics(0), 0);
}

}  // namespace
}  // namespace SqlCatalogueTest
