// Database-kept global settings: a GlobalSettingInterface over the
// application interface of the configured database plug-in.
#include <memory>

#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "GlobalSettingHelperAdapter.h"

namespace {

class DatabaseSettings final : public DatabaseInterfaces::GlobalSettingInterface {
public:
    // Reaches the plug-in at once, so that an unreachable database is
    // reported by create() rather than by the first read.
    DatabaseSettings() : application_(manager_.applicationInterface(true)) {}

    DatabaseInterfaces::ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value,
                                                           const std::string& defaultValue) override {
        return application_->_getGlobalSetting(key, value, defaultValue);
    }
    void _updateGlobalSetting(const std::string& key, const std::string& value) override {
        application_->_updateGlobalSetting(key, value);
    }
    void deleteGlobalSetting(const std::string& key) override { application_->deleteGlobalSetting(key); }

private:
    DatabaseInterfaces::DbInterfaceManager manager_;
    DatabaseInterfaces::ApplicationInterface* application_;
};

}  // namespace

DatabaseInterfaces::GlobalSettingInterface* CDBFactoryRetriever::create(CConfigAccessorFactory::EConfigAccessors) {
    return new DatabaseSettings;
}
