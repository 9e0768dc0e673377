// The pool factory of pool format 50, the one format of this vault's pools.
#include <strings.h>

#include <stdexcept>

#include "Operations.h"
#include "Pool/Layout.h"
#include "Pool/PoolFactory.h"

namespace Pool {
namespace {

constexpr uint32_t kPoolVersion = 50;

// Refuses a command the operations cannot act on safely: no task, no pool,
// or a descriptor whose folder is not a pool of the task.
void checkCommand(const PoolOperationCommand& command) {
    if (!command.task) throw std::invalid_argument("PoolOperationCommand.task is null");
    if (!command.poolDescriptor) throw std::invalid_argument("PoolOperationCommand.poolDescriptor is null");
    const DataObjects::TaskDataObject& task = *command.task;
    const std::string guid = command.poolDescriptor->getPoolGuid();
    std::string folder = command.poolDescriptor->getPoolFolder();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string taskText = "task '" + task.name + "' (#" + std::to_string(task.id) + ")";
    if (task.taskFolder.empty()) throw std::invalid_argument(taskText + " has no task folder");
    if (folder == Layout::poolFolder(task)) {
        if (::strcasecmp(guid.c_str(), task.poolGuid.c_str()) != 0)
            throw std::invalid_argument("pool '" + guid + "' is not the pool of " + taskText + " ('" + task.poolGuid +
                                        "')");
    } else if (folder != Layout::secondaryPoolFolder(task, guid)) {
        throw std::invalid_argument("pool folder '" + folder + "' of pool '" + guid + "' is not a pool of " + taskText);
    }
    if (command.command == POOL_COMMAND_DELETE_SAFESETS && command.safesets.empty())
        throw std::invalid_argument("delete of no safesets for " + taskText);
}

class PoolFactory50 final : public PoolFactory {
public:
    boost::shared_ptr<PoolOperation> createOperation(const PoolOperationCommand& command) override {
        switch (command.command) {
            case POOL_COMMAND_VERIFY:
                checkCommand(command);
                return Operations::makeVerify(command);
            case POOL_COMMAND_OPTIMIZE:
                checkCommand(command);
                return Operations::makeOptimize(command);
            case POOL_COMMAND_DEDUPLICATE:
                checkCommand(command);
                return Operations::makeDeduplicate(command);
            case POOL_COMMAND_DELETE_SAFESETS:
                checkCommand(command);
                return Operations::makeDeleteSafesets(command);
            default:
                throw std::invalid_argument("unknown pool command code " + std::to_string(command.command) +
                                            " (known: 0 verify, 1 optimize, 2 deduplicate, 3 delete safesets)");
        }
    }
    uint32_t poolVersion() const override { return kPoolVersion; }
};

}  // namespace

boost::shared_ptr<PoolFactory> PoolFactory::getPoolFactory(uint32_t poolVersion) {
    if (poolVersion != kPoolVersion)
        throw std::invalid_argument("no pool factory for pool version " + std::to_string(poolVersion) + " (known: 50)");
    return boost::shared_ptr<PoolFactory>(new PoolFactory50);
}

}  // namespace Pool
