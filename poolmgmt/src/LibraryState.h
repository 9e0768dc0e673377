// The library's one piece of shared mutable state.
#pragma once

#include <atomic>
#include <cstdint>

namespace Veshmoor {
namespace detail {

// The id of the task for which a CRC repair was last taken on in this
// process, or kNoCrcRepairTask (outside the id range) before the first.
// Changed only through CrcRepairGate.
std::atomic<uint64_t>& lastCrcRepairTaskId();

}  // namespace detail
}  // namespace Veshmoor
