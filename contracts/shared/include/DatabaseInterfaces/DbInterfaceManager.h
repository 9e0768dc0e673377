// The door to the vault database: loads the configured database plug-in by
// name and hands out its interfaces.
//
// The plug-in named by [database] Plugin of the node configuration is loaded
// from lib<Plugin>.so in the plug-in folder ($VAULT_PLUGIN_DIR, else [database]
// PluginFolder, else the installed plug-in folder "../plugins" from
// libShared's folder, else the running program's "../lib" (a build folder)). Its C
// exports are resolved by their plain names.
// Interfaces asked for with true are created on first request and kept, and
// released through their virtual destructors, while the manager lives. A
// loaded plug-in stays loaded until the process ends (a plug-in may run
// threads of its own). Failures raise std::runtime_error naming the library
// and the export.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SharedApi.h"

namespace DatabaseInterfaces {

class AdministratorInterface;
class ApplicationInterface;

class SHARED_API DbInterfaceManager {
public:
    DbInterfaceManager();
    ~DbInterfaceManager();
    DbInterfaceManager(const DbInterfaceManager&) = delete;
    DbInterfaceManager& operator=(const DbInterfaceManager&) = delete;

    AdministratorInterface* administratorInterface(bool create);
    ApplicationInterface* applicationInterface(bool create);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The ID of the configured vault: looks up the vault named by
// DBConfig::getVaultID() ([database] VaultID) with app->getVault and returns
// its id, 0 when the catalogue holds no such vault. Errors of the look-up
// propagate; a null `app` raises std::invalid_argument.
SHARED_API uint32_t getVaultID(ApplicationInterface* app);

}  // namespace DatabaseInterfaces
