// The operations of pool format 50 (not exported; created by the factory).
#pragma once

#include <boost/shared_ptr.hpp>

#include "Pool/PoolFactory.h"

namespace Pool {
namespace Operations {

boost::shared_ptr<PoolOperation> makeVerify(const PoolOperationCommand& command);
boost::shared_ptr<PoolOperation> makeOptimize(const PoolOperationCommand& command);
boost::shared_ptr<PoolOperation> makeDeduplicate(const PoolOperationCommand& command);
boost::shared_ptr<PoolOperation> makeDeleteSafesets(const PoolOperationCommand& command);

}  // namespace Operations
}  // namespace Pool
