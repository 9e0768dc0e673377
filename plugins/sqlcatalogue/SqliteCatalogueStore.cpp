// The catalogue store over one SQLite file and one connection, guarded by a
// mutex. Row layouts are read and written in one place per record type.
//
// The connection comes from the process's pool of SQLite connections on
// first use and goes back to it when the store ends (ConnectionPool.h). A
// pooled connection is used again only while the path still names the file
// it has open (same device and inode), so a file that was replaced or
// deleted meanwhile gets a fresh connection, or its "does not exist" error.
// The schema is checked when the store takes its connection (new or pooled)
// and again after clearDbSchemaAlreadyVerified (PoolAction::ForgetVerifications).
#include <chrono>
#include <cstdint>
#include <iterator>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <pthread.h>

#include <sys/stat.h>

#include "CatalogueSchema.h"
#include "CatalogueStore.h"
#include "ConnectionPool.h"
#include "SqliteConnection.h"

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

void read(const Statement& s, VaultDataObject& r) {
    r.id = s.u32(0); r.name = s.text(1); r.description = s.text(2); r.address = s.text(3); r.version = s.text(4);
    r.nodeCount = s.u32(5); r.flags = s.u32(6); r.guid = s.text(7);
}
// A node's columns from column `o` on (0, or after a task's columns).
void read(const Statement& s, NodeDataObject& r, int o = 0) {
    r.id = s.u32(o + 0); r.hostName = s.text(o + 1); r.address = s.text(o + 2); r.clusterAddress = s.text(o + 3);
    r.description = s.text(o + 4); r.version = s.text(o + 5); r.platform = s.text(o + 6); r.state = s.u32(o + 7);
    r.requestedState = s.u32(o + 8); r.primaryStorageGroupId = s.u32(o + 9);
}
constexpr int kTaskColumnCount = 19;
void read(const Statement& s, CustomerDataObject& r) {
    r.id = s.u32(0); r.name = s.text(1); r.shortName = s.text(2); r.reference = s.text(3); r.contact = s.text(4);
    r.status = s.u32(5);
}
void read(const Statement& s, LocationDataObject& r) {
    r.id = s.u32(0); r.customerId = s.u32(1); r.name = s.text(2); r.reference = s.text(3); r.address = s.text(4);
    r.status = s.u32(5);
}
void read(const Statement& s, ComputerDataObject& r) {
    r.id = s.u32(0); r.locationId = s.u32(1); r.agentTypeId = s.u32(2); r.name = s.text(3);
    r.description = s.text(4); r.hostName = s.text(5); r.operatingSystem = s.text(6); r.agentVersion = s.text(7);
    r.contact = s.text(8); r.notes = s.text(9); r.status = s.u32(10); r.licenceCount = s.u32(11);
    r.nodeName = s.text(12); r.storageGroupType = s.u32(13); r.guid = s.text(14); r.active = s.flag(15);
}
void read(const Statement& s, TaskDataObject& r) {
    r.id = s.u32(0); r.typeId = s.u32(1); r.computerId = s.u32(2); r.name = s.text(3);
    r.storagePolicyId = s.u32(4); r.billingCodeId = s.u32(5); r.description = s.text(6); r.guid = s.text(7);
    r.status = s.u32(8); r.enabled = s.flag(9); r.visible = s.flag(10); r.nodeId = s.u32(11);
    r.suspect = s.flag(12); r.poolGuid = s.text(13); r.taskFolder = s.text(14); r.storageGroupType = s.u32(15);
    r.aliasGuid = s.text(16); r.originalSize = static_cast<uint64_t>(s.i64(17)); r.revision = s.u32(18);
}
void read(const Statement& s, PoolDataObject& r) {
    r.id = s.u32(0); r.guid = s.text(1); r.secondary = s.flag(2); r.poolVersion = s.u32(3);
    r.storageGroupId = s.u32(4); r.taskCount = s.u32(5); r.flags = s.u32(6); r.revision = s.u32(7);
    if (r.folders.size() < 3) r.folders.resize(3);
    r.folders[0] = s.text(8); r.folders[1] = s.text(9); r.folders[2] = s.text(10);
}

