#include <sys/stat.h>

#include <stdexcept>

#include "FoundationFixture.h"
#include "NodeConfigParser.h"
#include "VaultSettings.h"

namespace {

TEST(NodeConfigParse, LinesSectionsAndProblems) {
    const std::string longLine = "Long=" + std::string(NodeConfig::kMaxLineLength, 'x');
    const std::string text = "# comment\r\n"
                             "Orphan=1\n"                       // 2: before any section
                             "[node]\r\n"
                             "HostName=alpha\r\n"               // CRLF: '\r' dropped
                             "  ; indented comment\n"
                             "VaultVersion=8.40 = odd\n"        // value after the first '='
                             "HostName=beta\n"                  // first one wins
                             "no equals sign\n"                 // 8
                             "=empty key\n"                     // 9
                             "[bogus]\n"                        // 10: unknown, skipped with its lines
                             "Inside=hidden\n"
                             "[numbers]\n" +
                             longLine + "\n" +                  // 13
                             std::string("Nul=a\0b\n", 8) +     // 14
                             " Spaced = v \n"
                             "[local]\n"
                             "Mount_0=/srv/storage\n"
                             "Empty=";
    const NodeConfig::ParsedConfig parsed = NodeConfig::parse(text);
    const auto& node = parsed.sections.at("node");
    EXPECT_EQ(node.at("HostName"), "alpha");
    EXPECT_EQ(node.at("VaultVersion"), "8.40 = odd");
    EXPECT_EQ(parsed.sections.at("numbers").at(" Spaced "), " v ");
    EXPECT_EQ(parsed.sections.at("local").at("Mount_0"), "/srv/storage");
    EXPECT_EQ(parsed.sections.at("local").at("Empty"), "");
    EXPECT_EQ(parsed.sections.count("bogus"), 0u);
    EXPECT_EQ(parsed.sections.at("numbers").count("Long"), 0u);

    std::vector<size_t> lines;
    for (const auto& problem : parsed.problems) lines.push_back(problem.line);
    EXPECT_EQ(lines, (std::vector<size_t>{2, 8, 9, 10, 13, 14}));
}

class NodeConfigFile : public FoundationTest {};

TEST_F(NodeConfigFile, MissingFileGivesDefaultsWithoutMessages) {
    EXPECT_FALSE(NodeConfig::has("node", "HostName"));
    EXPECT_EQ(NodeConfig::get("node", "VaultVersion", "d"), "d");
    EXPECT_EQ(Version::local(), "8.50.0000");
    EXPECT_EQ(DBConfig::Instance(false).getVaultID(), "vault");
    EXPECT_EQ(sys_getconfignum("PoolVersion", nullptr, 50), 50u);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(NodeConfigFile, ChangesAreSeenAndProblemsReportedOncePerVersion) {
    writeConfig("[node]\nVaultVersion=8.30.0001\nbroken line\n");
    EXPECT_EQ(Version::local(), "8.30.0001");
    EXPECT_EQ(Version::local(), "8.30.0001");
    EXPECT_EQ(logCount("-W-0002 node configuration " + configPath() + " line 3"), 1u);

    writeConfig("[node]\nVaultVersion=8.40.0002\nbroken line\n");
    EXPECT_EQ(Version::local(), "8.40.0002");
    EXPECT_EQ(logCount(configPath() + " line 3"), 2u);

    ASSERT_EQ(::unlink(configPath().c_str()), 0);
    EXPECT_EQ(Version::local(), "8.50.0000");
}

TEST_F(NodeConfigFile, SetKeepsOtherLinesAndCreatesWhatIsMissing) {
    // No file and no folder yet.
    NodeConfig::set("numbers", "PoolVersion", "60");
    EXPECT_EQ(sys_getconfignum("PoolVersion", nullptr, 50), 60u);

    writeConfig("# keep me\r\n[node]\r\nHostName=alpha\r\n\r\n[local]\nMount_0=/a\n");
    NodeConfig::set("node", "VaultVersion", "8.10.0000");  // added to an existing section
    NodeConfig::set("local", "Mount_0", "/b");             // replaced in place
    NodeConfig::set("database", "VaultID", "v1");          // new section
    EXPECT_EQ(readFile(configPath()),
              "# keep me\r\n[node]\r\nHostName=alpha\r\nVaultVersion=8.10.0000\n\r\n[local]\nMount_0=/b\n\n"
              "[database]\nVaultID=v1\n");
    EXPECT_EQ(NodeConfig::get("node", "HostName"), "alpha");
    EXPECT_EQ(getNodeHostName(), "alpha");
    EXPECT_EQ(DBConfig::Instance(false).getVaultID(), "v1");

    EXPECT_TRUE(NodeConfig::remove("local", "Mount_0"));
    EXPECT_FALSE(NodeConfig::remove("local", "Mount_0"));
    EXPECT_FALSE(NodeConfig::has("local", "Mount_0"));
}

TEST_F(NodeConfigFile, SetRefusesWhatTheFormatCannotHold) {
    const std::pair<std::string, std::string> bad[] = {
        {"", "v"}, {"a=b", "v"}, {"#x", "v"}, {"  ;x", "v"}, {"k", "two\nlines"}, {"k", std::string("a\0b", 3)},
        {"k", std::string(NodeConfig::kMaxLineLength, 'v')},
    };
    for (const auto& entry : bad)
        EXPECT_THROW(NodeConfig::set("node", entry.first, entry.second), std::invalid_argument) << entry.first;
    EXPECT_THROW(NodeConfig::set("bogus", "k", "v"), std::invalid_argument);
    EXPECT_FALSE(NodeConfig::has("node", "k"));

    // A folder where the file should be: a clear error naming it, no crash.
    ASSERT_EQ(::mkdir((dir() + "/etc").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(configPath().c_str(), 0755), 0);
    try {
        NodeConfig::set("node", "k", "v");
        ADD_FAILURE() << "set into a folder succeeded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(configPath()), std::string::npos) << error.what();
    }
    EXPECT_EQ(NodeConfig::get("node", "k", "default"), "default");
}

TEST_F(NodeConfigFile, ConfigurationNumbers) {
    writeConfig("[numbers]\nA=123\nB=12x\nC=-1\nD=\nE=99999999999999999999999\nF=0\n");
    const struct {
        const char* name;
        unsigned long expected;
    } cases[] = {{"A", 123}, {"B", 7}, {"C", 7}, {"D", 7}, {"E", 7}, {"F", 0}, {"Absent", 7}};
    for (const auto& c : cases) {
        unsigned long value = 1;
        EXPECT_EQ(sys_getconfignum(c.name, &value, 7), c.expected) << c.name;
        EXPECT_EQ(value, c.expected) << c.name;
    }
    sys_getconfignum("B", nullptr, 7);
    EXPECT_EQ(logCount("configuration number B"), 1u);
    EXPECT_EQ(sys_getconfignum(nullptr, nullptr, 9), 9u);
}

TEST_F(NodeConfigFile, NodeLocalKeys) {
    writeConfig("[local]\nVaultUser=admin\n[node]\nVaultPassword=x\n");
    const GlobalConfig& config = GlobalConfig::instance();
    const std::pair<const char*, bool> cases[] = {
        {"VaultUser", true}, {"Mount_0", true},  {"Mount_17", true},      {"Mount_", false},
        {"Mount_x", false},  {"mount_0", false}, {"VaultPassword", false}, {"Mount_1a", false},
    };
    for (const auto& c : cases) EXPECT_EQ(config.isNodeLocalConfig(c.first), c.second) << c.first;
}

TEST_F(NodeConfigFile, JunkFileNeverCrashes) {
    std::string junk;
    for (unsigned i = 0; i < 300000; ++i) junk += static_cast<char>((i * 7919u) % 256u);
    writeConfig(junk);
    EXPECT_EQ(NodeConfig::get("node", "HostName", "d"), "d");
    EXPECT_GT(logCount("node configuration"), 0u);
}

TEST(PerformanceCounters, ExistAfterFirstUseAndCount) {
    EXPECT_FALSE(PerformanceCountersManager::instanceExists());
    PerformanceCountersManager& counters = PerformanceCountersManager::instance();
    EXPECT_TRUE(PerformanceCountersManager::instanceExists());
    const uint64_t before = counters.counter(4);
    counters.incrementCounter(4);
    counters.incrementCounter(-1);
    counters.incrementCounter(1000);
    EXPECT_EQ(counters.counter(4), before + 1);
    EXPECT_EQ(counters.counter(1000), 0u);
}

}  // namespace
