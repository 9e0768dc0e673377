// The plug-in's C entry points and its factories: the only symbols the
// library exports.
//
// getDatabaseFactory's second text is the catalogue database file; when it is
// null or empty, each interface uses [database] File of the node
// configuration at the time it is created. The other four texts are ignored.
// The file serves the SQLite store; with [database] Backend=postgresql the
// interfaces use [database] Connection instead (CatalogueStore.h).
#include <string>

#include "CatalogueInterfaces.h"
#include "CatalogueStore.h"
#include "DatabaseInterfaces/Factories.h"
#include "VaultSettings.h"

#define SQLCATALOGUE_EXPORT extern "C" __attribute__((visibility("default")))

namespace SqlCatalogue {
namespace {

using namespace DatabaseInterfaces;

class SqlCatalogueFactory final : public VaultInfoFactory {
public:
    explicit SqlCatalogueFactory(std::string databaseFile) : databaseFile_(std::move(databaseFile)) {}

    AuthenticationInterface* createAuthenticationInterface() override { return newAuthenticationInterface(); }
    ApplicationInterface* createApplicationInterface() override { return newApplicationInterface(databaseFile()); }
    AdministratorInterface* createAdministratorInterface() override {
        return newAdministratorInterface(databaseFile());
    }
    BillingCodeInterface* createBillingCodeInterface() override { return newBillingCodeInterface(); }
    TestInterface* createTestInterface() override { return newTestInterface(); }
    ReplicationInterface* createReplicationInterface() override { return newReplicationInterface(); }

private:
    std::string databaseFile() const {
        return databaseFile_.empty() ? DBConfig::Instance(false).getDatabaseFile() : databaseFile_;
    }

    const std::string databaseFile_;
};

class SqlBackupFactory final : public IBackupFactory {
public:
    SimpleBackupInterface* createSimpleBackupInterface() override { return newSimpleBackupInterface(); }
};

class SqlDiagnosticsFactory final : public IDBDiagnosticsFactory {
public:
    DBDiagnosticsInterface* createDBDiagnostics() override {
        return newDiagnosticsInterface(DBConfig::Instance(false).getDatabaseFile());
    }
};

}  // namespace
}  // namespace SqlCatalogue

// initLibrary lets the stores keep connections between interfaces again
// after a termLibrary; termLibrary closes the idle ones and keeps none.
SQLCATALOGUE_EXPORT void initLibrary() { SqlCatalogue::controlConnectionPools(SqlCatalogue::PoolAction::Open); }

SQLCATALOGUE_EXPORT void termLibrary() { SqlCatalogue::controlConnectionPools(SqlCatalogue::PoolAction::Close); }

SQLCATALOGUE_EXPORT DatabaseInterfaces::VaultInfoFactory* getDatabaseFactory(const char*, const char* databaseFile,
                                                                             const char*, const char*, const char*) {
    return new SqlCatalogue::SqlCatalogueFactory(databaseFile != nullptr ? databaseFile : "");
}

SQLCATALOGUE_EXPORT DatabaseInterfaces::VaultInfoFactory* getVaultInfoFactoryInstanceImpl(bool) {
    return new SqlCatalogue::SqlCatalogueFactory(std::string());
}

SQLCATALOGUE_EXPORT DatabaseInterfaces::IBackupFactory* getBackupFactory() {
    return new SqlCatalogue::SqlBackupFactory;
}

SQLCATALOGUE_EXPORT DatabaseInterfaces::IDBDiagnosticsFactory* getDBDiagnosticsFactory() {
    return new SqlCatalogue::SqlDiagnosticsFactory;
}

// Every connection, pooled or in use, checks its schema again before its
// next statement.
SQLCATALOGUE_EXPORT void clearDbSchemaAlreadyVerified() {
    SqlCatalogue::controlConnectionPools(SqlCatalogue::PoolAction::ForgetVerifications);
}
