// A pool operation command: one maintenance operation on the pool of one task.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "DataObjects/DataObjects.h"
#include "Pool/PoolApi.h"
#include "Pool/PoolStorage.h"

namespace Pool {

// Operation codes (PoolOperationCommand::command).
enum PoolCommandCode : int32_t {
    POOL_COMMAND_VERIFY = 0,
    POOL_COMMAND_OPTIMIZE = 1,
    POOL_COMMAND_DEDUPLICATE = 2,
    POOL_COMMAND_DELETE_SAFESETS = 3,
};

// A plain value record; copies share the task and the descriptor.
struct PoolOperationCommand {
    // The value of `command` that means no code is set.
    static constexpr int32_t COMMAND_NOT_SET = 0x7FFFFFFF;

    int32_t command = COMMAND_NOT_SET;
    boost::shared_ptr<DataObjects::TaskDataObject> task;
    std::vector<uint32_t> safesets;
    boost::shared_ptr<PoolStorageDescriptor> poolDescriptor;
    std::vector<std::string> parameters;
    // The global tag of the session that runs the command.
    std::string globalTag;
};

}  // namespace Pool
