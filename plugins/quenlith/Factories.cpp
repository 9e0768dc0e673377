#include "Factories.h"

#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"
#include "DbInterfaces/CShMApplicationInterfaceImpl.h"
#include "DbInterfaces/OtherInterfaces.h"

CShMDatabaseFactory::CShMDatabaseFactory(bool) {}
CShMDatabaseFactory::CShMDatabaseFactory(const char*, const char*, const char*, const char*, const char*) {}
CShMDatabaseFactory::CShMDatabaseFactory(const CShMDatabaseFactory&) : VaultInfoFactory() {}
CShMDatabaseFactory::~CShMDatabaseFactory() = default;

DatabaseInterfaces::AuthenticationInterface* CShMDatabaseFactory::createAuthenticationInterface() {
    return new CShMAdministratorInterfaceImpl;
}

DatabaseInterfaces::ApplicationInterface* CShMDatabaseFactory::createApplicationInterface() {
    return new CShMApplicationInterfaceImpl;
}

DatabaseInterfaces::AdministratorInterface* CShMDatabaseFactory::createAdministratorInterface() {
    return new CShMAdministratorInterfaceImpl;
}

DatabaseInterfaces::BillingCodeInterface* CShMDatabaseFactory::createBillingCodeInterface() {
    return new CShMBillingCodeInterfaceImpl;
}

DatabaseInterfaces::TestInterface* CShMDatabaseFactory::createTestInterface() {
    return new CShMAdministratorInterfaceImpl;
}

DatabaseInterfaces::ReplicationInterface* CShMDatabaseFactory::createReplicationInterface() {
    return new CShMReplicationInterfaceImpl;
}

DatabaseInterfaces::SimpleBackupInterface* CShMBackupFactoryImpl::createSimpleBackupInterface() {
    return new CShMSimpleBackupImpl;
}

DatabaseInterfaces::DBDiagnosticsInterface* ShMDBDiagnosticsFactoryImpl::createDBDiagnostics() {
    return new DBDiagnosticsImpl;
}
