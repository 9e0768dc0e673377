// A task's storage written with the writers and read back through the readers
// the migration check uses: synchronisation set, pool descriptor, sync list
// and containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "Pool/Layout.h"
#include "Pool/PoolStorage.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"
#include "VSynchSet.h"
#include "VSynchSetWriter.h"

namespace {

struct SafesetSpec {
    uint32_t number;
    uint32_t peripheral;
    std::string version;
    uint32_t lower;
    uint32_t count;
    std::vector<uint32_t> marked;
};

class RoundTripTest : public ::testing::TestWithParam<VSynchFiles::Format> {};

TEST_P(RoundTripTest, EverythingWrittenIsReadBackExactly) {
    StorageTest::TempFolder temp;
    StorageTest::useNodeConfig(temp, "[node]\nHostName=test\n");
    const auto task = StorageTest::makeTask(temp.path() + "vault/task-1");
    const std::vector<SafesetSpec> safesets = {
        {3, 0x40000 | 0x2, "8.31", 0, 0, {}},  // unavailable: written, never opened
        {5, 0x1, "8.40", 100, 2000, {100, 1337, 2099}},
        {7, 0x0, "", 0, 0, {}},
        {12, 0x80000001u, "10.00", 1u << 31, 513, {(1u << 31) + 512}},
    };

    std::vector<VSynchEntry> entries;
    std::vector<Carrowen::SyncListEntryData> listEntries;
    VaultFiles::makeFolders(Pool::Layout::poolFolder(task));
    for (const SafesetSpec& s : safesets) {
        VSynchEntry e;
        e.safesetNumber = s.number;
        e.peripheral = s.peripheral;
        e.fileName = VFileName(Pool::Layout::containerFileName(s.number));
        entries.push_back(e);
        listEntries.push_back({s.number, s.version, Pool::Layout::containerFileName(s.number)});
        const std::vector<uint32_t> marked = s.marked;
        Carrowen::writeFileListContainer(Pool::Layout::containerPath(task, s.number), s.lower, s.count,
                                         [&marked](uint32_t id) {
                                             return std::find(marked.begin(), marked.end(), id) != marked.end();
                                         });
    }
    VSynchFiles::writeTaskSet(task, entries, GetParam());
    Carrowen::writeSyncList(Pool::Layout::syncListPath(task), listEntries);

    VSynchSet set(0, false, 0);
    ASSERT_EQ(2, set.Open(task, false));
    EXPECT_EQ(GetParam() == VSynchFiles::Format::Older, set.isOldFileFormat());
    std::map<uint32_t, VSynchEntry> read;
    set.getEntries(read);
    ASSERT_EQ(safesets.size(), read.size());
    for (const SafesetSpec& s : safesets) {
        SCOPED_TRACE("safeset " + std::to_string(s.number));
        const VSynchEntry& e = read.at(s.number);
        EXPECT_EQ(s.peripheral, e.peripheral);
        EXPECT_EQ(Pool::Layout::containerFileName(s.number), e.fileName.GetName());
        if (e.peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE) continue;

        const auto descriptor = Pool::createPoolDescriptorForPeripheral(e.peripheral, e.fileName.GetName(), task);
        Carrowen::SyncList list;
        list.openReadOnly(task, descriptor, false, true, true);
        const auto entry = list.getEntryForSafeset(s.number);
        EXPECT_EQ(s.version, entry->getVersion());
        EXPECT_EQ(Pool::Layout::containerPath(task, s.number), entry->getFileName().GetName());

        Carrowen::FileListContainer2 container;
        container.open(entry->getFileName().GetName(), 1, 1);
        EXPECT_EQ(s.lower, container.recordIdLowerBound());
        EXPECT_EQ(s.lower + s.count, container.recordIdUpperBound());
        std::vector<uint32_t> markedSeen;
        Carrowen::FileListRecord record;
        for (auto position = container.first(record); position != container.end();) {
            if (record.markerFlag()) markedSeen.push_back(position.recordId);
            if (++position.recordId == container.recordIdUpperBound()) break;
            container.reader().setPosition(position.recordId);
            ASSERT_EQ(1, container.reader().read(record));
        }
        EXPECT_EQ(s.marked, markedSeen);
    }
    set.endUse();
    read.clear();
    set.getEntries(read);
    EXPECT_TRUE(read.empty());
}

INSTANTIATE_TEST_SUITE_P(BothSynchFileFormats, RoundTripTest,
                         ::testing::Values(VSynchFiles::Format::Current, VSynchFiles::Format::Older));

}  // namespace
