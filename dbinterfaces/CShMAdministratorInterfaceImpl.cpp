#include "DbInterfaces/CShMAdministratorInterfaceImpl.h"

#include "Catalogue/CShMDBHelper.h"
#include "VaultSettings.h"

using namespace DataObjects;

namespace {

const char* const kStorageGroupName = "SSG01";
const uint32_t kStorageLocationPriority = 999;

}  // namespace

CShMAdministratorInterfaceImpl::~CShMAdministratorInterfaceImpl() = default;

// --- Slots 0 to 87 ---

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, bool& value, const bool& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, int& value, const int& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, unsigned& value, const unsigned& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, long long& value, const long long& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, unsigned long long& value, const unsigned long long& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, float& value, const float& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, double& value, const double& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::getGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue) {
    return CShMApplicationInterfaceImpl::getGlobalSetting(key, value, defaultValue);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const bool& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const int& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const unsigned& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const long long& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const unsigned long long& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const float& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const double& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::updateGlobalSetting(const std::string& key, const std::string& value) {
    CShMApplicationInterfaceImpl::updateGlobalSetting(key, value);
}

void CShMAdministratorInterfaceImpl::deleteGlobalSetting(const std::string& key) {
    CShMApplicationInterfaceImpl::deleteGlobalSetting(key);
}

DatabaseInterfaces::ConfigSourceType CShMAdministratorInterfaceImpl::_getGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue) {
    return CShMApplicationInterfaceImpl::_getGlobalSetting(key, value, defaultValue);
}

void CShMAdministratorInterfaceImpl::_updateGlobalSetting(const std::string& key, const std::string& value) {
    CShMApplicationInterfaceImpl::_updateGlobalSetting(key, value);
}

bool CShMAdministratorInterfaceImpl::getVault(const std::string& vaultName, DataObjects::VaultDataObject& vault) {
    return CShMApplicationInterfaceImpl::getVault(vaultName, vault);
}

bool CShMAdministratorInterfaceImpl::getVault(uint32_t vaultId, DataObjects::VaultDataObject& vault) {
    return CShMApplicationInterfaceImpl::getVault(vaultId, vault);
}

uint32_t CShMAdministratorInterfaceImpl::getThisNodeId() {
    return CShMApplicationInterfaceImpl::getThisNodeId();
}

bool CShMAdministratorInterfaceImpl::getNodeById(uint32_t nodeId, DataObjects::NodeDataObject& node) {
    return CShMApplicationInterfaceImpl::getNodeById(nodeId, node);
}

bool CShMAdministratorInterfaceImpl::getNodeByHostName(const std::string& hostName, DataObjects::NodeDataObject& node) {
    return CShMApplicationInterfaceImpl::getNodeByHostName(hostName, node);
}

void CShMAdministratorInterfaceImpl::getAllNodes(std::vector<DataObjects::NodeDataObject>& nodes) {
    CShMApplicationInterfaceImpl::getAllNodes(nodes);
}

bool CShMAdministratorInterfaceImpl::getNodeByTaskId(uint32_t taskId, DataObjects::NodeDataObject& node) {
    return CShMApplicationInterfaceImpl::getNodeByTaskId(taskId, node);
}

void CShMAdministratorInterfaceImpl::getAllNodesByObjectId(uint32_t objectId, DatabaseInterfaces::CopyObjectType objectType, std::vector<DataObjects::NodeDataObject>& nodes) {
    CShMApplicationInterfaceImpl::getAllNodesByObjectId(objectId, objectType, nodes);
}

void CShMAdministratorInterfaceImpl::updateNode(const DataObjects::NodeDataObject& node) {
    CShMApplicationInterfaceImpl::updateNode(node);
}

void CShMAdministratorInterfaceImpl::setNodeRequestedState(uint32_t nodeId, DatabaseInterfaces::NodeState state) {
    CShMApplicationInterfaceImpl::setNodeRequestedState(nodeId, state);
}

void CShMAdministratorInterfaceImpl::setNodeActiveState(uint32_t nodeId, DatabaseInterfaces::NodeState state) {
    CShMApplicationInterfaceImpl::setNodeActiveState(nodeId, state);
}

