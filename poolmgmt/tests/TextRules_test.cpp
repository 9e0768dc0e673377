// Status texts, the task label, the disabled-handler setting and the
// CRC-repair gate.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "CrcRepairGate.h"
#include "DisabledHandlers.h"
#include "StatusText.h"
#include "TextRules.h"

namespace {

using namespace Veshmoor::detail;

TEST(StatusText, FollowsTheDescriptionTable) {
    const std::map<int32_t, std::string> table = {{0, "Checking"}, {1, "Optimizing"}, {5, ""}};
    struct Case {
        int32_t code;
        std::vector<uint32_t> safesets;
        std::vector<std::string> parameters;
        const char* expected;
    } cases[] = {
        {1, {5, 9}, {"x"}, "Optimizing task C/T safesets( 5 9 ) ( x )"},
        {0, {}, {}, "Checking task C/T"},
        {0, {}, {"a", " b"}, "Checking task C/T ( a  b )"},
        {7, {4294967295u}, {}, "Processing task C/T safesets( 4294967295 )"},
        {5, {}, {}, "Processing task C/T"},
    };
    for (const Case& c : cases) EXPECT_EQ(commandStatusText(table, c.code, "C/T", c.safesets, c.parameters), c.expected);
    EXPECT_EQ(table.size(), 3u) << "a look-up must not insert";
}

TEST(StatusText, TaskLabelEndsInABlank) {
    DataObjects::TaskDataObject task;
    task.name = "Daily";
    task.guid = "G";
    task.id = 12;
    EXPECT_EQ(taskLabel(task), "Daily (G, #12) ");
    task.id = 4294967295u;
    EXPECT_EQ(taskLabel(task), "Daily (G, #4294967295) ");
}

TEST(DisabledHandlers, ReadsCodesBetweenAnyPunctuationOrBlank) {
    struct Case {
        const char* setting;
        int32_t code;
        bool disabled;
    } cases[] = {
        {"3276800", 3276800, true},
        {"5308417,5308418", 5308418, true},
        {"5308417,5308418", 3276800, false},
        {" 1;2 |3276800\t", 3276800, true},
        {"a-3276800", 3276800, true},        // '-' separates: no sign
        {"3276800abc", 3276800, true},       // leading digits
        {"0x320000", 0x320000, false},       // reads as 0
        {"0x320000", 0, true},
        {"", 3276800, false},
        {"3276800\xc3\xa9", 3276800, true},  // bytes >= 0x80 end the digits
        {"\xa0" "3276800", 3276800, false},  // and are no separator
        {"2147483647", 2147483647, true},
        {"2147483648", -2147483647 - 1, false},  // out of range names no code
        {"99999999999999999999999", -1, false},
        {"4294967296,3276800", 3276800, true},    // a later token still counts
    };
    for (const Case& c : cases) EXPECT_EQ(settingDisablesCode(c.setting, c.code), c.disabled) << c.setting << " / " << c.code;
}

TEST(DisabledHandlers, ClassifiesHighBytesAsOrdinary) {
    for (int b = 0x80; b <= 0xFF; ++b) {
        EXPECT_FALSE(isAsciiSpace(static_cast<char>(b)));
        EXPECT_FALSE(isAsciiPunct(static_cast<char>(b)));
    }
}

TEST(CrcRepairGate, OncePerTaskInARowAndReleasedAfterAFailure) {
    std::atomic<CrcRepairSlot> last{kNoCrcRepairTask};
    CrcRepairGate gate(last);
    CrcRepairSlot previous = 0;
    EXPECT_TRUE(gate.claim(12, previous));
    EXPECT_EQ(previous, kNoCrcRepairTask);
    EXPECT_FALSE(gate.claim(12, previous));
    EXPECT_TRUE(gate.claim(13, previous));
    EXPECT_EQ(previous, 12u);
    EXPECT_TRUE(gate.claim(12, previous));
    // A failed submission gives the claim back: the next error tries again.
    gate.release(12, previous);
    EXPECT_EQ(last.load(), 13u);
    EXPECT_TRUE(gate.claim(12, previous));
    // A release after another task was claimed leaves that claim alone.
    EXPECT_TRUE(gate.claim(14, previous));
    gate.release(12, 13);
    EXPECT_EQ(last.load(), 14u);
}

// Every 32-bit id is a task: the largest one's first claim must succeed and
// "none yet" must come back after a release.
TEST(CrcRepairGate, TheLargestTaskIdIsAnOrdinaryTask) {
    std::atomic<CrcRepairSlot> last{kNoCrcRepairTask};
    CrcRepairGate gate(last);
    CrcRepairSlot previous = 0;
    ASSERT_TRUE(gate.claim(0xFFFFFFFFu, previous));
    EXPECT_EQ(previous, kNoCrcRepairTask);
    EXPECT_FALSE(gate.claim(0xFFFFFFFFu, previous));
    gate.release(0xFFFFFFFFu, kNoCrcRepairTask);
    EXPECT_EQ(last.load(), kNoCrcRepairTask);
    EXPECT_TRUE(gate.claim(0xFFFFFFFFu, previous));
    EXPECT_TRUE(gate.claim(0, previous));
    EXPECT_EQ(previous, 0xFFFFFFFFu);
}

}  // namespace
