// readGlobalSetting's two roads: the node configuration's [local] section,
// and the database through the manager and the SQL catalogue plug-in, whose
// failure yields the default and a trace line.
#include "ReadGlobalSetting.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace {

class ReadGlobalSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "globalsetting-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        const char* plugins = std::getenv("VAULT_PLUGIN_DIR");
        pluginFolder_ = plugins != nullptr ? plugins : "";
        ::setenv("VAULT_NODE_CONFIG", (folder_ + "/node.conf").c_str(), 1);
        writeConfig("0");
    }
    void TearDown() override {
        ::setenv("VAULT_PLUGIN_DIR", pluginFolder_.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    void writeConfig(const std::string& traceLevel) {
        std::ofstream(folder_ + "/node.conf", std::ios::trunc)
            << "[node]\nHostName=node-a\nTraceLevel=" << traceLevel << "\n"
            << "[database]\nPlugin=SqlCatalogue\nFile=" << folder_ << "/catalogue.db\n"
            << "[local]\nVaultUser=local-user\n";
    }
    std::string logText(const std::string& name) const {
        std::ifstream in(folder_ + "/" + name + ".log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string folder_;
    std::string pluginFolder_;
};

TEST_F(ReadGlobalSettingTest, NodeLocalKeysComeFromTheNodeConfiguration) {
    std::string value;
    readGlobalSetting("VaultUser", value, "default");
    EXPECT_EQ(value, "local-user");
    // A storage root is node-local even when absent: its default, no database.
    ::setenv("VAULT_PLUGIN_DIR", folder_.c_str(), 1);
    readGlobalSetting("Mount_3", value, "no-root");
    EXPECT_EQ(value, "no-root");
}

TEST_F(ReadGlobalSettingTest, OtherKeysComeFromTheDatabase) {
    {
        DatabaseInterfaces::DbInterfaceManager manager;
        manager.applicationInterface(true)->updateGlobalSetting("VaultAccount", std::string("account-7"));
    }
    std::string value;
    readGlobalSetting("VaultAccount", value, "default");
    EXPECT_EQ(value, "account-7");
    readGlobalSetting("VaultPassword", value, "default");
    EXPECT_EQ(value, "default");
}

TEST_F(ReadGlobalSettingTest, AnUnreachableDatabaseYieldsTheDefaultAndATraceLine) {
    ::setenv("VAULT_PLUGIN_DIR", folder_.c_str(), 1);  // holds no plug-in
    batutil_LogOpen(folder_.c_str(), "trace", 0, 0, false);

    std::string value = "stale";
    readGlobalSetting("VaultAccount", value, "fallback");
    EXPECT_EQ(value, "fallback");
    EXPECT_EQ(logText("trace").find("Database error calling getGlobalSetting"), std::string::npos)
        << "tracing is off, yet a line was written";

    writeConfig("1");
    value = "stale";
    readGlobalSetting("VaultAccount", value, "fallback");
    EXPECT_EQ(value, "fallback");
    const std::string expected = "Database error calling getGlobalSetting: cannot load database plug-in 'SqlCatalogue' from '" +
                                 folder_ + "/libSqlCatalogue.so': ";
    EXPECT_NE(logText("trace").find(expected), std::string::npos) << logText("trace");
}

}  // namespace
