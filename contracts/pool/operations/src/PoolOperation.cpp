// The base of every pool operation: its command, its stop request and its
// checkpoints; and the process-wide stop request.
#include <csignal>

#include "Pool/PoolErrors.h"
#include "Pool/PoolFactory.h"

namespace Pool {

namespace {
// sig_atomic_t-sized lock-free flag: request() may run in a signal handler.
std::atomic<bool> processStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag must be usable from a signal handler");
}  // namespace

namespace Interruption {
void request() { processStopRequested.store(true, std::memory_order_relaxed); }
void clear() { processStopRequested.store(false, std::memory_order_relaxed); }
bool requested() { return processStopRequested.load(std::memory_order_relaxed); }
}  // namespace Interruption

PoolOperation::PoolOperation(const PoolOperationCommand& command) : command_(command) {}

PoolOperation::~PoolOperation() = default;

void PoolOperation::interrupt() { interrupted_.store(true); }

bool PoolOperation::interruptRequested() const { return interrupted_.load() || Interruption::requested(); }

void PoolOperation::setCheckpointHook(std::function<void(const char* checkpoint)> hook) { hook_ = std::move(hook); }

void PoolOperation::checkpoint(const char* name) {
    if (hook_) hook_(name);
    if (!interruptRequested()) return;
    const std::string poolGuid = command_.poolDescriptor ? command_.poolDescriptor->getPoolGuid() : std::string();
    const std::string taskGuid = command_.task ? command_.task->guid : std::string();
    throw JobInterruptedException(poolGuid, taskGuid,
                                  std::string("pool operation interrupted at ") + name + " (task " + taskGuid + ")");
}

void PoolOperation::progressPoint(const char* name) {
    if (hook_) hook_(name);
}

PoolFactory::~PoolFactory() = default;

}  // namespace Pool
