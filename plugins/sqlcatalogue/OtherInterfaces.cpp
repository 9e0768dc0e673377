// The interfaces the catalogue has nothing to offer to: authentication,
// test, billing codes, database backup, replication, and the diagnostics.
#include <memory>

#include "CatalogueInterfaces.h"
#include "CatalogueStore.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"

namespace SqlCatalogue {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

class SqlAuthenticationInterface final : public AuthenticationInterface {
public:
    bool authenticateUser(uint32_t, const std::string&, const std::string&) override { throwNotImplemented(); }
};

class SqlTestInterface final : public TestInterface {
public:
    void clear() override { throwNotImplemented(); }
};

class SqlBillingCodeInterface final : public NotImplementedBillingCodeInterface {};

class SqlSimpleBackupInterface final : public NotImplementedSimpleBackupInterface {};

class SqlReplicationInterface final : public NotImplementedReplicationInterface {
public:
    using NotImplementedReplicationInterface::isBackupAllowed;
    using NotImplementedReplicationInterface::raiseReplicationEvent;

    void raiseReplicationEvent(const ComputerDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t,
                               ReplicationDirection) override {}
    void raiseReplicationEvent(const VaultDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t,
                               ReplicationDirection) override {}
    bool isBackupAllowed(const VaultAccountDataObject&) override { return true; }
    void setReplicationInfo(Replication::IReplicationInfo*) override {}
};

class SqlDiagnosticsInterface final : public DBDiagnosticsInterface {
public:
    explicit SqlDiagnosticsInterface(const std::string& databaseFile) : store_(openConfiguredCatalogue(databaseFile)) {}
    int32_t runDiagnostics(uint32_t) override { return store_->checkIntegrity() ? 0 : 1; }

private:
    std::unique_ptr<CatalogueStore> store_;
};

}  // namespace

AuthenticationInterface* newAuthenticationInterface() { return new SqlAuthenticationInterface; }
TestInterface* newTestInterface() { return new SqlTestInterface; }
BillingCodeInterface* newBillingCodeInterface() { return new SqlBillingCodeInterface; }
SimpleBackupInterface* newSimpleBackupInterface() { return new SqlSimpleBackupInterface; }
ReplicationInterface* newReplicationInterface() { return new SqlReplicationInterface; }
DBDiagnosticsInterface* newDiagnosticsInterface(const std::string& databaseFile) {
    return new SqlDiagnosticsInterface(databaseFile);
}

}  // namespace SqlCatalogue
