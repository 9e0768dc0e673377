// The catalogue store on a PostgreSQL server: one connection, guarded by a
// mutex, taken on first use (from the process's pool, or connected afresh)
// and again after the server was lost; a connection still in its session
// goes back to the pool when the store ends (ConnectionPool.h).
// Every read is one statement, so it sees one consistent state of the
// catalogue; every write is one transaction. Row layouts and answers are
// those of the SQLite store.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <pthread.h>

#include "CatalogueStore.h"
#include "ConnectionPool.h"
#include "PgCatalogueSchema.h"
#include "PgConnection.h"

namespace SqlCatalogue {
namespace {

using namespace DataObjects;

// Column lists, with the table aliases every query uses (v, n, c, l, m, t, p).
const std::string kVaultColumns = "v.id, v.name, v.description, v.address, v.version, v.node_count, v.flags, v.guid";
const std::string kNodeColumns =
    "n.id, n.host_name, n.address, n.cluster_address, n.description, n.version, n.platform, n.state, "
    "n.requested_state, n.primary_storage_group_id";
const std::string kCustomerColumns = "c.id, c.name, c.short_name, c.reference, c.contact, c.status";
const std::string kLocationColumns = "l.id, l.customer_id, l.name, l.reference, l.address, l.status";
const std::string kComputerColumns =
    "m.id, m.location_id, m.agent_type_id, m.name, m.description, m.host_name, m.operating_system, "
    "m.agent_version, m.contact, m.notes, m.status, m.licence_count, m.node_name, m.storage_group_type, m.guid, "
    "m.active";
const std::string kTaskColumns =
    "t.id, t.type_id, t.computer_id, t.name, t.storage_policy_id, t.billing_code_id, t.description, t.guid, "
    "t.status, t.enabled, t.visible, t.node_id, t.suspect, t.pool_guid, t.task_folder, t.storage_group_type, "
    "t.alias_guid, t.original_size, t.revision";
const std::string kPoolColumns =
    "p.id, p.guid, p.secondary, p.pool_version, p.storage_group_id, p.task_count, p.flags, p.revision, "
    "p.folder0, p.folder1, p.folder2";

void read(const PgResult& s, int i, VaultDataObject& r) {
    r.id = s.u32(i, 0); r.name = s.text(i, 1); r.description = s.text(i, 2); r.address = s.text(i, 3);
    r.version = s.text(i, 4); r.nodeCount = s.u32(i, 5); r.flags = s.u32(i, 6); r.guid = s.text(i, 7);
}
// A node's columns from column `o` on (0, or after a task's columns).
void read(const PgResult& s, int i, NodeDataObject& r, int o = 0) {
    r.id = s.u32(i, o + 0); r.hostName = s.text(i, o + 1); r.address = s.text(i, o + 2);
    r.clusterAddress = s.text(i, o + 3); r.description = s.text(i, o + 4); r.version = s.text(i, o + 5);
    r.platform = s.text(i, o + 6); r.state = s.u32(i, o + 7); r.requestedState = s.u32(i, o + 8);
    r.primaryStorageGroupId = s.u32(i, o + 9);
}
constexpr int kTaskColumnCount = 19;
void read(const PgResult& s, int i, CustomerDataObject& r) {
    r.id = s.u32(i, 0); r.name = s.text(i, 1); r.shortName = s.text(i, 2); r.reference = s.text(i, 3);
    r.contact = s.text(i, 4); r.status = s.u32(i, 5);
}
void read(const PgResult& s, int i, LocationDataObject& r) {
    r.id = s.u32(i, 0); r.customerId = s.u32(i, 1); r.name = s.text(i, 2); r.reference = s.text(i, 3);
    r.address = s.text(i, 4); r.status = s.u32(i, 5);
}
void read(const PgResult& s, int i, ComputerDataObject& r) {
    r.id = s.u32(i, 0); r.locationId = s.u32(i, 1); r.agentTypeId = s.u32(i, 2); r.name = s.text(i, 3);
    r.description = s.text(i, 4); r.hostName = s.text(i, 5); r.operatingSystem = s.text(i, 6);
    r.agentVersion = s.text(i, 7); r.contact = s.text(i, 8); r.notes = s.text(i, 9); r.status = s.u32(i, 10);
    r.licenceCount = s.u32(i, 11); r.nodeName = s.text(i, 12); r.storageGroupType = s.u32(i, 13);
    r.guid = s.text(i, 14); r.active = s.flag(i, 15);
}
void read(const PgResult& s, int i, TaskDataObject& r) {
    r.id = s.u32(i, 0); r.typeId = s.u32(i, 1); r.computerId = s.u32(i, 2); r.name = s.text(i, 3);
    r.storagePolicyId = s.u32(i, 4); r.billingCodeId = s.u32(i, 5); r.description = s.text(i, 6);
    r.guid = s.text(i, 7); r.status = s.u32(i, 8); r.enabled = s.flag(i, 9); r.visible = s.flag(i, 10);
    r.nodeId = s.u32(i, 11); r.suspect = s.flag(i, 12); r.poolGuid = s.text(i, 13); r.taskFolder = s.text(i, 14);
    r.storageGroupType = s.u32(i, 15); r.aliasGuid = s.text(i, 16);
    r.originalSize = static_cast<uint64_t>(s.i64(i, 17)); r.revision = s.u32(i, 18);
}
void read(const PgResult& s, int i, PoolDataObject& r) {
    r.id = s.u32(i, 0); r.guid = s.text(i, 1); r.secondary = s.flag(i, 2); r.poolVersion = s.u32(i, 3);
    r.storageGroupId = s.u32(i, 4); r.taskCount = s.u32(i, 5); r.flags = s.u32(i, 6); r.revision = s.u32(i, 7);
    if (r.folders.size() < 3) r.folders.resize(3);
    r.folders[0] = s.text(i, 8); r.folders[1] = s.text(i, 9); r.folders[2] = s.text(i, 10);
}

// The task's own fields (everything but id and computer), as $1 to $17.
PgParams taskFields(const TaskDataObject& t) {
    PgParams p;
    p.add(t.typeId).add(t.name).add(t.storagePolicyId).add(t.billingCodeId).add(t.description).add(t.guid)
        .add(t.status).add(t.enabled).add(t.visible);
    if (t.nodeId == 0) p.addNull(); else p.add(t.nodeId);
    p.add(t.suspect).add(t.poolGuid).add(t.taskFolder).add(t.storageGroupType).add(t.aliasGuid)
        .add(static_cast<int64_t>(t.originalSize)).add(t.revision);
    return p;
}
const char* const kTaskFieldList =
    "type_id, name, storage_policy_id, billing_code_id, description, guid, status, enabled, visible, node_id, "
    "suspect, pool_guid, task_folder, storage_group_type, alias_guid, original_size, revision";

std::string folderAt(const PoolDataObject& pool, size_t index) {
    return index < pool.folders.size() ? pool.folders[index] : std::string();
}

// The next ID of a table, 1, 2, 3, ... as in the SQLite file: one more than
// the highest. The caller holds the table's insert lock (write).
std::string nextId(const char* table) {
    return std::string("(SELECT COALESCE(MAX(id), 0) + 1 FROM ") + table + ")";
}

// One connection and when its schema was last checked.
struct PgSession {
    std::unique_ptr<PgConnection> connection;
    uint64_t verifiedAt = 0;  // the pool's verification generation; 0: never
};

// A few idle sessions at most, none idle for long: each is a server process.
constexpr size_t kMaxIdleConnections = 8;
constexpr std::chrono::seconds kMaxIdleTime{5};

ConnectionPool<PgSession>& postgresPool() {
    // Never destroyed, so that stores ending during exit still find it; the
    // idle sessions are ended at exit.
    static ConnectionPool<PgSession>* const pool = [] {
        auto* created = new ConnectionPool<PgSession>(kMaxIdleConnections, kMaxIdleTime);
        std::atexit([] { postgresPool().close(); });
        ::pthread_atfork([] { postgresPool().beforeFork(); }, [] { postgresPool().afterFork(); },
                         [] { postgresPool().afterFork(); });
        return created;
    }();
    return *pool;
}

class PgCatalogueStore final : public CatalogueStore {
public:
    explicit PgCatalogueStore(std::string conninfo) : conninfo_(std::move(conninfo)) {}
    ~PgCatalogueStore() override {
        if (session_ && session_->connection->reusable()) postgresPool().giveBack(conninfo_, std::move(session_));
    }
    PgCatalogueStore(const PgCatalogueStore&) = delete;
    PgCatalogueStore& operator=(const PgCatalogueStore&) = delete;

