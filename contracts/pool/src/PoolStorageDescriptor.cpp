// The pool storage of a task: its pool folder under the task folder.
//
// Every safeset of a task lies in the task's one pool folder, so the storage
// of a safeset is found from the task alone; the peripheral word only tells
// whether that storage is available (VSYNCH_PERIPHERAL_UNAVAILABLE).
#include "Pool/PoolStorage.h"

#include <stdexcept>

#include "Pool/Layout.h"
#include "VSynchSet.h"
#include "VaultFiles.h"

namespace Pool {

PoolStorageDescriptor::~PoolStorageDescriptor() = default;

namespace {

class TaskPoolStorageDescriptor final : public PoolStorageDescriptor {
public:
    TaskPoolStorageDescriptor(std::string poolGuid, std::string poolFolder)
        : poolGuid_(std::move(poolGuid)), poolFolder_(std::move(poolFolder)) {}
    std::string getPoolGuid() const override { return poolGuid_; }
    std::string getPoolFolder() const override { return poolFolder_; }

private:
    std::string poolGuid_;
    std::string poolFolder_;
};

std::string taskLabel(const DataObjects::TaskDataObject& task) {
    return "task '" + task.name + "' (" + task.guid + ", #" + std::to_string(task.id) + ")";
}

}  // namespace

boost::shared_ptr<PoolStorageDescriptor> createPoolDescriptorForTask(const DataObjects::TaskDataObject& task) {
    const std::string folder = Layout::poolFolder(task);
    if (folder.empty())
        throw std::runtime_error(taskLabel(task) + ": no task folder, so its pool storage cannot be found");
    if (VaultFiles::FileSystem::real().status(folder, VaultFiles::Links::Follow).kind != VaultFiles::FileKind::Folder)
        throw std::runtime_error(taskLabel(task) + ": pool folder " + folder + " does not exist");
    return boost::shared_ptr<PoolStorageDescriptor>(new TaskPoolStorageDescriptor(task.poolGuid, folder));
}

boost::shared_ptr<PoolStorageDescriptor> createPoolDescriptorForPeripheral(uint32_t peripheral,
                                                                           const std::string& fileName,
                                                                           const DataObjects::TaskDataObject& task) {
    if (peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE)
        throw std::runtime_error(taskLabel(task) + ": safeset file '" + fileName + "' lies on unavailable storage");
    return createPoolDescriptorForTask(task);
}

}  // namespace Pool