void CShMAdministratorInterfaceImpl::setNodeLocalPrimaryStorageGroup(uint32_t nodeId, uint32_t storageGroupId) {
    CShMApplicationInterfaceImpl::setNodeLocalPrimaryStorageGroup(nodeId, storageGroupId);
}

void CShMAdministratorInterfaceImpl::setNodeStatus(const DataObjects::NodeDataObject& node, const DatabaseInterfaces::NodeStatusStateObject& status) {
    CShMApplicationInterfaceImpl::setNodeStatus(node, status);
}

void CShMAdministratorInterfaceImpl::getNodeStatusAndState(uint32_t nodeId, DatabaseInterfaces::NodeStatusStateObject& status) {
    CShMApplicationInterfaceImpl::getNodeStatusAndState(nodeId, status);
}

void CShMAdministratorInterfaceImpl::getAllNodeStatusAndStates(std::vector<DatabaseInterfaces::NodeStatusStateObject>& statuses) {
    CShMApplicationInterfaceImpl::getAllNodeStatusAndStates(statuses);
}

void CShMAdministratorInterfaceImpl::removeNotRespondingNodes(uint32_t timeoutSeconds, std::vector<DataObjects::NodeDataObject>& removed) {
    CShMApplicationInterfaceImpl::removeNotRespondingNodes(timeoutSeconds, removed);
}

bool CShMAdministratorInterfaceImpl::getCustomer(uint32_t customerId, DataObjects::CustomerDataObject& customer) {
    return CShMApplicationInterfaceImpl::getCustomer(customerId, customer);
}

bool CShMAdministratorInterfaceImpl::getCustomerByShortName(std::string shortName, DataObjects::CustomerDataObject& customer) {
    return CShMApplicationInterfaceImpl::getCustomerByShortName(shortName, customer);
}

void CShMAdministratorInterfaceImpl::getCustomerLocations(uint32_t customerId, std::vector<DataObjects::LocationDataObject>& locations) {
    CShMApplicationInterfaceImpl::getCustomerLocations(customerId, locations);
}

bool CShMAdministratorInterfaceImpl::getLocation(uint32_t locationId, DataObjects::LocationDataObject& location) {
    return CShMApplicationInterfaceImpl::getLocation(locationId, location);
}

void CShMAdministratorInterfaceImpl::getAccounts(uint32_t locationId, std::vector<DataObjects::VaultAccountDataObject>& accounts) {
    CShMApplicationInterfaceImpl::getAccounts(locationId, accounts);
}

bool CShMAdministratorInterfaceImpl::getAccount(const std::string& accountName, DataObjects::VaultAccountDataObject& account) {
    return CShMApplicationInterfaceImpl::getAccount(accountName, account);
}

bool CShMAdministratorInterfaceImpl::getAccount(uint32_t accountId, DataObjects::VaultAccountDataObject& account) {
    return CShMApplicationInterfaceImpl::getAccount(accountId, account);
}

bool CShMAdministratorInterfaceImpl::getUser(uint32_t userId, DataObjects::UserDataObject& user) {
    return CShMApplicationInterfaceImpl::getUser(userId, user);
}

bool CShMAdministratorInterfaceImpl::getUser(uint32_t accountId, const std::string& userName, DataObjects::UserDataObject& user) {
    return CShMApplicationInterfaceImpl::getUser(accountId, userName, user);
}

bool CShMAdministratorInterfaceImpl::getComputer(const std::string& computerGuid, DataObjects::ComputerDataObject& computer) {
    return CShMApplicationInterfaceImpl::getComputer(computerGuid, computer);
}

bool CShMAdministratorInterfaceImpl::getComputer(uint32_t computerId, DataObjects::ComputerDataObject& computer) {
    return CShMApplicationInterfaceImpl::getComputer(computerId, computer);
}

void CShMAdministratorInterfaceImpl::getLocationComputers(uint32_t locationId, std::vector<DataObjects::ComputerDataObject>& computers) {
    CShMApplicationInterfaceImpl::getLocationComputers(locationId, computers);
}

void CShMAdministratorInterfaceImpl::getStorageLocationComputers(uint32_t storageLocationId, std::vector<DataObjects::ComputerDataObject>& computers) {
    CShMApplicationInterfaceImpl::getStorageLocationComputers(storageLocationId, computers);
}

