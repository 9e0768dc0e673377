#include "DbInterfaces/OtherInterfaces.h"

void CShMReplicationInterfaceImpl::raiseReplicationEvent(const DataObjects::ComputerDataObject&,
                                                         DatabaseInterfaces::ReplicationScopeMode,
                                                         DatabaseInterfaces::EventSubmitionMode, int32_t,
                                                         DatabaseInterfaces::ReplicationDirection) {}

void CShMReplicationInterfaceImpl::raiseReplicationEvent(const DataObjects::VaultDataObject&,
                                                         DatabaseInterfaces::ReplicationScopeMode,
                                                         DatabaseInterfaces::EventSubmitionMode, int32_t,
                                                         DatabaseInterfaces::ReplicationDirection) {}

bool CShMReplicationInterfaceImpl::isBackupAllowed(const DataObjects::VaultAccountDataObject&) { return true; }

void CShMReplicationInterfaceImpl::setReplicationInfo(Replication::IReplicationInfo*) {}

int32_t DBDiagnosticsImpl::runDiagnostics(uint32_t) { return 0; }
