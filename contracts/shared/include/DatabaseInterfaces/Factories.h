// The factories a database plug-in hands out through its C entry points.
//
// Every object a factory creates is new, belongs to the caller, and is
// released through its virtual destructor; factories themselves likewise.
// Slot orders are fixed (plug-ins and callers are built separately).
//
// The C entry points a database plug-in exports (plain names, C linkage):
//   void initLibrary();
//   void termLibrary();
//   VaultInfoFactory* getDatabaseFactory(const char*, const char*, const char*,
//                                        const char*, const char*);
//   VaultInfoFactory* getVaultInfoFactoryInstanceImpl(bool);
//   IBackupFactory* getBackupFactory();
//   IDBDiagnosticsFactory* getDBDiagnosticsFactory();
//   void clearDbSchemaAlreadyVerified();
// DbInterfaceManager passes getDatabaseFactory the vault ID text, the
// catalogue database file and three empty texts (reserved).
#pragma once

#include "SharedApi.h"

namespace DatabaseInterfaces {

class AdministratorInterface;
class ApplicationInterface;
class AuthenticationInterface;
class BillingCodeInterface;
class DBDiagnosticsInterface;
class GlobalSettingInterface;
class ReplicationInterface;
class SimpleBackupInterface;
class TestInterface;

class SHARED_API GlobalSettingFactory {
public:
    virtual GlobalSettingInterface* createGlobalSettingInterface() = 0;
    virtual ~GlobalSettingFactory();
};

class SHARED_API VaultInfoFactory : public GlobalSettingFactory {
public:
    // A vault-information factory gives no separate global-setting
    // interface: settings are read through the application interface.
    GlobalSettingInterface* createGlobalSettingInterface() override;
    ~VaultInfoFactory() override;

    virtual AuthenticationInterface* createAuthenticationInterface() = 0;
    virtual ApplicationInterface* createApplicationInterface() = 0;
    virtual AdministratorInterface* createAdministratorInterface() = 0;
    virtual BillingCodeInterface* createBillingCodeInterface() = 0;
    virtual TestInterface* createTestInterface() = 0;
    virtual ReplicationInterface* createReplicationInterface() = 0;
};

class SHARED_API IBackupFactory {
public:
    virtual ~IBackupFactory();
    virtual SimpleBackupInterface* createSimpleBackupInterface() = 0;
};

class SHARED_API IDBDiagnosticsFactory {
public:
    virtual ~IDBDiagnosticsFactory();
    virtual DBDiagnosticsInterface* createDBDiagnostics() = 0;
};

}  // namespace DatabaseInterfaces
