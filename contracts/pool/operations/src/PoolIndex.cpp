// Building a pool's index from its sync list and containers.
#include "Pool/PoolIndex.h"

#include <stdexcept>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "IndexFile.h"
#include "Pool/Layout.h"
#include "StorageCodec.h"

namespace Pool {

namespace {
constexpr uint64_t kContainerHeaderSize = 64;
}  // namespace

uint64_t recordKey(const unsigned char* record, size_t size) {
    return (uint64_t(StorageCodec::crc32c(record, size, 0x9E3779B9u)) << 32) | StorageCodec::crc32c(record, size);
}

uint64_t writePoolIndex(const std::string& poolFolder, const std::string& poolGuid) {
    const std::string folder = !poolFolder.empty() && poolFolder.back() != '/' ? poolFolder + "/" : poolFolder;
    const std::vector<Carrowen::SyncListEntryData> list = Carrowen::readSyncList(folder + Layout::SYNC_LIST_FILE_NAME);
    IndexFileWriter writer(folder + IndexFileFormat::POOL_INDEX_FILE_NAME, poolGuid);
    Carrowen::FileListRecord record;
    for (const Carrowen::SyncListEntryData& entry : list) {
        Carrowen::FileListContainer2 container;
        container.open(folder + entry.containerFileName, 1, 1);
        const uint32_t lower = container.recordIdLowerBound();
        for (uint32_t id = lower; id < container.recordIdUpperBound(); ++id) {
            if (container.readRecord(id, record) != 1)
                throw std::runtime_error(folder + entry.containerFileName + ": record " + std::to_string(id) +
                                         " cannot be read");
            IndexEntry e;
            e.safesetNumber = entry.safesetNumber;
            e.recordId = id;
            e.key = recordKey(record.bytes, Carrowen::FileListRecord::SIZE);
            e.offset = kContainerHeaderSize + uint64_t(id - lower) * Carrowen::FileListRecord::SIZE;
            e.size = Carrowen::FileListRecord::SIZE;
            e.flags = record.markerFlag() != 0 ? 1u : 0u;
            writer.append(e);
        }
    }
    writer.commit();
    return writer.entryCount();
}

}  // namespace Pool
