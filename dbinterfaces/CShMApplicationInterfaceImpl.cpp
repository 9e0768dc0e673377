#include "DbInterfaces/CShMApplicationInterfaceImpl.h"

#include <cctype>
#include <memory>

#include "Catalogue/CShMDBHelper.h"
#include "VaultSettings.h"

const char* const kQuenlithVaultGuid = "a69171a3-953c-4c4d-a02e-dd329993dab0";

namespace {

using namespace DataObjects;

const char* const kNodeAddress = "127.0.0.1";
const char* const kUserText = "xxx";

std::string lowerCased(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

}  // namespace

CShMDBHelper& CShMApplicationInterfaceImpl::catalogue() { return CShMDBHelper::instance(); }

CShMApplicationInterfaceImpl::CShMApplicationInterfaceImpl() { catalogue(); }

CShMApplicationInterfaceImpl::CShMApplicationInterfaceImpl(const CShMApplicationInterfaceImpl& other)
    : ApplicationStubs<DatabaseInterfaces::ApplicationInterface>(other) {
    catalogue();
}

CShMApplicationInterfaceImpl::~CShMApplicationInterfaceImpl() = default;

DatabaseInterfaces::ConfigSourceType CShMApplicationInterfaceImpl::_getGlobalSetting(const std::string&,
                                                                                     std::string& value,
                                                                                     const std::string& defaultValue) {
    value = defaultValue;
    return DatabaseInterfaces::CONFIG_SOURCE_DEFAULT;
}

bool CShMApplicationInterfaceImpl::getVault(const std::string& vaultName, VaultDataObject& vault) {
    vault.name = vaultName;
    vault.id = 1;
    vault.guid = kQuenlithVaultGuid;
    return true;
}

bool CShMApplicationInterfaceImpl::getVault(uint32_t, VaultDataObject& vault) {
    vault.id = 1;
    vault.guid = kQuenlithVaultGuid;
    return true;
}

void CShMApplicationInterfaceImpl::getAllNodes(std::vector<NodeDataObject>& nodes) {
    NodeDataObject node;
    node.id = 1;
    node.hostName = getNodeHostName();
    node.address = kNodeAddress;
    node.clusterAddress = kNodeAddress;
    nodes.push_back(node);
}

bool CShMApplicationInterfaceImpl::getNodeByTaskId(uint32_t, NodeDataObject& node) {
    node.id = 1;
    node.hostName = getNodeHostName();
    return true;
}

void CShMApplicationInterfaceImpl::getAllNodesByObjectId(uint32_t, DatabaseInterfaces::CopyObjectType,
                                                         std::vector<NodeDataObject>& nodes) {
    getAllNodes(nodes);
}

bool CShMApplicationInterfaceImpl::getCustomer(uint32_t, CustomerDataObject&) { return true; }
bool CShMApplicationInterfaceImpl::getCustomerByShortName(std::string, CustomerDataObject&) { return true; }
bool CShMApplicationInterfaceImpl::getLocation(uint32_t, LocationDataObject&) { return true; }

bool CShMApplicationInterfaceImpl::getAccount(uint32_t, VaultAccountDataObject& account) {
    account.id = 1;
    account.customerId = 1;
    account.locationId = 1;
    return true;
}

bool CShMApplicationInterfaceImpl::getAccount(const std::string& accountName, VaultAccountDataObject& account) {
    account.id = 1;
    account.customerId = 1;
    account.locationId = 1;
    const std::string configured = catalogue().getVaultAccount();
    if (configured.empty()) return true;
    return lowerCased(configured) == lowerCased(accountName);
}

bool CShMApplicationInterfaceImpl::getUser(uint32_t, UserDataObject& user) {
    user.userName = catalogue().getVaultUser();
    user.password = catalogue().getVaultPassword();
    user.id = 1;
    user.accountId = 1;
    user.firstName = kUserText;
    user.lastName = kUserText;
    return true;
}

bool CShMApplicationInterfaceImpl::getUser(uint32_t accountId, const std::string&, UserDataObject& user) {
    return CShMApplicationInterfaceImpl::getUser(accountId, user);
}

bool CShMApplicationInterfaceImpl::getComputer(const std::string& computerGuid, ComputerDataObject& computer) {
    computer.id = catalogue().getComputerIdByGuid(computerGuid);
    computer.active = true;
    return true;
}

bool CShMApplicationInterfaceImpl::getComputer(uint32_t computerId, ComputerDataObject& computer) {
    computer.id = computerId;
    computer.active = true;
    return true;
}

void CShMApplicationInterfaceImpl::getLocationComputers(uint32_t, std::vector<ComputerDataObject>& computers) {
    const auto tables = catalogue().snapshot();
    const auto& table = tables->computerTable();
    computers.reserve(computers.size() + table.size());
    for (size_t n = 0; n < table.size(); ++n) {
        ComputerDataObject computer;
        computer.id = static_cast<uint32_t>(n + 1);
        computer.guid = table[n].computerGuid;
        computer.name = tables->getComputerNameByGuid(computer.guid);
        computer.active = true;
        computers.push_back(computer);
    }
}

bool CShMApplicationInterfaceImpl::getAnyComputeruserByUserIdAgentVersion(uint32_t, const std::string&,
                                                                          ComputerUserDataObject& computerUser) {
    computerUser.id = 0;
    return false;
}

bool CShMApplicationInterfaceImpl::getTask(const std::string& taskGuid, TaskDataObject& task) {
    // One generation answers the folder, the name and the computer together,
    // so a refresh in between cannot pair one task's GUID with another's folder.
    const auto tables = catalogue().snapshot();
    task.id = 1;
    task.typeId = 1;
    task.computerId = tables->getComputerIdByTaskGuid(taskGuid);
    task.name = tables->getTaskNameByGuid(taskGuid);
    task.guid = taskGuid;
    task.enabled = true;
    task.visible = true;
    task.taskFolder = tables->getFirstTaskFolder(taskGuid);
    task.aliasGuid = taskGuid;
    return true;
}

bool CShMApplicationInterfaceImpl::getTask(uint32_t, TaskDataObject&) { return true; }

void CShMApplicationInterfaceImpl::getComputerTasks(uint32_t computerId, std::vector<TaskDataObject>& tasks) {
    const std::vector<std::string> guids = catalogue().getComputerTaskGuids(computerId);
    tasks.reserve(tasks.size() + guids.size());
    TaskDataObject task;
    for (const std::string& guid : guids) {
        getTask(guid, task);
        tasks.push_back(task);
    }
}

void CShMApplicationInterfaceImpl::recordTaskActivity(uint32_t, DatabaseInterfaces::VActivityEntry) {}
void CShMApplicationInterfaceImpl::recordTaskActivity(uint32_t, const std::vector<DatabaseInterfaces::VActivityEntry>&) {}

void CShMApplicationInterfaceImpl::getTasksAssociatedToNode(uint32_t, std::vector<TaskAssociationDataObject>& tasks) {
    tasks.clear();
}

void CShMApplicationInterfaceImpl::getMoveReadyTasksAssociatedToNode(uint32_t, uint32_t,
                                                                     std::vector<TaskAssociationDataObject>& tasks) {
    tasks.clear();
}

void CShMApplicationInterfaceImpl::releaseTaskNodeAssociation(uint32_t) {}
void CShMApplicationInterfaceImpl::touchTaskNodeAssociationTimestamp(uint32_t) {}

bool CShMApplicationInterfaceImpl::getSecondaryStoragesByPoolGuid(const std::string& poolGuid,
                                                                  SecondaryStorageDataObject& storage) {
    const auto tables = catalogue().snapshot();
    const Catalogue::PoolEntry* pool = tables->findPool(poolGuid);
    if (pool == nullptr) return false;
    storage.poolGuid = pool->poolGuid;
    storage.folder = pool->poolFolder;
    return true;
}

std::string CShMApplicationInterfaceImpl::getTaskHierarchy(std::string) { return std::string(); }
std::string CShMApplicationInterfaceImpl::getTaskHierarchy(uint32_t) { return std::string(); }

bool CShMApplicationInterfaceImpl::validateUserForTask(uint32_t, uint32_t) { return true; }

bool CShMApplicationInterfaceImpl::getPoolByGuid(const std::string& poolGuid, PoolDataObject& pool) {
    const auto tables = catalogue().snapshot();
    const Catalogue::PoolEntry* entry = tables->findPool(poolGuid);
    if (entry == nullptr) return false;
    pool.guid = entry->poolGuid;
    // A caller's record with fewer than two folder entries is grown rather
    // than written past its end.
    if (pool.folders.size() < 2) pool.folders.resize(2);
    pool.folders[1] = entry->poolFolder;
    pool.folders[0] = entry->poolFolder;
    return true;
}

void CShMApplicationInterfaceImpl::getTaskPools(uint32_t, std::vector<PoolDataObject>& pools) {
    const auto tables = catalogue().snapshot();
    // One default record (its constructor reads "PoolVersion") copied per pool.
    const PoolDataObject fresh;
    pools.reserve(pools.size() + tables->poolTable().size());
    for (const Catalogue::PoolEntry& entry : tables->poolTable()) {
        PoolDataObject pool = fresh;
        pool.guid = entry.poolGuid;
        pool.folders[0] = entry.poolFolder;
        pool.folders[1] = entry.poolFolder;
        pools.push_back(pool);
    }
}

void CShMApplicationInterfaceImpl::getFileCacheConfiguration(std::vector<DatabaseInterfaces::FileCacheConfigurationObject>&) {}