    bool findVaultByName(const std::string& name, VaultDataObject& vault) override {
        return findOne("SELECT " + kVaultColumns + " FROM vault v WHERE v.name = $1 ORDER BY v.id LIMIT 1",
                       PgParams().add(name), vault);
    }
    bool findVaultById(uint32_t id, VaultDataObject& vault) override {
        return findOne("SELECT " + kVaultColumns + " FROM vault v WHERE v.id = $1", PgParams().add(id), vault);
    }
    void listVaults(std::vector<VaultDataObject>& vaults) override {
        list("SELECT " + kVaultColumns + " FROM vault v ORDER BY v.id", PgParams(), vaults);
    }

    bool findNodeById(uint32_t id, NodeDataObject& node) override {
        static const PgStatement sql("SELECT " + kNodeColumns + " FROM node n WHERE n.id = $1");
        return findOne(sql, PgParams().add(id), node);
    }
    bool findNodeByHostName(const std::string& hostName, NodeDataObject& node) override {
        return findOne("SELECT " + kNodeColumns +
                           " FROM node n WHERE lower(n.host_name) = lower($1 COLLATE \"C\") ORDER BY n.id LIMIT 1",
                       PgParams().add(hostName), node);
    }
    bool findNodeOfTask(uint32_t taskId, NodeDataObject& node) override {
        static const PgStatement sql("SELECT " + kNodeColumns +
                                     " FROM task t JOIN node n ON n.id = t.node_id WHERE t.id = $1");
        return findOne(sql, PgParams().add(taskId), node);
    }
    void listNodes(std::vector<NodeDataObject>& nodes) override {
        list("SELECT " + kNodeColumns + " FROM node n ORDER BY n.id", PgParams(), nodes);
    }