// Binds the task's own fields (everything but id and computer) from index 1.
void bindTaskFields(Statement& s, const TaskDataObject& t) {
    s.bind(1, t.typeId).bind(2, t.name).bind(3, t.storagePolicyId).bind(4, t.billingCodeId)
        .bind(5, t.description).bind(6, t.guid).bind(7, t.status).bind(8, int64_t{t.enabled})
        .bind(9, int64_t{t.visible});
    if (t.nodeId == 0) s.bindNull(10); else s.bind(10, t.nodeId);
    s.bind(11, int64_t{t.suspect}).bind(12, t.poolGuid).bind(13, t.taskFolder).bind(14, t.storageGroupType)
        .bind(15, t.aliasGuid).bind(16, static_cast<int64_t>(t.originalSize)).bind(17, t.revision);
}
const char* const kTaskFieldList =
    "type_id, name, storage_policy_id, billing_code_id, description, guid, status, enabled, visible, node_id, "
    "suspect, pool_guid, task_folder, storage_group_type, alias_guid, original_size, revision";

std::string folderAt(const PoolDataObject& pool, size_t index) {
    return index < pool.folders.size() ? pool.folders[index] : std::string();
}

// Which file a path names: the device and inode that stat() reports.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity& other) const { return device == other.device && inode == other.inode; }
};

// False when nothing exists at `path`.
bool identify(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    return true;
}

// One connection and what is known of it while it moves between stores.
struct SqliteSession {
    std::unique_ptr<Connection> connection;
    FileIdentity file;         // the file the connection has open
    bool fileKnown = false;    // false: the path changed while it was opened
    uint64_t verifiedAt = 0;   // the pool's verification generation; 0: never
};

// A few idle connections at most, none idle for long: each holds the file,
// its write-ahead log and its shared-memory index open.
constexpr size_t kMaxIdleConnections = 8;
constexpr std::chrono::seconds kMaxIdleTime{5};

ConnectionPool<SqliteSession>& sqlitePool() {
    // Never destroyed, so that stores ending during exit still find it; the
    // idle connections are closed at exit, which checkpoints their logs
    // into the file as a last close always did.
    static ConnectionPool<SqliteSession>* const pool = [] {
        auto* created = new ConnectionPool<SqliteSession>(kMaxIdleConnections, kMaxIdleTime);
        std::atexit([] { sqlitePool().close(); });
        ::pthread_atfork([] { sqlitePool().beforeFork(); }, [] { sqlitePool().afterFork(); },
                         [] { sqlitePool().afterFork(); });
        return created;
    }();
    return *pool;
}

class SqliteCatalogueStore final : public CatalogueStore {
public:
    explicit SqliteCatalogueStore(std::string path) : path_(std::move(path)) {}
    ~SqliteCatalogueStore() override {
        // Only a connection between transactions, whose file is known, is
        // fit for another store.
        if (session_ && session_->fileKnown && session_->connection->idle())
            sqlitePool().giveBack(path_, std::move(session_));
    }
    SqliteCatalogueStore(const SqliteCatalogueStore&) = delete;
    SqliteCatalogueStore& operator=(const SqliteCatalogueStore&) = delete;

    bool findVaultByName(const std::string& name, VaultDataObject& vault) override {
        return findOne("SELECT " + kVaultColumns + " FROM vault v WHERE v.name = ?1 ORDER BY v.id LIMIT 1", name,
                       vault);
    }
    bool findVaultById(uint32_t id, VaultDataObject& vault) override {
        return findOne("SELECT " + kVaultColumns + " FROM vault v WHERE v.id = ?1", id, vault);
    }
    void listVaults(std::vector<VaultDataObject>& vaults) override {
        listAll("SELECT " + kVaultColumns + " FROM vault v ORDER BY v.id", vaults);
    }

