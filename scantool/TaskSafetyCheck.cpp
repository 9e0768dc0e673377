#include "TaskSafetyCheck.h"

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>

#include <boost/shared_ptr.hpp>

#include "FileServices.h"
#include "Pool/PoolStorage.h"
#include "ResultFiles.h"
#include "TaskStorageDescriptor.h"
#include "VSynchSet.h"
#include "VaultLog.h"

namespace Trevalon {

const char* const kAffectedVersionCeiling = "8.40";
const char* const kMarkerFileNames[2] = {"ombrik.exe.config", "sorvendel.exe.config"};

namespace {
const unsigned kWarning = 4098;
}

bool isAffectedVersion(const std::string& version) {
    // std::string compares bytes as unsigned characters, and a shorter text
    // that is a prefix of the other compares lower.
    if (version.substr(0, 1).compare("8") < 0) return false;
    if (version.substr(0, 4).compare(kAffectedVersionCeiling) > 0) return false;
    return true;
}

bool isSafesetAffected(const Carrowen::SyncList& syncList, uint32_t safesetNumber) {
    boost::shared_ptr<Carrowen::SyncEntry> entry = syncList.getEntryForSafeset(safesetNumber);
    const std::string version = entry->getVersion();
    if (!isAffectedVersion(version)) return false;

    Carrowen::FileListContainer2 container;
    container.open(entry->getFileName().GetName(), 1, 1);
    const uint64_t lower = container.recordIdLowerBound();
    const uint64_t upper = container.recordIdUpperBound();

    Carrowen::FileListRecord record;
    Carrowen::FileListPosition position = container.first(record);
    const Carrowen::FileListPosition end = container.end();
    Carrowen::FileListReader& reader = container.reader();
    for (;;) {
        if (position == end) return false;
        if (position.recordId < lower || position.recordId >= upper) {
            throw std::out_of_range("Iterator is out of range [recordIdLowerBound,recordIdUpperBound)");
        }
        if (record.markerFlag() != 0) return true;
        uint64_t next = static_cast<uint64_t>(position.recordId) + 1;
        if (next < lower) next = lower;
        if (next > upper) next = upper;
        position.recordId = static_cast<uint32_t>(next);
        if (next < upper) {
            reader.setPosition(position.recordId);
            if (reader.read(record) != 1) throw std::runtime_error("iterator could not read value");
        }
    }
}

void createMarkerFile(const std::string& path) {
    // Opened without following a link and only as a regular file, without
    // blocking: the synchronisation folder may be writable by others.
    OFStreamWrapper marker(path, OFStreamWrapper::Rewrite);
}

bool checkTaskSafety(const DataObjects::TaskDataObject& task, bool& offlineDataDetected) {
    boost::shared_ptr<VSynchSet> synchSet(new VSynchSet(0, false, 0));
    if (synchSet->Open(task, false) < 1) {
        throw std::runtime_error("the synchronisation set of the task cannot be read");
    }
    std::map<uint32_t, VSynchEntry> entries;
    synchSet->getEntries(entries);

    // The descriptor and the sync list depend only on the task (the storage
    // of every available safeset is the task's pool), so they are made and
    // read once per task rather than once per safeset.
    boost::shared_ptr<Pool::PoolStorageDescriptor> descriptor;
    std::unique_ptr<Carrowen::SyncList> syncList;
    bool safe = true;
    for (const auto& item : entries) {
        const uint32_t safesetNumber = item.first;
        const VSynchEntry& entry = item.second;
        if (entry.peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE) {
            log_show(0, kWarning, "Safeset Number %u is unavailable and will not be processed.", safesetNumber);
            offlineDataDetected = true;
            continue;
        }
        if (!syncList) {
            descriptor = Pool::createPoolDescriptorForPeripheral(entry.peripheral, entry.fileName.GetName(), task);
            syncList.reset(new Carrowen::SyncList);
            syncList->openReadOnly(task, descriptor, false, true, true);
        }
        if (!isSafesetAffected(*syncList, safesetNumber)) continue;

        uint32_t storageGroupType = 255;
        const std::string folder =
            AddTrailingSlash(TaskStorageDescriptor::getSynchFilesStorageLocation(task, storageGroupType));
        createMarkerFile(folder + kMarkerFileNames[0]);
        createMarkerFile(folder + kMarkerFileNames[1]);
        safe = false;
        break;
    }
    synchSet->endUse();
    return safe;
}

}  // namespace Trevalon