    bool findCustomer(uint32_t id, CustomerDataObject& customer) override {
        return findOne("SELECT " + kCustomerColumns + " FROM customer c WHERE c.id = $1", PgParams().add(id),
                       customer);
    }
    void listCustomers(std::vector<CustomerDataObject>& customers) override {
        static const PgStatement sql("SELECT " + kCustomerColumns + " FROM customer c ORDER BY c.id");
        list(sql, PgParams(), customers);
    }
    bool findLocation(uint32_t id, LocationDataObject& location) override {
        return findOne("SELECT " + kLocationColumns + " FROM location l WHERE l.id = $1", PgParams().add(id),
                       location);
    }
    void listLocations(uint32_t customerId, std::vector<LocationDataObject>& locations) override {
        static const PgStatement sql("SELECT " + kLocationColumns +
                                     " FROM location l WHERE l.customer_id = $1 ORDER BY l.id");
        list(sql, PgParams().add(customerId), locations);
    }

    bool findComputerById(uint32_t id, ComputerDataObject& computer) override {
        return findOne("SELECT " + kComputerColumns + " FROM computer m WHERE m.id = $1", PgParams().add(id),
                       computer);
    }
    bool findComputerByGuid(const std::string& guid, ComputerDataObject& computer) override {
        return findOne("SELECT " + kComputerColumns + " FROM computer m WHERE m.guid = $1 ORDER BY m.id LIMIT 1",
                       PgParams().add(guid), computer);
    }
    void listComputers(uint32_t locationId, std::vector<ComputerDataObject>& computers) override {
        static const PgStatement sql("SELECT " + kComputerColumns +
                                     " FROM computer m WHERE m.location_id = $1 ORDER BY m.id");
        list(sql, PgParams().add(locationId), computers);
    }

