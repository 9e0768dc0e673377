// The storage behind the catalogue interfaces, so that another database (a
// server) can replace the SQLite file without touching the interfaces.
//
// Rules for every operation:
// - find* fills the record and returns true, or returns false and leaves the
//   record untouched.
// - list* APPENDS to the caller's list, in ascending ID order.
// - add* stores a new record, ignoring the record's own id, and returns the
//   new ID (1, 2, 3, ... per table); it raises std::runtime_error when the
//   parent record is missing or the table has no 32-bit ID left.
// - Each write is one transaction: it happens completely or not at all.
// - Failures of the database raise std::runtime_error naming the database.
// Implementations are safe to call from several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"

namespace SqlCatalogue {

// The node a task is bound to, as a listing of tasks found it.
struct ListedNode {
    bool found = false;  // false: the task is bound to no node (or to none that exists)
    DataObjects::NodeDataObject node;
};

class CatalogueStore {
public:
    virtual ~CatalogueStore() = default;

    virtual bool findVaultByName(const std::string& name, DataObjects::VaultDataObject& vault) = 0;
    virtual bool findVaultById(uint32_t id, DataObjects::VaultDataObject& vault) = 0;
    virtual void listVaults(std::vector<DataObjects::VaultDataObject>& vaults) = 0;

    virtual bool findNodeById(uint32_t id, DataObjects::NodeDataObject& node) = 0;
    // Host names compare ignoring ASCII letter case.
    virtual bool findNodeByHostName(const std::string& hostName, DataObjects::NodeDataObject& node) = 0;
    // The node the task is bound to; false when the task is unknown or bound
    // to no node.
    virtual bool findNodeOfTask(uint32_t taskId, DataObjects::NodeDataObject& node) = 0;
    virtual void listNodes(std::vector<DataObjects::NodeDataObject>& nodes) = 0;

    virtual bool findCustomer(uint32_t id, DataObjects::CustomerDataObject& customer) = 0;
    virtual void listCustomers(std::vector<DataObjects::CustomerDataObject>& customers) = 0;
    virtual bool findLocation(uint32_t id, DataObjects::LocationDataObject& location) = 0;
    virtual void listLocations(uint32_t customerId, std::vector<DataObjects::LocationDataObject>& locations) = 0;

    virtual bool findComputerById(uint32_t id, DataObjects::ComputerDataObject& computer) = 0;
    // GUIDs of computers and tasks compare byte for byte.
    virtual bool findComputerByGuid(const std::string& guid, DataObjects::ComputerDataObject& computer) = 0;
    virtual void listComputers(uint32_t locationId, std::vector<DataObjects::ComputerDataObject>& computers) = 0;

    virtual bool findTaskById(uint32_t id, DataObjects::TaskDataObject& task) = 0;
    virtual bool findTaskByGuid(const std::string& guid, DataObjects::TaskDataObject& task) = 0;
    virtual void listTasks(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks) = 0;
    // listTasks, and in the same statement each listed task's node: appends
    // to `nodes` one entry per task appended to `tasks`, in the same order,
    // as findNodeOfTask would have answered at that moment.
    virtual void listTasksWithNodes(uint32_t computerId, std::vector<DataObjects::TaskDataObject>& tasks,
                                    std::vector<ListedNode>& nodes) = 0;
    virtual void listAllTasks(std::vector<DataObjects::TaskDataObject>& tasks) = 0;
    // "Customer 'C' / Location 'L' / Computer 'M' / Task 'T'", or "" when the
    // task is unknown.
    virtual std::string taskHierarchyById(uint32_t taskId) = 0;
    virtual std::string taskHierarchyByGuid(const std::string& taskGuid) = 0;

    // Pool GUIDs compare ignoring ASCII letter case.
    virtual bool findPoolByGuid(const std::string& guid, DataObjects::PoolDataObject& pool) = 0;
    virtual void listPoolTasks(const std::string& poolGuid, std::vector<DataObjects::TaskDataObject>& tasks) = 0;
    virtual void listTaskPools(uint32_t taskId, std::vector<DataObjects::PoolDataObject>& pools) = 0;

    // False when the key has no value.
    virtual bool readSetting(const std::string& key, std::string& value) = 0;
    virtual void writeSetting(const std::string& key, const std::string& value) = 0;
    virtual void removeSetting(const std::string& key) = 0;

    virtual uint32_t addVault(const DataObjects::VaultDataObject& vault) = 0;
    // A host name that is registered already keeps its record; its ID is
    // returned.
    virtual uint32_t addNode(const DataObjects::NodeDataObject& node) = 0;
    virtual uint32_t addCustomer(const DataObjects::CustomerDataObject& customer) = 0;
    virtual uint32_t addLocation(uint32_t customerId, const DataObjects::LocationDataObject& location) = 0;
    virtual uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId,
                                 const DataObjects::ComputerDataObject& computer) = 0;
    virtual uint32_t addTask(uint32_t computerId, const DataObjects::TaskDataObject& task) = 0;
    // A pool GUID already in the catalogue (in any letter case) is refused.
    virtual uint32_t addPool(const DataObjects::PoolDataObject& pool) = 0;
    // False when the task or the pool is unknown; true also when they were
    // associated already.
    virtual bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) = 0;
    // Rewrites the task with the record's id; false when there is none.
    virtual bool updateTask(const DataObjects::TaskDataObject& task) = 0;
    // Removes the task and its pool associations; an unknown ID is no error.
    virtual void removeTask(uint32_t taskId) = 0;

    // True when the database passes its integrity check.
    virtual bool checkIntegrity() = 0;
};

// The SQLite file at `path`. The file is opened on first use: a read raises
// "catalogue database '<path>' does not exist" when it is missing, a write
// creates it. Every open brings the file to the current schema version. The
// connection is taken from the SQLite pool when one there still has the file
// that `path` names, and given back when the store is destroyed.
std::unique_ptr<CatalogueStore> openSqliteCatalogue(const std::string& path);

// The catalogue in a database on a PostgreSQL server, reached with the libpq
// connection string `conninfo`. The connection is made on first use (and made
// again after the server was lost); every connection brings the database to
// the current schema version. Errors name the database and the server, never
// the password. The connection is taken from the PostgreSQL pool when one
// there for the same `conninfo` is still in its session with nothing pending,
// and given back when the store is destroyed.
std::unique_ptr<CatalogueStore> openPostgresCatalogue(const std::string& conninfo);

// The connections the stores keep between interfaces (ConnectionPool.h):
// one pool for SQLite files, one for PostgreSQL servers.
enum class PoolAction {
    Open,                 // keep connections again after Close
    Close,                // close the idle ones and keep none until Open
    ForgetVerifications,  // every connection checks its schema again before its next use
};
void controlSqlitePool(PoolAction action);
void controlPostgresPool(PoolAction action);
// Both pools.
void controlConnectionPools(PoolAction action);
// How many connections wait in each pool (for tests).
size_t idleSqliteConnections();
size_t idlePostgresConnections();

// The store the node configuration chooses: [database] Backend "sqlite" (the
// default) opens the SQLite file `databaseFile`, "postgresql" the database
// that [database] Connection names. Letter case of the backend is ignored;
// any other value raises std::runtime_error.
std::unique_ptr<CatalogueStore> openConfiguredCatalogue(const std::string& databaseFile);

}  // namespace SqlCatalogue
