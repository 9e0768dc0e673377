#include "CatalogueSchema.h"

#include <stdexcept>
#include <string>

#include "SqliteConnection.h"

namespace SqlCatalogue {

namespace {

// Version 1: the vault, its nodes, customers, locations, computers, tasks,
// pools, the task-pool association and the database-kept global settings.
// Every look-up the interfaces make has an index; the list orders are by id.
const char* const kVersion1 = R"SQL(
CREATE TABLE vault (
  id INTEGER PRIMARY KEY, name TEXT NOT NULL, description TEXT NOT NULL, address TEXT NOT NULL,
  version TEXT NOT NULL, node_count INTEGER NOT NULL, flags INTEGER NOT NULL, guid TEXT NOT NULL);
CREATE INDEX vault_by_name ON vault(name);

CREATE TABLE node (
  id INTEGER PRIMARY KEY, host_name TEXT NOT NULL COLLATE NOCASE, address TEXT NOT NULL,
  cluster_address TEXT NOT NULL, description TEXT NOT NULL, version TEXT NOT NULL, platform TEXT NOT NULL,
  state INTEGER NOT NULL, requested_state INTEGER NOT NULL, primary_storage_group_id INTEGER NOT NULL);
CREATE INDEX node_by_host_name ON node(host_name COLLATE NOCASE);

CREATE TABLE customer (
  id INTEGER PRIMARY KEY, name TEXT NOT NULL, short_name TEXT NOT NULL, reference TEXT NOT NULL,
  contact TEXT NOT NULL, status INTEGER NOT NULL);

CREATE TABLE location (
  id INTEGER PRIMARY KEY, customer_id INTEGER NOT NULL REFERENCES customer(id), name TEXT NOT NULL,
  reference TEXT NOT NULL, address TEXT NOT NULL, status INTEGER NOT NULL);
CREATE INDEX location_by_customer ON location(customer_id, id);

CREATE TABLE computer (
  id INTEGER PRIMARY KEY, location_id INTEGER NOT NULL REFERENCES location(id), agent_type_id INTEGER NOT NULL,
  name TEXT NOT NULL, description TEXT NOT NULL, host_name TEXT NOT NULL, operating_system TEXT NOT NULL,
  agent_version TEXT NOT NULL, contact TEXT NOT NULL, notes TEXT NOT NULL, status INTEGER NOT NULL,
  licence_count INTEGER NOT NULL, node_name TEXT NOT NULL, storage_group_type INTEGER NOT NULL,
  guid TEXT NOT NULL, active INTEGER NOT NULL);
CREATE INDEX computer_by_location ON computer(location_id, id);
CREATE INDEX computer_by_guid ON computer(guid);

CREATE TABLE task (
  id INTEGER PRIMARY KEY, type_id INTEGER NOT NULL, computer_id INTEGER NOT NULL REFERENCES computer(id),
  name TEXT NOT NULL, storage_policy_id INTEGER NOT NULL, billing_code_id INTEGER NOT NULL,
  description TEXT NOT NULL, guid TEXT NOT NULL, status INTEGER NOT NULL, enabled INTEGER NOT NULL,
  visible INTEGER NOT NULL, node_id INTEGER REFERENCES node(id), suspect INTEGER NOT NULL,
  pool_guid TEXT NOT NULL, task_folder TEXT NOT NULL, storage_group_type INTEGER NOT NULL,
  alias_guid TEXT NOT NULL, original_size INTEGER NOT NULL, revision INTEGER NOT NULL);
CREATE INDEX task_by_computer ON task(computer_id, id);
CREATE INDEX task_by_guid ON task(guid);
CREATE INDEX task_by_node ON task(node_id);

CREATE TABLE pool (
  id INTEGER PRIMARY KEY, guid TEXT NOT NULL UNIQUE COLLATE NOCASE, secondary INTEGER NOT NULL,
  pool_version INTEGER NOT NULL, storage_group_id INTEGER NOT NULL, task_count INTEGER NOT NULL,
  flags INTEGER NOT NULL, revision INTEGER NOT NULL,
  folder0 TEXT NOT NULL, folder1 TEXT NOT NULL, folder2 TEXT NOT NULL);

CREATE TABLE task_pool (
  task_id INTEGER NOT NULL REFERENCES task(id) ON DELETE CASCADE,
  pool_id INTEGER NOT NULL REFERENCES pool(id) ON DELETE CASCADE,
  PRIMARY KEY (task_id, pool_id)) WITHOUT ROWID;
CREATE INDEX task_pool_by_pool ON task_pool(pool_id, task_id);

CREATE TABLE setting (key TEXT PRIMARY KEY, value TEXT NOT NULL);
)SQL";

// Step i brings a file from version i to version i + 1.
const char* const kSteps[] = {kVersion1};
static_assert(sizeof kSteps / sizeof kSteps[0] == kSchemaVersion, "one migration step per schema version");

// Kept whole (no cast) until it is checked.
int64_t fileVersion(Connection& connection) {
    Statement statement = connection.prepare("PRAGMA user_version");
    return statement.step() ? statement.i64(0) : 0;
}

void checkKnown(const Connection& connection, int64_t version) {
    if (version < 0 || version > kSchemaVersion)
        throw std::runtime_error("catalogue database '" + connection.path() + "' has schema version " +
                                 std::to_string(version) + "; this plug-in knows versions up to " +
                                 std::to_string(kSchemaVersion));
}

}  // namespace

void migrateSchema(Connection& connection, bool mayCreate) {
    int64_t version = fileVersion(connection);
    checkKnown(connection, version);
    if (version == kSchemaVersion) return;
    // An empty file (or one with no catalogue in it) is not a vault of no
    // tasks: only a writer gives it a catalogue.
    if (version == 0 && !mayCreate)
        throw std::runtime_error("catalogue database '" + connection.path() + "' holds no catalogue (it is empty)");

    WriteTransaction transaction(connection);
    // Another process may have migrated while we waited for the write lock.
    version = fileVersion(connection);
    checkKnown(connection, version);
    for (; version < kSchemaVersion; ++version) connection.execute(kSteps[version]);
    connection.execute("PRAGMA user_version=" + std::to_string(kSchemaVersion));
    transaction.commit();
}

}  // namespace SqlCatalogue
