#include <boost/lexical_cast.hpp>

#include "FoundationFixture.h"
#include "GlobalSettingHelperAdapter.h"
#include "VaultSettings.h"

namespace {

using namespace DatabaseInterfaces;

class NodeLocalSettings : public FoundationTest {};

TEST_F(NodeLocalSettings, ReadsDefaultsAndTypedValues) {
    writeConfig("[local]\nVaultUser=admin\nFlag=1\nCount=12\nRatio=0.25\nBad=abc\nEmpty=\n");
    CGlobalSettingHelperAdapter<CRegFactoryRetriever> adapter;
    std::string text;
    EXPECT_EQ(adapter->getGlobalSetting("VaultUser", text, std::string("d")), CONFIG_SOURCE_NODE);
    EXPECT_EQ(text, "admin");
    EXPECT_EQ(adapter->getGlobalSetting("Absent", text, std::string("d")), CONFIG_SOURCE_DEFAULT);
    EXPECT_EQ(text, "d");

    bool flag = false;
    adapter->getGlobalSetting("Flag", flag, false);
    EXPECT_TRUE(flag);
    int count = 0;
    adapter->getGlobalSetting("Count", count, 5);
    EXPECT_EQ(count, 12);
    double ratio = 0;
    adapter->getGlobalSetting("Ratio", ratio, 1.0);
    EXPECT_DOUBLE_EQ(ratio, 0.25);
    unsigned long long big = 0;
    EXPECT_EQ(adapter->getGlobalSetting("Absent", big, 77ULL), CONFIG_SOURCE_DEFAULT);
    EXPECT_EQ(big, 77ULL);
    // An empty value means the default; text that is no number is an error.
    EXPECT_EQ(adapter->getGlobalSetting("Empty", count, 5), CONFIG_SOURCE_NODE);
    EXPECT_EQ(count, 5);
    EXPECT_THROW(adapter->getGlobalSetting("Bad", count, 5), boost::bad_lexical_cast);
}

TEST_F(NodeLocalSettings, UpdatesAndDeletesGoToTheFile) {
    {
        CGlobalSettingHelperAdapter<CRegFactoryRetriever> adapter;
        adapter->updateGlobalSetting("Enabled", true);
        adapter->updateGlobalSetting("Limit", -3);
        adapter->updateGlobalSetting("Share", 1.5f);
        adapter->updateGlobalSetting("Mount_0", std::string("/srv/a"));
    }
    EXPECT_EQ(NodeConfig::get("local", "Enabled"), "1");
    EXPECT_EQ(NodeConfig::get("local", "Limit"), "-3");
    EXPECT_EQ(NodeConfig::get("local", "Mount_0"), "/srv/a");

    CGlobalSettingHelperAdapter<CRegFactoryRetriever> adapter;
    float share = 0;
    adapter->getGlobalSetting("Share", share, 0.0f);
    EXPECT_FLOAT_EQ(share, 1.5f);
    adapter->deleteGlobalSetting("Limit");
    EXPECT_FALSE(NodeConfig::has("local", "Limit"));
    int limit = 0;
    EXPECT_EQ(adapter->getGlobalSetting("Limit", limit, 9), CONFIG_SOURCE_DEFAULT);
    EXPECT_EQ(limit, 9);
}

}  // namespace
