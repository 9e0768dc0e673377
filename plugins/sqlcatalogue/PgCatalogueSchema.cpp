#include "PgCatalogueSchema.h"

#include <stdexcept>
#include <string>

#include "CatalogueSchema.h"
#include "PgConnection.h"

namespace SqlCatalogue {

namespace {

// Version 1, as in the SQLite file. IDs are BIGINT so that every 32-bit
// unsigned ID fits; texts compare byte for byte (COLLATE "C"), and the
// look-ups that ignore letter case go through lower() on "C" texts, which
// folds ASCII letters only, as SQLite's NOCASE does.
const char* const kVersion1 = R"SQL(
CREATE TABLE vault (
  id BIGINT PRIMARY KEY, name TEXT COLLATE "C" NOT NULL, description TEXT COLLATE "C" NOT NULL,
  address TEXT COLLATE "C" NOT NULL, version TEXT COLLATE "C" NOT NULL, node_count BIGINT NOT NULL,
  flags BIGINT NOT NULL, guid TEXT COLLATE "C" NOT NULL);
CREATE INDEX vault_by_name ON vault(name);

CREATE TABLE node (
  id BIGINT PRIMARY KEY, host_name TEXT COLLATE "C" NOT NULL, address TEXT COLLATE "C" NOT NULL,
  cluster_address TEXT COLLATE "C" NOT NULL, description TEXT COLLATE "C" NOT NULL,
  version TEXT COLLATE "C" NOT NULL, platform TEXT COLLATE "C" NOT NULL, state BIGINT NOT NULL,
  requested_state BIGINT NOT NULL, primary_storage_group_id BIGINT NOT NULL);
CREATE INDEX node_by_host_name ON node(lower(host_name));

CREATE TABLE customer (
  id BIGINT PRIMARY KEY, name TEXT COLLATE "C" NOT NULL, short_name TEXT COLLATE "C" NOT NULL,
  reference TEXT COLLATE "C" NOT NULL, contact TEXT COLLATE "C" NOT NULL, status BIGINT NOT NULL);

CREATE TABLE location (
  id BIGINT PRIMARY KEY, customer_id BIGINT NOT NULL REFERENCES customer(id), name TEXT COLLATE "C" NOT NULL,
  reference TEXT COLLATE "C" NOT NULL, address TEXT COLLATE "C" NOT NULL, status BIGINT NOT NULL);
CREATE INDEX location_by_customer ON location(customer_id, id);

CREATE TABLE computer (
  id BIGINT PRIMARY KEY, location_id BIGINT NOT NULL REFERENCES location(id), agent_type_id BIGINT NOT NULL,
  name TEXT COLLATE "C" NOT NULL, description TEXT COLLATE "C" NOT NULL, host_name TEXT COLLATE "C" NOT NULL,
  operating_system TEXT COLLATE "C" NOT NULL, agent_version TEXT COLLATE "C" NOT NULL,
  contact TEXT COLLATE "C" NOT NULL, notes TEXT COLLATE "C" NOT NULL, status BIGINT NOT NULL,
  licence_count BIGINT NOT NULL, node_name TEXT COLLATE "C" NOT NULL, storage_group_type BIGINT NOT NULL,
  guid TEXT COLLATE "C" NOT NULL, active BIGINT NOT NULL);
CREATE INDEX computer_by_location ON computer(location_id, id);
CREATE INDEX computer_by_guid ON computer(guid);

CREATE TABLE task (
  id BIGINT PRIMARY KEY, type_id BIGINT NOT NULL, computer_id BIGINT NOT NULL REFERENCES computer(id),
  name TEXT COLLATE "C" NOT NULL, storage_policy_id BIGINT NOT NULL, billing_code_id BIGINT NOT NULL,
  description TEXT COLLATE "C" NOT NULL, guid TEXT COLLATE "C" NOT NULL, status BIGINT NOT NULL,
  enabled BIGINT NOT NULL, visible BIGINT NOT NULL, node_id BIGINT REFERENCES node(id), suspect BIGINT NOT NULL,
  pool_guid TEXT COLLATE "C" NOT NULL, task_folder TEXT COLLATE "C" NOT NULL, storage_group_type BIGINT NOT NULL,
  alias_guid TEXT COLLATE "C" NOT NULL, original_size BIGINT NOT NULL, revision BIGINT NOT NULL);
CREATE INDEX task_by_computer ON task(computer_id, id);
CREATE INDEX task_by_guid ON task(guid);
CREATE INDEX task_by_node ON task(node_id);

CREATE TABLE pool (
  id BIGINT PRIMARY KEY, guid TEXT COLLATE "C" NOT NULL, secondary BIGINT NOT NULL, pool_version BIGINT NOT NULL,
  storage_group_id BIGINT NOT NULL, task_count BIGINT NOT NULL, flags BIGINT NOT NULL, revision BIGINT NOT NULL,
  folder0 TEXT COLLATE "C" NOT NULL, folder1 TEXT COLLATE "C" NOT NULL, folder2 TEXT COLLATE "C" NOT NULL);
CREATE UNIQUE INDEX pool_by_guid ON pool(lower(guid));

CREATE TABLE task_pool (
  task_id BIGINT NOT NULL REFERENCES task(id) ON DELETE CASCADE,
  pool_id BIGINT NOT NULL REFERENCES pool(id) ON DELETE CASCADE,
  PRIMARY KEY (task_id, pool_id));
CREATE INDEX task_pool_by_pool ON task_pool(pool_id, task_id);

CREATE TABLE setting (key TEXT COLLATE "C" PRIMARY KEY, value TEXT COLLATE "C" NOT NULL);
)SQL";

// Step i brings a database from version i to version i + 1; one step per
// version of the SQLite layout.
const char* const kSteps[] = {kVersion1};
static_assert(sizeof kSteps / sizeof kSteps[0] == kSchemaVersion, "one migration step per schema version");

const char* const kTables = "task_pool, task, pool, computer, location, customer, node, vault, setting";

// Any key will do, as long as every node uses the same one.
const char* const kLockKey = "7385016223";

// Holds the session's advisory lock on the schema while it lives. Taken
// before the transaction begins: a transaction that began before another
// node's migration committed could still see the catalogue as it was (the
// server refreshes its view of tables when a transaction begins, not when an
// advisory lock is granted).
class SchemaLock final {
public:
    explicit SchemaLock(PgConnection& connection) : connection_(connection) {
        connection_.execute(std::string("SELECT pg_advisory_lock(") + kLockKey + ")");
    }
    ~SchemaLock() {
        if (!connection_.usable()) return;  // a lost session holds no lock
        try {
            connection_.execute(std::string("SELECT pg_advisory_unlock(") + kLockKey + ")");
        } catch (...) {
            // The lock ends with the session at the latest; until then the
            // session must not serve anyone else.
            connection_.markUnfitForReuse();
        }
    }
    SchemaLock(const SchemaLock&) = delete;
    SchemaLock& operator=(const SchemaLock&) = delete;

private:
    PgConnection& connection_;
};

// Refuses a version this code does not know: newer than it, below 0, or
// beyond what a number of ours holds (the column altered to a wider type, or
// to text).
void refuseUnknown(const PgConnection& connection, const std::string& version) {
    throw std::runtime_error(connection.name() + " has schema version " + version +
                             "; this plug-in knows versions 0 to " + std::to_string(kSchemaVersion));
}

void checkKnown(const PgConnection& connection, int version) {
    if (version > kSchemaVersion || version < 0) refuseUnknown(connection, std::to_string(version));
}

}  // namespace

