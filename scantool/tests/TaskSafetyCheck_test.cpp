#include "TaskSafetyCheck.h"

#include "ScanDriver.h"

#include <gtest/gtest.h>

namespace Trevalon {
namespace {

TEST(AffectedVersion, ComparesVersionTextsAsByteStrings) {
    const struct {
        const char* version;
        bool affected;
    } cases[] = {
        {"8", true},     {"8.0", true},   {"8.00", true},   {"8.31", true},  {"8.40", true},
        {"8.40.1234", true},  // only the first four bytes count
        {"8.41", false}, {"8.50", false}, {"9.00", false},  {"10.00", false}, {"7.50", false},
        {"80.1", false},  // first byte equals "8", first four bytes are above "8.40"
        {"", false},     {"8.4", true},   {"8.", true},     {"8a", false},   {"\xff", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isAffectedVersion(c.version), c.affected) << '"' << c.version << '"';
}

TEST(RunStamp, UsesMonthAbbreviationAndTwentyFourHourClock) {
    setenv("TZ", "UTC", 1);
    tzset();
    // 6 March 2026 09:05:07 UTC and 21:05:07 the same day.
    EXPECT_EQ(formatRunStamp(1772787907), "Mar-06-2026_09-05-07");
    EXPECT_EQ(formatRunStamp(1772787907 + 12 * 3600), "Mar-06-2026_21-05-07");
}

}  // namespace
}  // namespace Trevalon
