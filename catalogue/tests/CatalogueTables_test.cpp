// Look-ups of one catalogue generation: the edge cases of IDs, positions and
// GUID comparison, and the indexed answers checked against a plain walk of
// the tables in order over many random generations.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Catalogue/CatalogueTables.h"

namespace {

using Catalogue::CatalogueTables;

CatalogueTables threeComputers() {
    CatalogueTables t;
    t.addComputerTask("C1", "a", "T1");
    t.addComputerName("first", "C1");
    t.addComputerTask("c1", "b", "T2");  // another computer: GUIDs are bytes
    t.addComputerTask("C3", "c", "T3");
    t.addComputerTask("C1", "d", "T4");
    t.addComputerName("second", "C1");  // ignored: the first name wins
    t.addTaskFolder("T1", "/s/1/");
    t.addTaskFolder("T2", "/s/2/");
    t.addPool("AbCd-1", "/s/1/");
    t.addPool("abcd-1", "/s/dup/");
    t.finish();
    return t;
}

TEST(CatalogueTables, IdsPositionsAndNamesAtTheirEdges) {
    const CatalogueTables t = threeComputers();
    EXPECT_EQ(t.listComputerGuids(), (std::vector<std::string>{"C1", "c1", "C3"}));
    EXPECT_EQ(t.getComputerIdByGuid("C1"), 1u);
    EXPECT_EQ(t.getComputerIdByGuid("c1"), 2u);
    EXPECT_EQ(t.getComputerIdByGuid("c3"), 0u);
    EXPECT_EQ(t.getComputerTaskGuids(0), std::vector<std::string>{});
    EXPECT_EQ(t.getComputerTaskGuids(1), (std::vector<std::string>{"T1", "T4"}));
    EXPECT_EQ(t.getComputerTaskGuids(3), std::vector<std::string>{"T3"});
    EXPECT_EQ(t.getComputerTaskGuids(4), std::vector<std::string>{});
    EXPECT_EQ(t.getComputerNameByGuid("C1"), "first");
    EXPECT_EQ(t.getComputerNameByGuid("c1"), "c1");  // no name: the GUID itself
    EXPECT_EQ(t.getComputerIdByTaskGuid("T4"), 1u);
    EXPECT_EQ(t.getComputerIdByTaskGuid("t4"), 0u);
    EXPECT_EQ(t.getTaskNameByGuid("T3"), "c");
    EXPECT_EQ(t.getTaskFolderPath(-1), "");
    EXPECT_EQ(t.getTaskFolderPath(0), "/s/1/");
    EXPECT_EQ(t.getTaskFolderPath(2), "");
    std::vector<std::string> guids{"stale"};
    std::vector<int32_t> positions{7, 8};
    t.listTaskFolders(guids, positions);
    EXPECT_EQ(guids, (std::vector<std::string>{"T1", "T2"}));
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 1}));
    // Pools ignore letter case and answer with the first entry's spelling.
    ASSERT_NE(t.findPool("ABCD-1"), nullptr);
    EXPECT_EQ(t.findPool("ABCD-1")->poolGuid, "AbCd-1");
    EXPECT_EQ(t.findPool("abcd-"), nullptr);
}

TEST(CatalogueTables, EmptyGenerationAnswersEmpty) {
    CatalogueTables t;
    t.finish();
    EXPECT_EQ(t.getComputerIdByGuid("x"), 0u);
    EXPECT_EQ(t.getComputerNameByGuid("x"), "x");
    EXPECT_EQ(t.getTaskFolderPath(0), "");
    EXPECT_TRUE(t.poolTable().empty());
    EXPECT_EQ(t.findPool(""), nullptr);
}

TEST(CatalogueTables, BytesAbove0x7FCompareAndFoldWithoutHarm) {
    CatalogueTables t;
    const std::string high = "\xC3\xA9-\xFF-guid";
    t.addPool(high, "/p/");
    t.addComputerTask(high, "n", "t");
    t.finish();
    ASSERT_NE(t.findPool(high), nullptr);
    EXPECT_EQ(t.getComputerIdByGuid(high), 1u);
    EXPECT_EQ(Catalogue::upperCased("a\xE9z"), "A\xE9Z");
}

// The answers of a walk through the tables in order, as the look-ups promise.
struct Walk {
    const CatalogueTables& t;
    uint32_t computerIdByTaskGuid(const std::string& g) const {
        for (size_t c = 0; c < t.computerTable().size(); ++c)
            for (const auto& ref : t.computerTable()[c].tasks)
                if (ref.taskGuid == g) return static_cast<uint32_t>(c + 1);
        return 0;
    }
    std::string taskName(const std::string& g) const {
        for (const auto& computer : t.computerTable())
            for (const auto& ref : computer.tasks)
                if (ref.taskGuid == g) return ref.taskName;
        return "";
    }
    std::string firstFolder(const std::string& g) const {
        for (const auto& entry : t.taskFolderTable())
            if (entry.taskGuid == g && !entry.taskFolder.empty()) return entry.taskFolder;
        return "";
    }
    const Catalogue::PoolEntry* pool(const std::string& g) const {
        for (const auto& entry : t.poolTable())
            if (Catalogue::upperCased(entry.poolGuid) == Catalogue::upperCased(g)) return &entry;
        return nullptr;
    }
};

TEST(CatalogueTables, IndexedLookUpsGiveTheAnswersOfAWalkInOrder) {
    std::mt19937 random(12345);
    const std::vector<std::string> alphabet{"a", "A", "b", "B", "", "ab", "aB"};
    auto pick = [&] { return alphabet[random() % alphabet.size()]; };
    for (int round = 0; round < 200; ++round) {
        CatalogueTables t;
        const int adds = static_cast<int>(random() % 30);
        for (int i = 0; i < adds; ++i) {
            switch (random() % 4) {
            case 0: t.addComputerTask(pick(), pick(), pick()); break;
            case 1: t.addComputerName(pick(), pick()); break;
            case 2: t.addTaskFolder(pick(), random() % 3 == 0 ? std::string() : "/" + pick() + "/"); break;
            default: t.addPool(pick(), pick()); break;
            }
        }
        t.finish();
        const Walk walk{t};
        for (const std::string& g : alphabet) {
            EXPECT_EQ(t.getComputerIdByTaskGuid(g), walk.computerIdByTaskGuid(g));
            EXPECT_EQ(t.getTaskNameByGuid(g), walk.taskName(g));
            EXPECT_EQ(t.getFirstTaskFolder(g), walk.firstFolder(g));
            EXPECT_EQ(t.findPool(g), walk.pool(g));
            uint32_t id = 0;
            for (size_t c = 0; c < t.computerTable().size() && id == 0; ++c)
                if (t.computerTable()[c].computerGuid == g) id = static_cast<uint32_t>(c + 1);
            EXPECT_EQ(t.getComputerIdByGuid(g), id);
        }
    }
}

}  // namespace
