// VSynchSet over the main and mirror files: which file is used, what Open
// answers, what Close re-creates, and changing one entry's unavailable bit.
#include <gtest/gtest.h>

#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"
#include "TaskStorageDescriptor.h"
#include "VSynchSet.h"
#include "VSynchSetWriter.h"

namespace {

using VSynchFiles::Format;

class VSynchSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        StorageTest::useNodeConfig(temp_, "[node]\nHostName=test\n");
        task_ = StorageTest::makeTask(temp_.path() + "task");
        folder_ = TaskStorageDescriptor::getSynchFilesStorageLocation(task_);
        main_ = folder_ + VSynchSet::MAIN_FILE_NAME;
        mirror_ = folder_ + VSynchSet::MIRROR_FILE_NAME;
        entries_ = {{1, 0, VFileName("00000001.vfl")}, {2, VSYNCH_PERIPHERAL_UNAVAILABLE, VFileName("00000002.vfl")}};
    }
    std::map<uint32_t, VSynchEntry> entriesOf(const VSynchSet& set) const {
        std::map<uint32_t, VSynchEntry> read;
        set.getEntries(read);
        return read;
    }

    StorageTest::TempFolder temp_;
    DataObjects::TaskDataObject task_;
    std::string folder_, main_, mirror_;
    std::vector<VSynchEntry> entries_;
};

TEST_F(VSynchSetTest, OpenCountsTheGoodFilesAndReadsWhicheverIsGood) {
    VSynchFiles::writeTaskSet(task_, entries_);
    const std::string good = StorageTest::readBytes(main_);
    struct Case {
        const char* name;
        bool mainPresent;
        std::string mainBytes;
        bool mirrorPresent;
        std::string mirrorBytes;
        int expected;
    };
    const Case cases[] = {
        {"both good", true, good, true, good, 2},
        {"main missing", false, "", true, good, 1},
        {"mirror missing", true, good, false, "", 1},
        {"main corrupt", true, good.substr(0, 30), true, good, 1},
        {"mirror foreign", true, good, true, "not a set", 1},
        {"both missing", false, "", false, "", 0},
        {"both corrupt", true, "", true, good.substr(1), 0},
    };
    for (const Case& c : cases) {
        ::unlink(main_.c_str());
        ::unlink(mirror_.c_str());
        if (c.mainPresent) StorageTest::writeBytes(main_, c.mainBytes);
        if (c.mirrorPresent) StorageTest::writeBytes(mirror_, c.mirrorBytes);
        VSynchSet set(0, false, 0);
        EXPECT_EQ(c.expected, set.Open(task_, false)) << c.name;
        EXPECT_EQ(c.expected > 0 ? 2u : 0u, entriesOf(set).size()) << c.name;
        if (c.expected > 0) {
            EXPECT_EQ(VSYNCH_PERIPHERAL_UNAVAILABLE, entriesOf(set).at(2).peripheral) << c.name;
        }
    }
    VSynchSet set(0, false, 0);
    EXPECT_EQ(0, set.Open(StorageTest::makeTask(""), false));
}

TEST_F(VSynchSetTest, CloseRecreatesAMissingFileOnlyWhenAskedAndAllowed) {
    for (Format format : {Format::Current, Format::Older}) {
        VSynchFiles::writeTaskSet(task_, entries_, format);
        const std::string good = StorageTest::readBytes(main_);
        ::unlink(mirror_.c_str());
        {
            VSynchSet readOnly(0, false, 0);
            ASSERT_EQ(1, readOnly.Open(task_, false));
            readOnly.Close(true);
            VSynchSet notAsked(1, true, 0);
            ASSERT_EQ(1, notAsked.Open(task_, true));
            notAsked.Close(false);
        }
        EXPECT_FALSE((VaultFiles::FileSystem::real().status(mirror_, VaultFiles::Links::Follow).kind == VaultFiles::FileKind::Regular));
        VSynchSet repair(1, true, 0);
        ASSERT_EQ(1, repair.Open(task_, true));
        EXPECT_EQ(format == Format::Older, repair.isOldFileFormat());
        repair.Close(true);
        EXPECT_EQ(format == Format::Older, repair.isOldFileFormat());  // still known after Close
        EXPECT_EQ(good, StorageTest::readBytes(mirror_));
        VSynchSet check(0, false, 0);
        EXPECT_EQ(2, check.Open(task_, false));
    }
}

TEST_F(VSynchSetTest, CloseNeverOverwritesADamagedFile) {
    VSynchFiles::writeTaskSet(task_, entries_);
    StorageTest::writeBytes(mirror_, "damaged");
    VSynchSet repair(1, true, 0);
    ASSERT_EQ(1, repair.Open(task_, true));
    repair.Close(true);
    EXPECT_EQ("damaged", StorageTest::readBytes(mirror_));
}

TEST_F(VSynchSetTest, UnavailableBitIsSetAndClearedInBothFiles) {
    VSynchFiles::writeTaskSet(task_, entries_, Format::Older);
    VSynchFiles::setEntryUnavailable(task_, 1, true);
    VSynchFiles::setEntryUnavailable(task_, 2, false);
    for (const std::string& path : {main_, mirror_}) {
        const VSynchFiles::FileContents contents = VSynchFiles::readFile(path);
        EXPECT_EQ(Format::Older, contents.format);
        ASSERT_EQ(2u, contents.entries.size());
        EXPECT_EQ(VSYNCH_PERIPHERAL_UNAVAILABLE, contents.entries[0].peripheral);
        EXPECT_EQ(0u, contents.entries[1].peripheral);
    }
    EXPECT_THROW(VSynchFiles::setEntryUnavailable(task_, 3, true), std::runtime_error);
    ::unlink(main_.c_str());  // read from the mirror, both written again
    VSynchFiles::setEntryUnavailable(task_, 1, false);
    EXPECT_EQ(0u, VSynchFiles::readFile(main_).entries[0].peripheral);
    EXPECT_THROW(VSynchFiles::setEntryUnavailable(StorageTest::makeTask(""), 1, true), std::runtime_error);
}

}  // namespace
