// The administrator interface of the Quenlith plug-in, with its
// authentication and test parts.
//
// The catalogue is built from the storage and never written back, so this
// interface answers the reads the catalogue can serve, gives fixed answers
// to the few writes callers issue routinely, and raises "Not implemented"
// for everything else (the list is in docs/quenlith.md).
//
// Every application operation (slots 0 to 87) is forwarded to the
// application implementation, its virtual base, so both interfaces answer
// the same questions alike, with one exception:
// getAnyComputeruserByUserIdAgentVersion raises "Not implemented" here while
// the application interface answers false. The object has no state of its
// own; AdministratorInterface is its primary base.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DatabaseInterfaces/AuthenticationInterface.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"
#include "DatabaseInterfaces/TestInterface.h"
#include "DbInterfaces/CShMApplicationInterfaceImpl.h"

class CShMAdministratorInterfaceImpl : public DatabaseInterfaces::NotImplementedAdministratorInterface,
                                       public DatabaseInterfaces::AuthenticationInterface,
                                       public DatabaseInterfaces::TestInterface,
                                       public virtual CShMApplicationInterfaceImpl {
public:
    CShMAdministratorInterfaceImpl() = default;
    CShMAdministratorInterfaceImpl(const CShMAdministratorInterfaceImpl&) = default;
    ~CShMAdministratorInterfaceImpl() override;

    // --- Slots 0 to 87: the application operations, forwarded ---
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, bool& value, const bool& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, int& value, const int& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, unsigned& value, const unsigned& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, long long& value, const long long& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, unsigned long long& value, const unsigned long long& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, float& value, const float& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, double& value, const double& defaultValue) override;
    DatabaseInterfaces::ConfigSourceType getGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue) override;
    void updateGlobalSetting(const std::string& key, const bool& value) override;
    void updateGlobalSetting(const std::string& key, const int& value) override;
    void updateGlobalSetting(const std::string& key, const unsigned& value) override;
    void updateGlobalSetting(const std::string& key, const long long& value) override;
    void updateGlobalSetting(const std::string& key, const unsigned long long& value) override;
    void updateGlobalSetting(const std::string& key, const float& value) override;
    void updateGlobalSetting(const std::string& key, const double& value) override;
    void updateGlobalSetting(const std::string& key, const std::string& value) override;
    void deleteGlobalSetting(const std::string& key) override;
    DatabaseInterfaces::ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue) override;
    void _updateGlobalSetting(const std::string& key, const std::string& value) override;
    bool getVault(const std::string& vaultName, DataObjects::VaultDataObject& vault) override;
    bool getVault(uint32_t vaultId, DataObjects::VaultDataObject& vault) override;
    uint32_t getThisNodeId() override;
    bool getNodeById(uint32_t nodeId, DataObjects::NodeDataObject& node) override;
    bool getNodeByHostName(const std::string& hostName, DataObjects::NodeDataObject& node) override;
    void getAllNodes(std::vector<DataObjects::NodeDataObject>& nodes) override;
    bool getNodeByTaskId(uint32_t taskId, DataObjects::NodeDataObject& node) override;
    void getAllNodesByObjectId(uint32_t objectId, DatabaseInterfaces::CopyObjectType objectType, std::vector<DataObjects::NodeDataObject>& nodes) override;
    void updateNode(const DataObjects::NodeDataObject& node) override;
    void setNodeRequestedState(uint32_t nodeId, DatabaseInterfaces::NodeState state) override;
    void setNodeActiveState(uint32_t nodeId, DatabaseInterfaces::NodeState state) override;
    void setNodeLocalPrimaryStorageGroup(uint32_t nodeId, uint32_t storageGroupId) override;
    void setNodeStatus(const DataObjects::NodeDataObject& node, const DatabaseInterfaces::NodeStatusStateObject& status) override;
    void getNodeStatusAndState(uint32_t nodeId, DatabaseInterfaces::NodeStatusStateObject& status) override;
    void getAllNodeStatusAndStates(std::vector<DatabaseInterfaces::NodeStatusStateObject>& statuses) override;
    void removeNotRespondingNodes(uint32_t timeoutSeconds, std::vector<DataObjects::NodeDataObject>& removed) override;
    bool getCustomer(uint32_t customerId, DataObjects::CustomerDataObject& customer) override;
    bool getCustomerByShortName(std::string shortName, DataObjects::CustomerDataObject& customer) override;
    void getCustomerLocations(uint32_t customerId, std::vector<DataObjects::LocationDataObject>& locations) override;
    bool getLocation(uint32_t locationId, DataObjects::LocationDataObject& location) override;
    void getAccounts(uint32_t locationId, std::vector<DataObjects::VaultAccountDataObject>& accounts) override;
    bool getAccount(const std::string& accountName, DataObjects::VaultAccountDataObject& account) override;
    bool getAccount(uint32_t accountId, DataObjects::VaultAccountDataObject& account) override;
    bool getUser(uint32_t userId, DataObjects::UserDataObject& user) override;
    bool getUser(uint32_t accountId, const std::string& userName, DataObjects::UserDataObject& user) override;
    bool getComputer(const std::string& computerGuid, DataObjects::ComputerDataObject& computer) override;
    bool getComputer(uint32_t computerId, DataObjects::ComputerDataObject& computer) override;
    void getLocationComputers(uint32_t locationId, std::vector<DataObjects::ComputerDataObject>& computers) override;
    void getStorageLocationComputers(uint32_t storageLocationId, std::vector<DataObjects::ComputerDataObject>& computers) override;
    bool getUsersComputers(uint32_t userId, std::vector<DataObjects::ComputerUserDataObject>& computers) override;
    bool getComputeruserByUserIdHostName(uint32_t userId, const std::string& hostName, DataObjects::ComputerUserDataObject& computerUser) override;
    bool getAnyComputeruserByUserIdAgentVersion(uint32_t userId, const std::string& agentVersion, DataObjects::ComputerUserDataObject& computerUser) override;
    bool getTask(const std::string& taskGuid, DataObjects::TaskDataObject& task) override;
    bool getTask(uint32_t taskId, DataObjects::TaskDataObject& task) override;
    void getComputerTasks(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks) override;
    bool getComputerTask(uint32_t computerId, const std::string& taskName, DataObjects::TaskDataObject& task) override;
    void getAllTaskList(uint32_t vaultId, std::vector<DataObjects::TaskDataObject>& tasks, bool all) override;
    bool getTaskActivity(uint32_t taskId, std::vector<DatabaseInterfaces::VActivityEntry>& entries) override;
    void recordTaskActivity(uint32_t taskId, DatabaseInterfaces::VActivityEntry entry) override;
    void recordTaskActivity(uint32_t taskId, const std::vector<DatabaseInterfaces::VActivityEntry>& entries) override;
    void removeTaskActivity(uint32_t taskId, const DatabaseInterfaces::isotime& from, const DatabaseInterfaces::isotime& to) override;
    void getTasksAssociatedToNode(uint32_t nodeId, std::vector<DataObjects::TaskAssociationDataObject>& tasks) override;
    void getMoveReadyTasksAssociatedToNode(uint32_t nodeId, uint32_t maxCount, std::vector<DataObjects::TaskAssociationDataObject>& tasks) override;
    void releaseTaskNodeAssociation(uint32_t taskId) override;
    void touchTaskNodeAssociationTimestamp(uint32_t taskId) override;
    uint32_t addTaskSecondaryStorage(const DataObjects::SecondaryStorageDataObject& storage) override;
    bool updateTaskSecondaryStorage(uint32_t taskId, const DataObjects::SecondaryStorageDataObject& storage) override;
    void getTaskSecondaryStorages(uint32_t taskId, DatabaseInterfaces::VBigInt& used, DatabaseInterfaces::VBigInt& allocated) override;
    void getTaskSecondaryStorages(uint32_t taskId, std::vector<DataObjects::SecondaryStorageDataObject>& storages) override;
    void removeTaskSecondaryStorages(uint32_t taskId) override;
    bool getSecondaryStoragesByPoolGuid(const std::string& poolGuid, DataObjects::SecondaryStorageDataObject& storage) override;
    std::string getTaskHierarchy(std::string taskGuid) override;
    std::string getTaskHierarchy(uint32_t taskId) override;
    int32_t getLatestRevision() override;
    bool validateUserForTask(uint32_t userId, uint32_t taskId) override;
    bool getPoolByGuid(const std::string& poolGuid, DataObjects::PoolDataObject& pool) override;
    void getPoolTasks(const std::string& poolGuid, std::vector<DataObjects::TaskDataObject>& tasks) override;
    void getTaskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) override;
    uint32_t registerNodeToCluster(const DataObjects::NodeDataObject& node) override;
    void unregisterNodeFromCluster(const std::string& hostName) override;
    void getAllScheduledTasks(std::vector<DatabaseInterfaces::ScheduledTask>& tasks) override;
    void updateAllScheduledTasks(const std::vector<DatabaseInterfaces::ScheduledTask>& tasks) override;
    void deleteAllScheduledTasks() override;
    void updateScheduledTask(const DatabaseInterfaces::ScheduledTask& task) override;
    void deleteScheduledTask(const DatabaseInterfaces::ScheduledTask& task) override;
    std::string getDatabaseTableModifiedTimestamp(const std::string& database, const std::string& table) override;
    std::string getVaultScheduledTasksModifiedTimestamp() override;
    void getFileCacheConfiguration(std::vector<DatabaseInterfaces::FileCacheConfigurationObject>& configuration) override;

    // --- The administrator's own answers ---
    void getVaults(std::vector<DataObjects::VaultDataObject>& vaults) override;
    uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId,
                         const DataObjects::ComputerDataObject& computer) override;
    bool updateComputer(const DataObjects::ComputerDataObject& computer) override;
    bool updateComputerStorageLocation(const DataObjects::ComputerDataObject& computer,
                                       const std::string& storageLocation) override;
    bool getAllComputersByUserID(uint32_t userId, std::vector<DataObjects::ComputerDataObject>& computers) override;
    bool updateTaskSynchFiles(const DataObjects::TaskDataObject& task, const std::string& folder) override;
    bool updateTaskPrimaryStorage(const DataObjects::TaskDataObject& task, const std::string& folder) override;
    bool updatePoolStorageLocation(const std::string& poolGuid, const std::string& folder,
                                   DatabaseInterfaces::PoolLocation location) override;
    bool getVaultAliasByGUID(const std::string& guid, DataObjects::VaultAliasDataObject& alias) override;
    void getStorageGroups(DatabaseInterfaces::StorageGroupType type,
                          std::vector<DataObjects::StorageGroupDataObject>& groups) override;
    void getStorageLocations(int32_t storageGroupId,
                             std::vector<DataObjects::StorageLocationDataObject>& locations) override;
    void getStoragePolicy(const std::string& name, DataObjects::StoragePolicyDataObject& policy) override;
    void getFileTypes(uint32_t policyId, DatabaseInterfaces::FileTypeMap& fileTypes) override;

    // --- Authentication and test parts: not served ---
    bool authenticateUser(uint32_t accountId, const std::string& userName, const std::string& password) override;
    void clear() override;
};
