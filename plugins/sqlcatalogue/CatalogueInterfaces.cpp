// The application and administrator interfaces over a CatalogueStore.
#include "CatalogueInterfaces.h"

#include <memory>

#include "CatalogueStore.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"
#include "VaultSettings.h"

namespace SqlCatalogue {
namespace {

using namespace DataObjects;
using DatabaseInterfaces::ConfigSourceType;

// The catalogue reads (and the few writes) of the application interface, on
// top of the stubs of `Stubs`, so that the application and administrator
// interfaces answer alike.
template <class Stubs>
class CatalogueOperations : public Stubs {
public:
    explicit CatalogueOperations(std::unique_ptr<CatalogueStore> store) : store_(std::move(store)) {}

    ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value,
                                       const std::string& defaultValue) override {
        std::string stored;
        if (store_->readSetting(key, stored)) {
            value = stored;
            return DatabaseInterfaces::CONFIG_SOURCE_DATABASE;
        }
        value = defaultValue;
        return DatabaseInterfaces::CONFIG_SOURCE_DEFAULT;
    }
    void _updateGlobalSetting(const std::string& key, const std::string& value) override {
        store_->writeSetting(key, value);
    }
    void deleteGlobalSetting(const std::string& key) override { store_->removeSetting(key); }

    bool getVault(const std::string& vaultName, VaultDataObject& vault) override {
        return store_->findVaultByName(vaultName, vault);
    }
    bool getVault(uint32_t vaultId, VaultDataObject& vault) override { return store_->findVaultById(vaultId, vault); }

    uint32_t getThisNodeId() override {
        NodeDataObject node;
        return store_->findNodeByHostName(getNodeHostName(), node) ? node.id : 0;
    }
    bool getNodeById(uint32_t nodeId, NodeDataObject& node) override { return store_->findNodeById(nodeId, node); }
    bool getNodeByHostName(const std::string& hostName, NodeDataObject& node) override {
        return store_->findNodeByHostName(hostName, node);
    }
    void getAllNodes(std::vector<NodeDataObject>& nodes) override { store_->listNodes(nodes); }
    bool getNodeByTaskId(uint32_t taskId, NodeDataObject& node) override {
        return store_->findNodeOfTask(taskId, node);
    }

    bool getCustomer(uint32_t customerId, CustomerDataObject& customer) override {
        return store_->findCustomer(customerId, customer);
    }
    void getCustomerLocations(uint32_t customerId, std::vector<LocationDataObject>& locations) override {
        store_->listLocations(customerId, locations);
    }
    bool getLocation(uint32_t locationId, LocationDataObject& location) override {
        return store_->findLocation(locationId, location);
    }

    bool getComputer(const std::string& computerGuid, ComputerDataObject& computer) override {
        return store_->findComputerByGuid(computerGuid, computer);
    }
    bool getComputer(uint32_t computerId, ComputerDataObject& computer) override {
        return store_->findComputerById(computerId, computer);
    }
    void getLocationComputers(uint32_t locationId, std::vector<ComputerDataObject>& computers) override {
        store_->listComputers(locationId, computers);
    }

    bool getTask(const std::string& taskGuid, TaskDataObject& task) override {
        return store_->findTaskByGuid(taskGuid, task);
    }
    bool getTask(uint32_t taskId, TaskDataObject& task) override { return store_->findTaskById(taskId, task); }
    void getComputerTasks(uint32_t computerId, std::vector<TaskDataObject>& tasks) override {
        store_->listTasks(computerId, tasks);
    }
    // The catalogue holds one vault's tasks: all of them belong to any vault
    // it holds; an unknown vault ID has none.
    void getAllTaskList(uint32_t vaultId, std::vector<TaskDataObject>& tasks, bool) override {
        VaultDataObject vault;
        if (store_->findVaultById(vaultId, vault)) store_->listAllTasks(tasks);
    }

    std::string getTaskHierarchy(std::string taskGuid) override { return store_->taskHierarchyByGuid(taskGuid); }
    std::string getTaskHierarchy(uint32_t taskId) override { return store_->taskHierarchyById(taskId); }

    bool getPoolByGuid(const std::string& poolGuid, PoolDataObject& pool) override {
        return store_->findPoolByGuid(poolGuid, pool);
    }
    void getPoolTasks(const std::string& poolGuid, std::vector<TaskDataObject>& tasks) override {
        store_->listPoolTasks(poolGuid, tasks);
    }
    void getTaskPools(uint32_t taskId, std::vector<PoolDataObject>& pools) override {
        store_->listTaskPools(taskId, pools);
    }

    uint32_t registerNodeToCluster(const NodeDataObject& node) override { return store_->addNode(node); }

protected:
    CatalogueStore& store() { return *store_; }

private:
    std::unique_ptr<CatalogueStore> store_;
};

class SqlApplicationInterface final
    : public CatalogueOperations<DatabaseInterfaces::NotImplementedApplicationInterface> {
public:
    using CatalogueOperations::CatalogueOperations;
};

class SqlAdministratorInterface final
    : public CatalogueOperations<DatabaseInterfaces::NotImplementedAdministratorInterface> {
public:
    using CatalogueOperations::CatalogueOperations;

    uint32_t addVault(const VaultDataObject& vault) override { return store().addVault(vault); }
    void getVaults(std::vector<VaultDataObject>& vaults) override { store().listVaults(vaults); }
    uint32_t addCustomer(const CustomerDataObject& customer) override { return store().addCustomer(customer); }
    void getCustomers(std::vector<CustomerDataObject>& customers) override { store().listCustomers(customers); }
    uint32_t addLocation(uint32_t customerId, const LocationDataObject& location) override {
        return store().addLocation(customerId, location);
    }
    // The computer goes to location `locationId` with agent type
    // `agentTypeId`; the record's own locationId and agentTypeId are ignored.
    uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId, const ComputerDataObject& computer) override {
        return store().addComputer(locationId, agentTypeId, computer);
    }
    uint32_t addTask(uint32_t computerId, const TaskDataObject& task) override {
        return store().addTask(computerId, task);
    }
    void removeTask(uint32_t taskId) override { store().removeTask(taskId); }
    bool updateTask(const TaskDataObject& task) override { return store().updateTask(task); }
    uint32_t addPool(const PoolDataObject& pool) override { return store().addPool(pool); }
    bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) override {
        return store().associateTaskAndPool(taskId, poolGuid);
    }
};

}  // namespace

DatabaseInterfaces::ApplicationInterface* newApplicationInterface(const std::string& databaseFile) {
    return new SqlApplicationInterface(openConfiguredCatalogue(databaseFile));
}

DatabaseInterfaces::AdministratorInterface* newAdministratorInterface(const std::string& databaseFile) {
    return new SqlAdministratorInterface(openConfiguredCatalogue(databaseFile));
}

}  // namespace SqlCatalogue
