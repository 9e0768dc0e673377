// Times the scan tool's catalogue walk over a vault of 100,000 tasks (1,000
// customers, one location each, 10 computers per location, 10 tasks per
// computer): getCustomers; per customer getCustomerLocations; per location
// getLocationComputers; per computer getComputerTasks; per task
// getNodeByTaskId -- through the interface manager and the SQL catalogue
// plug-in, once on its SQLite store and once on its PostgreSQL store. Beside
// each, the database's own shell (sqlite3, psql) runs the same sequence of
// SELECTs from a script, and one JOIN that gives the same rows. Prints every
// time (best of three) and the ratios.
//
// Usage: catalogue_walk_bench [work-folder [rounds]]
//        (default /tmp/catalogue-bench, 3 rounds; the best round counts)
// The SQLite vault is built once in <work-folder>/catalogue.db and reused; the
// PostgreSQL vault lives on a throw-away server in <work-folder>/pg, started
// and stopped by the run (pg-test-server.sh). The plug-in is found through
// VAULT_PLUGIN_DIR, else beside the program.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <dlfcn.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"

// Statements counted as the plug-in sends them: this program defines the
// libpq and SQLite calls that run a statement, counts each and hands it on
// to the library (the plug-in, loaded later, binds to these definitions).
namespace {
// Counting is on only in untimed walks, so that it costs the timed ones nothing.
std::atomic<bool> g_counting{false};
std::atomic<long long> g_pgStatements{0};
std::atomic<long long> g_pgPrepares{0};
std::atomic<long long> g_sqliteStatements{0};
std::mutex g_freshMutex;
std::unordered_set<const void*> g_fresh;  // SQLite statements not stepped since prepare or reset

template <typename Function>
Function next(const char* name) {
    void* found = ::dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        std::fprintf(stderr, "bench: no %s to hand on to\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}
}  // namespace

// Default visibility: the project builds with hidden symbols, and the plug-in
// must see these definitions.
#define BENCH_EXPORT __attribute__((visibility("default")))
extern "C" {
BENCH_EXPORT PGresult* PQexecPrepared(PGconn* conn, const char* stmtName, int nParams, const char* const* paramValues,
                         const int* paramLengths, const int* paramFormats, int resultFormat) {
    static const auto real = next<decltype(&PQexecPrepared)>("PQexecPrepared");
    if (g_counting) ++g_pgStatements;
    return real(conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat);
}
BENCH_EXPORT PGresult* PQexec(PGconn* conn, const char* query) {
    static const auto real = next<decltype(&PQexec)>("PQexec");
    if (g_counting) ++g_pgStatements;
    return real(conn, query);
}
BENCH_EXPORT PGresult* PQprepare(PGconn* conn, const char* stmtName, const char* query, int nParams, const Oid* paramTypes) {
    static const auto real = next<decltype(&PQprepare)>("PQprepare");
    if (g_counting) ++g_pgPrepares;
    return real(conn, stmtName, query, nParams, paramTypes);
}
BENCH_EXPORT int sqlite3_prepare_v3(sqlite3* db, const char* sql, int bytes, unsigned int flags, sqlite3_stmt** statement,
                       const char** tail) {
    static const auto real = next<decltype(&sqlite3_prepare_v3)>("sqlite3_prepare_v3");
    const int rc = real(db, sql, bytes, flags, statement, tail);
    if (g_counting && rc == SQLITE_OK && statement != nullptr && *statement != nullptr) {
        std::lock_guard<std::mutex> lock(g_freshMutex);
        g_fresh.insert(*statement);
    }
    return rc;
}
BENCH_EXPORT int sqlite3_reset(sqlite3_stmt* statement) {
    static const auto real = next<decltype(&sqlite3_reset)>("sqlite3_reset");
    if (g_counting) {
        std::lock_guard<std::mutex> lock(g_freshMutex);
        g_fresh.insert(statement);
    }
    return real(statement);
}
BENCH_EXPORT int sqlite3_step(sqlite3_stmt* statement) {
    static const auto real = next<decltype(&sqlite3_step)>("sqlite3_step");
    if (g_counting) {
        std::lock_guard<std::mutex> lock(g_freshMutex);
        if (g_fresh.erase(statement) > 0) ++g_sqliteStatements;
    }
    return real(statement);
}
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCustomers = 1000;
constexpr int kComputersPerLocation = 10;
constexpr int kTasksPerComputer = 10;
constexpr int kTasks = kCustomers * kComputersPerLocation * kTasksPerComputer;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message != nullptr ? message : "";
        sqlite3_free(message);
        throw std::runtime_error("bench: " + reason);
    }
}

int64_t countTasks(const std::string& path) {
    if (!std::filesystem::exists(path)) return -1;
    sqlite3* db = nullptr;
    int64_t count = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM task", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

// The plug-in creates the file and its tables (and the vault and node);
// the bulk rows go in with plain SQL in one transaction.
void buildVault(const std::string& path) {
    std::filesystem::remove(path);
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
        DataObjects::VaultDataObject vault;
        vault.name = "bench-vault";
        admin->addVault(vault);
        DataObjects::NodeDataObject node;
        node.hostName = "bench-node";
        admin->registerNodeToCluster(node);
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("bench: cannot open " + path);
    exec(db, "BEGIN");
    sqlite3_stmt* customer = nullptr;
    sqlite3_stmt* location = nullptr;
    sqlite3_stmt* computer = nullptr;
    sqlite3_stmt* task = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO customer(id, name, short_name, reference, contact, status) "
                           "VALUES (?1, 'customer ' || ?1, 'c' || ?1, 'REF-' || ?1, '', 0)", -1, &customer, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO location(id, customer_id, name, reference, address, status) "
                           "VALUES (?1, ?1, 'location ' || ?1, 'LREF-' || ?1, '', 0)", -1, &location, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO computer(id, location_id, agent_type_id, name, description, host_name, "
                           "operating_system, agent_version, contact, notes, status, licence_count, node_name, "
                           "storage_group_type, guid, active) VALUES (?1, ?2, 0, 'computer ' || ?1, '', "
                           "'host' || ?1, 'linux', '8.5', '', '', 1, 1, '', 4, 'COMPUTER-' || ?1, 1)",
                       -1, &computer, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO task(id, type_id, computer_id, name, storage_policy_id, billing_code_id, "
                           "description, guid, status, enabled, visible, node_id, suspect, pool_guid, task_folder, "
                           "storage_group_type, alias_guid, original_size, revision) VALUES (?1, 1, ?2, "
                           "'task ' || ?1, 0, 0, '', 'TASK-' || ?1, 1, 1, 1, 1, 0, 'POOL-' || ?1, "
                           "'/storage/task' || ?1 || '/', 4, '', 0, 0)",
                       -1, &task, nullptr);
    if (!customer || !location || !computer || !task) throw std::runtime_error(std::string("bench: ") + sqlite3_errmsg(db));
    auto run = [db](sqlite3_stmt* statement) {
        if (sqlite3_step(statement) != SQLITE_DONE) throw std::runtime_error(std::string("bench: ") + sqlite3_errmsg(db));
        sqlite3_reset(statement);
    };
    int computerId = 0;
    int taskId = 0;
    for (int c = 1; c <= kCustomers; ++c) {
        sqlite3_bind_int(customer, 1, c);
        run(customer);
        sqlite3_bind_int(location, 1, c);
        run(location);
        for (int m = 0; m < kComputersPerLocation; ++m) {
            sqlite3_bind_int(computer, 1, ++computerId);
            sqlite3_bind_int(computer, 2, c);
            run(computer);
            for (int t = 0; t < kTasksPerComputer; ++t) {
                sqlite3_bind_int(task, 1, ++taskId);
                sqlite3_bind_int(task, 2, computerId);
                run(task);
            }
        }
    }
    for (sqlite3_stmt* statement : {customer, location, computer, task}) sqlite3_finalize(statement);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

struct WalkResult {
    double seconds = 0;
    long long statements = 0;  // run by the plug-in (prepares of PostgreSQL statements not included)
    long long prepares = 0;
    long long tasks = 0;
    long long boundToNode = 0;
    std::string script;  // the same SELECTs, for the shell
};

// The SELECTs that answer each call of the walk, for the shell's script.
const char* const kCustomersSql =
    "SELECT c.id, c.name, c.short_name, c.reference, c.contact, c.status FROM customer c ORDER BY c.id;\n";
std::string locationsSql(uint32_t id) {
    return "SELECT l.id, l.customer_id, l.name, l.reference, l.address, l.status FROM location l "
           "WHERE l.customer_id = " + std::to_string(id) + " ORDER BY l.id;\n";
}
std::string computersSql(uint32_t id) {
    return "SELECT m.id, m.location_id, m.agent_type_id, m.name, m.description, m.host_name, m.operating_system, "
           "m.agent_version, m.contact, m.notes, m.status, m.licence_count, m.node_name, m.storage_group_type, "
           "m.guid, m.active FROM computer m WHERE m.location_id = " + std::to_string(id) + " ORDER BY m.id;\n";
}
std::string tasksSql(uint32_t id) {
    return "SELECT t.id, t.type_id, t.computer_id, t.name, t.storage_policy_id, t.billing_code_id, t.description, "
           "t.guid, t.status, t.enabled, t.visible, t.node_id, t.suspect, t.pool_guid, t.task_folder, "
           "t.storage_group_type, t.alias_guid, t.original_size, t.revision FROM task t WHERE t.computer_id = " +
           std::to_string(id) + " ORDER BY t.id;\n";
}
std::string nodeSql(uint32_t id) {
    return "SELECT n.id, n.host_name, n.address, n.cluster_address, n.description, n.version, n.platform, n.state, "
           "n.requested_state, n.primary_storage_group_id FROM task t JOIN node n ON n.id = t.node_id "
           "WHERE t.id = " + std::to_string(id) + ";\n";
}

// The walk as the scan tool does it, fetching the interface from the
// manager before every call.
WalkResult walk(bool writeScript, bool count = false) {
    WalkResult result;
    g_counting = count;
    if (writeScript) result.script.reserve(60u * 1024 * 1024);
    const long long pgBefore = g_pgStatements, sqliteBefore = g_sqliteStatements, preparesBefore = g_pgPrepares;
    const Clock::time_point start = Clock::now();
    DatabaseInterfaces::DbInterfaceManager manager;
    std::vector<DataObjects::CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    if (writeScript) result.script += kCustomersSql;
    for (const DataObjects::CustomerDataObject& customer : customers) {
        std::vector<DataObjects::LocationDataObject> locations;
        manager.administratorInterface(true)->getCustomerLocations(customer.id, locations);
        if (writeScript) result.script += locationsSql(customer.id);
        for (const DataObjects::LocationDataObject& location : locations) {
            std::vector<DataObjects::ComputerDataObject> computers;
            manager.administratorInterface(true)->getLocationComputers(location.id, computers);
            if (writeScript) result.script += computersSql(location.id);
            for (const DataObjects::ComputerDataObject& computer : computers) {
                std::vector<DataObjects::TaskDataObject> tasks;
                manager.administratorInterface(true)->getComputerTasks(computer.id, tasks);
                if (writeScript) result.script += tasksSql(computer.id);
                for (const DataObjects::TaskDataObject& task : tasks) {
                    ++result.tasks;
                    DataObjects::NodeDataObject node;
                    if (manager.administratorInterface(true)->getNodeByTaskId(task.id, node)) ++result.boundToNode;
                    if (writeScript) result.script += nodeSql(task.id);
                }
            }
        }
    }
    result.seconds = secondsSince(start);
    result.statements = (g_pgStatements - pgBefore) + (g_sqliteStatements - sqliteBefore);
    result.prepares = g_pgPrepares - preparesBefore;
    g_counting = false;
    return result;
}

double runShell(const std::string& database, const std::string& script) {
    const std::string command = "sqlite3 '" + database + "' < '" + script + "' > /dev/null";
    const Clock::time_point start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = secondsSince(start);
    if (status != 0) throw std::runtime_error("bench: the sqlite3 shell failed: " + command);
    return seconds;
}

// The rows of the whole walk in one statement, in walk order.
const char* const kJoinSql =
    "SELECT c.id, c.name, c.short_name, c.reference, c.contact, c.status, "
    "l.id, l.customer_id, l.name, l.reference, l.address, l.status, "
    "m.id, m.location_id, m.agent_type_id, m.name, m.description, m.host_name, m.operating_system, "
    "m.agent_version, m.contact, m.notes, m.status, m.licence_count, m.node_name, m.storage_group_type, m.guid, "
    "m.active, t.id, t.type_id, t.computer_id, t.name, t.storage_policy_id, t.billing_code_id, t.description, "
    "t.guid, t.status, t.enabled, t.visible, t.node_id, t.suspect, t.pool_guid, t.task_folder, "
    "t.storage_group_type, t.alias_guid, t.original_size, t.revision, "
    "n.id, n.host_name, n.address, n.cluster_address, n.description, n.version, n.platform, n.state, "
    "n.requested_state, n.primary_storage_group_id "
    "FROM customer c JOIN location l ON l.customer_id = c.id JOIN computer m ON m.location_id = l.id "
    "JOIN task t ON t.computer_id = m.id LEFT JOIN node n ON n.id = t.node_id ORDER BY c.id, l.id, m.id, t.id;\n";

double timeCommand(const std::string& command) {
    const Clock::time_point start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = secondsSince(start);
    if (status != 0) throw std::runtime_error("bench: failed: " + command);
    return seconds;
}

// A PostgreSQL server of the run's own, stopped when the run ends.
class BenchServer {
public:
    explicit BenchServer(std::string folder) : folder_(std::move(folder)) {
        if (std::system(("'" + std::string(PG_TEST_SERVER_SCRIPT) + "' start '" + folder_ + "' >/dev/null").c_str()) != 0)
            throw std::runtime_error("bench: cannot start a PostgreSQL server in " + folder_);
        std::ifstream in(folder_ + "/conninfo");
        std::getline(in, conninfo_);
    }
    ~BenchServer() {
        if (std::system(("'" + std::string(PG_TEST_SERVER_SCRIPT) + "' stop '" + folder_ + "' >/dev/null").c_str()) != 0)
            std::fprintf(stderr, "bench: could not stop the server in %s\n", folder_.c_str());
    }
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;
    std::string conninfo(const std::string& database) const { return conninfo_ + " dbname=" + database; }

private:
    std::string folder_;
    std::string conninfo_;
};

void pgExec(const std::string& conninfo, const std::string& sql) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string reason = PQerrorMessage(connection);
        PQfinish(connection);
        throw std::runtime_error("bench: " + reason);
    }
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string reason = PQresultErrorMessage(result);
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw std::runtime_error("bench: " + reason);
}

// The same vault as the SQLite one: the plug-in creates the schema, the
// vault and the node; the bulk rows go in as one statement per table.
void buildPostgresVault(const std::string& conninfo) {
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
        DataObjects::VaultDataObject vault;
        vault.name = "bench-vault";
        admin->addVault(vault);
        DataObjects::NodeDataObject node;
        node.hostName = "bench-node";
        admin->registerNodeToCluster(node);
    }
    const std::string customers = std::to_string(kCustomers);
    const std::string computers = std::to_string(kCustomers * kComputersPerLocation);
    pgExec(conninfo,
           "BEGIN;"
           "INSERT INTO customer SELECT g, 'customer ' || g, 'c' || g, 'REF-' || g, '', 0 FROM generate_series(1, " +
               customers + ") g;"
           "INSERT INTO location SELECT g, g, 'location ' || g, 'LREF-' || g, '', 0 FROM generate_series(1, " +
               customers + ") g;"
           "INSERT INTO computer SELECT g, (g - 1) / " + std::to_string(kComputersPerLocation) +
               " + 1, 0, 'computer ' || g, '', 'host' || g, 'linux', '8.5', '', '', 1, 1, '', 4, 'COMPUTER-' || g, 1"
               " FROM generate_series(1, " + computers + ") g;"
           "INSERT INTO task SELECT g, 1, (g - 1) / " + std::to_string(kTasksPerComputer) +
               " + 1, 'task ' || g, 0, 0, '', 'TASK-' || g, 1, 1, 1, 1, 0, 'POOL-' || g, '/storage/task' || g || '/',"
               " 4, '', 0, 0 FROM generate_series(1, " + std::to_string(kTasks) + ") g;"
           "COMMIT; ANALYZE;");
}

void useConfig(const std::string& path, const std::string& databaseLines) {
    std::ofstream(path, std::ios::trunc) << "[node]\nHostName=bench-node\n[database]\nPlugin=SqlCatalogue\n"
                                         << "VaultID=bench-vault\n" << databaseLines;
    ::setenv("VAULT_NODE_CONFIG", path.c_str(), 1);
}

void checkWalk(const WalkResult& result) {
    if (result.tasks != kTasks || result.boundToNode != kTasks)
        throw std::runtime_error("bench: the walk saw " + std::to_string(result.tasks) + " tasks, " +
                                 std::to_string(result.boundToNode) + " bound to a node");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        const std::string folder = argc > 1 ? argv[1] : "/tmp/catalogue-bench";
        const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
        std::filesystem::create_directories(folder);
        const std::string database = folder + "/catalogue.db";
        const std::string config = folder + "/node.conf";
        const std::string script = folder + "/walk.sql";
        const std::string joinScript = folder + "/join.sql";
        std::ofstream(joinScript, std::ios::trunc) << kJoinSql;

        // SQLite.
        useConfig(config, "File=" + database + "\n");
        if (countTasks(database) != kTasks) {
            const Clock::time_point start = Clock::now();
            buildVault(database);
            std::printf("SQLite: built %d tasks in %.2f s\n", kTasks, secondsSince(start));
        } else {
            std::printf("SQLite: reusing %s (%d tasks)\n", database.c_str(), kTasks);
        }
        // Writes the shells' script from a first walk, then times three more.
        const WalkResult first = walk(true, true);
        checkWalk(first);
        const long long sqliteStatements = first.statements;
        const long long statements = std::count(first.script.begin(), first.script.end(), '\n');
        std::printf("SQLite: the counted walk ran %lld statements (the per-row script holds %lld)\n",
                    sqliteStatements, statements);
        std::ofstream(script, std::ios::trunc) << first.script;
        double sqliteManager = 1e9, sqliteShell = 1e9, sqliteJoin = 1e9;
        for (int i = 0; i < rounds; ++i) {
            sqliteManager = std::min(sqliteManager, walk(false).seconds);
            sqliteShell = std::min(sqliteShell, runShell(database, script));
            sqliteJoin = std::min(sqliteJoin, runShell(database, joinScript));
            std::printf("SQLite round %d: manager %.3f s, shell %.3f s, one JOIN %.3f s\n", i + 1, sqliteManager,
                        sqliteShell, sqliteJoin);
        }

        // PostgreSQL, on a server of this run's own.
        BenchServer server(folder + "/pg");
        const std::string conninfo = server.conninfo("bench");
        pgExec(server.conninfo("postgres"), "CREATE DATABASE bench");
        useConfig(config, "Backend=postgresql\nConnection=" + conninfo + "\n");
        {
            const Clock::time_point start = Clock::now();
            buildPostgresVault(conninfo);
            std::printf("PostgreSQL: built %d tasks in %.2f s\n", kTasks, secondsSince(start));
        }
        // Warms the server's caches as the SQLite walk did, and counts.
        const WalkResult counted = walk(false, true);
        checkWalk(counted);
        const long long pgStatements = counted.statements, pgPrepares = counted.prepares;
        std::printf("PostgreSQL: the counted walk ran %lld statements and %lld preparations\n", pgStatements,
                    pgPrepares);
        const std::string psql = "psql -X -q -A -t -v ON_ERROR_STOP=1 -o /dev/null -d '" + conninfo + "' -f ";
        double pgManager = 1e9, pgShell = 1e9, pgJoin = 1e9;
        for (int i = 0; i < rounds; ++i) {
            pgManager = std::min(pgManager, walk(false).seconds);
            pgShell = std::min(pgShell, timeCommand(psql + "'" + script + "'"));
            pgJoin = std::min(pgJoin, timeCommand(psql + "'" + joinScript + "'"));
            std::printf("PostgreSQL round %d: manager %.3f s, shell %.3f s, one JOIN %.3f s\n", i + 1, pgManager,
                        pgShell, pgJoin);
        }

        std::printf("\nwalk of %d tasks, best of %d (statements: as run by each, counted)\n", kTasks, rounds);
        std::printf("%-11s %9s %11s %9s %11s %9s %5s %14s %13s\n", "store", "manager", "statements", "shell",
                    "statements", "one JOIN", "", "manager/shell", "manager/JOIN");
        std::printf("%-11s %8.3fs %11lld %8.3fs %11lld %8.3fs %5d %14.2f %13.2f\n", "SQLite", sqliteManager,
                    sqliteStatements, sqliteShell, statements, sqliteJoin, 1, sqliteManager / sqliteShell,
                    sqliteManager / sqliteJoin);
        std::printf("%-11s %8.3fs %11lld %8.3fs %11lld %8.3fs %5d %14.2f %13.2f\n", "PostgreSQL", pgManager,
                    pgStatements, pgShell, statements, pgJoin, 1, pgManager / pgShell, pgManager / pgJoin);
        std::printf("(manager: the scan tool's walk through the interface manager and the plug-in, %lld statement "
                    "preparations on PostgreSQL besides; shell: sqlite3 or psql running the per-row SELECTs of the "
                    "walk as it was before the listing fetched the nodes; one JOIN: the same rows from one statement "
                    "in the same shell)\n",
                    pgPrepares);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
