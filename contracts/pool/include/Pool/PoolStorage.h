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

}  // namespace Pool
