// Out-of-line virtual destructors of the database interfaces and factories,
// so that their tables of virtual operations and type information live in
// one place (this library) for every plug-in and caller.
#include <stdexcept>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/AuthenticationInterface.h"
#include "DatabaseInterfaces/BillingCodeInterface.h"
#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/Factories.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"
#include "DatabaseInterfaces/ReplicationInterface.h"
#include "DatabaseInterfaces/SimpleBackupInterface.h"
#include "DatabaseInterfaces/TestInterface.h"

namespace DatabaseInterfaces {

ApplicationInterface::~ApplicationInterface() = default;
AdministratorInterface::~AdministratorInterface() = default;
AuthenticationInterface::~AuthenticationInterface() = default;
TestInterface::~TestInterface() = default;
ReplicationInterface::~ReplicationInterface() = default;
BillingCodeInterface::~BillingCodeInterface() = default;
SimpleBackupInterface::~SimpleBackupInterface() = default;
DBDiagnosticsInterface::~DBDiagnosticsInterface() = default;

GlobalSettingFactory::~GlobalSettingFactory() = default;
VaultInfoFactory::~VaultInfoFactory() = default;
GlobalSettingInterface* VaultInfoFactory::createGlobalSettingInterface() { return nullptr; }
IBackupFactory::~IBackupFactory() = default;
IDBDiagnosticsFactory::~IDBDiagnosticsFactory() = default;

void throwNotImplemented() { throw std::runtime_error("Not implemented"); }

}  // namespace DatabaseInterfaces
