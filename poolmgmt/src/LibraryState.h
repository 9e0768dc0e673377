// The library's one piece of shared mutable state.
#pragma once

#include <atomic>
#include <cstdint>

namespace Veshmoor {
namespace detail {

// The id of the task for which a CRC repair was last taken on in this
// process (kNoCrcRepairTask at load). Changed only through CrcRepairGate.
std::atomic<uint32_t>& lastCrcRepairTaskId();

}  // namespace detail
}  // namespace Veshmoor