bool CShMAdministratorInterfaceImpl::getUsersComputers(uint32_t userId, std::vector<DataObjects::ComputerUserDataObject>& computers) {
    return CShMApplicationInterfaceImpl::getUsersComputers(userId, computers);
}

bool CShMAdministratorInterfaceImpl::getComputeruserByUserIdHostName(uint32_t userId, const std::string& hostName, DataObjects::ComputerUserDataObject& computerUser) {
    return CShMApplicationInterfaceImpl::getComputeruserByUserIdHostName(userId, hostName, computerUser);
}

bool CShMAdministratorInterfaceImpl::getAnyComputeruserByUserIdAgentVersion(uint32_t, const std::string&, DataObjects::ComputerUserDataObject&) {
    // The one application operation the administrator interface does not serve.
    DatabaseInterfaces::throwNotImplemented();
}

bool CShMAdministratorInterfaceImpl::getTask(const std::string& taskGuid, DataObjects::TaskDataObject& task) {
    return CShMApplicationInterfaceImpl::getTask(taskGuid, task);
}

bool CShMAdministratorInterfaceImpl::getTask(uint32_t taskId, DataObjects::TaskDataObject& task) {
    return CShMApplicationInterfaceImpl::getTask(taskId, task);
}

void CShMAdministratorInterfaceImpl::getComputerTasks(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks) {
    CShMApplicationInterfaceImpl::getComputerTasks(computerId, tasks);
}

bool CShMAdministratorInterfaceImpl::getComputerTask(uint32_t computerId, const std::string& taskName, DataObjects::TaskDataObject& task) {
    return CShMApplicationInterfaceImpl::getComputerTask(computerId, taskName, task);
}

void CShMAdministratorInterfaceImpl::getAllTaskList(uint32_t vaultId, std::vector<DataObjects::TaskDataObject>& tasks, bool all) {
    CShMApplicationInterfaceImpl::getAllTaskList(vaultId, tasks, all);
}

bool CShMAdministratorInterfaceImpl::getTaskActivity(uint32_t taskId, std::vector<DatabaseInterfaces::VActivityEntry>& entries) {
    return CShMApplicationInterfaceImpl::getTaskActivity(taskId, entries);
}

void CShMAdministratorInterfaceImpl::recordTaskActivity(uint32_t taskId, DatabaseInterfaces::VActivityEntry entry) {
    CShMApplicationInterfaceImpl::recordTaskActivity(taskId, entry);
}

void CShMAdministratorInterfaceImpl::recordTaskActivity(uint32_t taskId, const std::vector<DatabaseInterfaces::VActivityEntry>& entries) {
    CShMApplicationInterfaceImpl::recordTaskActivity(taskId, entries);
}

void CShMAdministratorInterfaceImpl::removeTaskActivity(uint32_t taskId, const DatabaseInterfaces::isotime& from, const DatabaseInterfaces::isotime& to) {
    CShMApplicationInterfaceImpl::removeTaskActivity(taskId, from, to);
}

void CShMAdministratorInterfaceImpl::getTasksAssociatedToNode(uint32_t nodeId, std::vector<DataObjects::TaskAssociationDataObject>& tasks) {
    CShMApplicationInterfaceImpl::getTasksAssociatedToNode(nodeId, tasks);
}

void CShMAdministratorInterfaceImpl::getMoveReadyTasksAssociatedToNode(uint32_t nodeId, uint32_t maxCount, std::vector<DataObjects::TaskAssociationDataObject>& tasks) {
    CShMApplicationInterfaceImpl::getMoveReadyTasksAssociatedToNode(nodeId, maxCount, tasks);
}

void CShMAdministratorInterfaceImpl::releaseTaskNodeAssociation(uint32_t taskId) {
    CShMApplicationInterfaceImpl::releaseTaskNodeAssociation(taskId);
}

void CShMAdministratorInterfaceImpl::touchTaskNodeAssociationTimestamp(uint32_t taskId) {
    CShMApplicationInterfaceImpl::touchTaskNodeAssociationTimestamp(taskId);
}

uint32_t CShMAdministratorInterfaceImpl::addTaskSecondaryStorage(const DataObjects::SecondaryStorageDataObject& storage) {
    return CShMApplicationInterfaceImpl::addTaskSecondaryStorage(storage);
}

