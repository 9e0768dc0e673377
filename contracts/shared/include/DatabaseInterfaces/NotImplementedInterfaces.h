// Convenience bases for database plug-ins: every operation of an interface
// raises std::runtime_error("Not implemented") on entry, before touching any
// argument, so that a plug-in overrides only the operations it serves.
//
// ApplicationStubs<I> stubs the operations of ApplicationInterface (and the
// global-setting primitives) for I = ApplicationInterface or
// AdministratorInterface; NotImplementedAdministratorInterface adds the
// administrator's own operations. A plug-in that overrides one overload of a
// name brings the others back into scope with a using-declaration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/BillingCodeInterface.h"
#include "DatabaseInterfaces/ReplicationInterface.h"
#include "DatabaseInterfaces/SimpleBackupInterface.h"
#include "SharedApi.h"

namespace DatabaseInterfaces {

// Raises std::runtime_error("Not implemented").
[[noreturn]] SHARED_API void throwNotImplemented();

template <class Interface>
class ApplicationStubs : public Interface {
public:
    ConfigSourceType _getGlobalSetting(const std::string&, std::string&, const std::string&) override {
        throwNotImplemented();
    }
    void _updateGlobalSetting(const std::string&, const std::string&) override { throwNotImplemented(); }
    void deleteGlobalSetting(const std::string&) override { throwNotImplemented(); }

