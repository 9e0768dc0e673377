// The administrator interface: the full read-write door to the vault
// catalogue, for tools that build, change and walk the vault.
//
// It holds every operation of the application interface (slots 0..87) and
// adds slots 88..188 below, in fixed order. The rules of
// ApplicationInterface.h hold here too: caller-owned records filled in place,
// list fillers append unless they say otherwise, look-ups that find nothing
// return false/0/empty without raising, unserved operations raise
// std::runtime_error "Not implemented". An add operation returns the new
// record's ID.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/Types.h"
#include "SharedApi.h"

namespace DatabaseInterfaces {

class SHARED_API AdministratorInterface : public ApplicationInterface {
public:
    ~AdministratorInterface() override;

    // 88-93: vaults and cluster load.
    virtual uint32_t addVault(const DataObjects::VaultDataObject& vault) = 0;
    virtual void removeVault(uint32_t vaultId) = 0;
    virtual bool updateVault(const DataObjects::VaultDataObject& vault) = 0;
    virtual void getVaults(std::vector<DataObjects::VaultDataObject>& vaults) = 0;
    virtual void getLoadOnClusterNodes(std::vector<DataObjects::NodeLoadDataObject>& nodeLoads,
                                       std::vector<DataObjects::ComputerLoadDataObject>& computerLoads) = 0;
    virtual int32_t rebalanceLoadOnClusterNodes() = 0;

    // 94-100: customers.
    virtual uint32_t addCustomer(const DataObjects::CustomerDataObject& customer) = 0;
    virtual void removeCustomer(uint32_t customerId) = 0;
    virtual bool updateCustomer(const DataObjects::CustomerDataObject& customer) = 0;
    virtual void getCustomers(std::vector<DataObjects::CustomerDataObject>& customers) = 0;
    virtual uint32_t getCustomerByComputerID(uint32_t computerId) = 0;
    virtual uint32_t moveAllComputersToAnotherNode(uint32_t nodeId) = 0;
    virtual uint32_t moveComputerToAnotherNode(uint32_t computerId) = 0;

    // 101-104: locations.
    virtual uint32_t addLocation(uint32_t customerId, const DataObjects::LocationDataObject& location) = 0;
    virtual uint32_t addLocationExplicitly(uint32_t customerId, const DataObjects::LocationDataObject& location) = 0;
    virtual bool removeLocation(uint32_t locationId) = 0;
    virtual bool updateLocation(const DataObjects::LocationDataObject& location) = 0;

    // 105-112: accounts and users.
    virtual uint32_t addAccount(uint32_t customerId, uint32_t locationId,
                                const DataObjects::VaultAccountDataObject& account) = 0;
    virtual void removeAccount(uint32_t accountId) = 0;
    virtual bool updateAccount(const DataObjects::VaultAccountDataObject& account) = 0;
    virtual void getAccountsByCustomerLocation(uint32_t locationId,
                                               std::vector<DataObjects::VaultAccountDataObject>& accounts) = 0;
    virtual uint32_t addUser(uint32_t accountId, const DataObjects::UserDataObject& user) = 0;
    virtual bool removeUser(uint32_t userId) = 0;
    virtual bool updateUser(const DataObjects::UserDataObject& user) = 0;
    virtual void getAccountUsers(uint32_t accountId, std::vector<DataObjects::UserDataObject>& users) = 0;

