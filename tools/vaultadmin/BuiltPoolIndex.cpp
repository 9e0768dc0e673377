#include "BuiltPoolIndex.h"

#include <algorithm>

#include "Carrowen/Writers.h"
#include "IndexFile.h"
#include "Pool/PoolIndex.h"

namespace VaultAdmin {

void writeBuiltPoolIndex(const std::string& poolFolder, const std::string& poolGuid,
                         std::vector<BuiltContainer> containers) {
    std::sort(containers.begin(), containers.end(),
              [](const BuiltContainer& a, const BuiltContainer& b) { return a.safesetNumber < b.safesetNumber; });
    IndexFileWriter writer(poolFolder + IndexFileFormat::POOL_INDEX_FILE_NAME, poolGuid);
    for (const BuiltContainer& c : containers) {
        for (uint64_t i = 0; i < c.records; ++i) {
            const auto id = static_cast<uint32_t>(c.firstRecordId + i);
            const bool marked = c.isMarked && c.isMarked(id);
            const Carrowen::FileListRecord record = Carrowen::makeRecord(id, marked);
            IndexEntry e;
            e.safesetNumber = c.safesetNumber;
            e.recordId = id;
            e.key = Pool::recordKey(record.bytes, Carrowen::FileListRecord::SIZE);
            e.offset = 64 + i * Carrowen::FileListRecord::SIZE;
            e.size = Carrowen::FileListRecord::SIZE;
            e.flags = marked ? 1u : 0u;
            writer.append(e);
        }
    }
    writer.commit();
}

}  // namespace VaultAdmin