int pgSchemaVersion(PgConnection& connection) {
    PgResult table = connection.run("SELECT to_regclass('catalogue_schema') IS NOT NULL");
    if (table.rows() == 0 || table.text(0, 0) != "t") return 0;
    PgResult version = connection.run("SELECT version::text FROM catalogue_schema");
    if (version.rows() != 1)
        throw std::runtime_error(connection.name() + ": table catalogue_schema holds " +
                                 std::to_string(version.rows()) + " rows instead of one");
    // Read as text and checked whole: a cast would make 4294967297 version 1.
    const std::string text = version.text(0, 0);
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        refuseUnknown(connection, digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos
                                      ? "'" + text + "'"
                                      : text);
    const int value = std::stoi(text);
    checkKnown(connection, value);
    return value;
}

void migratePgSchema(PgConnection& connection) {
    int version = pgSchemaVersion(connection);
    checkKnown(connection, version);
    if (version == kSchemaVersion) return;

    SchemaLock lock(connection);
    PgTransaction transaction(connection);
    // Another node may have migrated while we waited for the lock.
    version = pgSchemaVersion(connection);
    checkKnown(connection, version);
    if (version == kSchemaVersion) return;
    if (version == 0) connection.execute("CREATE TABLE catalogue_schema (version INTEGER NOT NULL)");
    for (; version < kSchemaVersion; ++version) connection.execute(kSteps[version]);
    connection.execute("DELETE FROM catalogue_schema");
    connection.execute("INSERT INTO catalogue_schema(version) VALUES (" + std::to_string(kSchemaVersion) + ")");
    transaction.commit();
}

void dropPgSchema(PgConnection& connection) {
    SchemaLock lock(connection);
    PgTransaction transaction(connection);
    connection.execute(std::string("DROP TABLE IF EXISTS ") + kTables + ", catalogue_schema");
    transaction.commit();
}

}  // namespace SqlCatalogue
