#include <cstdio>
#include <regex>

#include "FoundationFixture.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace {

class VaultLog : public FoundationTest {};

TEST_F(VaultLog, LineFormatAndPrefix) {
    EXPECT_EQ(std::string(batutil_LogPath()), dir() + "/Test.log");
    log_show(0, 4097, "Tool version: %s", "8.00.7416");
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::regex format(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} TEST-I-0001 Tool version: 8\.00\.7416)");
    EXPECT_TRUE(std::regex_match(lines[0], format)) << lines[0];
}

TEST_F(VaultLog, TextIsTakenLiterallyAndStaysOneLine) {
    LogOptions options;
    log_show(&options, 0, 4099, "100% done %s %n");
    log_show(nullptr, 0, 4098, "first\nsecond\r");
    log_show(nullptr, 0, 4098, nullptr);
    log_showEx(nullptr, 0, 4268);
    log_show(0, 4485, "%s", "task 9");
    log_show(0, 5000, "unknown %d", 5);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 6u);
    const char* endings[] = {
        " TEST-E-0003 100% done %s %n",
        " TEST-W-0002 first second ",
        " TEST-W-0002 ",
        " TEST-E-0172 submit request failed",
        " TEST-W-0384 This feature is disabled by local settings for task 'task 9'. Will not process it.",
        " TEST-?-5000 unknown 5",
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string ending = endings[i];
        ASSERT_GE(lines[i].size(), ending.size());
        EXPECT_EQ(lines[i].substr(lines[i].size() - ending.size()), ending);
    }
}

TEST_F(VaultLog, TraceLinesOnlyWhenTraceLevelIsSet) {
    const std::pair<const char*, bool> cases[] = {{"", false}, {"TraceLevel=0\n", false}, {"TraceLevel=x\n", false},
                                                  {"TraceLevel=1\n", true}, {"TraceLevel=16385\n", true}};
    size_t expected = 0;
    for (const auto& c : cases) {
        writeConfig(std::string("[node]\n") + c.first);
        EXPECT_EQ(logCheckTraceLevel(16385), c.second) << c.first;
        EXPECT_TRUE(logCheckTraceLevel(4097));
        log_show(64, 16385, "Database error calling getGlobalSetting: %s.", "boom");
        expected += c.second;
        EXPECT_EQ(logCount("TEST-T-1111 Database error calling getGlobalSetting: boom."), expected) << c.first;
    }
}

TEST_F(VaultLog, UnopenableLogFallsBackAndSays) {
    writeFile(dir() + "/file", "x");
    batutil_LogOpen((dir() + "/file").c_str(), "Other", 0, 0, false);  // a file where the folder should be
    // The old log stays in use and records why the new one failed.
    log_show(0, 4097, "still here");
    EXPECT_EQ(logCount("OTHER-E-0003"), 1u);
    EXPECT_EQ(logCount("OTHER-I-0001 still here"), 1u);

    batutil_LogOpen((dir() + "/new/folder").c_str(), "Made", 0, 0, false);  // missing folders are created
    log_show(0, 4097, "moved");
    EXPECT_EQ(readFile(dir() + "/new/folder/Made.log").find("MADE-I-0001 moved") != std::string::npos, true);
}

TEST(VaultLogBeforeOpen, LinesGoToStandardErrorWithTheDefaultPrefix) {
    // Run in a freshly started copy of the program, where no log is open yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            log_show(0, 4098, "early %s", "line");
            std::fprintf(stderr, "path=[%s]\n", batutil_LogPath());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "VAULT-W-0002 early line\npath=\\[\\]");
}

TEST(FormatMessage, AnyLength) {
    const std::string big(100000, 'z');
    EXPECT_EQ(VaultUtilities::formatMessage("<%s|%d>", big.c_str(), 42), "<" + big + "|42>");
    EXPECT_EQ(VaultUtilities::formatMessage("%s", ""), "");
}

TEST_F(VaultLog, NumberedErrorCarriesTextAndLogsThroughItsTemplate) {
    const VaultUtilities::Error error(1, 0x1003, "no vault %s (%d)", "v1", 7);
    EXPECT_STREQ(error.what(), "no vault v1 (7)");
    EXPECT_EQ(error.getNumber(), 1);
    EXPECT_EQ(error.getMessageId(), 0x1003u);
    error.logShow();
    EXPECT_EQ(logCount("TEST-E-0003 no vault v1 (7)"), 1u);
    const VaultUtilities::Error copy = error;
    EXPECT_STREQ(copy.what(), "no vault v1 (7)");
}

}  // namespace