    // 113-127: computers, agent types and computer users.
    virtual uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId,
                                 const DataObjects::ComputerDataObject& computer) = 0;
    virtual void removeComputer(uint32_t computerId) = 0;
    virtual bool updateComputer(const DataObjects::ComputerDataObject& computer) = 0;
    virtual bool updateComputerStorageLocation(const DataObjects::ComputerDataObject& computer,
                                               const std::string& storageLocation) = 0;
    virtual uint32_t addAgentType(const DataObjects::TypeLookupDataObject& agentType) = 0;
    virtual bool updateAgentType(const DataObjects::TypeLookupDataObject& agentType) = 0;
    virtual bool getAgentType(uint32_t agentTypeId, DataObjects::TypeLookupDataObject& agentType) = 0;
    virtual bool getAllAgentTypes(std::vector<DataObjects::TypeLookupDataObject>& agentTypes) = 0;
    virtual bool getAllBackupTypes(std::vector<DataObjects::TypeLookupDataObject>& backupTypes) = 0;
    virtual int32_t createUsersComputer(DataObjects::ComputerUserDataObject& computerUser) = 0;
    virtual int32_t updateUsersComputer(DataObjects::ComputerUserDataObject& computerUser) = 0;
    virtual void removeUsersComputerByComputerID(uint32_t computerId) = 0;
    virtual void removeUsersComputerByUserID(uint32_t userId) = 0;
    virtual void getComputerUsers(uint32_t computerId, std::vector<DataObjects::UserDataObject>& users) = 0;
    virtual bool getAllComputersByUserID(uint32_t userId, std::vector<DataObjects::ComputerDataObject>& computers) = 0;

    // 128-132: tasks.
    virtual uint32_t addTask(uint32_t computerId, const DataObjects::TaskDataObject& task) = 0;
    virtual void removeTask(uint32_t taskId) = 0;
    virtual bool updateTask(const DataObjects::TaskDataObject& task) = 0;
    virtual bool updateTaskSynchFiles(const DataObjects::TaskDataObject& task, const std::string& folder) = 0;
    virtual bool updateTaskPrimaryStorage(const DataObjects::TaskDataObject& task, const std::string& folder) = 0;

