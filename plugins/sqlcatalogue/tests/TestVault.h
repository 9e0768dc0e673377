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

// A temporary folder holding node.conf (VAULT_NODE_CONFIG points at it) with
// [node] HostName=node-a.example, [database] Plugin=SqlCatalogue,
// VaultID=vault-one, File=<folder>/catalogue.db. Removed afterwards.
class CatalogueFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Rewrites node.conf from these lines (without the section headers the
    // fixture writes for node and database).
    void writeConfig(const std::string& databaseLines, const std::string& extraSections = std::string());
    std::string folder_;
    std::string databaseFile_;
    std::string configFile_;
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