    bool findNodeById(uint32_t id, NodeDataObject& node) override {
        return findOne("SELECT " + kNodeColumns + " FROM node n WHERE n.id = ?1", id, node);
    }
    bool findNodeByHostName(const std::string& hostName, NodeDataObject& node) override {
        return findOne("SELECT " + kNodeColumns + " FROM node n WHERE n.host_name = ?1 ORDER BY n.id LIMIT 1",
                       hostName, node);
    }
    bool findNodeOfTask(uint32_t taskId, NodeDataObject& node) override {
        static const std::string sql =
            "SELECT " + kNodeColumns + " FROM task t JOIN node n ON n.id = t.node_id WHERE t.id = ?1";
        return findOne(sql,
                       taskId, node);
    }
    void listNodes(std::vector<NodeDataObject>& nodes) override {
        listAll("SELECT " + kNodeColumns + " FROM node n ORDER BY n.id", nodes);
    }

    bool findCustomer(uint32_t id, CustomerDataObject& customer) override {
        return findOne("SELECT " + kCustomerColumns + " FROM customer c WHERE c.id = ?1", id, customer);
    }
    void listCustomers(std::vector<CustomerDataObject>& customers) override {
        static const std::string sql = "SELECT " + kCustomerColumns + " FROM customer c ORDER BY c.id";
        listAll(sql, customers);
    }
    bool findLocation(uint32_t id, LocationDataObject& location) override {
        return findOne("SELECT " + kLocationColumns + " FROM location l WHERE l.id = ?1", id, location);
    }
    void listLocations(uint32_t customerId, std::vector<LocationDataObject>& locations) override {
        static const std::string sql =
            "SELECT " + kLocationColumns + " FROM location l WHERE l.customer_id = ?1 ORDER BY l.id";
        listBy(sql, customerId, locations);
    }

    bool findComputerById(uint32_t id, ComputerDataObject& computer) override {
        return findOne("SELECT " + kComputerColumns + " FROM computer m WHERE m.id = ?1", id, computer);
    }
    bool findComputerByGuid(const std::string& guid, ComputerDataObject& computer) override {
        return findOne("SELECT " + kComputerColumns + " FROM computer m WHERE m.guid = ?1 ORDER BY m.id LIMIT 1",
                       guid, computer);
    }
    void listComputers(uint32_t locationId, std::vector<ComputerDataObject>& computers) override {
        static const std::string sql =
            "SELECT " + kComputerColumns + " FROM computer m WHERE m.location_id = ?1 ORDER BY m.id";
        listBy(sql, locationId, computers);
    }

