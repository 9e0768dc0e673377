// Feeds bytes as a pool's sync list, opens it and looks up safesets.
#include <cstdint>
#include <stdexcept>

#include "Carrowen/Carrowen.h"
#include "FuzzFile.h"
#include "Pool/Layout.h"
#include "Pool/PoolStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const DataObjects::TaskDataObject task = [] {
        DataObjects::TaskDataObject t;
        t.guid = "fuzz";
        t.taskFolder = FuzzFile::folder() + "task";
        VaultFiles::makeFolders(Pool::Layout::poolFolder(t));
        return t;
    }();
    static const auto descriptor = Pool::createPoolDescriptorForTask(task);
    FuzzFile::write(Pool::Layout::syncListPath(task), data, size);
    try {
        Carrowen::SyncList list;
        list.openReadOnly(task, descriptor, false, true, true);
        for (uint32_t safeset = 0; safeset < 8; ++safeset) {
            try {
                const auto entry = list.getEntryForSafeset(safeset);
                (void)entry->getVersion();
            } catch (const std::runtime_error&) {
            }
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
