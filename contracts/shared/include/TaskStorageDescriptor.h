// Where a task's files lie on the storage.
#pragma once

#include <cstdint>
#include <string>

#include "DataObjects/DataObjects.h"
#include "SharedApi.h"

class SHARED_API TaskStorageDescriptor {
public:
    // The task's synchronisation-files folder, ending in a separator.
    // `storageGroupType` (255: any) is accepted and left as it is.
    static std::string getSynchFilesStorageLocation(const DataObjects::TaskDataObject& task,
                                                    uint32_t& storageGroupType);
    static std::string getSynchFilesStorageLocation(const DataObjects::TaskDataObject& task);
};
