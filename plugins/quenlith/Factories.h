// The factories of the Quenlith plug-in. Every object they create is new,
// belongs to the caller and is released through its virtual destructor; all
// administrator and application interfaces share the one process-wide
// catalogue, which the first of them creates (starting its first scan;
// creation does not wait for the scan, the first look-up does).
#pragma once

#include "DatabaseInterfaces/Factories.h"

class CShMDatabaseFactory : public DatabaseInterfaces::VaultInfoFactory {
public:
    // The arguments are accepted for the manager's sake and not read.
    explicit CShMDatabaseFactory(bool reload);
    CShMDatabaseFactory(const char* vaultId, const char* databaseFile, const char* reserved1, const char* reserved2,
                        const char* reserved3);
    CShMDatabaseFactory(const CShMDatabaseFactory&);
    CShMDatabaseFactory& operator=(const CShMDatabaseFactory&) = default;
    ~CShMDatabaseFactory() override;

    DatabaseInterfaces::AuthenticationInterface* createAuthenticationInterface() override;
    DatabaseInterfaces::ApplicationInterface* createApplicationInterface() override;
    DatabaseInterfaces::AdministratorInterface* createAdministratorInterface() override;
    DatabaseInterfaces::BillingCodeInterface* createBillingCodeInterface() override;
    DatabaseInterfaces::TestInterface* createTestInterface() override;
    DatabaseInterfaces::ReplicationInterface* createReplicationInterface() override;
};

class CShMBackupFactoryImpl : public DatabaseInterfaces::IBackupFactory {
public:
    DatabaseInterfaces::SimpleBackupInterface* createSimpleBackupInterface() override;
};

class ShMDBDiagnosticsFactoryImpl : public DatabaseInterfaces::IDBDiagnosticsFactory {
public:
    DatabaseInterfaces::DBDiagnosticsInterface* createDBDiagnostics() override;
};

// The library's own class; it holds nothing and nothing uses it.
class CQuenlith {
public:
    CQuenlith() = default;
    CQuenlith& operator=(const CQuenlith&) { return *this; }
};
