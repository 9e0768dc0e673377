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

// The descriptor of the storage that holds a safeset, from its synchronisation
// entry's peripheral word and file name. Throws a standard exception when the
// storage cannot be found.
POOL_API boost::shared_ptr<PoolStorageDescriptor> createPoolDescriptorForPeripheral(
    uint32_t peripheral, const std::string& fileName, const DataObjects::TaskDataObject& task);

}  // namespace Pool
