#include "ReadGlobalSetting.h"

#include <exception>

#include "GlobalSettingHelperAdapter.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace {

const int kTraceFacility = 64;
const unsigned kTraceLevel = 16385;
const int kDatabaseSettingReads = 4;

}  // namespace

void readGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue) {
    if (GlobalConfig::instance().isNodeLocalConfig(key)) {
        CGlobalSettingHelperAdapter<CRegFactoryRetriever> nodeLocal;
        nodeLocal->getGlobalSetting(key, value, defaultValue);
        return;
    }
    if (PerformanceCountersManager::instanceExists())
        PerformanceCountersManager::instance().incrementCounter(kDatabaseSettingReads);
    value = defaultValue;
    try {
        CGlobalSettingHelperAdapter<CDBFactoryRetriever> database;
        database->getGlobalSetting(key, value, defaultValue);
    } catch (const std::exception& error) {
        if (logCheckTraceLevel(kTraceLevel))
            log_show(kTraceFacility, kTraceLevel, "Database error calling getGlobalSetting: %s.", error.what());
    }
}
