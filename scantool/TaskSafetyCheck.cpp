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
    return containerHoldsMarkedRecord(entry->getFileName().GetName());
}

bool containerHoldsMarkedRecord(const std::string& containerPath) {
    Carrowen::FileListContainer2 container;
    container.open(containerPath, 1, 1);
    // Every record from the first position to the end position is looked at,
    // in increasing identifier. The container looks at the marker bytes block
    // by block, each block verified against its checksums first, and answers
    // as a walk that reads the records one by one would, without copying
    // them out.
    return container.findMarkedRecord(container.recordIdLowerBound()) != container.recordIdUpperBound();
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
