// A task's synchronisation-files folder: "<taskFolder>/sync/".
#include "TaskStorageDescriptor.h"

namespace {
const char* const kSynchSubfolder = "sync/";
}

std::string TaskStorageDescriptor::getSynchFilesStorageLocation(const DataObjects::TaskDataObject& task,
                                                                uint32_t& /*storageGroupType*/) {
    return getSynchFilesStorageLocation(task);
}

std::string TaskStorageDescriptor::getSynchFilesStorageLocation(const DataObjects::TaskDataObject& task) {
    if (task.taskFolder.empty()) return std::string();
    std::string folder = task.taskFolder;
    if (folder.back() != '/') folder += '/';
    return folder + kSynchSubfolder;
}