bool CShMAdministratorInterfaceImpl::updateTaskSecondaryStorage(uint32_t taskId, const DataObjects::SecondaryStorageDataObject& storage) {
    return CShMApplicationInterfaceImpl::updateTaskSecondaryStorage(taskId, storage);
}

void CShMAdministratorInterfaceImpl::getTaskSecondaryStorages(uint32_t taskId, DatabaseInterfaces::VBigInt& used, DatabaseInterfaces::VBigInt& allocated) {
    CShMApplicationInterfaceImpl::getTaskSecondaryStorages(taskId, used, allocated);
}

void CShMAdministratorInterfaceImpl::getTaskSecondaryStorages(uint32_t taskId, std::vector<DataObjects::SecondaryStorageDataObject>& storages) {
    CShMApplicationInterfaceImpl::getTaskSecondaryStorages(taskId, storages);
}

void CShMAdministratorInterfaceImpl::removeTaskSecondaryStorages(uint32_t taskId) {
    CShMApplicationInterfaceImpl::removeTaskSecondaryStorages(taskId);
}

bool CShMAdministratorInterfaceImpl::getSecondaryStoragesByPoolGuid(const std::string& poolGuid, DataObjects::SecondaryStorageDataObject& storage) {
    return CShMApplicationInterfaceImpl::getSecondaryStoragesByPoolGuid(poolGuid, storage);
}

std::string CShMAdministratorInterfaceImpl::getTaskHierarchy(std::string taskGuid) {
    return CShMApplicationInterfaceImpl::getTaskHierarchy(taskGuid);
}

std::string CShMAdministratorInterfaceImpl::getTaskHierarchy(uint32_t taskId) {
    return CShMApplicationInterfaceImpl::getTaskHierarchy(taskId);
}

int32_t CShMAdministratorInterfaceImpl::getLatestRevision() {
    return CShMApplicationInterfaceImpl::getLatestRevision();
}

bool CShMAdministratorInterfaceImpl::validateUserForTask(uint32_t userId, uint32_t taskId) {
    return CShMApplicationInterfaceImpl::validateUserForTask(userId, taskId);
}

bool CShMAdministratorInterfaceImpl::getPoolByGuid(const std::string& poolGuid, DataObjects::PoolDataObject& pool) {
    return CShMApplicationInterfaceImpl::getPoolByGuid(poolGuid, pool);
}

void CShMAdministratorInterfaceImpl::getPoolTasks(const std::string& poolGuid, std::vector<DataObjects::TaskDataObject>& tasks) {
    CShMApplicationInterfaceImpl::getPoolTasks(poolGuid, tasks);
}

void CShMAdministratorInterfaceImpl::getTaskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) {
    CShMApplicationInterfaceImpl::getTaskPools(taskId, pools);
}

uint32_t CShMAdministratorInterfaceImpl::registerNodeToCluster(const DataObjects::NodeDataObject& node) {
    return CShMApplicationInterfaceImpl::registerNodeToCluster(node);
}

void CShMAdministratorInterfaceImpl::unregisterNodeFromCluster(const std::string& hostName) {
    CShMApplicationInterfaceImpl::unregisterNodeFromCluster(hostName);
}

void CShMAdministratorInterfaceImpl::getAllScheduledTasks(std::vector<DatabaseInterfaces::ScheduledTask>& tasks) {
    CShMApplicationInterfaceImpl::getAllScheduledTasks(tasks);
}

void CShMAdministratorInterfaceImpl::updateAllScheduledTasks(const std::vector<DatabaseInterfaces::ScheduledTask>& tasks) {
    CShMApplicationInterfaceImpl::updateAllScheduledTasks(tasks);
}

void CShMAdministratorInterfaceImpl::deleteAllScheduledTasks() {
    CShMApplicationInterfaceImpl::deleteAllScheduledTasks();
}

void CShMAdministratorInterfaceImpl::updateScheduledTask(const DatabaseInterfaces::ScheduledTask& task) {
    CShMApplicationInterfaceImpl::updateScheduledTask(task);
}

void CShMAdministratorInterfaceImpl::deleteScheduledTask(const DatabaseInterfaces::ScheduledTask& task) {
    CShMApplicationInterfaceImpl::deleteScheduledTask(task);
}

