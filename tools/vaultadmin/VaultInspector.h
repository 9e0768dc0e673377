// Reading a built vault back: the catalogue tree through the database
// interfaces and, per task, its safesets through the storage readers
// (synchronisation set, sync list, file-list container), as the scan tool
// reads them. Used by `show` and `tasks`, and by tests to compare a vault with
// its description.
//
// Storage problems do not stop the walk: a task or safeset that cannot be read
// carries the error text instead, so one damaged file never hides the rest.
// Catalogue errors (the database cannot be opened) are thrown.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace VaultAdmin {

struct InspectedSafeset {
    uint32_t number = 0;
    uint32_t peripheral = 0;
    bool unavailable = false;
    std::string version;
    uint32_t recordIdLowerBound = 0;
    uint32_t recordIdUpperBound = 0;
    uint64_t records = 0;
    std::vector<uint32_t> markedIds;  // record identifiers with the marker byte set
    std::string error;                // "" when the safeset read back completely
};

struct InspectedTask {
    uint32_t id = 0;
    std::string name;
    std::string guid;
    std::string poolGuid;
    std::string node;  // host name of the node the catalogue binds it to
    std::string folder;
    std::vector<InspectedSafeset> safesets;
    std::string error;  // synchronisation set unreadable
};

struct InspectedComputer {
    uint32_t id = 0;
    std::string name;
    std::string guid;
    std::vector<InspectedTask> tasks;
};

struct InspectedLocation {
    uint32_t id = 0;
    std::string name;
    std::string reference;
    std::vector<InspectedComputer> computers;
};

struct InspectedCustomer {
    uint32_t id = 0;
    std::string name;
    std::string reference;
    std::vector<InspectedLocation> locations;
};

struct InspectedVault {
    uint32_t id = 0;
    std::string name;
    std::string guid;
    std::string version;   // installed vault version of the node configuration
    std::string thisNode;  // this node's host name
    std::vector<std::string> nodes;
    std::vector<InspectedCustomer> customers;

    // Errors met anywhere in the storage (unreadable data of an unavailable
    // safeset is not one).
    size_t problemCount() const;
};

struct InspectOptions {
    bool readStorage = true;  // false: catalogue only (fast, no safesets)
};

// Reads the vault of the node configuration the process points at
// (VAULT_NODE_CONFIG).
InspectedVault inspectVault(const InspectOptions& options);

// The readable tree of `show`.
void printVault(const InspectedVault& vault, std::ostream& out);
// One line per task: id, name, node, folder, separated by tabs.
void printTasks(const InspectedVault& vault, std::ostream& out);

}  // namespace VaultAdmin
