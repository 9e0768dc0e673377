#include "DatabaseInterfaces/DbInterfaceManager.h"

#include <mutex>
#include <stdexcept>

#include "DataObjects/DataObjects.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/Factories.h"
#include "PluginLibrary.h"
#include "VaultSettings.h"

namespace DatabaseInterfaces {

// The manager's plug-in, factory and interfaces, all created on first request.
struct DbInterfaceManager::State {
    std::mutex mutex;
    const detail::PluginEntryPoints* plugin = nullptr;
    std::unique_ptr<VaultInfoFactory> factory;
    std::unique_ptr<AdministratorInterface> administrator;
    std::unique_ptr<ApplicationInterface> application;

    VaultInfoFactory& factoryLocked() {
        if (factory) return *factory;
        if (plugin == nullptr) {
            const std::string name = DBConfig::Instance(false).getPluginName();
            if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
                throw std::runtime_error("database plug-in name '" + name + "' in [database] Plugin is not valid");
            plugin = &detail::loadPlugin(name, detail::pluginFolder(name) + "/lib" + name + ".so");
        }
        // Arguments: vault ID text, catalogue database file, then three
        // reserved texts.
        const std::string vaultId = DBConfig::Instance(false).getVaultID();
        const std::string databaseFile = DBConfig::Instance(false).getDatabaseFile();
        factory.reset(plugin->getDatabaseFactory(vaultId.c_str(), databaseFile.c_str(), "", "", ""));
        if (!factory) throw std::runtime_error("database plug-in '" + plugin->path + "' returned no factory");
        return *factory;
    }

    [[noreturn]] void noInterface(const char* kind) const {
        throw std::runtime_error("database plug-in '" + plugin->path + "' returned no " + kind + " interface");
    }
};

DbInterfaceManager::DbInterfaceManager() : state_(std::make_unique<State>()) {}

DbInterfaceManager::~DbInterfaceManager() {
    // Interfaces first, then the factory that made them; each through its
    // virtual destructor, so the plug-in releases what it allocated.
    state_->administrator.reset();
    state_->application.reset();
    state_->factory.reset();
}

AdministratorInterface* DbInterfaceManager::administratorInterface(bool create) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->administrator && create) {
        state_->administrator.reset(state_->factoryLocked().createAdministratorInterface());
        if (!state_->administrator) state_->noInterface("administrator");
    }
    return state_->administrator.get();
}

ApplicationInterface* DbInterfaceManager::applicationInterface(bool create) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->application && create) {
        state_->application.reset(state_->factoryLocked().createApplicationInterface());
        if (!state_->application) state_->noInterface("application");
    }
    return state_->application.get();
}

uint32_t getVaultID(ApplicationInterface* app) {
    if (app == nullptr) throw std::invalid_argument("getVaultID: no application interface");
    DataObjects::VaultDataObject vault;
    app->getVault(DBConfig::Instance(false).getVaultID(), vault);
    return vault.id;
}

}  // namespace DatabaseInterfaces
