#include "BuiltPoolIndex.h"

#include <algorithm>

#include "Carrowen/Writers.h"
#include "IndexFile.h"
#include "Pool/PoolIndex.h"
#include "VaultBuilder.h"

namespace VaultAdmin {

void writeBuiltPoolIndex(const std::string& poolFolder, const TaskDescription& task, VaultFiles::FileSystem& files) {
    std::vector<const SafesetDescription*> safesets;
    for (const SafesetDescription& s : task.safesets) safesets.push_back(&s);
    std::sort(safesets.begin(), safesets.end(),
              [](const SafesetDescription* a, const SafesetDescription* b) { return a->number < b->number; });
    IndexFileWriter writer(poolFolder + IndexFileFormat::POOL_INDEX_FILE_NAME, task.poolGuid, files);
    for (const SafesetDescription* s : safesets) {
        const bool anyMarked = s->marked.count(s->records) > 0;
        for (uint64_t i = 0; i < s->records; ++i) {
            const auto id = static_cast<uint32_t>(kFirstRecordId + i);
            const bool marked = anyMarked && s->marked.isMarked(i, s->records);
            const Carrowen::FileListRecord record = Carrowen::makeRecord(id, marked);
            IndexEntry e;
            e.safesetNumber = s->number;
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
