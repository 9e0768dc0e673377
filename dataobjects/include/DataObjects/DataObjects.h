// The catalogue records that cross the database interfaces.
//
// Every record is a plain value type: default-constructible, copyable member by
// member (base part first), destroyed through the virtual destructor of
// DataObject. Records own all their strings and containers and refer to one
// another only by 32-bit IDs and GUID texts, never by pointers. Strings are
// byte strings and default to empty; 32-bit integers are unsigned unless the
// type says otherwise.
//
// Fields are declared in a fixed order with fixed defaults: plug-ins and callers
// are built separately against this header, so neither may change without the
// other. Fields that this system only carries have names of our choosing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace DataObjects {

typedef std::map<std::string, std::string> PropertyMap;
typedef std::vector<std::pair<std::string, PropertyMap> > PropertyGroups;

class DataObject {
public:
    virtual ~DataObject() = default;
    DataObject() = default;
    DataObject(const DataObject&) = default;
    DataObject& operator=(const DataObject&) = default;

    uint32_t id = 0;
    PropertyGroups propertyGroups;
    uint32_t auxValue = 0;
};

class TaskDataObject : public DataObject {
public:
    uint32_t typeId = 0;
    uint32_t computerId = 0;
    std::string name;
    uint32_t storagePolicyId = 0;
    uint32_t billingCodeId = 0;
    std::string description;
    std::string guid;
    uint32_t status = 1;
    bool enabled = false;
    bool visible = false;
    uint32_t nodeId = 0;
    bool suspect = false;
    std::string poolGuid;
    std::string taskFolder;
    uint32_t storageGroupType = 4;
    std::string aliasGuid;
    uint64_t originalSize = 0;
    uint32_t revision = 0;
};

class ComputerDataObject : public DataObject {
public:
    uint32_t locationId = 0;
    uint32_t agentTypeId = 0;
    std::string name;
    std::string description;
    std::string hostName;
    std::string operatingSystem;
    std::string agentVersion;
    std::string contact;
    std::string notes;
    uint32_t status = 1;
    uint32_t licenceCount = 1;
    std::string nodeName;
    uint32_t storageGroupType = 4;
    std::string guid;
    bool active = false;
};

class VaultDataObject : public DataObject {
public:
    std::string name;
    std::string description;
    std::string address;
    std::string version;
    uint32_t nodeCount = 0;
    uint32_t flags = 0;
    std::string guid;
};

class NodeDataObject : public DataObject {
public:
    std::string hostName;
    std::string address;
    std::string clusterAddress;
    std::string description;
    std::string version;
    std::string platform;
    uint32_t state = 0;
    uint32_t requestedState = 0;
    uint32_t primaryStorageGroupId = 0;
};

class PoolDataObject : public DataObject {
public:
    // Reads the configuration number "PoolVersion" (default 50); the only
    // record constructor that reads configuration.
    PoolDataObject();

    std::string guid;
    bool secondary = false;
    uint32_t poolVersion = 50;
    uint32_t storageGroupId = 0;
    uint32_t taskCount = 0;
    uint32_t flags = 0;
    uint32_t revision = 0;
    std::vector<std::string> folders{std::string(), std::string(), std::string()};
    std::vector<uint32_t> folderKinds{4, 4, 4};
};

class StorageGroupDataObject : public DataObject {
public:
    uint32_t nodeId = 0;
    uint32_t type = 255;
    std::string name;
    uint32_t blockSize = 512;
    uint32_t fillThreshold = 85;
};

class StorageLocationDataObject : public DataObject {
public:
    uint32_t storageGroupId = 0;
    uint32_t type = 255;
    std::string path;
    bool readOnly = false;
    uint32_t priority = 1;
    bool enabled = true;
    std::string userName;
    std::string password;
    std::string domain;
    uint32_t flags = 0;
    std::string description;
    PropertyMap properties;
};

// Customers and locations are filled by a full catalogue; the scan tool logs
// the display name and reports the reference texts.
class CustomerDataObject : public DataObject {
public:
    std::string name;        // display name
    std::string shortName;
    std::string reference;   // customer reference text
    std::string contact;
    uint32_t status = 0;
};

class LocationDataObject : public DataObject {
public:
    uint32_t customerId = 0;
    std::string name;
    std::string reference;   // location reference text
    std::string address;
    uint32_t status = 0;
};

class UserDataObject : public DataObject {
public:
    std::string userName;
    std::string password;
    std::string firstName;   // "xxx" from the catalogue plug-in
    std::string lastName;    // "xxx" from the catalogue plug-in
    uint32_t accountId = 0;  // 1 from the catalogue plug-in
    std::string email;
    uint32_t flags = 0;
};

class VaultAccountDataObject : public DataObject {
public:
    uint32_t customerId = 0;  // 1 from the catalogue plug-in
    uint32_t locationId = 0;  // 1 from the catalogue plug-in
    std::string name;
    std::string description;
    uint32_t flags = 0;
};

class StoragePolicyDataObject : public DataObject {
public:
    struct FileType {
        std::string extension;
        uint32_t compression = 0;
    };
    uint32_t storageGroupId = 0;
    uint32_t retentionDays = 0;
    uint32_t copies = 0;
    std::string name;
    bool compress = false;
    bool encrypt = false;
    bool deduplicate = false;
    bool replicate = false;
};

class SecondaryStorageDataObject : public DataObject {
public:
    std::string folder;
    uint32_t taskId = 0;
    uint32_t storageGroupId = 0;
    std::string poolGuid;
    uint64_t size = 0;
};

class VaultAliasDataObject : public DataObject {
public:
    uint32_t vaultId = 0;
    std::string guid;
    std::string name;
};

class ComputerUserDataObject : public DataObject {
public:
    uint32_t computerId = 0;
    uint32_t userId = 0;
    std::string hostName;
    std::string agentVersion;
};

class ComputerAliasDataObject : public DataObject {
public:
    uint32_t computerId = 0;
    uint32_t vaultId = 0;
    std::string guid;
};

class TaskAliasDataObject : public DataObject {
public:
    uint32_t taskId = 0;
    uint32_t vaultId = 0;
    std::string guid;
};

class NodeLoadDataObject : public DataObject {
public:
    uint32_t nodeId = 0;
    uint64_t load = 0;
};

class ComputerLoadDataObject : public DataObject {
public:
    uint32_t computerId = 0;
    uint64_t load = 0;
};

class TypeLookupDataObject : public DataObject {
public:
    std::string name;
};

class TableAccessStatsDataObject : public DataObject {
public:
    std::string tableName;
    uint64_t reads = 0;
    uint64_t writes = 0;
};

class TaskAssociationDataObject : public DataObject {
public:
    uint32_t taskId = 0;
    uint32_t nodeId = 0;
};

class BillingDataObject : public DataObject {
public:
    std::string code;
    std::string description;
};

}  // namespace DataObjects
