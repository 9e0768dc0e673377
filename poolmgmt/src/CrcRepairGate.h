// The once-in-a-row rule of CRC repair jobs: the id of the task for which a
// repair was last taken on, changed only by atomic compare-and-exchange.
#pragma once

#include <atomic>
#include <cstdint>

namespace Veshmoor {
namespace detail {

constexpr uint32_t kNoCrcRepairTask = 0xFFFFFFFFu;

class CrcRepairGate {
public:
    explicit CrcRepairGate(std::atomic<uint32_t>& lastTaskId) : last_(lastTaskId) {}

    // Takes the repair of `taskId` on: false when it is the task taken last
    // (another caller has it). Of several threads claiming one task at once,
    // exactly one gets true. On true, `previous` is the id that was stored.
    bool claim(uint32_t taskId, uint32_t& previous) {
        previous = last_.load();
        do {
            if (previous == taskId) return false;
        } while (!last_.compare_exchange_weak(previous, taskId));
        return true;
    }

    // Gives a claim back after its job could not be submitted, so the next
    // error of that task tries again: restores `previous` unless another task
    // has been claimed since.
    void release(uint32_t taskId, uint32_t previous) {
        uint32_t expected = taskId;
        last_.compare_exchange_strong(expected, previous);
    }

private:
    std::atomic<uint32_t>& last_;
};

}  // namespace detail
}  // namespace Veshmoor
