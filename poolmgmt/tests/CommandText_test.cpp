// The text form without look-ups: what a text delivers, in which order, and
// what fails.
#include <gtest/gtest.h>

#include <boost/lexical_cast.hpp>

#include "CommandText.h"

namespace {

using Veshmoor::detail::CommandTextSink;
using Veshmoor::detail::readCommandText;
using Veshmoor::detail::writeCommandText;

// Records every value as "kind:value", in order.
class Recorder : public CommandTextSink {
public:
    std::vector<std::string> seen;
    void onCommand(int32_t code) override { seen.push_back("cmd:" + std::to_string(code)); }
    void onTaskId(uint32_t id) override { seen.push_back("task:" + std::to_string(id)); }
    void onSafeset(uint32_t n) override { seen.push_back("set:" + std::to_string(n)); }
    void onPoolGuid(const std::string& g) override { seen.push_back("pool:" + g); }
    void onParameter(const std::string& p) override { seen.push_back("par:" + p); }
};

std::vector<std::string> read(const std::string& text) {
    Recorder recorder;
    readCommandText(text, recorder);
    return recorder.seen;
}

using Seen = std::vector<std::string>;

TEST(CommandText, WritesTheCanonicalForm) {
    EXPECT_EQ(writeCommandText(2, 17, {5, 9}, "G", {}), "\"PoolCmd:Cmd=2;TaskId=17;Safesets=5,9;PoolGuid=G;Parameters=\"");
    EXPECT_EQ(writeCommandText(0, 1, {}, "G", {}), "\"PoolCmd:Cmd=0;TaskId=1;Safesets=;PoolGuid=G;Parameters=\"");
    EXPECT_EQ(writeCommandText(-5, 4294967295u, {4294967295u}, "", {"a", " b"}),
              "\"PoolCmd:Cmd=-5;TaskId=4294967295;Safesets=4294967295;PoolGuid=;Parameters=a, b\"");
    EXPECT_EQ(writeCommandText(0x7FFFFFFF, 3, {}, "G", {}),
              "\"PoolCmd:Cmd=2147483647;TaskId=3;Safesets=;PoolGuid=G;Parameters=\"");
}

struct ReadCase {
    const char* text;
    Seen expected;
};

class CommandTextRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(CommandTextRead, DeliversValuesInTextOrder) { EXPECT_EQ(read(GetParam().text), GetParam().expected) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandTextRead,
    ::testing::Values(
        ReadCase{"\"PoolCmd:Cmd=2;TaskId=17;Safesets=5,9;PoolGuid=G;Parameters=\"",
                 {"cmd:2", "task:17", "set:5", "set:9", "pool:G"}},
        // Without the quotes; keys in any case.
        ReadCase{"poolcmd:cmd=1;taskid=3;SAFESETS=4;poolguid=g;PARAMETERS=x", {"cmd:1", "task:3", "set:4", "pool:g", "par:x"}},
        // An opening quote without a closing one stays part of the first key.
        ReadCase{"\"PoolCmd:Cmd=2;TaskId=3", {"task:3"}},
        // A closing quote alone stays part of the last value.
        ReadCase{"PoolCmd:Cmd=2;Parameters=a\"", {"cmd:2", "par:a\""}},
        // One quote is no pair of enclosing quotes.
        ReadCase{"\"", {}},
        ReadCase{"\"\"", {}},
        ReadCase{"", {}},
        // Safesets split at commas and blanks, runs as one; parameters at
        // commas only, blanks kept.
        ReadCase{"Safesets=5, 9", {"set:5", "set:9"}},
        ReadCase{"Safesets=5,,9\t 10", {"set:5", "set:9", "set:10"}},
        ReadCase{"Parameters=a, b,,c ", {"par:a", "par: b", "par:c "}},
        // Empty values, missing '=', unknown keys: ignored.
        ReadCase{"Safesets=;Parameters=;TaskId=;PoolGuid=", {}},
        ReadCase{"Extra=1;TaskId;;;PoolGuid", {}},
        // Runs of ';' and '=' count as one; pieces after a second '=' ignored.
        ReadCase{";;TaskId=3=4;;", {"task:3"}},
        ReadCase{"TaskId==3;=PoolGuid=G", {"task:3", "pool:G"}},
        // Spaces belong to the tokens: " TaskId" is another key.
        ReadCase{" TaskId=3;PoolGuid= G ", {"pool: G "}},
        // Keys repeat: each occurrence is delivered.
        ReadCase{"TaskId=1;PoolGuid=A;TaskId=2;Safesets=1;Safesets=2", {"task:1", "pool:A", "task:2", "set:1", "set:2"}},
        // lexical_cast rules: a leading '+', "-n" wraps for unsigned, the
        // range limits.
        ReadCase{"PoolCmd:Cmd=+7;TaskId=+8", {"cmd:7", "task:8"}},
        ReadCase{"PoolCmd:Cmd=-2147483648;TaskId=-1;Safesets=-4294967295", {"cmd:-2147483648", "task:4294967295", "set:1"}},
        ReadCase{"PoolCmd:Cmd=2147483647;TaskId=4294967295", {"cmd:2147483647", "task:4294967295"}},
        // Bytes of 0x80 and above are ordinary characters.
        ReadCase{"PoolGuid=\xc3\xa9\xff;Parameters=\x85,\xa0", {"pool:\xc3\xa9\xff", "par:\x85", "par:\xa0"}}));

struct BadNumberCase {
    const char* text;
    Seen deliveredBefore;
};

class CommandTextBadNumber : public ::testing::TestWithParam<BadNumberCase> {};

TEST_P(CommandTextBadNumber, ThrowsBadLexicalCastWhereItIsMet) {
    Recorder recorder;
    try {
        readCommandText(GetParam().text, recorder);
        FAIL() << "no exception for " << GetParam().text;
    } catch (const boost::bad_lexical_cast& error) {
        EXPECT_STREQ(error.what(), "bad lexical cast: source type value could not be interpreted as target");
    }
    EXPECT_EQ(recorder.seen, GetParam().deliveredBefore) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandTextBadNumber,
    ::testing::Values(BadNumberCase{"PoolCmd:Cmd=x", {}}, BadNumberCase{"PoolCmd:Cmd=2147483648", {}},
                      BadNumberCase{"PoolCmd:Cmd=-2147483649", {}}, BadNumberCase{"PoolCmd:Cmd=1 ", {}},
                      BadNumberCase{"PoolCmd:Cmd=0x10", {}}, BadNumberCase{"TaskId=4294967296", {}},
                      BadNumberCase{"TaskId=-4294967296", {}}, BadNumberCase{"TaskId= 3", {}},
                      BadNumberCase{"TaskId=1 2", {}}, BadNumberCase{"TaskId=+", {}},
                      BadNumberCase{"TaskId=--1", {}}, BadNumberCase{"TaskId=\xb2", {}},
                      // Safesets before the bad piece are delivered.
                      BadNumberCase{"PoolCmd:Cmd=1;Safesets=5,x,9", {"cmd:1", "set:5"}},
                      BadNumberCase{"TaskId=3;Safesets=5;PoolCmd:Cmd=one;PoolGuid=G", {"task:3", "set:5"}}));

}  // namespace
