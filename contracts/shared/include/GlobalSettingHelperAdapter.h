// Adapters that hold a GlobalSettingInterface for one read.
//
// CGlobalSettingHelperAdapter<CRegFactoryRetriever> reads node-local settings
// from the [local] section of the node configuration; the adapter over
// CDBFactoryRetriever reads database-kept settings through the database
// interface manager. Each adapter owns its interface and releases it on
// destruction.
#pragma once

#include <memory>

#include "DatabaseInterfaces/GlobalSettingInterface.h"
#include "SharedApi.h"

namespace CConfigAccessorFactory {
enum EConfigAccessors { DEFAULT_ACCESSOR = 0 };
}

// The [local] section: a present key answers CONFIG_SOURCE_NODE, an absent
// one its default with CONFIG_SOURCE_DEFAULT; updates are written to the node
// configuration file (NodeConfig::set) and deleteGlobalSetting removes the
// key from it.
struct SHARED_API CRegFactoryRetriever {
    static DatabaseInterfaces::GlobalSettingInterface* create(CConfigAccessorFactory::EConfigAccessors kind);
};

struct SHARED_API CDBFactoryRetriever {
    // Throws a standard exception when the database plug-in cannot be reached.
    static DatabaseInterfaces::GlobalSettingInterface* create(CConfigAccessorFactory::EConfigAccessors kind);
};

template <typename Retriever>
class CGlobalSettingHelperAdapter {
public:
    explicit CGlobalSettingHelperAdapter(
        CConfigAccessorFactory::EConfigAccessors kind = CConfigAccessorFactory::DEFAULT_ACCESSOR)
        : interface_(Retriever::create(kind)) {}
    CGlobalSettingHelperAdapter(const CGlobalSettingHelperAdapter&) = delete;
    CGlobalSettingHelperAdapter& operator=(const CGlobalSettingHelperAdapter&) = delete;

    DatabaseInterfaces::GlobalSettingInterface* get() const { return interface_.get(); }
    DatabaseInterfaces::GlobalSettingInterface* operator->() const { return interface_.get(); }

private:
    std::unique_ptr<DatabaseInterfaces::GlobalSettingInterface> interface_;
};