    bool findTaskById(uint32_t id, TaskDataObject& task) override {
        return findOne("SELECT " + kTaskColumns + " FROM task t WHERE t.id = ?1", id, task);
    }
    bool findTaskByGuid(const std::string& guid, TaskDataObject& task) override {
        return findOne("SELECT " + kTaskColumns + " FROM task t WHERE t.guid = ?1 ORDER BY t.id LIMIT 1", guid, task);
    }
    void listTasks(uint32_t computerId, std::vector<TaskDataObject>& tasks) override {
        static const std::string sql = "SELECT " + kTaskColumns + " FROM task t WHERE t.computer_id = ?1 ORDER BY t.id";
        listBy(sql, computerId, tasks);
    }
    void listTasksWithNodes(uint32_t computerId, std::vector<TaskDataObject>& tasks,
                            std::vector<ListedNode>& nodes) override {
        // A task whose node_id names no node gets NULLs, read as "no node",
        // as findNodeOfTask's inner join would answer.
        static const std::string sql = "SELECT " + kTaskColumns + ", " + kNodeColumns +
                                       " FROM task t LEFT JOIN node n ON n.id = t.node_id"
                                       " WHERE t.computer_id = ?1 ORDER BY t.id";
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare(sql);
        bindKey(s, computerId);
        std::vector<TaskDataObject> rows;
        std::vector<ListedNode> found;
        while (s.step()) {
            rows.emplace_back();
            read(s, rows.back());
            found.emplace_back();
            found.back().found = !s.isNull(kTaskColumnCount);
            if (found.back().found) read(s, found.back().node, kTaskColumnCount);
        }
        tasks.insert(tasks.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        nodes.insert(nodes.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    void listAllTasks(std::vector<TaskDataObject>& tasks) override {
        // The whole vault's list can be large: its room is reserved from a
        // count first, so it is never reallocated (and held twice) on the way.
        listAll("SELECT " + kTaskColumns + " FROM task t ORDER BY t.id", tasks, "SELECT count(*) FROM task");
    }
    std::string taskHierarchyById(uint32_t taskId) override { return hierarchy("t.id = ?1", int64_t{taskId}); }
    std::string taskHierarchyByGuid(const std::string& taskGuid) override { return hierarchy("t.guid = ?1", taskGuid); }

    bool findPoolByGuid(const std::string& guid, PoolDataObject& pool) override {
        return findOne("SELECT " + kPoolColumns + " FROM pool p WHERE p.guid = ?1", guid, pool);
    }
    void listPoolTasks(const std::string& poolGuid, std::vector<TaskDataObject>& tasks) override {
        listBy("SELECT " + kTaskColumns +
                   " FROM pool p JOIN task_pool a ON a.pool_id = p.id JOIN task t ON t.id = a.task_id"
                   " WHERE p.guid = ?1 ORDER BY t.id",
               poolGuid, tasks);
    }
    void listTaskPools(uint32_t taskId, std::vector<PoolDataObject>& pools) override {
        listBy("SELECT " + kPoolColumns +
                   " FROM task_pool a JOIN pool p ON p.id = a.pool_id WHERE a.task_id = ?1 ORDER BY p.id",
               taskId, pools);
    }

    bool readSetting(const std::string& key, std::string& value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare("SELECT value FROM setting WHERE key = ?1");
        s.bind(1, key);
        if (!s.step()) return false;
        value = s.text(0);
        return true;
    }
    void writeSetting(const std::string& key, const std::string& value) override {
        write([&](Connection& db) {
            db.prepare("INSERT INTO setting(key, value) VALUES (?1, ?2) ON CONFLICT(key) DO UPDATE SET value = ?2")
                .bind(1, key).bind(2, value).run();
            return 0;
        });
    }
    void removeSetting(const std::string& key) override {
        write([&](Connection& db) {
            db.prepare("DELETE FROM setting WHERE key = ?1").bind(1, key).run();
            return 0;
        });
    }

    uint32_t addVault(const VaultDataObject& v) override {
        return write([&](Connection& db) {
            db.prepare("INSERT INTO vault(name, description, address, version, node_count, flags, guid)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
                .bind(1, v.name).bind(2, v.description).bind(3, v.address).bind(4, v.version).bind(5, v.nodeCount)
                .bind(6, v.flags).bind(7, v.guid).run();
            return newId(db, "vault");
        });
    }
    uint32_t addNode(const NodeDataObject& n) override {
        return write([&](Connection& db) {
            Statement existing = db.prepare("SELECT id FROM node WHERE host_name = ?1 ORDER BY id LIMIT 1");
            existing.bind(1, n.hostName);
            if (existing.step()) return existing.u32(0);
            db.prepare("INSERT INTO node(host_name, address, cluster_address, description, version, platform, state,"
                       " requested_state, primary_storage_group_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
                .bind(1, n.hostName).bind(2, n.address).bind(3, n.clusterAddress).bind(4, n.description)
                .bind(5, n.version).bind(6, n.platform).bind(7, n.state).bind(8, n.requestedState)
                .bind(9, n.primaryStorageGroupId).run();
            return newId(db, "node");
        });
    }
    uint32_t addCustomer(const CustomerDataObject& c) override {
        return write([&](Connection& db) {
            db.prepare("INSERT INTO customer(name, short_name, reference, contact, status) VALUES (?1, ?2, ?3, ?4, ?5)")
                .bind(1, c.name).bind(2, c.shortName).bind(3, c.reference).bind(4, c.contact).bind(5, c.status).run();
            return newId(db, "customer");
        });
    }
    uint32_t addLocation(uint32_t customerId, const LocationDataObject& l) override {
        return write([&](Connection& db) {
            requireRow(db, "SELECT 1 FROM customer WHERE id = ?1", customerId, "customer");
            db.prepare("INSERT INTO location(customer_id, name, reference, address, status)"
                       " VALUES (?1, ?2, ?3, ?4, ?5)")
                .bind(1, customerId).bind(2, l.name).bind(3, l.reference).bind(4, l.address).bind(5, l.status).run();
            return newId(db, "location");
        });
    }
    uint32_t addComputer(uint32_t locationId, uint32_t agentTypeId, const ComputerDataObject& m) override {
        return write([&](Connection& db) {
            requireRow(db, "SELECT 1 FROM location WHERE id = ?1", locationId, "location");
            db.prepare("INSERT INTO computer(location_id, agent_type_id, name, description, host_name,"
                       " operating_system, agent_version, contact, notes, status, licence_count, node_name,"
                       " storage_group_type, guid, active)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)")
                .bind(1, locationId).bind(2, agentTypeId).bind(3, m.name).bind(4, m.description)
                .bind(5, m.hostName).bind(6, m.operatingSystem).bind(7, m.agentVersion).bind(8, m.contact)
                .bind(9, m.notes).bind(10, m.status).bind(11, m.licenceCount).bind(12, m.nodeName)
                .bind(13, m.storageGroupType).bind(14, m.guid).bind(15, int64_t{m.active}).run();
            return newId(db, "computer");
        });
    }
    uint32_t addTask(uint32_t computerId, const TaskDataObject& t) override {
        return write([&](Connection& db) {
            requireRow(db, "SELECT 1 FROM computer WHERE id = ?1", computerId, "computer");
            if (t.nodeId != 0) requireRow(db, "SELECT 1 FROM node WHERE id = ?1", t.nodeId, "node");
            Statement s = db.prepare(std::string("INSERT INTO task(") + kTaskFieldList +
                                     ", computer_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12,"
                                     " ?13, ?14, ?15, ?16, ?17, ?18)");
            bindTaskFields(s, t);
            s.bind(18, computerId).run();
            return newId(db, "task");
        });
    }
    uint32_t addPool(const PoolDataObject& p) override {
        return write([&](Connection& db) {
            Statement existing = db.prepare("SELECT guid FROM pool WHERE guid = ?1");
            existing.bind(1, p.guid);
            if (existing.step())
                throw std::runtime_error("catalogue database '" + path_ + "': pool '" + p.guid +
                                         "' is in the catalogue already (as '" + existing.text(0) + "')");
            db.prepare("INSERT INTO pool(guid, secondary, pool_version, storage_group_id, task_count, flags, revision,"
                       " folder0, folder1, folder2) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)")
                .bind(1, p.guid).bind(2, int64_t{p.secondary}).bind(3, p.poolVersion).bind(4, p.storageGroupId)
                .bind(5, p.taskCount).bind(6, p.flags).bind(7, p.revision).bind(8, folderAt(p, 0))
                .bind(9, folderAt(p, 1)).bind(10, folderAt(p, 2)).run();
            return newId(db, "pool");
        });
    }
    bool associateTaskAndPool(uint32_t taskId, const std::string& poolGuid) override {
        return write([&](Connection& db) {
            Statement task = db.prepare("SELECT 1 FROM task WHERE id = ?1");
            task.bind(1, taskId);
            if (!task.step()) return false;
            Statement pool = db.prepare("SELECT id FROM pool WHERE guid = ?1");
            pool.bind(1, poolGuid);
            if (!pool.step()) return false;
            db.prepare("INSERT OR IGNORE INTO task_pool(task_id, pool_id) VALUES (?1, ?2)")
                .bind(1, taskId).bind(2, pool.i64(0)).run();
            return true;
        });
    }
    bool updateTask(const TaskDataObject& t) override {
        return write([&](Connection& db) {
            if (t.nodeId != 0) requireRow(db, "SELECT 1 FROM node WHERE id = ?1", t.nodeId, "node");
            requireRow(db, "SELECT 1 FROM computer WHERE id = ?1", t.computerId, "computer");
            Statement s = db.prepare(
                "UPDATE task SET type_id = ?1, name = ?2, storage_policy_id = ?3, billing_code_id = ?4,"
                " description = ?5, guid = ?6, status = ?7, enabled = ?8, visible = ?9, node_id = ?10, suspect = ?11,"
                " pool_guid = ?12, task_folder = ?13, storage_group_type = ?14, alias_guid = ?15,"
                " original_size = ?16, revision = ?17, computer_id = ?18 WHERE id = ?19");
            bindTaskFields(s, t);
            s.bind(18, t.computerId).bind(19, t.id).run();
            return db.changes() > 0;
        });
    }
    void removeTask(uint32_t taskId) override {
        write([&](Connection& db) {
            db.prepare("DELETE FROM task WHERE id = ?1").bind(1, taskId).run();
            return 0;
        });
    }

    bool checkIntegrity() override {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare("PRAGMA quick_check");
        return s.step() && s.text(0) == "ok";
    }

private:
    // The connection, taken from the pool or opened on first use. Reads need
    // the file to exist; writes create it.
    Connection& connection(bool forWrite) {
        if (session_) {
            verify(*session_, forWrite);
            return *session_->connection;
        }
        FileIdentity now;
        const bool exists = identify(path_, now);
        // Pooled connections to a file the path no longer names are closed
        // here, before anything opens the path again: closing removes their
        // log and index files, which a new file at the path must not find.
        std::unique_ptr<SqliteSession> session =
            sqlitePool().take(path_, [&](SqliteSession& pooled) { return exists && pooled.file == now; });
        if (!forWrite && !exists) throw std::runtime_error("catalogue database '" + path_ + "' does not exist");
        // Each store checks the schema when it takes a connection, as a new
        // connection would: another process may have changed the file's
        // schema while the connection waited in the pool.
        if (session) session->verifiedAt = 0;
        if (!session) {
            session = std::make_unique<SqliteSession>();
            session->connection = std::make_unique<Connection>(path_, forWrite);
            // The file opened is the one seen before and after the open; a
            // connection that created the file, or was made while the path
            // changed, is never pooled.
            FileIdentity after;
            session->fileKnown = exists && identify(path_, after) && after == now;
            session->file = now;
        }
        verify(*session, forWrite);
        session_ = std::move(session);
        return *session_->connection;
    }

    // Brings the connection's file to the current schema unless this store
    // did so since it took the connection and no ForgetVerifications came
    // since. A failure drops the connection, so the next call starts afresh.
    // Only a writer may give an empty file its first schema.
    void verify(SqliteSession& session, bool forWrite) {
        const uint64_t generation = sqlitePool().verificationGeneration();
        if (session.verifiedAt == generation) return;
        try {
            migrateSchema(*session.connection, forWrite);
        } catch (...) {
            if (session_.get() == &session) session_.reset();
            throw;
        }
        session.verifiedAt = generation;
    }

    template <typename Key, typename Record>
    bool findOne(const std::string& sql, const Key& key, Record& record) {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare(sql);
        bindKey(s, key);
        if (!s.step()) return false;
        read(s, record);
        return true;
    }

    template <typename Key, typename Record>
    void listBy(const std::string& sql, const Key& key, std::vector<Record>& records) {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare(sql);
        bindKey(s, key);
        collect(s, records);
    }

    template <typename Record>
    void listAll(const std::string& sql, std::vector<Record>& records, const char* countSql = nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t expected = 0;
        if (countSql != nullptr) {
            Statement count = connection(false).prepare(countSql);
            if (count.step()) expected = static_cast<size_t>(count.i64(0));
        }
        Statement s = connection(false).prepare(sql);
        collect(s, records, expected);
    }

    // Rows go to a local list first, so a failure half-way leaves the
    // caller's list as it was; they are moved, never copied, into it.
    template <typename Record>
    static void collect(Statement& s, std::vector<Record>& records, size_t expected = 0) {
        std::vector<Record> rows;
        rows.reserve(expected);
        while (s.step()) {
            rows.emplace_back();
            read(s, rows.back());
        }
        if (records.empty()) {
            records.swap(rows);
        } else {
            records.insert(records.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        }
    }

    static void bindKey(Statement& s, uint32_t key) { s.bind(1, int64_t{key}); }
    static void bindKey(Statement& s, int64_t key) { s.bind(1, key); }
    static void bindKey(Statement& s, const std::string& key) { s.bind(1, key); }

    template <typename Key>
    std::string hierarchy(const char* condition, const Key& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        Statement s = connection(false).prepare(
            std::string("SELECT c.name, l.name, m.name, t.name FROM task t JOIN computer m ON m.id = t.computer_id"
                        " JOIN location l ON l.id = m.location_id JOIN customer c ON c.id = l.customer_id WHERE ") +
            condition + " ORDER BY t.id LIMIT 1");
        bindKey(s, key);
        if (!s.step()) return std::string();
        return "Customer '" + s.text(0) + "' / Location '" + s.text(1) + "' / Computer '" + s.text(2) + "' / Task '" +
               s.text(3) + "'";
    }

    // Runs `body` in one write transaction and returns its result.
    template <typename Body>
    auto write(Body body) -> decltype(body(std::declval<Connection&>())) {
        std::lock_guard<std::mutex> lock(mutex_);
        Connection& db = connection(true);
        WriteTransaction transaction(db);
        auto result = body(db);
        transaction.commit();
        return result;
    }

    void requireRow(Connection& db, const char* sql, uint32_t id, const char* what) {
        Statement s = db.prepare(sql);
        s.bind(1, int64_t{id});
        if (!s.step())
            throw std::runtime_error("catalogue database '" + path_ + "' has no " + what + " with id " +
                                     std::to_string(id));
    }

    // The ID of the row just inserted; refuses IDs beyond 32 bits (the
    // transaction is then rolled back).
    uint32_t newId(Connection& db, const char* table) {
        const int64_t id = db.lastInsertId();
        if (id <= 0 || id > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
            throw std::runtime_error("catalogue database '" + path_ + "': table " + table +
                                     " has no 32-bit ID left");
        return static_cast<uint32_t>(id);
    }

    const std::string path_;
    std::mutex mutex_;
    std::unique_ptr<SqliteSession> session_;
};

}  // namespace

std::unique_ptr<CatalogueStore> openSqliteCatalogue(const std::string& path) {
    return std::make_unique<SqliteCatalogueStore>(path);
}

void controlSqlitePool(PoolAction action) {
    switch (action) {
        case PoolAction::Open: sqlitePool().open(); break;
        case PoolAction::Close: sqlitePool().close(); break;
        case PoolAction::ForgetVerifications: sqlitePool().forgetVerifications(); break;
    }
}

size_t idleSqliteConnections() { return sqlitePool().idleCount(); }

}  // namespace SqlCatalogue
