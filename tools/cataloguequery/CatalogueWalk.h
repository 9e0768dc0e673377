// What the configured database plug-in answers about a vault, gathered
// through the interface manager: the vault, its nodes, every computer with
// its name and tasks (with their folders), the pools, the storage groups and
// their locations.
//
// Computers are found through customers and locations when the plug-in
// lists customers, and through getLocationComputers alone when it does not
// (a plug-in whose computers belong to no location, like Quenlith). A
// question the plug-in answers with "Not implemented" is recorded in
// `notServed` and the walk goes on; any other error propagates.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"

namespace DatabaseInterfaces {
class DbInterfaceManager;
}

namespace CatalogueQuery {

struct TaskView {
    uint32_t id = 0;
    uint32_t computerId = 0;
    std::string guid;
    std::string name;
    std::string folder;
};

struct ComputerView {
    uint32_t id = 0;
    std::string guid;
    std::string name;
    std::vector<TaskView> tasks;
};

struct PoolView {
    std::string guid;
    std::string folder;  // folders[0]
};

struct CatalogueView {
    std::string plugin;
    DataObjects::VaultDataObject vault;
    std::vector<DataObjects::NodeDataObject> nodes;
    std::vector<ComputerView> computers;
    // Every pool of every task (getTaskPools, asked once per task ID), first
    // occurrence of each GUID, each confirmed by getPoolByGuid.
    std::vector<PoolView> pools;
    std::vector<DataObjects::StorageGroupDataObject> storageGroups;
    std::vector<DataObjects::StorageLocationDataObject> storageLocations;
    std::vector<std::string> notServed;  // the questions answered "Not implemented"
};

CatalogueView walkCatalogue(DatabaseInterfaces::DbInterfaceManager& manager);

// The view as indented text, one record a line; control characters and
// backslashes in texts are written as \xNN.
void printCatalogue(const CatalogueView& view, std::ostream& out);

// The view as one JSON object (docs/quenlith.md shows the schema), texts as
// stored; bytes that are not UTF-8 become U+FFFD.
void printCatalogueJson(const CatalogueView& view, std::ostream& out);

}  // namespace CatalogueQuery