    bool findTaskById(uint32_t id, TaskDataObject& task) override {
        static const PgStatement sql("SELECT " + kTaskColumns + " FROM task t WHERE t.id = $1");
        return findOne(sql, PgParams().add(id), task);
    }
    bool findTaskByGuid(const std::string& guid, TaskDataObject& task) override {
        return findOne("SELECT " + kTaskColumns + " FROM task t WHERE t.guid = $1 ORDER BY t.id LIMIT 1",
                       PgParams().add(guid), task);
    }
    void listTasks(uint32_t computerId, std::vector<TaskDataObject>& tasks) override {
        static const PgStatement sql("SELECT " + kTaskColumns + " FROM task t WHERE t.computer_id = $1 ORDER BY t.id");
        list(sql, PgParams().add(computerId), tasks);
    }
    void listTasksWithNodes(uint32_t computerId, std::vector<TaskDataObject>& tasks,
                            std::vector<ListedNode>& nodes) override {
        // A task whose node_id names no node gets a row of NULLs, read as
        // "no node", as findNodeOfTask's inner join would answer.
        static const PgStatement sql("SELECT " + kTaskColumns + ", " + kNodeColumns +
                                     " FROM task t LEFT JOIN node n ON n.id = t.node_id"
                                     " WHERE t.computer_id = $1 ORDER BY t.id");
        query([&](PgConnection& db) {
            PgResult s = db.run(sql, PgParams().add(computerId));
            const size_t count = static_cast<size_t>(s.rows());
            std::vector<TaskDataObject> rows(count);
            std::vector<ListedNode> found(count);
            for (int i = 0; i < s.rows(); ++i) {
                read(s, i, rows[static_cast<size_t>(i)]);
                ListedNode& node = found[static_cast<size_t>(i)];
                node.found = !s.isNull(i, kTaskColumnCount);
                if (node.found) read(s, i, node.node, kTaskColumnCount);
            }
            tasks.reserve(tasks.size() + count);
            nodes.reserve(nodes.size() + count);
            tasks.insert(tasks.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
            nodes.insert(nodes.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
            return 0;
        });
    }
    void listAllTasks(std::vector<TaskDataObject>& tasks) override {
        list("SELECT " + kTaskColumns + " FROM task t ORDER BY t.id", PgParams(), tasks);
    }
    std::string taskHierarchyById(uint32_t taskId) override {
        return hierarchy("t.id = $1", PgParams().add(taskId));
    }
    std::string taskHierarchyByGuid(const std::string& taskGuid) override {
        return hierarchy("t.guid = $1", PgParams().add(taskGuid));
    }

    bool findPoolByGuid(const std::string& guid, PoolDataObject& pool) override {
        return findOne("SELECT " + kPoolColumns + " FROM pool p WHERE lower(p.guid) = lower($1 COLLATE \"C\")",
                       PgParams().add(guid), pool);
    }
    void listPoolTasks(const std::string& poolGuid, std::vector<TaskDataObject>& tasks) override {
        list("SELECT " + kTaskColumns +
                 " FROM pool p JOIN task_pool a ON a.pool_id = p.id JOIN task t ON t.id = a.task_id"
                 " WHERE lower(p.guid) = lower($1 COLLATE \"C\") ORDER BY t.id",
             PgParams().add(poolGuid), tasks);
    }
    void listTaskPools(uint32_t taskId, std::vector<PoolDataObject>& pools) override {
        list("SELECT " + kPoolColumns +
                 " FROM task_pool a JOIN pool p ON p.id = a.pool_id WHERE a.task_id = $1 ORDER BY p.id",
             PgParams().add(taskId), pools);
    }

    bool readSetting(const std::string& key, std::string& value) override {
        return query([&](PgConnection& db) {
            PgResult s = db.run("SELECT value FROM setting WHERE key = $1", PgParams().add(key));
            if (s.rows() == 0) return false;
            value = s.text(0, 0);
            return true;
        });
    }
    void writeSetting(const std::string& key, const std::string& value) override {
        query([&](PgConnection& db) {
            db.run("INSERT INTO setting(key, value) VALUES ($1, $2) ON CONFLICT(key) DO UPDATE SET value = $2",
                   PgParams().add(key).add(value));
            return 0;
        });
    }
    void removeSetting(const std::string& key) override {
        query([&](PgConnection& db) {
            db.run("DELETE FROM setting WHERE key = $1", PgParams().add(key));
            return 0;
        });
    }

    uint32_t addVault(const VaultDataObject& v) override {
        return write("vault", [&](PgConnection& db) {
            return newId(db, "vault",
                         db.run("INSERT INTO vault(id, name, description, address, version, node_count, flags, guid)"
                                " VALUES (" + nextId("vault") + ", $1, $2, $3, $4, $5, $6, $7) RETURNING id",
                                PgParams().add(v.name).add(v.description).add(v.address).add(v.version)
                                    .add(v.nodeCount).add(v.flags).add(v.guid)));
        });
    }
    uint32_t addNode(const NodeDataObject& n) override {
        // The table's lock also keeps two nodes registering the same host
        // name at once from adding it twice.
        return write("node", [&](PgConnection& db) {
            PgResult existing = db.run(
                "SELECT id FROM node WHERE lower(host_name) = lower($1 COLLATE \"C\") ORDER BY id LIMIT 1",
                PgParams().add(n.hostName));
            if (existing.rows() > 0) return existing.u32(0, 0);
            return newId(db, "node",
                         db.run("INSERT INTO node(id, host_name, address, cluster_address, description, version,"
                                " platform, state, requested_state, primary_storage_group_id) VALUES (" +
                                    nextId("node") + ", $1, $2, $3, $4, $5, $6, $7, $8, $9) RETURNING id",
                                PgParams().add(n.hostName).add(n.address).add(n.clusterAddress).add(n.description)
                                    .add(n.version).add(n.platform).add(n.state).add(n.requestedState)
                                    .add(n.primaryStorageGroupId)));
        });
    }
    uint32_t addCustomer(const CustomerDataObject& c) override {
        return write("customer", [&](PgConnection& db) {
            return newId(db, "customer",
                         db.run("INSERT INTO customer(id, name, short_name, reference, contact, status) VALUES (" +
                                    nextId("customer") + ", $1, $2, $3, $4, $5) RETURNING id",
                                PgParams().add(c.name).add(c.shortName).add(c.reference).add(c.contact)
                                    .add(c.status)));
        });
    }
    uint32_t addLocation(uint32_t customerId, const LocationDataObject& l) override {
        return write("location", [&](PgConnection& db) {
            PgResult inserted =
                db.run("INSERT INTO location(id, customer_id, name, reference, address, status) SELECT " +
                           nextId("location") + ", $1::bigint, $2::text, $3::text, $4::text, $5::bigint"
                           " WHERE EXISTS (SELECT 1 FROM customer WHERE id = $1::bigint) RETURNING id",
                       PgParams().add(customerId).add(l.name).add(l.reference).add(l.address).add(l.status));
            if (inserted.rows() == 0) requireRow(db, "SELECT 1 FROM customer WHERE id = $1", customerId, "customer");
            return newId(db, "location", inserted);
        });
    }
    uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId, const ComputerDataObject& m) override {
        return write("computer", [&](PgConnection& db) {
            PgResult inserted = db.run(
                "INSERT INTO computer(id, location_id, agent_type_id, name, description, host_name,"
                " operating_system, agent_version, contact, notes, status, licence_count, node_name,"
                " storage_group_type, guid, active) SELECT " +
                    nextId("computer") +
                    ", $1::bigint, $2::bigint, $3::text, $4::text, $5::text, $6::text, $7::text, $8::text, $9::text,"
                    " $10::bigint, $11::bigint, $12::text, $13::bigint, $14::text, $15::bigint"
                    " WHERE EXISTS (SELECT 1 FROM location WHERE id = $1::bigint) RETURNING id",
                PgParams().add(locationId).add(agentTypeId).add(m.name).add(m.description).add(m.hostName)
                    .add(m.operatingSystem).add(m.agentVersion).add(m.contact).add(m.notes).add(m.status)
                    .add(m.licenceCount).add(m.nodeName).add(m.storageGroupType).add(m.guid).add(m.active));
            if (inserted.rows() == 0) requireRow(db, "SELECT 1 FROM location WHERE id = $1", locationId, "location");
            return newId(db, "computer", inserted);
        });
    }
    uint32_t addTask(uint32_t computerId, const TaskDataObject& t) override {
        return write("task", [&](PgConnection& db) {
            PgParams params = taskFields(t);
            params.add(computerId);
            PgResult inserted = db.run(
                std::string("INSERT INTO task(id, ") + kTaskFieldList + ", computer_id) SELECT " + nextId("task") +
                    ", $1::bigint, $2::text, $3::bigint, $4::bigint, $5::text, $6::text, $7::bigint, $8::bigint,"
                    " $9::bigint, $10::bigint, $11::bigint, $12::text, $13::text, $14::bigint, $15::text,"
                    " $16::bigint, $17::bigint, $18::bigint"
                    " WHERE EXISTS (SELECT 1 FROM computer WHERE id = $18::bigint)"
                    " AND ($10::bigint IS NULL OR EXISTS (SELECT 1 FROM node WHERE id = $10::bigint)) RETURNING id",
                params);
            if (inserted.rows() == 0) {
                requireRow(db, "SELECT 1 FROM computer WHERE id = $1", computerId, "computer");
                requireRow(db, "SELECT 1 FROM node WHERE id = $1", t.nodeId, "node");
            }
            return newId(db, "task", inserted);
        });
    }
    uint32_t addPool(const PoolDataObject& p) override {
        return write("pool", [&](PgConnection& db) {
            PgResult inserted =
                db.run("INSERT INTO pool(id, guid, secondary, pool_version, storage_group_id, task_count, flags,"
                       " revision, folder0, folder1, folder2) VALUES (" +
                           nextId("pool") +
                           ", $1, $2, $3, $4, $5, $6, $7, $8, $9, $10) ON CONFLICT ((lower(guid))) DO NOTHING"
                           " RETURNING id",
                       PgParams().add(p.guid).add(p.secondary).add(p.poolVersion).add(p.storageGroupId)
                           .add(p.taskCount).add(p.flags).add(p.revision).add(folderAt(p, 0)).add(folderAt(p, 1))
                           .add(folderAt(p, 2)));
            if (inserted.rows() == 0) {
                PgResult existing = db.run("SELECT guid FROM pool WHERE lower(guid) = lower($1 COLLATE \"C\")",
                                           PgParams().add(p.guid));
                throw std::runtime_error(db.name() + ": pool '" + p.guid + "' is in the catalogue already (as '" +
                                         (existing.rows() > 0 ? existing.text(0, 0) : p.guid) + "')");
            }
            return newId(db, "pool", inserted);
        });
    }
    bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) override {
        // One statement, so one transaction of its own.
        return query([&](PgConnection& db) {
            return db.run("WITH found AS (SELECT t.id AS task_id, p.id AS pool_id FROM task t, pool p"
                          " WHERE t.id = $1::bigint AND lower(p.guid) = lower($2::text COLLATE \"C\")),"
                          " added AS (INSERT INTO task_pool(task_id, pool_id) SELECT task_id, pool_id FROM found"
                          " ON CONFLICT DO NOTHING)"
                          " SELECT count(*) FROM found",
                          PgParams().add(taskId).add(poolGuid))
                       .i64(0, 0) > 0;
        });
    }
    bool updateTask(const TaskDataObject& t) override {
        return write(nullptr, [&](PgConnection& db) {
            if (t.nodeId != 0) requireRow(db, "SELECT 1 FROM node WHERE id = $1", t.nodeId, "node");
            requireRow(db, "SELECT 1 FROM computer WHERE id = $1", t.computerId, "computer");
            PgParams params = taskFields(t);
            params.add(t.computerId).add(t.id);
            return db.run("UPDATE task SET type_id = $1, name = $2, storage_policy_id = $3, billing_code_id = $4,"
                          " description = $5, guid = $6, status = $7, enabled = $8, visible = $9, node_id = $10,"
                          " suspect = $11, pool_guid = $12, task_folder = $13, storage_group_type = $14,"
                          " alias_guid = $15, original_size = $16, revision = $17, computer_id = $18 WHERE id = $19",
                          params)
                       .changed() > 0;
        });
    }
    void removeTask(uint32_t taskId) override {
        query([&](PgConnection& db) {
            db.run("DELETE FROM task WHERE id = $1", PgParams().add(taskId));
            return 0;
        });
    }

