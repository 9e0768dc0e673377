// The application interface: the read-mostly door to the vault catalogue
// through which tools look up the vault, its nodes, customers, accounts,
// users, computers, tasks and pools.
//
// Rules for every operation:
// - Records and lists are the caller's and are filled in place. An operation
//   that fills a list APPENDS to it and never removes what it held, unless its
//   comment says it empties the list.
// - A look-up that finds nothing returns false, 0, an empty text or leaves the
//   list as it was; it never raises.
// - An operation a plug-in does not serve raises std::runtime_error
//   "Not implemented" before touching any argument.
// - Other failures (an unreachable database) raise std::runtime_error.
// - The order of declaration is the order of the virtual slots and must not
//   change: plug-ins and callers are built separately. Slots 0..19 are those
//   of GlobalSettingInterface; this class adds slots 20..87.
// An interface object is used by one thread at a time unless the plug-in
// documents more.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/GlobalSettingInterface.h"
#include "DatabaseInterfaces/Types.h"
#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API ApplicationInterface : public GlobalSettingInterface {
public:
    ~ApplicationInterface() override;

    // 20-21: the vault by name or by ID.
    virtual bool getVault(const std::string& vaultName, DataObjects::VaultDataObject& vault) = 0;
    virtual bool getVault(uint32_t vaultId, DataObjects::VaultDataObject& vault) = 0;

    // 22-35: nodes of the cluster.
    virtual uint32_t getThisNodeId() = 0;
    virtual bool getNodeById(uint32_t nodeId, DataObjects::NodeDataObject& node) = 0;
    virtual bool getNodeByHostName(const std::string& hostName, DataObjects::NodeDataObject& node) = 0;
    virtual void getAllNodes(std::vector<DataObjects::NodeDataObject>& nodes) = 0;
    virtual bool getNodeByTaskId(uint32_t taskId, DataObjects::NodeDataObject& node) = 0;
    virtual void getAllNodesByObjectId(uint32_t objectId, CopyObjectType objectType,
                                       std::vector<DataObjects::NodeDataObject>& nodes) = 0;
    virtual void updateNode(const DataObjects::NodeDataObject& node) = 0;
    virtual void setNodeRequestedState(uint32_t nodeId, NodeState state) = 0;
    virtual void setNodeActiveState(uint32_t nodeId, NodeState state) = 0;
    virtual void setNodeLocalPrimaryStorageGroup(uint32_t nodeId, uint32_t storageGroupId) = 0;
    virtual void setNodeStatus(const DataObjects::NodeDataObject& node, const NodeStatusStateObject& status) = 0;
    virtual void getNodeStatusAndState(uint32_t nodeId, NodeStatusStateObject& status) = 0;
    virtual void getAllNodeStatusAndStates(std::vector<NodeStatusStateObject>& statuses) = 0;
    virtual void removeNotRespondingNodes(uint32_t timeoutSeconds, std::vector<DataObjects::NodeDataObject>& removed) = 0;

    // 36-44: customers, locations, accounts and users.
    virtual bool getCustomer(uint32_t customerId, DataObjects::CustomerDataObject& customer) = 0;
    virtual bool getCustomerByShortName(std::string shortName, DataObjects::CustomerDataObject& customer) = 0;
    virtual void getCustomerLocations(uint32_t customerId, std::vector<DataObjects::LocationDataObject>& locations) = 0;
    virtual bool getLocation(uint32_t locationId, DataObjects::LocationDataObject& location) = 0;
    virtual void getAccounts(uint32_t locationId, std::vector<DataObjects::VaultAccountDataObject>& accounts) = 0;
    virtual bool getAccount(const std::string& accountName, DataObjects::VaultAccountDataObject& account) = 0;
    virtual bool getAccount(uint32_t accountId, DataObjects::VaultAccountDataObject& account) = 0;
    virtual bool getUser(uint32_t userId, DataObjects::UserDataObject& user) = 0;
    virtual bool getUser(uint32_t accountId, const std::string& userName, DataObjects::UserDataObject& user) = 0;

    // 45-51: computers.
    virtual bool getComputer(const std::string& computerGuid, DataObjects::ComputerDataObject& computer) = 0;
    virtual bool getComputer(uint32_t computerId, DataObjects::ComputerDataObject& computer) = 0;
    virtual void getLocationComputers(uint32_t locationId, std::vector<DataObjects::ComputerDataObject>& computers) = 0;
    virtual void getStorageLocationComputers(uint32_t storageLocationId,
                                             std::vector<DataObjects::ComputerDataObject>& computers) = 0;
    virtual bool getUsersComputers(uint32_t userId, std::vector<DataObjects::ComputerUserDataObject>& computers) = 0;
    virtual bool getComputeruserByUserIdHostName(uint32_t userId, const std::string& hostName,
                                                 DataObjects::ComputerUserDataObject& computerUser) = 0;
    virtual bool getAnyComputeruserByUserIdAgentVersion(uint32_t userId, const std::string& agentVersion,
                                                        DataObjects::ComputerUserDataObject& computerUser) = 0;

    // 52-64: tasks, their activity and node association.
    virtual bool getTask(const std::string& taskGuid, DataObjects::TaskDataObject& task) = 0;
    virtual bool getTask(uint32_t taskId, DataObjects::TaskDataObject& task) = 0;
    virtual void getComputerTasks(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks) = 0;
    virtual bool getComputerTask(uint32_t computerId, const std::string& taskName, DataObjects::TaskDataObject& task) = 0;
    virtual void getAllTaskList(uint32_t vaultId, std::vector<DataObjects::TaskDataObject>& tasks, bool all) = 0;
    virtual bool getTaskActivity(uint32_t taskId, std::vector<VActivityEntry>& entries) = 0;
    virtual void recordTaskActivity(uint32_t taskId, VActivityEntry entry) = 0;
    virtual void recordTaskActivity(uint32_t taskId, const std::vector<VActivityEntry>& entries) = 0;
    virtual void removeTaskActivity(uint32_t taskId, const isotime& from, const isotime& to) = 0;
    // Both empty the list first.
    virtual void getTasksAssociatedToNode(uint32_t nodeId,
                                          std::vector<DataObjects::TaskAssociationDataObject>& tasks) = 0;
    virtual void getMoveReadyTasksAssociatedToNode(uint32_t nodeId, uint32_t maxCount,
                                                   std::vector<DataObjects::TaskAssociationDataObject>& tasks) = 0;
    virtual void releaseTaskNodeAssociation(uint32_t taskId) = 0;
    virtual void touchTaskNodeAssociationTimestamp(uint32_t taskId) = 0;

    // 65-70: secondary storage.
    virtual uint32_t addTaskSecondaryStorage(const DataObjects::SecondaryStorageDataObject& storage) = 0;
    virtual bool updateTaskSecondaryStorage(uint32_t taskId, const DataObjects::SecondaryStorageDataObject& storage) = 0;
    virtual void getTaskSecondaryStorages(uint32_t taskId, VBigInt& used, VBigInt& allocated) = 0;
    virtual void getTaskSecondaryStorages(uint32_t taskId,
                                          std::vector<DataObjects::SecondaryStorageDataObject>& storages) = 0;
    virtual void removeTaskSecondaryStorages(uint32_t taskId) = 0;
    virtual bool getSecondaryStoragesByPoolGuid(const std::string& poolGuid,
                                                DataObjects::SecondaryStorageDataObject& storage) = 0;

    // 71-74: naming and permissions. getTaskHierarchy names a task by its
    // place in the catalogue (by GUID text or by ID); "" for an unknown task.
    virtual std::string getTaskHierarchy(std::string taskGuid) = 0;
    virtual std::string getTaskHierarchy(uint32_t taskId) = 0;
    virtual int32_t getLatestRevision() = 0;
    virtual bool validateUserForTask(uint32_t userId, uint32_t taskId) = 0;

    // 75-77: pools.
    virtual bool getPoolByGuid(const std::string& poolGuid, DataObjects::PoolDataObject& pool) = 0;
    virtual void getPoolTasks(const std::string& poolGuid, std::vector<DataObjects::TaskDataObject>& tasks) = 0;
    virtual void getTaskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) = 0;

    // 78-79: cluster membership. registerNodeToCluster returns the ID of the
    // registered node (0 when the plug-in keeps no IDs).
    virtual uint32_t registerNodeToCluster(const DataObjects::NodeDataObject& node) = 0;
    virtual void unregisterNodeFromCluster(const std::string& hostName) = 0;

    // 80-87: scheduled jobs and timestamps.
    virtual void getAllScheduledTasks(std::vector<ScheduledTask>& tasks) = 0;
    virtual void updateAllScheduledTasks(const std::vector<ScheduledTask>& tasks) = 0;
    virtual void deleteAllScheduledTasks() = 0;
    virtual void updateScheduledTask(const ScheduledTask& task) = 0;
    virtual void deleteScheduledTask(const ScheduledTask& task) = 0;
    virtual std::string getDatabaseTableModifiedTimestamp(const std::string& database, const std::string& table) = 0;
    virtual std::string getVaultScheduledTasksModifiedTimestamp() = 0;
    virtual void getFileCacheConfiguration(std::vector<FileCacheConfigurationObject>& configuration) = 0;
};

}  // namespace DatabaseInterfaces
