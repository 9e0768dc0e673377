// The database interfaces the catalogue has nothing to offer to:
// replication, billing codes, database backup and diagnostics. Their
// operations raise "Not implemented" on entry, apart from the notifications
// and permission questions callers issue routinely, which get fixed answers.
// None of these objects has state or touches the catalogue.
#pragma once

#include "DatabaseInterfaces/DBDiagnosticsInterface.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"

class CShMReplicationInterfaceImpl : public DatabaseInterfaces::NotImplementedReplicationInterface {
public:
    using NotImplementedReplicationInterface::isBackupAllowed;
    using NotImplementedReplicationInterface::raiseReplicationEvent;

    // Notifications about computers and the vault: accepted, nothing happens.
    void raiseReplicationEvent(const DataObjects::ComputerDataObject& record, DatabaseInterfaces::ReplicationScopeMode scope,
                               DatabaseInterfaces::EventSubmitionMode submission, int32_t channelId,
                               DatabaseInterfaces::ReplicationDirection direction) override;
    void raiseReplicationEvent(const DataObjects::VaultDataObject& record, DatabaseInterfaces::ReplicationScopeMode scope,
                               DatabaseInterfaces::EventSubmitionMode submission, int32_t channelId,
                               DatabaseInterfaces::ReplicationDirection direction) override;
    // Backups of every account are allowed.
    bool isBackupAllowed(const DataObjects::VaultAccountDataObject& account) override;
    // Accepted and not kept.
    void setReplicationInfo(Replication::IReplicationInfo* info) override;
};

class CShMBillingCodeInterfaceImpl : public DatabaseInterfaces::NotImplementedBillingCodeInterface {};

class CShMSimpleBackupImpl : public DatabaseInterfaces::NotImplementedSimpleBackupInterface {};

// Nothing to diagnose: the catalogue has no database.
class DBDiagnosticsImpl : public DatabaseInterfaces::DBDiagnosticsInterface {
public:
    int32_t runDiagnostics(uint32_t options) override;
};