    // The server keeps its tables consistent itself; what can go wrong here
    // is a catalogue whose rows break the layout's rules (written around the
    // plug-in), which these counts find.
    bool checkIntegrity() override {
        return query([&](PgConnection& db) {
            PgResult s = db.run(
                "SELECT (SELECT count(*) FROM vault WHERE id < 1 OR id > 4294967295)"
                " + (SELECT count(*) FROM task WHERE id < 1 OR id > 4294967295)"
                " + (SELECT count(*) FROM computer WHERE id < 1 OR id > 4294967295)"
                " + (SELECT count(*) FROM (SELECT lower(host_name) FROM node GROUP BY 1 HAVING count(*) > 1) d)");
            return s.rows() == 1 && s.i64(0, 0) == 0;
        });
    }

private:
    // The connection, taken on first use and again after it was lost; the
    // store brings the database to the current schema version each time.
    PgConnection& connection() {
        if (session_ && session_->connection->usable()) {
            verify(*session_);
            return *session_->connection;
        }
        session_.reset();
        std::unique_ptr<PgSession> session =
            postgresPool().take(conninfo_, [](PgSession& pooled) { return pooled.connection->reusable(); });
        // Each store checks the schema when it takes a connection, as a new
        // connection would: another node may have changed (or dropped) the
        // schema while the connection waited in the pool.
        if (session) session->verifiedAt = 0;
        if (!session) {
            session = std::make_unique<PgSession>();
            session->connection = std::make_unique<PgConnection>(conninfo_);
        }
        verify(*session);
        session_ = std::move(session);
        return *session_->connection;
    }

