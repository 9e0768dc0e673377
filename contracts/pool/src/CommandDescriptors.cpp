// The descriptors of the pool a command acts on: the task's online pool and
// its secondary pools (docs/pool-operations.md).
#include <strings.h>

#include "Pool/Layout.h"
#include "Pool/PoolStorage.h"
#include "VaultFiles.h"

namespace Pool {

OnlineCarrowenStorageDescriptor::OnlineCarrowenStorageDescriptor(const std::string& poolGuid,
                                                                 const DataObjects::TaskDataObject& task)
    : poolGuid_(poolGuid), poolFolder_(Layout::poolFolder(task)) {}
OnlineCarrowenStorageDescriptor::~OnlineCarrowenStorageDescriptor() = default;
std::string OnlineCarrowenStorageDescriptor::getPoolGuid() const { return poolGuid_; }
std::string OnlineCarrowenStorageDescriptor::getPoolFolder() const { return poolFolder_; }

SecondaryPoolStorageDescriptor::SecondaryPoolStorageDescriptor(const std::string& poolGuid,
                                                               const DataObjects::TaskDataObject& task)
    : poolGuid_(poolGuid), poolFolder_(Layout::secondaryPoolFolder(task, poolGuid)) {}
SecondaryPoolStorageDescriptor::~SecondaryPoolStorageDescriptor() = default;
std::string SecondaryPoolStorageDescriptor::getPoolGuid() const { return poolGuid_; }
std::string SecondaryPoolStorageDescriptor::getPoolFolder() const { return poolFolder_; }

bool isSecondaryPool(const std::string& poolGuid, const DataObjects::TaskDataObject& task) {
    if (poolGuid.empty() || ::strcasecmp(poolGuid.c_str(), task.poolGuid.c_str()) == 0) return false;
    std::string folder = Layout::secondaryPoolFolder(task, poolGuid);
    if (folder.empty()) return false;
    folder.pop_back();  // with its trailing '/', a link to a folder would be followed
    // A link in the task folder does not make a secondary pool.
    return VaultFiles::FileSystem::real().status(folder, VaultFiles::Links::Refuse).kind == VaultFiles::FileKind::Folder;
}

}  // namespace Pool
