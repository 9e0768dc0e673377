// The door to the vault database: loads the configured database plug-in by
// name and hands out its interfaces.
//
// The plug-in named by [database] Plugin of the node configuration is loaded
// from lib<Plugin>.so in the plug-in folder ($VAULT_PLUGIN_DIR, else [database]
// PluginFolder, else the folder of the running program's "../lib", else
// /usr/lib/vault/plugins). Its C exports are resolved by their plain names.
// Interfaces asked for with true are created on first request and kept, and
// released through their virtual destructors, while the manager lives. A
// loaded plug-in stays loaded until the process ends (a plug-in may run
// threads of its own). Failures raise std::runtime_error naming the library
// and the export.
#pragma once

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

}  // namespace DatabaseInterfaces