    // Brings the database to the current schema unless this store did so
    // since it took the connection and no ForgetVerifications came since. A
    // failure drops the connection, so the next call starts afresh.
    void verify(PgSession& session) {
        const uint64_t generation = postgresPool().verificationGeneration();
        if (session.verifiedAt == generation) return;
        try {
            migratePgSchema(*session.connection);
        } catch (...) {
            if (session_.get() == &session) session_.reset();
            throw;
        }
        session.verifiedAt = generation;
    }

    template <typename Body>
    auto query(Body body) -> decltype(body(std::declval<PgConnection&>())) {
        std::lock_guard<std::mutex> lock(mutex_);
        return body(connection());
    }

    // Runs `body` in one transaction and returns its result. With
    // `insertInto`, inserts into that table queue behind each other until
    // commit, so that "highest ID + 1" is never handed out twice; readers
    // are not held up. (A write of one statement needs neither: it is a
    // transaction of its own, and runs through query.)
    template <typename Body>
    auto write(const char* insertInto, Body body) -> decltype(body(std::declval<PgConnection&>())) {
        std::lock_guard<std::mutex> lock(mutex_);
        PgConnection& db = connection();
        PgTransaction transaction(
            db, insertInto ? std::string("LOCK TABLE ") + insertInto + " IN SHARE ROW EXCLUSIVE MODE" : std::string());
        auto result = body(db);
        transaction.commit();
        return result;
    }

