// Which records a safeset marks: explicit positions, or a share spread evenly.
#include <gtest/gtest.h>

#include "VaultDescription.h"

namespace VaultAdmin {
namespace {

TEST(MarkedRecords, ShareMarksExactlyItsCountSpreadEvenly) {
    const struct {
        uint64_t records;
        double share;
        uint64_t expected;
    } cases[] = {{8, 0.25, 2}, {10, 0.5, 5}, {7, 1.0, 7}, {7, 0.0, 0}, {1000, 0.001, 1}, {3, 0.5, 2}, {0, 0.5, 0}};
    for (const auto& c : cases) {
        const MarkedRecords marked = MarkedRecords::byShare(c.share);
        uint64_t seen = 0;
        uint64_t longestGap = 0, gap = 0;
        for (uint64_t i = 0; i < c.records; ++i) {
            if (marked.isMarked(i, c.records)) {
                ++seen;
                gap = 0;
            } else {
                longestGap = std::max(longestGap, ++gap);
            }
        }
        EXPECT_EQ(marked.count(c.records), c.expected) << c.records << " x " << c.share;
        EXPECT_EQ(seen, c.expected) << c.records << " x " << c.share;
        if (c.expected > 0) {
            EXPECT_LE(longestGap, c.records / c.expected) << c.records << " x " << c.share;
        }
    }
    EXPECT_EQ(MarkedRecords::byShare(0.25).isMarked(3, 8), true);
    EXPECT_EQ(MarkedRecords::byShare(0.25).isMarked(8, 8), false);  // past the end
}

TEST(MarkedRecords, IndicesMarkExactlyThosePositions) {
    const MarkedRecords marked = MarkedRecords::atIndices({0, 5, 9});
    std::vector<uint64_t> seen;
    for (uint64_t i = 0; i < 12; ++i)
        if (marked.isMarked(i, 10)) seen.push_back(i);
    EXPECT_EQ(seen, (std::vector<uint64_t>{0, 5, 9}));
    EXPECT_EQ(marked.count(10), 3u);
    EXPECT_EQ(MarkedRecords().count(10), 0u);
}

}  // namespace
}  // namespace VaultAdmin
