// The interface objects the plug-in's factories hand out. Each call returns a
// new object that the caller owns and deletes through its virtual destructor.
//
// The application and administrator interfaces answer from the store the
// node configuration chooses when they are created (openConfiguredCatalogue:
// the SQLite catalogue at `databaseFile`, or the PostgreSQL database of
// [database] Connection); each object holds a connection of its own from its
// first call to its end (taken from and given back to the store's pool of
// connections, CatalogueStore.h), and serialises calls made on it from
// several threads.
// Operations the catalogue does not serve raise "Not implemented".
#pragma once

#include <string>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/AuthenticationInterface.h"
#include "DatabaseInterfaces/BillingCodeInterface.h"
#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/ReplicationInterface.h"
#include "DatabaseInterfaces/SimpleBackupInterface.h"
#include "DatabaseInterfaces/TestInterface.h"

namespace SqlCatalogue {

DatabaseInterfaces::ApplicationInterface* newApplicationInterface(const std::string& databaseFile);
DatabaseInterfaces::AdministratorInterface* newAdministratorInterface(const std::string& databaseFile);

// Every operation raises "Not implemented".
DatabaseInterfaces::AuthenticationInterface* newAuthenticationInterface();
DatabaseInterfaces::TestInterface* newTestInterface();
DatabaseInterfaces::BillingCodeInterface* newBillingCodeInterface();
DatabaseInterfaces::SimpleBackupInterface* newSimpleBackupInterface();
// Notifications that callers send routinely are accepted and ignored
// (raiseReplicationEvent for a computer or the vault, setReplicationInfo);
// isBackupAllowed for an account answers true; the rest raises
// "Not implemented".
DatabaseInterfaces::ReplicationInterface* newReplicationInterface();
// runDiagnostics runs the database's integrity check: 0 when it passes, 1
// when it finds damage.
DatabaseInterfaces::DBDiagnosticsInterface* newDiagnosticsInterface(const std::string& databaseFile);

}  // namespace SqlCatalogue