    template <typename Sql, typename Record>
    bool findOne(const Sql& sql, const PgParams& params, Record& record) {
        return query([&](PgConnection& db) {
            PgResult s = db.run(sql, params);
            if (s.rows() == 0) return false;
            read(s, 0, record);
            return true;
        });
    }

    // Rows go to a local list first, so a failure half-way leaves the
    // caller's list as it was; they are moved, never copied, into it.
    template <typename Sql, typename Record>
    void list(const Sql& sql, const PgParams& params, std::vector<Record>& records) {
        query([&](PgConnection& db) {
            PgResult s = db.run(sql, params);
            std::vector<Record> rows(static_cast<size_t>(s.rows()));
            for (int i = 0; i < s.rows(); ++i) read(s, i, rows[static_cast<size_t>(i)]);
            if (records.empty()) {
                records.swap(rows);
            } else {
                records.insert(records.end(), std::make_move_iterator(rows.begin()),
                               std::make_move_iterator(rows.end()));
            }
            return 0;
        });
    }

    std::string hierarchy(const char* condition, const PgParams& params) {
        return query([&](PgConnection& db) {
            PgResult s = db.run(
                std::string("SELECT c.name, l.name, m.name, t.name FROM task t JOIN computer m ON m.id = t.computer_id"
                            " JOIN location l ON l.id = m.location_id JOIN customer c ON c.id = l.customer_id WHERE ") +
                    condition + " ORDER BY t.id LIMIT 1",
                params);
            if (s.rows() == 0) return std::string();
            return "Customer '" + s.text(0, 0) + "' / Location '" + s.text(0, 1) + "' / Computer '" + s.text(0, 2) +
                   "' / Task '" + s.text(0, 3) + "'";
        });
    }

