// Paths of a task's files; see Pool/Layout.h for the layout.
#include "Pool/Layout.h"

#include <cstdio>

#include "TaskStorageDescriptor.h"
#include "VaultSettings.h"

namespace Pool {
namespace Layout {

const char* const SYNC_LIST_FILE_NAME = "synclist.vsl";
const char* const DEFAULT_LOCK_FOLDER = "/var/lock/vault";

namespace {

std::string withTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

bool keptAsIs(unsigned char c, bool leading) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_') return true;
    return c == '.' && !leading;
}

// Escapes every byte that could leave the folder or confuse a file name.
std::string safeFileNamePart(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (keptAsIs(c, i == 0)) {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

}  // namespace

std::string synchFolder(const DataObjects::TaskDataObject& task) {
    return TaskStorageDescriptor::getSynchFilesStorageLocation(task);
}

std::string poolFolder(const DataObjects::TaskDataObject& task) {
    if (task.taskFolder.empty()) return std::string();
    return withTrailingSlash(task.taskFolder) + "pool/";
}

std::string syncListPath(const DataObjects::TaskDataObject& task) {
    const std::string folder = poolFolder(task);
    return folder.empty() ? folder : folder + SYNC_LIST_FILE_NAME;
}

std::string containerFileName(uint32_t safesetNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "%08u.vfl", safesetNumber);
    return name;
}

std::string containerPath(const DataObjects::TaskDataObject& task, uint32_t safesetNumber) {
    const std::string folder = poolFolder(task);
    return folder.empty() ? folder : folder + containerFileName(safesetNumber);
}

std::string secondaryPoolFolder(const DataObjects::TaskDataObject& task, const std::string& poolGuid) {
    if (task.taskFolder.empty() || poolGuid.empty()) return std::string();
    return withTrailingSlash(task.taskFolder) + "secondary/" + safeFileNamePart(poolGuid) + "/";
}

std::string lockFolder() {
    std::string folder = NodeConfig::get("node", "LockFolder", DEFAULT_LOCK_FOLDER);
    if (folder.empty()) folder = DEFAULT_LOCK_FOLDER;
    return withTrailingSlash(folder);
}

std::string lockFileName(const DataObjects::TaskDataObject& task) {
    return (task.guid.empty() ? "task-id-" + std::to_string(task.id) : "task-" + safeFileNamePart(task.guid)) + ".lock";
}

std::string lockFilePath(const DataObjects::TaskDataObject& task) {
    return lockFolder() + lockFileName(task);
}

}  // namespace Layout
}  // namespace Pool