    bool getVault(const std::string&, DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    bool getVault(uint32_t, DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    uint32_t getThisNodeId() override { throwNotImplemented(); }
    bool getNodeById(uint32_t, DataObjects::NodeDataObject&) override { throwNotImplemented(); }
    bool getNodeByHostName(const std::string&, DataObjects::NodeDataObject&) override { throwNotImplemented(); }
    void getAllNodes(std::vector<DataObjects::NodeDataObject>&) override { throwNotImplemented(); }
    bool getNodeByTaskId(uint32_t, DataObjects::NodeDataObject&) override { throwNotImplemented(); }
    void getAllNodesByObjectId(uint32_t, CopyObjectType, std::vector<DataObjects::NodeDataObject>&) override { throwNotImplemented(); }
    void updateNode(const DataObjects::NodeDataObject&) override { throwNotImplemented(); }
    void setNodeRequestedState(uint32_t, NodeState) override { throwNotImplemented(); }
    void setNodeActiveState(uint32_t, NodeState) override { throwNotImplemented(); }
    void setNodeLocalPrimaryStorageGroup(uint32_t, uint32_t) override { throwNotImplemented(); }
    void setNodeStatus(const DataObjects::NodeDataObject&, const NodeStatusStateObject&) override { throwNotImplemented(); }
    void getNodeStatusAndState(uint32_t, NodeStatusStateObject&) override { throwNotImplemented(); }
    void getAllNodeStatusAndStates(std::vector<NodeStatusStateObject>&) override { throwNotImplemented(); }
    void removeNotRespondingNodes(uint32_t, std::vector<DataObjects::NodeDataObject>&) override { throwNotImplemented(); }
    bool getCustomer(uint32_t, DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    bool getCustomerByShortName(std::string, DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    void getCustomerLocations(uint32_t, std::vector<DataObjects::LocationDataObject>&) override { throwNotImplemented(); }
    bool getLocation(uint32_t, DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    void getAccounts(uint32_t, std::vector<DataObjects::VaultAccountDataObject>&) override { throwNotImplemented(); }
    bool getAccount(const std::string&, DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    bool getAccount(uint32_t, DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    bool getUser(uint32_t, DataObjects::UserDataObject&) override { throwNotImplemented(); }
    bool getUser(uint32_t, const std::string&, DataObjects::UserDataObject&) override { throwNotImplemented(); }
    bool getComputer(const std::string&, DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    bool getComputer(uint32_t, DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    void getLocationComputers(uint32_t, std::vector<DataObjects::ComputerDataObject>&) override { throwNotImplemented(); }
    void getStorageLocationComputers(uint32_t, std::vector<DataObjects::ComputerDataObject>&) override { throwNotImplemented(); }
    bool getUsersComputers(uint32_t, std::vector<DataObjects::ComputerUserDataObject>&) override { throwNotImplemented(); }
    bool getComputeruserByUserIdHostName(uint32_t, const std::string&, DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    bool getAnyComputeruserByUserIdAgentVersion(uint32_t, const std::string&, DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    bool getTask(const std::string&, DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    bool getTask(uint32_t, DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    void getComputerTasks(uint32_t, std::vector<DataObjects::TaskDataObject>&) override { throwNotImplemented(); }
    bool getComputerTask(uint32_t, const std::string&, DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    void getAllTaskList(uint32_t, std::vector<DataObjects::TaskDataObject>&, bool) override { throwNotImplemented(); }
    bool getTaskActivity(uint32_t, std::vector<VActivityEntry>&) override { throwNotImplemented(); }
    void recordTaskActivity(uint32_t, VActivityEntry) override { throwNotImplemented(); }
    void recordTaskActivity(uint32_t, const std::vector<VActivityEntry>&) override { throwNotImplemented(); }
    void removeTaskActivity(uint32_t, const isotime&, const isotime&) override { throwNotImplemented(); }
    void getTasksAssociatedToNode(uint32_t, std::vector<DataObjects::TaskAssociationDataObject>&) override { throwNotImplemented(); }
    void getMoveReadyTasksAssociatedToNode(uint32_t, uint32_t, std::vector<DataObjects::TaskAssociationDataObject>&) override { throwNotImplemented(); }
    void releaseTaskNodeAssociation(uint32_t) override { throwNotImplemented(); }
    void touchTaskNodeAssociationTimestamp(uint32_t) override { throwNotImplemented(); }
    uint32_t addTaskSecondaryStorage(const DataObjects::SecondaryStorageDataObject&) override { throwNotImplemented(); }
    bool updateTaskSecondaryStorage(uint32_t, const DataObjects::SecondaryStorageDataObject&) override { throwNotImplemented(); }
    void getTaskSecondaryStorages(uint32_t, VBigInt&, VBigInt&) override { throwNotImplemented(); }
    void getTaskSecondaryStorages(uint32_t, std::vector<DataObjects::SecondaryStorageDataObject>&) override { throwNotImplemented(); }
    void removeTaskSecondaryStorages(uint32_t) override { throwNotImplemented(); }
    bool getSecondaryStoragesByPoolGuid(const std::string&, DataObjects::SecondaryStorageDataObject&) override { throwNotImplemented(); }
    std::string getTaskHierarchy(std::string) override { throwNotImplemented(); }
    std::string getTaskHierarchy(uint32_t) override { throwNotImplemented(); }
    int32_t getLatestRevision() override { throwNotImplemented(); }
    bool validateUserForTask(uint32_t, uint32_t) override { throwNotImplemented(); }
    bool getPoolByGuid(const std::string&, DataObjects::PoolDataObject&) override { throwNotImplemented(); }
    void getPoolTasks(const std::string&, std::vector<DataObjects::TaskDataObject>&) override { throwNotImplemented(); }
    void getTaskPools(uint32_t, std::vector<DataObjects::PoolDataObject>&) override { throwNotImplemented(); }
    uint32_t registerNodeToCluster(const DataObjects::NodeDataObject&) override { throwNotImplemented(); }
    void unregisterNodeFromCluster(const std::string&) override { throwNotImplemented(); }
    void getAllScheduledTasks(std::vector<ScheduledTask>&) override { throwNotImplemented(); }
    void updateAllScheduledTasks(const std::vector<ScheduledTask>&) override { throwNotImplemented(); }
    void deleteAllScheduledTasks() override { throwNotImplemented(); }
    void updateScheduledTask(const ScheduledTask&) override { throwNotImplemented(); }
    void deleteScheduledTask(const ScheduledTask&) override { throwNotImplemented(); }
    std::string getDatabaseTableModifiedTimestamp(const std::string&, const std::string&) override { throwNotImplemented(); }
    std::string getVaultScheduledTasksModifiedTimestamp() override { throwNotImplemented(); }
    void getFileCacheConfiguration(std::vector<FileCacheConfigurationObject>&) override { throwNotImplemented(); }
};

class NotImplementedApplicationInterface : public ApplicationStubs<ApplicationInterface> {};

class NotImplementedAdministratorInterface : public ApplicationStubs<AdministratorInterface> {
public:
    uint32_t addVault(const DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    void removeVault(uint32_t) override { throwNotImplemented(); }
    bool updateVault(const DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    void getVaults(std::vector<DataObjects::VaultDataObject>&) override { throwNotImplemented(); }
    void getLoadOnClusterNodes(std::vector<DataObjects::NodeLoadDataObject>&, std::vector<DataObjects::ComputerLoadDataObject>&) override { throwNotImplemented(); }
    int32_t rebalanceLoadOnClusterNodes() override { throwNotImplemented(); }
    uint32_t addCustomer(const DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    void removeCustomer(uint32_t) override { throwNotImplemented(); }
    bool updateCustomer(const DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    void getCustomers(std::vector<DataObjects::CustomerDataObject>&) override { throwNotImplemented(); }
    uint32_t getCustomerByComputerID(uint32_t) override { throwNotImplemented(); }
    uint32_t moveAllComputersToAnotherNode(uint32_t) override { throwNotImplemented(); }
    uint32_t moveComputerToAnotherNode(uint32_t) override { throwNotImplemented(); }
    uint32_t addLocation(uint32_t, const DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    uint32_t addLocationExplicitly(uint32_t, const DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    bool removeLocation(uint32_t) override { throwNotImplemented(); }
    bool updateLocation(const DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    uint32_t addAccount(uint32_t, uint32_t, const DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    void removeAccount(uint32_t) override { throwNotImplemented(); }
    bool updateAccount(const DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    void getAccountsByCustomerLocation(uint32_t, std::vector<DataObjects::VaultAccountDataObject>&) override { throwNotImplemented(); }
    uint32_t addUser(uint32_t, const DataObjects::UserDataObject&) override { throwNotImplemented(); }
    bool removeUser(uint32_t) override { throwNotImplemented(); }
    bool updateUser(const DataObjects::UserDataObject&) override { throwNotImplemented(); }
    void getAccountUsers(uint32_t, std::vector<DataObjects::UserDataObject>&) override { throwNotImplemented(); }
    uint32_t addComputer(uint32_t, uint32_t, const DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    void removeComputer(uint32_t) override { throwNotImplemented(); }
    bool updateComputer(const DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    bool updateComputerStorageLocation(const DataObjects::ComputerDataObject&, const std::string&) override { throwNotImplemented(); }
    uint32_t addAgentType(const DataObjects::TypeLookupDataObject&) override { throwNotImplemented(); }
    bool updateAgentType(const DataObjects::TypeLookupDataObject&) override { throwNotImplemented(); }
    bool getAgentType(uint32_t, DataObjects::TypeLookupDataObject&) override { throwNotImplemented(); }
    bool getAllAgentTypes(std::vector<DataObjects::TypeLookupDataObject>&) override { throwNotImplemented(); }
    bool getAllBackupTypes(std::vector<DataObjects::TypeLookupDataObject>&) override { throwNotImplemented(); }
    int32_t createUsersComputer(DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    int32_t updateUsersComputer(DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    void removeUsersComputerByComputerID(uint32_t) override { throwNotImplemented(); }
    void removeUsersComputerByUserID(uint32_t) override { throwNotImplemented(); }
    void getComputerUsers(uint32_t, std::vector<DataObjects::UserDataObject>&) override { throwNotImplemented(); }
    bool getAllComputersByUserID(uint32_t, std::vector<DataObjects::ComputerDataObject>&) override { throwNotImplemented(); }
    uint32_t addTask(uint32_t, const DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    void removeTask(uint32_t) override { throwNotImplemented(); }
    bool updateTask(const DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    bool updateTaskSynchFiles(const DataObjects::TaskDataObject&, const std::string&) override { throwNotImplemented(); }
    bool updateTaskPrimaryStorage(const DataObjects::TaskDataObject&, const std::string&) override { throwNotImplemented(); }
    uint32_t addPool(const DataObjects::PoolDataObject&) override { throwNotImplemented(); }
    bool updatePool(const DataObjects::PoolDataObject&) override { throwNotImplemented(); }
    void removePool(const std::string&) override { throwNotImplemented(); }
    bool updatePoolStorageLocation(const std::string&, const std::string&, PoolLocation) override { throwNotImplemented(); }
    bool resetPoolStorageLocation(const std::string&, PoolLocation) override { throwNotImplemented(); }
    bool associateTaskAndPool(uint32_t, const std::string&) override { throwNotImplemented(); }
    bool disassociateTaskAndPool(uint32_t, const std::string&) override { throwNotImplemented(); }
    bool getTaskShareInPool(uint32_t, const std::string&, VBigInt&, VBigInt&) override { throwNotImplemented(); }
    bool updateTaskShareInPool(uint32_t, const std::string&, VBigInt, VBigInt) override { throwNotImplemented(); }
    bool updateTaskShareInPoolEx(uint32_t, const std::string&, VBigInt, VBigInt, VBigInt) override { throwNotImplemented(); }
    bool updateTaskOriginalSize(uint32_t, int64_t) override { throwNotImplemented(); }
    bool getTaskReplicatedInPool(uint32_t, const std::string&, VBigInt&) override { throwNotImplemented(); }
    bool updateTaskReplicatedInPool(uint32_t, const std::string&, VBigInt) override { throwNotImplemented(); }
    bool getVaultReplicatedStat(VBigInt&, VBigInt&) override { throwNotImplemented(); }
    uint32_t addVaultAlias(const DataObjects::VaultAliasDataObject&) override { throwNotImplemented(); }
    bool removeVaultAlias(uint32_t) override { throwNotImplemented(); }
    bool getVaultAliasByGUID(const std::string&, DataObjects::VaultAliasDataObject&) override { throwNotImplemented(); }
    bool getAllVaultAlias(std::vector<DataObjects::VaultAliasDataObject>&) override { throwNotImplemented(); }
    bool getAllVaultAlias(uint32_t, std::vector<DataObjects::VaultAliasDataObject>&) override { throwNotImplemented(); }
    uint32_t addComputerAlias(const DataObjects::ComputerAliasDataObject&) override { throwNotImplemented(); }
    bool removeComputerAlias(uint32_t) override { throwNotImplemented(); }
    bool getComputerAlias(uint32_t, uint32_t, DataObjects::ComputerAliasDataObject&) override { throwNotImplemented(); }
    void getComputerAliases(uint32_t, std::vector<DataObjects::ComputerAliasDataObject>&) override { throwNotImplemented(); }
    bool getComputerAliasByGUID(const std::string&, DataObjects::ComputerAliasDataObject&) override { throwNotImplemented(); }
    bool getAllComputerAlias(std::vector<DataObjects::ComputerAliasDataObject>&) override { throwNotImplemented(); }
    bool getAllComputerAlias(uint32_t, std::vector<DataObjects::ComputerAliasDataObject>&) override { throwNotImplemented(); }
    uint32_t addTaskAlias(const DataObjects::TaskAliasDataObject&) override { throwNotImplemented(); }
    bool removeTaskAlias(uint32_t) override { throwNotImplemented(); }
    bool getTaskAlias(uint32_t, uint32_t, DataObjects::TaskAliasDataObject&) override { throwNotImplemented(); }
    bool getTaskAliasByGUID(const std::string&, DataObjects::TaskAliasDataObject&) override { throwNotImplemented(); }
    void getTaskAliases(uint32_t, std::vector<DataObjects::TaskAliasDataObject>&) override { throwNotImplemented(); }
    bool getAllTaskAlias(std::vector<DataObjects::TaskAliasDataObject>&) override { throwNotImplemented(); }
    bool getAllTaskAlias(uint32_t, std::vector<DataObjects::TaskAliasDataObject>&) override { throwNotImplemented(); }
    bool getItemStates(ItemStateMap&) override { throwNotImplemented(); }
    std::string getFirstOwnerForGroup(uint32_t, const std::string&, const std::string&) override { throwNotImplemented(); }
    void addStorageGroupAndLocation(DataObjects::StorageGroupDataObject&, DataObjects::StorageLocationDataObject&) override { throwNotImplemented(); }
    void addStorageLocation(uint32_t, DataObjects::StorageLocationDataObject&) override { throwNotImplemented(); }
    void getStorageGroups(StorageGroupType, std::vector<DataObjects::StorageGroupDataObject>&) override { throwNotImplemented(); }
    void getStorageLocations(int32_t, std::vector<DataObjects::StorageLocationDataObject>&) override { throwNotImplemented(); }
    void getStorageLocationsByType(StorageLocationType, std::vector<DataObjects::StorageLocationDataObject>&) override { throwNotImplemented(); }
    void updateStorageGroup(const DataObjects::StorageGroupDataObject&) override { throwNotImplemented(); }
    void updateStorageLocation(const DataObjects::StorageLocationDataObject&) override { throwNotImplemented(); }
    void updateStorageGroups(StorageGroupType, const StorageGroupMap&) override { throwNotImplemented(); }
    void updateStorageGroups(const StorageGroupMap&) override { throwNotImplemented(); }
    void removeStorageGroup(uint32_t) override { throwNotImplemented(); }
    void removeStorageLocation(uint32_t) override { throwNotImplemented(); }
    void calculatePoolSize(PoolSizeAlgorithm, uint32_t, VBigInt&, VBigInt&) override { throwNotImplemented(); }
    void getStoragePolicy(const std::string&, DataObjects::StoragePolicyDataObject&) override { throwNotImplemented(); }
    void getStoragePolicies(std::vector<DataObjects::StoragePolicyDataObject>&) override { throwNotImplemented(); }
    void updateStoragePolicy(const DataObjects::StoragePolicyDataObject&) override { throwNotImplemented(); }
    int32_t addStoragePolicy(const DataObjects::StoragePolicyDataObject&) override { throwNotImplemented(); }
    void removeStoragePolicy(uint32_t) override { throwNotImplemented(); }
    int32_t changePassword(const std::string&) override { throwNotImplemented(); }
    void getFileTypes(uint32_t, FileTypeMap&) override { throwNotImplemented(); }
    void getTableAccessStats(std::vector<DataObjects::TableAccessStatsDataObject>&) override { throwNotImplemented(); }
    void getDiffTableAccessStats(std::vector<DataObjects::TableAccessStatsDataObject>&) override { throwNotImplemented(); }
};

class NotImplementedReplicationInterface : public ReplicationInterface {
public:
    bool find(const std::string&, DataObjects::SatelliteStatisticsRequestDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::RemoteSatelliteCmd&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::SatelliteReportRequest&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::SafesetObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::TaskAliasDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::FileObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ComputerFileObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ComputerAliasDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::UserDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::BillingDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::CustomerQuotaDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ComputerBackupTypeDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::VaultAliasDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ReplicationConfigurationDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    bool find(const std::string&, DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::SatelliteStatisticsRequestDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::RemoteSatelliteCmd&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::SatelliteReportRequest&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::SafesetObject&, bool) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::TaskAliasDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::FileObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ComputerFileObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ComputerAliasDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::UserDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::BillingDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::CustomerQuotaDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ComputerBackupTypeDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::VaultAliasDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ReplicationConfigurationDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ComputerUserDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    std::string getToken(const DataObjects::VaultDataObject&) override { throwNotImplemented(); }
    DBReplicationTokenType getTokenType(const std::string&) override { throwNotImplemented(); }
    bool isParentOf(const std::string&, const std::string&, bool) override { throwNotImplemented(); }
    uint32_t addReplicationNode(const DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    void getReplicationNode(uint32_t, DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    void removeReplicationNode(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationNode(const DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    void getReplicationNodes(std::vector<DataObjects::ReplicationNode>&) override { throwNotImplemented(); }
    void getLocalReplicationNode(DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    void setLocalReplicationNode(const DataObjects::ReplicationNode&) override { throwNotImplemented(); }
    void getLocalReplicationChannels(std::vector<DataObjects::LocalReplicationChannel>&) override { throwNotImplemented(); }
    uint32_t addLocalReplicationChannel(const DataObjects::LocalReplicationChannel&) override { throwNotImplemented(); }
    uint32_t addReplicationChannel(const DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    bool getReplicationChannel(uint32_t, DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    void removeReplicationChannel(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationChannel(const DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    void getReplicationChannels(std::vector<DataObjects::ReplicationChannel>&) override { throwNotImplemented(); }
    bool getReplicationChannelByName(const std::string&, DataObjects::ReplicationChannel&) override { throwNotImplemented(); }
    void setReplicationChannelThrottling(uint32_t, const std::vector<DataObjects::ReplicationThrottling>&) override { throwNotImplemented(); }
    void getReplicationChannelThrottling(uint32_t, std::vector<DataObjects::ReplicationThrottling>&) override { throwNotImplemented(); }
    uint32_t addReplicationEvent(int32_t, const DataObjects::ReplicationEvent&, bool) override { throwNotImplemented(); }
    void getReplicationEvent(uint32_t, DataObjects::ReplicationEvent&) override { throwNotImplemented(); }
    void getReplicationEvents(uint32_t, std::vector<DataObjects::ReplicationEvent>&) override { throwNotImplemented(); }
    void getReplicationEvents(const std::string&, std::vector<DataObjects::ReplicationEvent>&) override { throwNotImplemented(); }
    void getReplicationEvents(std::vector<DataObjects::ReplicationEvent>&) override { throwNotImplemented(); }
    uint32_t getPendingReplicationEventsCount(bool) override { throwNotImplemented(); }
    uint32_t getPendingReplicationEventsCountByMode(ReplicationMode, bool) override { throwNotImplemented(); }
    bool getNewReplicationEvents(const std::string&, std::vector<DataObjects::ReplicationEvent>&, bool) override { throwNotImplemented(); }
    bool getNewReplicationEvents(std::vector<DataObjects::ReplicationEvent>&, bool) override { throwNotImplemented(); }
    void getAllNewReplicationEvents(std::vector<DataObjects::ReplicationEvent>&) override { throwNotImplemented(); }
    bool getAndStartPendingReplicationEvents(uint32_t, std::vector<DataObjects::ReplicationEvent>&, bool) override { throwNotImplemented(); }
    void removeReplicationEvent(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationEvent(const DataObjects::ReplicationEvent&) override { throwNotImplemented(); }
    void setProcessedReplicationEvents(const std::vector<DataObjects::ReplicationEvent>&) override { throwNotImplemented(); }
    void getChannelIDByVaultGUID(const std::string&, uint32_t&) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::SatelliteStatisticsRequestDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::RemoteSatelliteCmd&, ReplicationScopeMode, EventSubmitionMode, int32_t) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::SatelliteReportRequest&, ReplicationScopeMode, EventSubmitionMode, int32_t) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::SafesetObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::TaskAliasDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::TaskDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ComputerFileObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ComputerAliasDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ComputerDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::UserDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::VaultAccountDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::BillingDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::CustomerQuotaDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ComputerBackupTypeDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::LocationDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::CustomerDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::VaultAliasDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ReplicationConfigurationDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ComputerUserDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::ReplicationSatelliteDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    void raiseReplicationEvent(const DataObjects::VaultDataObject&, ReplicationScopeMode, EventSubmitionMode, int32_t, ReplicationDirection) override { throwNotImplemented(); }
    uint32_t addReplicationPackage(const DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    void getReplicationPackage(uint32_t, DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    void removeReplicationPackage(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationPackage(const DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    void getReplicationPackages(std::vector<DataObjects::ReplicationPackage>&) override { throwNotImplemented(); }
    void getReplicationPackagesByVaultGUID(const std::string&, std::vector<DataObjects::ReplicationPackage>&) override { throwNotImplemented(); }
    bool get1to1ReplicationPackage(DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    bool getNto1ReplicationPackages(std::vector<DataObjects::ReplicationPackage>&) override { throwNotImplemented(); }
    bool getSourceReplicationPackage(DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    void getSatellitePackage(const std::string&, DataObjects::ReplicationPackage&) override { throwNotImplemented(); }
    bool getPackagesByMode(ReplicationMode, std::vector<DataObjects::ReplicationPackage>&) override { throwNotImplemented(); }
    bool getPackagesByCustomerId(int32_t, std::vector<DataObjects::ReplicationPackage>&) override { throwNotImplemented(); }
    std::vector<DataObjects::ReplicationPackage> getObjectPackages(const std::string&, ReplicationDirection) override { throwNotImplemented(); }
    uint32_t addReplicationSession(const DataObjects::ReplicationSession&) override { throwNotImplemented(); }
    void getReplicationSession(const std::string&, DataObjects::ReplicationSession&) override { throwNotImplemented(); }
    void getReplicationSession(uint32_t, DataObjects::ReplicationSession&) override { throwNotImplemented(); }
    void removeReplicationSession(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationSession(const DataObjects::ReplicationSession&) override { throwNotImplemented(); }
    bool updateReplicationSessionStatus(const DataObjects::ReplicationSession&) override { throwNotImplemented(); }
    void getReplicationSessions(std::vector<DataObjects::ReplicationSession>&) override { throwNotImplemented(); }
    void getReplicationSessionsByPackageID(uint32_t, std::vector<DataObjects::ReplicationSession>&) override { throwNotImplemented(); }
    void getReplicationSessionsByStatus(ReplicationStatus, std::vector<DataObjects::ReplicationSession>&) override { throwNotImplemented(); }
    void removeReplicationSessionByStatus(ReplicationStatus) override { throwNotImplemented(); }
    void getReplicationConfig(Replication::ReplicationConfigParam&) override { throwNotImplemented(); }
    uint32_t addReplicationSatellite(const DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void getReplicationSatellite(const std::string&, DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void getReplicationSatellite(uint32_t, DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void getReplicationSatelliteByCustomer(uint32_t, DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void getReplicationSatelliteByComputer(uint32_t, DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void removeReplicationSatellite(uint32_t) override { throwNotImplemented(); }
    bool updateReplicationSatellite(const DataObjects::ReplicationSatelliteDataObject&) override { throwNotImplemented(); }
    void getReplicationSatellites(std::vector<DataObjects::ReplicationSatelliteDataObject>&) override { throwNotImplemented(); }
    bool isBackupAllowed(const DataObjects::VaultAccountDataObject&) override { throwNotImplemented(); }
    bool isBackupAllowed(const DataObjects::LocationDataObject&) override { throwNotImplemented(); }
    bool isBackupAllowed(const DataObjects::ComputerDataObject&) override { throwNotImplemented(); }
    bool isBackupAllowed(const DataObjects::TaskDataObject&) override { throwNotImplemented(); }
    bool isBackupAllowed(const DataObjects::CustomerDataObject&) override { throwNotImplemented(); }
    uint32_t addSatelliteStatistics(const DataObjects::SatelliteStatisticsDataObject&) override { throwNotImplemented(); }
    void getSatelliteStatistics(uint32_t, DataObjects::SatelliteStatisticsDataObject&) override { throwNotImplemented(); }
    bool updateSatelliteStatistics(const DataObjects::SatelliteStatisticsDataObject&) override { throwNotImplemented(); }
    bool isReplicationTarget() override { throwNotImplemented(); }
    void purgeObsoleteReplicationEntries(ReplicationEntryType) override { throwNotImplemented(); }
    void purgePendingEvents() override { throwNotImplemented(); }
    void purgePendingModeEvents(ReplicationMode) override { throwNotImplemented(); }
    void getParentChain(const std::string&, std::vector<std::string>&, bool) override { throwNotImplemented(); }
    void setReplicationInfo(Replication::IReplicationInfo*) override { throwNotImplemented(); }
};

class NotImplementedBillingCodeInterface : public BillingCodeInterface {
public:
    bool getAllBillingCodes(std::vector<DataObjects::BillingDataObject>&) override { throwNotImplemented(); }
    bool getBillingCode(uint32_t, DataObjects::BillingDataObject&) override { throwNotImplemented(); }
    uint32_t addBillingCode(const DataObjects::BillingDataObject&) override { throwNotImplemented(); }
    void removeBillingCode(uint32_t) override { throwNotImplemented(); }
    bool updateBillingCode(const DataObjects::BillingDataObject&) override { throwNotImplemented(); }
    bool getCustomerLocationsByBillingCodeID(uint32_t, std::vector<DataObjects::LocationDataObject>&) override { throwNotImplemented(); }
    bool getBillingCodesByCustomerID(uint32_t, std::vector<DataObjects::BillingDataObject>&) override { throwNotImplemented(); }
    uint32_t findBillingCodeID(const std::string&) override { throwNotImplemented(); }
};

class NotImplementedSimpleBackupInterface : public SimpleBackupInterface {
public:
    void makeBackup(const char*) override { throwNotImplemented(); }
    void restore(const char*) override { throwNotImplemented(); }
    void shrink() override { throwNotImplemented(); }
};

}  // namespace DatabaseInterfaces