    static void requireRow(PgConnection& db, const char* sql, uint32_t id, const char* what) {
        if (db.run(sql, PgParams().add(id)).rows() == 0)
            throw std::runtime_error(db.name() + " has no " + what + " with id " + std::to_string(id));
    }

    // The ID of the row just inserted; refuses IDs beyond 32 bits (the
    // transaction is then rolled back).
    static uint32_t newId(PgConnection& db, const char* table, const PgResult& inserted) {
        const int64_t id = inserted.rows() == 1 ? inserted.i64(0, 0) : 0;
        if (id <= 0 || id > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
            throw std::runtime_error(db.name() + ": table " + table + " has no 32-bit ID left");
        return static_cast<uint32_t>(id);
    }

    const std::string conninfo_;
    std::mutex mutex_;
    std::unique_ptr<PgSession> session_;
};

}  // namespace

std::unique_ptr<CatalogueStore> openPostgresCatalogue(const std::string& conninfo) {
    return std::make_unique<PgCatalogueStore>(conninfo);
}

void controlPostgresPool(PoolAction action) {
    switch (action) {
        case PoolAction::Open: postgresPool().open(); break;
        case PoolAction::Close: postgresPool().close(); break;
        case PoolAction::ForgetVerifications: postgresPool().forgetVerifications(); break;
    }
}

size_t idlePostgresConnections() { return postgresPool().idleCount(); }

}  // namespace SqlCatalogue
