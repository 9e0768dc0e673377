// Node-local global settings: the [local] section of the node configuration.
#include <stdexcept>

#include "GlobalSettingHelperAdapter.h"
#include "VaultSettings.h"

namespace {

constexpr const char* kSection = "local";

class NodeLocalSettings final : public DatabaseInterfaces::GlobalSettingInterface {
public:
    DatabaseInterfaces::ConfigSourceType _getGlobalSetting(const std::string& key, std::string& value,
                                                           const std::string& defaultValue) override {
        if (NodeConfig::has(kSection, key)) {
            value = NodeConfig::get(kSection, key);
            return DatabaseInterfaces::CONFIG_SOURCE_NODE;
        }
        value = defaultValue;
        return DatabaseInterfaces::CONFIG_SOURCE_DEFAULT;
    }

    void _updateGlobalSetting(const std::string& key, const std::string& value) override {
        NodeConfig::set(kSection, key, value);
    }

    void deleteGlobalSetting(const std::string& key) override { NodeConfig::remove(kSection, key); }
};

}  // namespace

DatabaseInterfaces::GlobalSettingInterface* CRegFactoryRetriever::create(CConfigAccessorFactory::EConfigAccessors) {
    return new NodeLocalSettings;
}
