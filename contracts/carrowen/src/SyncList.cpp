// A pool's sync list, read whole and checked when opened.
#include <map>
#include <stdexcept>

#include "Carrowen/Carrowen.h"
#include "Pool/Layout.h"
#include "PoolFileFormats.h"
#include "StorageCodec.h"
#include "VaultFiles.h"

namespace Carrowen {

SyncEntry::~SyncEntry() = default;

struct SyncList::State {
    bool open = false;
    std::string path;
    std::string poolFolder;
    std::map<uint32_t, SyncListEntryData> entries;
};

SyncList::SyncList() : state_(new State) {}

SyncList::~SyncList() {
    delete state_;
}

void SyncList::openReadOnly(const DataObjects::TaskDataObject& task,
                            const boost::shared_ptr<Pool::PoolStorageDescriptor>& descriptor, bool /*lockList*/,
                            bool /*readEntries*/, bool /*verify*/) {
    const std::string taskText = "task '" + task.name + "' (#" + std::to_string(task.id) + ")";
    if (!descriptor) throw std::invalid_argument("sync list of " + taskText + ": no pool storage descriptor");
    std::string folder = descriptor->getPoolFolder();
    if (folder.empty()) throw std::runtime_error("sync list of " + taskText + ": the pool storage has no folder");
    if (folder.back() != '/') folder += '/';

    State fresh;
    fresh.poolFolder = folder;
    fresh.path = folder + Pool::Layout::SYNC_LIST_FILE_NAME;
    std::string bytes;
    if (!VaultFiles::readWholeFile(fresh.path, Format::kSyncListMaximumFileSize, bytes, VaultFiles::Links::Refuse))
        throw std::runtime_error(fresh.path + ": sync list not found");
    for (SyncListEntryData& e : Format::decodeSyncList(bytes, fresh.path)) {
        const uint32_t number = e.safesetNumber;
        fresh.entries.emplace(number, std::move(e));
    }
    fresh.open = true;
    *state_ = std::move(fresh);
}

boost::shared_ptr<SyncEntry> SyncList::getEntryForSafeset(uint32_t safesetNumber) const {
    if (!state_->open) throw std::runtime_error("sync list not open");
    const auto it = state_->entries.find(safesetNumber);
    if (it == state_->entries.end())
        throw std::runtime_error("safeset " + std::to_string(safesetNumber) + " not found in sync list " + state_->path);
    boost::shared_ptr<SyncEntry> entry(new SyncEntry);
    entry->version_ = it->second.version;
    entry->fileName_ = VFileName(state_->poolFolder + it->second.containerFileName);
    return entry;
}

}  // namespace Carrowen