    // 133-146: pools and the tasks' shares in them.
    virtual uint32_t addPool(const DataObjects::PoolDataObject& pool) = 0;
    virtual bool updatePool(const DataObjects::PoolDataObject& pool) = 0;
    virtual void removePool(const std::string& poolGuid) = 0;
    virtual bool updatePoolStorageLocation(const std::string& poolGuid, const std::string& folder,
                                           PoolLocation location) = 0;
    virtual bool resetPoolStorageLocation(const std::string& poolGuid, PoolLocation location) = 0;
    virtual bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) = 0;
    virtual bool disassociateTaskAndPool(uint32_t taskId, const std::string& poolGuid) = 0;
    virtual bool getTaskShareInPool(uint32_t taskId, const std::string& poolGuid, VBigInt& share,
                                    VBigInt& compressedShare) = 0;
    virtual bool updateTaskShareInPool(uint32_t taskId, const std::string& poolGuid, VBigInt share,
                                       VBigInt compressedShare) = 0;
    virtual bool updateTaskShareInPoolEx(uint32_t taskId, const std::string& poolGuid, VBigInt share,
                                         VBigInt compressedShare, VBigInt originalShare) = 0;
    virtual bool updateTaskOriginalSize(uint32_t taskId, int64_t originalSize) = 0;
    virtual bool getTaskReplicatedInPool(uint32_t taskId, const std::string& poolGuid, VBigInt& replicated) = 0;
    virtual bool updateTaskReplicatedInPool(uint32_t taskId, const std::string& poolGuid, VBigInt replicated) = 0;
    virtual bool getVaultReplicatedStat(VBigInt& replicated, VBigInt& total) = 0;

    // 147-165: aliases of vaults, computers and tasks.
    virtual uint32_t addVaultAlias(const DataObjects::VaultAliasDataObject& alias) = 0;
    virtual bool removeVaultAlias(uint32_t aliasId) = 0;
    virtual bool getVaultAliasByGUID(const std::string& guid, DataObjects::VaultAliasDataObject& alias) = 0;
    virtual bool getAllVaultAlias(std::vector<DataObjects::VaultAliasDataObject>& aliases) = 0;
    virtual bool getAllVaultAlias(uint32_t vaultId, std::vector<DataObjects::VaultAliasDataObject>& aliases) = 0;
    virtual uint32_t addComputerAlias(const DataObjects::ComputerAliasDataObject& alias) = 0;
    virtual bool removeComputerAlias(uint32_t aliasId) = 0;
    virtual bool getComputerAlias(uint32_t computerId, uint32_t vaultId, DataObjects::ComputerAliasDataObject& alias) = 0;
    virtual void getComputerAliases(uint32_t computerId, std::vector<DataObjects::ComputerAliasDataObject>& aliases) = 0;
    virtual bool getComputerAliasByGUID(const std::string& guid, DataObjects::ComputerAliasDataObject& alias) = 0;
    virtual bool getAllComputerAlias(std::vector<DataObjects::ComputerAliasDataObject>& aliases) = 0;
    virtual bool getAllComputerAlias(uint32_t vaultId, std::vector<DataObjects::ComputerAliasDataObject>& aliases) = 0;
    virtual uint32_t addTaskAlias(const DataObjects::TaskAliasDataObject& alias) = 0;
    virtual bool removeTaskAlias(uint32_t aliasId) = 0;
    virtual bool getTaskAlias(uint32_t taskId, uint32_t vaultId, DataObjects::TaskAliasDataObject& alias) = 0;
    virtual bool getTaskAliasByGUID(const std::string& guid, DataObjects::TaskAliasDataObject& alias) = 0;
    virtual void getTaskAliases(uint32_t taskId, std::vector<DataObjects::TaskAliasDataObject>& aliases) = 0;
    virtual bool getAllTaskAlias(std::vector<DataObjects::TaskAliasDataObject>& aliases) = 0;
    virtual bool getAllTaskAlias(uint32_t vaultId, std::vector<DataObjects::TaskAliasDataObject>& aliases) = 0;

    // 166-167: object states and group ownership.
    virtual bool getItemStates(ItemStateMap& states) = 0;
    virtual std::string getFirstOwnerForGroup(uint32_t groupId, const std::string& groupName,
                                              const std::string& ownerType) = 0;

    // 168-179: storage groups and locations.
    virtual void addStorageGroupAndLocation(DataObjects::StorageGroupDataObject& group,
                                            DataObjects::StorageLocationDataObject& location) = 0;
    virtual void addStorageLocation(uint32_t storageGroupId, DataObjects::StorageLocationDataObject& location) = 0;
    virtual void getStorageGroups(StorageGroupType type, std::vector<DataObjects::StorageGroupDataObject>& groups) = 0;
    virtual void getStorageLocations(int32_t storageGroupId,
                                     std::vector<DataObjects::StorageLocationDataObject>& locations) = 0;
    virtual void getStorageLocationsByType(StorageLocationType type,
                                           std::vector<DataObjects::StorageLocationDataObject>& locations) = 0;
    virtual void updateStorageGroup(const DataObjects::StorageGroupDataObject& group) = 0;
    virtual void updateStorageLocation(const DataObjects::StorageLocationDataObject& location) = 0;
    virtual void updateStorageGroups(StorageGroupType type, const StorageGroupMap& groups) = 0;
    virtual void updateStorageGroups(const StorageGroupMap& groups) = 0;
    virtual void removeStorageGroup(uint32_t storageGroupId) = 0;
    virtual void removeStorageLocation(uint32_t storageLocationId) = 0;
    virtual void calculatePoolSize(PoolSizeAlgorithm algorithm, uint32_t storageGroupId, VBigInt& size,
                                   VBigInt& used) = 0;

    // 180-185: storage policies and the password.
    virtual void getStoragePolicy(const std::string& name, DataObjects::StoragePolicyDataObject& policy) = 0;
    virtual void getStoragePolicies(std::vector<DataObjects::StoragePolicyDataObject>& policies) = 0;
    virtual void updateStoragePolicy(const DataObjects::StoragePolicyDataObject& policy) = 0;
    virtual int32_t addStoragePolicy(const DataObjects::StoragePolicyDataObject& policy) = 0;
    virtual void removeStoragePolicy(uint32_t policyId) = 0;
    virtual int32_t changePassword(const std::string& password) = 0;

    // 186-188: file types and table statistics.
    virtual void getFileTypes(uint32_t policyId, FileTypeMap& fileTypes) = 0;
    virtual void getTableAccessStats(std::vector<DataObjects::TableAccessStatsDataObject>& stats) = 0;
    virtual void getDiffTableAccessStats(std::vector<DataObjects::TableAccessStatsDataObject>& stats) = 0;
};

}  // namespace DatabaseInterfaces
