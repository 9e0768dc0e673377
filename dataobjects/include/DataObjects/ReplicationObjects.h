// Records that only the replication interface carries.
//
// Same rules as DataObjects.h: plain value types derived from DataObject,
// fields default to zero or empty, records refer to one another by ID and
// GUID texts only. This system carries them and never reads them.
#pragma once

#include <cstdint>
#include <string>

#include "DataObjects/DataObjects.h"

namespace DataObjects {

class SatelliteStatisticsRequestDataObject : public DataObject {
public:
    uint32_t satelliteId = 0;
    std::string token;
};

class SatelliteStatisticsDataObject : public DataObject {
public:
    uint32_t satelliteId = 0;
    uint64_t storedBytes = 0;
    uint64_t protectedBytes = 0;
};

class RemoteSatelliteCmd : public DataObject {
public:
    uint32_t satelliteId = 0;
    std::string command;
};

class SatelliteReportRequest : public DataObject {
public:
    uint32_t satelliteId = 0;
    std::string report;
};

class ReplicationNode : public DataObject {
public:
    std::string name;
    std::string address;
    std::string vaultGuid;
};

class ReplicationChannel : public DataObject {
public:
    uint32_t nodeId = 0;
    std::string name;
    uint32_t mode = 0;
};

class LocalReplicationChannel : public DataObject {
public:
    uint32_t channelId = 0;
    std::string name;
};

class ReplicationThrottling : public DataObject {
public:
    uint32_t channelId = 0;
    uint32_t fromMinute = 0;
    uint32_t toMinute = 0;
    uint64_t bytesPerSecond = 0;
};

class ReplicationEvent : public DataObject {
public:
    uint32_t channelId = 0;
    std::string token;
    uint32_t status = 0;
};

class ReplicationPackage : public DataObject {
public:
    uint32_t channelId = 0;
    std::string vaultGuid;
    uint32_t mode = 0;
};

class ReplicationSession : public DataObject {
public:
    uint32_t packageId = 0;
    std::string guid;
    uint32_t status = 0;
};

class ReplicationConfigurationDataObject : public DataObject {
public:
    std::string name;
    std::string value;
};

class ReplicationSatelliteDataObject : public DataObject {
public:
    uint32_t customerId = 0;
    uint32_t computerId = 0;
    std::string guid;
};

class SafesetObject : public DataObject {
public:
    uint32_t taskId = 0;
    uint32_t number = 0;
};

class FileObject : public DataObject {
public:
    std::string path;
    uint64_t size = 0;
};

class ComputerFileObject : public DataObject {
public:
    uint32_t computerId = 0;
    std::string path;
};

class CustomerQuotaDataObject : public DataObject {
public:
    uint32_t customerId = 0;
    uint64_t quota = 0;
};

class ComputerBackupTypeDataObject : public DataObject {
public:
    uint32_t computerId = 0;
    uint32_t backupTypeId = 0;
};

}  // namespace DataObjects
