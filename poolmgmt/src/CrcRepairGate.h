// The once-in-a-row rule of CRC repair jobs: the task for which a repair was
// last taken on, changed only by atomic compare-and-exchange.
//
// The slot is 64 bits wide so that "no repair taken on yet" lies outside the
// range of task ids: every 32-bit id, 4294967295 included, is a task whose
// first CRC error in a process queues its repair.
#pragma once

#include <atomic>
#include <cstdint>

namespace Veshmoor {
namespace detail {

using CrcRepairSlot = uint64_t;
constexpr CrcRepairSlot kNoCrcRepairTask = CrcRepairSlot{1} << 32;  // no task id has this value

class CrcRepairGate {
public:
    explicit CrcRepairGate(std::atomic<CrcRepairSlot>& lastTaskId) : last_(lastTaskId) {}

    // Takes the repair of `taskId` on: false when it is the task taken last
    // (another caller has it). Of several threads claiming one task at once,
    // exactly one gets true. On true, `previous` is the value that was stored
    // (kNoCrcRepairTask when none was).
    bool claim(uint32_t taskId, CrcRepairSlot& previous) {
        const CrcRepairSlot wanted = taskId;
        previous = last_.load();
        do {
            if (previous == wanted) return false;
        } while (!last_.compare_exchange_weak(previous, wanted));
        return true;
    }

    // Gives a claim back after its job could not be submitted, so the next
    // error of that task tries again: restores `previous` unless another task
    // has been claimed since.
    void release(uint32_t taskId, CrcRepairSlot previous) {
        CrcRepairSlot expected = taskId;
        last_.compare_exchange_strong(expected, previous);
    }

private:
    std::atomic<CrcRepairSlot>& last_;
};

}  // namespace detail
}  // namespace Veshmoor
