// Test fixtures for the catalogue plug-in: a temporary folder with its own
// node configuration, and a small vault built through the administrator
// interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DataObjects/DataObjects.h"

namespace DatabaseInterfaces {
class AdministratorInterface;
}

namespace SqlCatalogueTest {

// The two stores of the catalogue.
enum class Backend { Sqlite, Postgres };
std::string backendName(const ::testing::TestParamInfo<Backend>& info);
void PrintTo(Backend backend, std::ostream* out);

// A temporary folder holding node.conf (VAULT_NODE_CONFIG points at it) with
// [node] HostName=node-a.example, [database] Plugin=SqlCatalogue,
// VaultID=vault-one and the store: File=<folder>/catalogue.db for SQLite, or
// Backend=postgresql with Connection naming a fresh database on the test
// server. Both are removed afterwards.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The store the fixture sets up; SQLite unless a subclass says otherwise.
    virtual Backend backend() const { return Backend::Sqlite; }

    // Rewrites node.conf from these lines (without the section headers the
    // fixture writes for node and database).
    void writeConfig(const std::string& databaseLines, const std::string& extraSections = std::string());
    // The [database] lines of the fixture's store.
    std::string storeLines() const;
    // Runs SQL on the store directly, around the plug-in.
    void runStoreSql(const std::string& sql) const;

    std::string folder_;
    std::string databaseFile_;
    std::string configFile_;
    std::string pgDatabase_;  // the PostgreSQL database, or ""
    std::string pgConninfo_;  // its connection string
    // How errors name the store: "catalogue database '...'" (the file, or
    // the database and its server).
    std::string storeName_;
};

// The fixture for each of the two stores: every TEST_P runs against both.
class StoreFixture : public CatalogueFixture, public ::testing::WithParamInterface<Backend> {
protected:
    Backend backend() const override { return GetParam(); }
};

// What buildSmallVault wrote: IDs in the order of creation.
struct SmallVault {
    uint32_t vaultId = 0;
    std::vector<uint32_t> nodeIds;      // node-a.example, node-b.example
    std::vector<uint32_t> customerIds;  // two customers
    std::vector<uint32_t> locationIds;  // customer 1: two locations; customer 2: one
    std::vector<uint32_t> computerIds;  // location 1: two computers; others one each
    std::vector<uint32_t> taskIds;      // two tasks per computer
};

// Writes two nodes, two customers, three locations, four computers, eight
// tasks (the last one bound to no node) and one pool per task.
SmallVault buildSmallVault(DatabaseInterfaces::AdministratorInterface& admin);

// The task record buildSmallVault stores for task number n (0-based) of
// computer c (0-based), bound to `nodeId`.
DataObjects::TaskDataObject sampleTask(unsigned c, unsigned n, uint32_t nodeId);

// Runs one SQL script on the file directly; throws on error.
void runSql(const std::string& databaseFile, const std::string& sql);

}  // namespace SqlCatalogueTest
