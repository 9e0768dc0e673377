#include "Veshmoor/PoolCommandManager.h"

#include <stdexcept>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "LocalSettings.h"
#include "LogIds.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolFactory.h"
#include "StatusText.h"
#include "TaskHierarchy.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "VaultUtilities.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"

namespace Veshmoor {

namespace {

using detail::kFacility;
using detail::kCatalogueFacility;
using detail::kInformation;
using detail::kError;
using detail::kTrace;
using detail::kDisabledByLocalSettings;


// The hierarchy text of the command's task; "" when it has none.
std::string hierarchyOf(const Pool::PoolOperationCommand& command) {
    return command.task ? getTaskHierarchy(static_cast<int32_t>(command.task->id)) : std::string();
}

void requireSession(const boost::shared_ptr<VaultCommandSession>& session) {
    if (!session) throw std::invalid_argument("PoolCommandManager: no command session");
}

}  // namespace

void PoolCommandManager::execute(boost::shared_ptr<VaultCommandSession> session, const std::string& commandText,
                                 std::vector<std::string>& followUps) {
    requireSession(session);
    Pool::PoolOperationCommand command;
    PoolOperationCommandSerializer::fromString(commandText, command);
    command.globalTag = session->getGlobalTag();
    std::vector<Pool::PoolOperationCommand> produced;
    execute(session, command, produced);
    for (const Pool::PoolOperationCommand& followUp : produced)
        followUps.push_back(PoolOperationCommandSerializer::toString(followUp));
}

void PoolCommandManager::execute(boost::shared_ptr<VaultCommandSession> session,
                                 const Pool::PoolOperationCommand& command,
                                 std::vector<Pool::PoolOperationCommand>& followUps) {
    requireSession(session);
    std::string commandText;
    try {
        commandText = PoolOperationCommandSerializer::toString(command);
        session->logMaintenance(kFacility, kTrace, "Executing pool command: %s", commandText.c_str());
        updateProgress(session, command);
        if (!isRunnable(command)) return;

        DatabaseInterfaces::DbInterfaceManager manager;
        DataObjects::PoolDataObject pool;
        const std::string poolGuid = command.poolDescriptor->getPoolGuid();
        if (!manager.administratorInterface(true)->getPoolByGuid(poolGuid, pool))
            throw VaultUtilities::Error(1, kError, "Attempt to execute the command for unknown pool: '%s'",
                                        poolGuid.c_str());
        boost::shared_ptr<Pool::PoolFactory> factory = Pool::PoolFactory::getPoolFactory(pool.poolVersion);
        boost::shared_ptr<Pool::PoolOperation> operation = factory->createOperation(command);
        operation->run(followUps);
    } catch (const Pool::JobInterruptedException& error) {
        session->logMaintenance(kFacility, kInformation, "Pool operation failed for task %s. %s: %s",
                                hierarchyOf(command).c_str(), commandText.c_str(), error.what());
        throw;
    } catch (const Pool::PoolError& error) {
        log_show(kFacility, kError, "Pool operation failed %s: %s", commandText.c_str(), error.what());
        session->logMaintenance(kFacility, kError, "Pool operation failed for task %s. %s: %s",
                                hierarchyOf(command).c_str(), commandText.c_str(), error.what());
        throw;
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "Command failed %s: %s", commandText.c_str(), error.what());
        session->logMaintenance(kFacility, kError, "Command failed for task %s. %s: %s", hierarchyOf(command).c_str(),
                                commandText.c_str(), error.what());
        throw VeshmoorException(error.what());
    }
}

void PoolCommandManager::updateProgress(boost::shared_ptr<VaultCommandSession> session,
                                        const Pool::PoolOperationCommand& command) {
    const std::string status = detail::commandStatusText(commandDescriptions_, command.command, hierarchyOf(command),
                                                         command.safesets, command.parameters);
    session->getProgress()->SetStatusMsg(status, 0);
}

bool PoolCommandManager::isRunnable(const Pool::PoolOperationCommand& command) {
    const auto setting = executionSettings_.find(command.command);
    if (setting == executionSettings_.end()) return true;
    const LocalSettings settings(*command.task);
    if (settings.isRunnable(setting->second.first, setting->second.second)) return true;
    log_show(nullptr, kCatalogueFacility, kDisabledByLocalSettings, hierarchyOf(command).c_str());
    return false;
}

}  // namespace Veshmoor
