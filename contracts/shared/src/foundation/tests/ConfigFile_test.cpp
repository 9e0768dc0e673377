#include <stdexcept>

#include "FoundationFixture.h"
#include "VaultUtilities.h"

namespace {

using VaultUtilities::ConfigFilePersistManager;
using VaultUtilities::ConfigGroup;

TEST(ConfigFileParse, KeysValuesAndIgnoredLines) {
    const ConfigGroup group = ConfigFilePersistManager::parse(
        "TASK_GUID=abc\r\n# TASK_NAME=commented\nno equals\n=nokey\nTASK_NAME=Daily = full \nTASK_GUID=second\n"
        "COMPUTER=\nPOOL_GUID=p");
    const std::map<std::string, std::string> expected = {
        {"TASK_GUID", "abc"}, {"TASK_NAME", "Daily = full "}, {"COMPUTER", ""}, {"POOL_GUID", "p"}};
    EXPECT_EQ(group.entries(), expected);
    EXPECT_TRUE(group.valueExists("COMPUTER"));
    EXPECT_FALSE(group.valueExists("task_guid"));
    EXPECT_EQ(group.value("absent").svalue(), "");
}

class ConfigFileTest : public FoundationTest {};

TEST_F(ConfigFileTest, WriteThenReadRoundTrips) {
    ConfigGroup group;
    group.set("TASK_GUID", "g-1");
    group.set("TASK_NAME", "with = and % signs");
    const std::string path = dir() + "/label/TaskLabel.cfg";  // folder created on write
    ConfigFilePersistManager::write(path, group);
    EXPECT_EQ(ConfigFilePersistManager(path).getConfigReadOnly().entries(), group.entries());

    ConfigGroup bad;
    bad.set("K", "two\nlines");
    EXPECT_THROW(ConfigFilePersistManager::write(path, bad), std::invalid_argument);
    ConfigGroup badKey;
    badKey.set("A=B", "v");
    EXPECT_THROW(ConfigFilePersistManager::write(path, badKey), std::invalid_argument);
    // A refused write leaves the old file as it was.
    EXPECT_EQ(ConfigFilePersistManager(path).getConfigReadOnly().entries(), group.entries());
}

TEST_F(ConfigFileTest, UnusableFilesGiveEmptyGroups) {
    EXPECT_TRUE(ConfigFilePersistManager(dir() + "/missing.cfg").getConfigReadOnly().entries().empty());
    EXPECT_TRUE(logLines().empty());

    const std::string big = dir() + "/big.cfg";
    writeFile(big, "KEY=" + std::string(1024 * 1024, 'x') + "\n");
    EXPECT_TRUE(ConfigFilePersistManager(big).getConfigReadOnly().entries().empty());
    EXPECT_EQ(logCount("-W-0002 configuration file " + big), 1u);

    const std::string folder = dir() + "/folder.cfg";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_TRUE(ConfigFilePersistManager(folder).getConfigReadOnly().entries().empty());
    EXPECT_EQ(logCount("-W-0002 configuration file " + folder), 1u);
}

}  // namespace
