// Parameter and record types that the database interfaces name besides the
// catalogue records of DataObjects.h.
//
// These types only travel through the interfaces: a plug-in may fill them, and
// callers carry them. Every record is a plain value type whose fields default
// to zero or empty; enumerations are plain enums with explicit values. Types
// that serve as keys of std::map have an operator< here.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"

namespace DatabaseInterfaces {

// A signed 64-bit quantity (byte counts, sizes) as the interfaces pass it.
struct VBigInt {
    int64_t value = 0;
};

// A point in time (UTC seconds since the epoch).
struct isotime {
    std::time_t seconds = 0;
};

// One entry of a task's activity history.
struct VActivityEntry {
    isotime when;
    uint32_t kind = 0;
    std::string text;
};

// One scheduled job of the vault.
struct ScheduledTask {
    uint32_t id = 0;
    std::string name;
    std::string schedule;
    std::string command;
};

// The state of a node in the cluster.
enum NodeState {
    NODE_STATE_UNKNOWN = 0,
    NODE_STATE_ACTIVE = 1,
    NODE_STATE_INACTIVE = 2,
    NODE_STATE_MAINTENANCE = 3
};

// A node's reported status and state.
struct NodeStatusStateObject {
    uint32_t nodeId = 0;
    NodeState state = NODE_STATE_UNKNOWN;
    NodeState requestedState = NODE_STATE_UNKNOWN;
    uint32_t status = 0;
    isotime lastReport;
};

// One file-cache setting of a node.
struct FileCacheConfigurationObject {
    uint32_t nodeId = 0;
    std::string folder;
    uint64_t maxSize = 0;
};

// The kind of object whose copies a node list is asked for.
enum CopyObjectType {
    COPY_OBJECT_TASK = 0,
    COPY_OBJECT_COMPUTER = 1,
    COPY_OBJECT_POOL = 2
};

// Which of a pool's storage folders an operation addresses.
enum PoolLocation {
    POOL_LOCATION_PRIMARY = 0,
    POOL_LOCATION_SECONDARY = 1,
    POOL_LOCATION_TERTIARY = 2
};

// How a pool's size is computed.
enum PoolSizeAlgorithm {
    POOL_SIZE_PHYSICAL = 0,
    POOL_SIZE_LOGICAL = 1
};

enum StorageGroupType {
    STORAGE_GROUP_PRIMARY = 1,
    STORAGE_GROUP_SECONDARY = 2,
    STORAGE_GROUP_ANY = 255
};

enum StorageLocationType {
    STORAGE_LOCATION_LOCAL = 0,
    STORAGE_LOCATION_NETWORK = 1,
    STORAGE_LOCATION_ANY = 255
};

// Identifies one catalogue object (customer, location, computer, task...) by
// its kind and ID.
struct VSMPObjectIdentifier {
    uint32_t type = 0;
    uint32_t id = 0;
};

inline bool operator<(const VSMPObjectIdentifier& a, const VSMPObjectIdentifier& b) {
    return a.type != b.type ? a.type < b.type : a.id < b.id;
}

enum ObjectDisabilityState {
    OBJECT_ENABLED = 0,
    OBJECT_DISABLED = 1,
    OBJECT_DISABLED_BY_PARENT = 2
};

// Orders texts byte by byte after lower-casing ASCII letters.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            const unsigned char x = lower(static_cast<unsigned char>(a[i]));
            const unsigned char y = lower(static_cast<unsigned char>(b[i]));
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }

private:
    static unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
};

typedef std::map<VSMPObjectIdentifier, ObjectDisabilityState> ItemStateMap;
typedef std::map<DataObjects::StorageGroupDataObject, std::vector<DataObjects::StorageLocationDataObject> >
    StorageGroupMap;
typedef std::map<std::string, DataObjects::StoragePolicyDataObject::FileType, CaseInsensitiveLess> FileTypeMap;

// Replication parameters.
enum DBReplicationTokenType {
    TOKEN_UNKNOWN = 0,
    TOKEN_VAULT = 1,
    TOKEN_CUSTOMER = 2,
    TOKEN_LOCATION = 3,
    TOKEN_ACCOUNT = 4,
    TOKEN_USER = 5,
    TOKEN_COMPUTER = 6,
    TOKEN_TASK = 7,
    TOKEN_SAFESET = 8
};

enum ReplicationMode { REPLICATION_MODE_NONE = 0, REPLICATION_MODE_1TO1 = 1, REPLICATION_MODE_NTO1 = 2 };
enum ReplicationScopeMode { REPLICATION_SCOPE_OBJECT = 0, REPLICATION_SCOPE_TREE = 1 };
enum EventSubmitionMode { EVENT_SUBMIT_NOW = 0, EVENT_SUBMIT_DEFERRED = 1 };
enum ReplicationDirection { REPLICATION_UPSTREAM = 0, REPLICATION_DOWNSTREAM = 1 };
enum ReplicationStatus { REPLICATION_IDLE = 0, REPLICATION_RUNNING = 1, REPLICATION_DONE = 2, REPLICATION_FAILED = 3 };
enum ReplicationEntryType { REPLICATION_ENTRY_EVENT = 0, REPLICATION_ENTRY_SESSION = 1, REPLICATION_ENTRY_PACKAGE = 2 };

}  // namespace DatabaseInterfaces

namespace DataObjects {

// Storage groups key maps of their locations; they are ordered by ID.
inline bool operator<(const StorageGroupDataObject& a, const StorageGroupDataObject& b) { return a.id < b.id; }

}  // namespace DataObjects

namespace Replication {

// The replication configuration of the vault.
struct ReplicationConfigParam {
    bool enabled = false;
    uint32_t mode = 0;
    std::string localVaultGuid;
};

// A replication engine's view that a caller may hand to a replication
// interface; the interface never owns it.
class IReplicationInfo {
public:
    virtual ~IReplicationInfo() = default;
};

}  // namespace Replication
