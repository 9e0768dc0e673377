// The library's tables, filled when the library loads and read-only after.
#include "CrcRepairGate.h"
#include "LibraryState.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"

namespace Veshmoor {

const std::map<int32_t, std::string> PoolCommandManager::commandDescriptions_ = {
    {0, "Checking"},
    {1, "Optimizing"},
    {2, "Deduplicating"},
    {3, "Deleting safeset"},
};

const std::map<int32_t, std::pair<std::string, std::string>> PoolCommandManager::executionSettings_ = {
    {0, {"Pellatrix", "Verify"}},
    {1, {"Pellatrix", "Optimize"}},
    {2, {"Pellatrix", "Dedup"}},
    {3, {"Ombrikate", "Migrate_Delete"}},
};

const std::map<int32_t, std::string> PoolErrorHandler::errorCodesStr_ = {
    {0x00320000, "Carrowen CRC Error"},
    {0x00320001, "Carrowen Mark Task Suspect"},
    {0x00320002, "Carrowen Mark Task Suspect"},
    {0x00510000, "CRC Error"},
    {0x00510001, "Mark Task Suspect"},
    {0x00510002, "Mark Task Suspect"},
};

namespace detail {

std::atomic<uint64_t>& lastCrcRepairTaskId() {
    static std::atomic<uint64_t> lastTaskId{kNoCrcRepairTask};
    return lastTaskId;
}

}  // namespace detail
}  // namespace Veshmoor
