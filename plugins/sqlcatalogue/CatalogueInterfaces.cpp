// The application and administrator interfaces over a CatalogueStore.
#include "CatalogueInterfaces.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include "CatalogueStore.h"
#include "DatabaseInterfaces/NotImplementedInterfaces.h"
#include "VaultSettings.h"

namespace SqlCatalogue {
namespace {

using namespace DataObjects;
using DatabaseInterfaces::ConfigSourceType;

// Fills what a look-up in the store fills (the stored columns), and nothing
// else of the caller's record, as findNodeOfTask does.
void takeStoredFields(NodeDataObject& to, NodeDataObject& from) {
    to.id = from.id;
    to.hostName = std::move(from.hostName);
    to.address = std::move(from.address);
    to.clusterAddress = std::move(from.clusterAddress);
    to.description = std::move(from.description);
    to.version = std::move(from.version);
    to.platform = std::move(from.platform);
    to.state = from.state;
    to.requestedState = from.requestedState;
    to.primaryStorageGroupId = from.primaryStorageGroupId;
}

// The catalogue reads (and the few writes) of the application interface, on
// top of the stubs of `Stubs`, so that the application and administrator
// interfaces answer alike.
//
// A walk of the catalogue lists a computer's tasks and then asks for each
// task's node. The listing fetches those nodes in the same statement, and
// the next getNodeByTaskId of a listed task is answered from it: the node as
// of the listing, used once. The listing's nodes are dropped at the next
// listing of a computer's tasks and at any write through this interface.
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
        writer().writeSetting(key, value);
    }
    void deleteGlobalSetting(const std::string& key) override { writer().removeSetting(key); }

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
        {
            std::lock_guard<std::mutex> lock(listedMutex_);
            const auto found = listedNodes_.find(taskId);
            if (found != listedNodes_.end()) {
                ListedNode listed = std::move(found->second);
                listedNodes_.erase(found);
                if (listed.found) takeStoredFields(node, listed.node);
                return listed.found;
            }
        }
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
        forgetListedNodes();
        const size_t before = tasks.size();
        std::vector<ListedNode> nodes;
        store_->listTasksWithNodes(computerId, tasks, nodes);
        std::lock_guard<std::mutex> lock(listedMutex_);
        listedNodes_.clear();
        for (size_t i = 0; i < nodes.size() && before + i < tasks.size(); ++i)
            listedNodes_[tasks[before + i].id] = std::move(nodes[i]);
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

    uint32_t registerNodeToCluster(const NodeDataObject& node) override { return writer().addNode(node); }

protected:
    CatalogueStore& store() { return *store_; }
    // The store, for a write: the nodes of the last listing are dropped first.
    CatalogueStore& writer() {
        forgetListedNodes();
        return *store_;
    }

private:
    void forgetListedNodes() {
        std::lock_guard<std::mutex> lock(listedMutex_);
        listedNodes_.clear();
    }

    std::unique_ptr<CatalogueStore> store_;
    std::mutex listedMutex_;
    std::unordered_map<uint32_t, ListedNode> listedNodes_;  // task ID -> its node as of the last listing
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

    uint32_t addVault(const VaultDataObject& vault) override { return writer().addVault(vault); }
    void getVaults(std::vector<VaultDataObject>& vaults) override { store().listVaults(vaults); }
    uint32_t addCustomer(const CustomerDataObject& customer) override { return writer().addCustomer(customer); }
    void getCustomers(std::vector<CustomerDataObject>& customers) override { store().listCustomers(customers); }
    uint32_t addLocation(uint32_t customerId, const LocationDataObject& location) override {
        return writer().addLocation(customerId, location);
    }
    // The computer goes to location `locationId` with agent type
    // `agentTypeId`; the record's own locationId and agentTypeId are ignored.
    uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId, const ComputerDataObject& computer) override {
        return writer().addComputer(locationId, agentTypeId, computer);
    }
    uint32_t addTask(uint32_t computerId, const TaskDataObject& task) override {
        return writer().addTask(computerId, task);
    }
    void removeTask(uint32_t taskId) override { writer().removeTask(taskId); }
    bool updateTask(const TaskDataObject& task) override { return writer().updateTask(task); }
    uint32_t addPool(const PoolDataObject& pool) override { return writer().addPool(pool); }
    bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) override {
        return writer().associateTaskAndPool(taskId, poolGuid);
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
