// Pool storage descriptors: which storage holds a safeset or a pool.
#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "DataObjects/DataObjects.h"
#include "Pool/PoolApi.h"

namespace Pool {

class POOL_API PoolStorageDescriptor {
public:
    virtual ~PoolStorageDescriptor();
    virtual std::string getPoolGuid() const = 0;
    // The pool's folder on the storage, ending in a separator.
    virtual std::string getPoolFolder() const = 0;
};

// The descriptor of the task's pool storage: its pool folder
// (Pool::Layout::poolFolder) and the task record's poolGuid. Throws
// std::runtime_error naming the task when taskFolder is empty or the pool
// folder does not exist.
POOL_API boost::shared_ptr<PoolStorageDescriptor> createPoolDescriptorForTask(const DataObjects::TaskDataObject& task);

// The descriptor of the storage that holds a safeset, from its synchronisation
// entry's peripheral word and file name. Throws a standard exception when the
// storage cannot be found. Every safeset of a task lies in the task's pool
// folder, so this is createPoolDescriptorForTask(task), except that a
// peripheral word with the unavailable bit (0x40000) set is refused with
// std::runtime_error naming the task and the file.
POOL_API boost::shared_ptr<PoolStorageDescriptor> createPoolDescriptorForPeripheral(
    uint32_t peripheral, const std::string& fileName, const DataObjects::TaskDataObject& task);

// Descriptors of the pool a command acts on. Neither constructor checks the
// storage (a command naming an unknown pool must still convert to text); the
// pool operations check it when they run.

// The task's online pool: the pool folder "<taskFolder>/pool/"
// (Pool::Layout::poolFolder). getPoolGuid is the GUID given, which a pool
// operation requires to equal the task's poolGuid (ignoring case).
class POOL_API OnlineCarrowenStorageDescriptor : public PoolStorageDescriptor {
public:
    OnlineCarrowenStorageDescriptor(const std::string& poolGuid, const DataObjects::TaskDataObject& task);
    ~OnlineCarrowenStorageDescriptor() override;
    std::string getPoolGuid() const override;
    std::string getPoolFolder() const override;

private:
    std::string poolGuid_;
    std::string poolFolder_;
};

// A secondary pool of the task: a second copy of the task's pool under
// "<taskFolder>/secondary/<pool GUID>/" (Pool::Layout::secondaryPoolFolder),
// with the same files as the online pool folder.
class POOL_API SecondaryPoolStorageDescriptor : public PoolStorageDescriptor {
public:
    SecondaryPoolStorageDescriptor(const std::string& poolGuid, const DataObjects::TaskDataObject& task);
    ~SecondaryPoolStorageDescriptor() override;
    std::string getPoolGuid() const override;
    std::string getPoolFolder() const override;

private:
    std::string poolGuid_;
    std::string poolFolder_;
};

// True when `poolGuid` names a secondary pool of `task`: it is not the task's
// poolGuid (ignoring case) and the folder
// Pool::Layout::secondaryPoolFolder(task, poolGuid) exists. Never throws for
// a missing folder or an empty taskFolder (false).
POOL_API bool isSecondaryPool(const std::string& poolGuid, const DataObjects::TaskDataObject& task);

}  // namespace Pool
