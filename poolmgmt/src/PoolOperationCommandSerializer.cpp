#include "Veshmoor/PoolOperationCommandSerializer.h"

#include <stdexcept>

#include "CommandAssembler.h"
#include "CommandText.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "Pool/PoolStorage.h"

namespace Veshmoor {

namespace {

// Task look-ups through an administrator interface, and descriptors from the
// pool library. The interface is asked for only when a task is looked up.
class CatalogueLookups {
public:
    explicit CatalogueLookups(DatabaseInterfaces::DbInterfaceManager& manager) : manager_(&manager) {}
    explicit CatalogueLookups(DatabaseInterfaces::AdministratorInterface& catalogue) : catalogue_(&catalogue) {}

    bool findTask(uint32_t id, DataObjects::TaskDataObject& task) { return catalogue().getTask(id, task); }

    boost::shared_ptr<Pool::PoolStorageDescriptor> poolDescriptor(const std::string& guid,
                                                                  const DataObjects::TaskDataObject& task) {
        if (Pool::isSecondaryPool(guid, task))
            return boost::shared_ptr<Pool::PoolStorageDescriptor>(new Pool::SecondaryPoolStorageDescriptor(guid, task));
        return boost::shared_ptr<Pool::PoolStorageDescriptor>(new Pool::OnlineCarrowenStorageDescriptor(guid, task));
    }

private:
    DatabaseInterfaces::AdministratorInterface& catalogue() {
        if (!catalogue_) catalogue_ = manager_->administratorInterface(true);
        return *catalogue_;
    }

    DatabaseInterfaces::DbInterfaceManager* manager_ = nullptr;
    DatabaseInterfaces::AdministratorInterface* catalogue_ = nullptr;
};

}  // namespace

std::string PoolOperationCommandSerializer::toString(const Pool::PoolOperationCommand& command) {
    if (!command.task) throw std::runtime_error(detail::taskIsNullText());
    if (!command.poolDescriptor) throw std::runtime_error(detail::descriptorIsNullText());
    return detail::writeCommandText(command.command, command.task->id, command.safesets,
                                    command.poolDescriptor->getPoolGuid(), command.parameters);
}

void PoolOperationCommandSerializer::fromString(std::string text, Pool::PoolOperationCommand& command) {
    DatabaseInterfaces::DbInterfaceManager manager;
    CatalogueLookups lookups(manager);
    detail::assembleCommand(text, command, lookups);
}

void PoolOperationCommandSerializer::fromString(const std::string& text, Pool::PoolOperationCommand& command,
                                                DatabaseInterfaces::AdministratorInterface& catalogue) {
    CatalogueLookups lookups(catalogue);
    detail::assembleCommand(text, command, lookups);
}

}  // namespace Veshmoor
