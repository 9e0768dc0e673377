// The index file a build writes beside each pool's containers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace VaultAdmin {

// One container as the build wrote it: records from `firstRecordId` on, each
// Carrowen::makeRecord(id, isMarked(id)) (isMarked empty: none marked).
struct BuiltContainer {
    uint32_t safesetNumber = 0;
    uint32_t firstRecordId = 0;
    uint64_t records = 0;
    std::function<bool(uint32_t)> isMarked;
};

// Writes "<poolFolder>pool.vix" for the containers (in any order) from the
// records the build wrote, without reading the containers back.
void writeBuiltPoolIndex(const std::string& poolFolder, const std::string& poolGuid,
                         std::vector<BuiltContainer> containers);

}  // namespace VaultAdmin