std::string CShMAdministratorInterfaceImpl::getDatabaseTableModifiedTimestamp(const std::string& database, const std::string& table) {
    return CShMApplicationInterfaceImpl::getDatabaseTableModifiedTimestamp(database, table);
}

std::string CShMAdministratorInterfaceImpl::getVaultScheduledTasksModifiedTimestamp() {
    return CShMApplicationInterfaceImpl::getVaultScheduledTasksModifiedTimestamp();
}

void CShMAdministratorInterfaceImpl::getFileCacheConfiguration(std::vector<DatabaseInterfaces::FileCacheConfigurationObject>& configuration) {
    CShMApplicationInterfaceImpl::getFileCacheConfiguration(configuration);
}

// --- The administrator's own answers ---

void CShMAdministratorInterfaceImpl::getVaults(std::vector<VaultDataObject>& vaults) {
    const std::string vaultId = DBConfig::Instance(false).getVaultID();
    VaultDataObject vault;
    getVault(vaultId, vault);
    vaults.push_back(vault);
}

uint32_t CShMAdministratorInterfaceImpl::addComputer(uint32_t, uint32_t, const ComputerDataObject&) { return 1; }
bool CShMAdministratorInterfaceImpl::updateComputer(const ComputerDataObject&) { return true; }
bool CShMAdministratorInterfaceImpl::updateComputerStorageLocation(const ComputerDataObject&, const std::string&) {
    return true;
}

bool CShMAdministratorInterfaceImpl::getAllComputersByUserID(uint32_t userId, std::vector<ComputerDataObject>& computers) {
    CShMApplicationInterfaceImpl::getLocationComputers(userId, computers);
    return true;
}

bool CShMAdministratorInterfaceImpl::updateTaskSynchFiles(const TaskDataObject&, const std::string&) { return true; }
bool CShMAdministratorInterfaceImpl::updateTaskPrimaryStorage(const TaskDataObject&, const std::string&) { return true; }
bool CShMAdministratorInterfaceImpl::updatePoolStorageLocation(const std::string&, const std::string&,
                                                               DatabaseInterfaces::PoolLocation) {
    return true;
}

bool CShMAdministratorInterfaceImpl::getVaultAliasByGUID(const std::string&, VaultAliasDataObject& alias) {
    alias.vaultId = 1;
    return true;
}

void CShMAdministratorInterfaceImpl::getStorageGroups(DatabaseInterfaces::StorageGroupType,
                                                      std::vector<StorageGroupDataObject>& groups) {
    groups.clear();
    StorageGroupDataObject group;
    group.id = 0;
    group.nodeId = 1;
    group.type = 1;
    group.name = kStorageGroupName;
    groups.push_back(group);
}

void CShMAdministratorInterfaceImpl::getStorageLocations(int32_t storageGroupId,
                                                         std::vector<StorageLocationDataObject>& locations) {
    // One generation for the positions and the folders they name.
    const auto tables = catalogue().snapshot();
    std::vector<std::string> taskGuids;
    std::vector<int32_t> positions;
    tables->listTaskFolders(taskGuids, positions);
    locations.reserve(locations.size() + positions.size());
    for (const int32_t position : positions) {
        StorageLocationDataObject location;
        location.storageGroupId = static_cast<uint32_t>(storageGroupId);
        location.type = 0;
        location.path = tables->getTaskFolderPath(position);
        location.readOnly = false;
        location.priority = kStorageLocationPriority;
        location.enabled = true;
        locations.push_back(location);
    }
}

void CShMAdministratorInterfaceImpl::getStoragePolicy(const std::string& name, StoragePolicyDataObject& policy) {
    policy.id = 1;
    policy.retentionDays = 0;
    policy.copies = 0;
    policy.name = name;
    policy.encrypt = false;
    policy.deduplicate = false;
    policy.replicate = false;
}

void CShMAdministratorInterfaceImpl::getFileTypes(uint32_t, DatabaseInterfaces::FileTypeMap&) {}

bool CShMAdministratorInterfaceImpl::authenticateUser(uint32_t, const std::string&, const std::string&) {
    DatabaseInterfaces::throwNotImplemented();
}

void CShMAdministratorInterfaceImpl::clear() { DatabaseInterfaces::throwNotImplemented(); }
