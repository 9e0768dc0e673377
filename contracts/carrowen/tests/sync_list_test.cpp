// Sync lists: round trip through the writer and reader, refused entries, and
// damaged or hostile files.
#include <gtest/gtest.h>

#include <unistd.h>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "Pool/PoolStorage.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"

namespace {

using Carrowen::SyncList;
using Carrowen::SyncListEntryData;
using StorageTest::TempFolder;

class SyncListTest : public ::testing::Test {
protected:
    void SetUp() override {
        StorageTest::useNodeConfig(temp_, "[node]\nHostName=test\n");
        task_ = StorageTest::makeTask(temp_.path() + "task");
        VaultFiles::makeFolders(temp_.path() + "task/pool");
        descriptor_ = Pool::createPoolDescriptorForTask(task_);
        path_ = descriptor_->getPoolFolder() + "synclist.vsl";
    }
    // Opens the list at path_, expecting an error that names it and says `what`.
    void expectRejected(const std::string& caseName, const std::string& what) {
        StorageTest::expectRejectedNamingFile(caseName, path_, what, [this] {
            SyncList list;
            list.openReadOnly(task_, descriptor_, false, true, true);
        });
    }

    TempFolder temp_;
    DataObjects::TaskDataObject task_;
    boost::shared_ptr<Pool::PoolStorageDescriptor> descriptor_;
    std::string path_;
};

TEST_F(SyncListTest, EntriesReadBackAsWritten) {
    Carrowen::writeSyncList(path_, {{9, "8.40", "00000009.vfl"}, {2, "", "00000002.vfl"}, {4, "10.00.1234", "other.vfl"}});
    SyncList list;
    list.openReadOnly(task_, descriptor_, false, true, true);
    struct Expected {
        uint32_t safeset;
        const char* version;
        const char* name;
    };
    for (const Expected& e : {Expected{2, "", "00000002.vfl"}, Expected{4, "10.00.1234", "other.vfl"},
                              Expected{9, "8.40", "00000009.vfl"}}) {
        const auto entry = list.getEntryForSafeset(e.safeset);
        EXPECT_STREQ(e.version, entry->getVersion());
        EXPECT_EQ(descriptor_->getPoolFolder() + e.name, entry->getFileName().GetName());
    }
    try {
        list.getEntryForSafeset(3);
        ADD_FAILURE() << "absent safeset found";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ("safeset 3 not found in sync list " + path_, e.what());
    }
}

TEST_F(SyncListTest, WriterRefusesEntriesThatCouldNotBeReadBackSafely) {
    const std::vector<std::vector<SyncListEntryData>> refused = {
        {{1, "8", "a.vfl"}, {1, "8", "b.vfl"}},    // safeset twice
        {{1, "8", "../x.vfl"}},                    // leaves the pool folder
        {{1, "8", ".."}},
        {{1, "8", ""}},
        {{1, std::string("8\0", 2), "a.vfl"}},     // would read back shorter
        {{1, std::string(256, '8'), "a.vfl"}},
    };
    for (const auto& entries : refused) EXPECT_THROW(Carrowen::writeSyncList(path_, entries), std::invalid_argument);
    EXPECT_FALSE((VaultFiles::FileSystem::real().status(path_, VaultFiles::Links::Follow).kind == VaultFiles::FileKind::Regular));
}

// One entry as the format stores it, with a correct checksum.
std::string entryBytes(uint32_t safeset, const std::string& version, const std::string& name) {
    std::string e;
    StorageCodec::putU32(e, safeset);
    StorageCodec::putU16(e, static_cast<uint16_t>(version.size()));
    StorageCodec::putU16(e, static_cast<uint16_t>(name.size()));
    e += version + name;
    StorageCodec::putU32(e, StorageCodec::crc32c(e.data(), e.size()));
    return e;
}

std::string headerBytes(uint32_t count) {
    std::string h = "VSYNLIST";
    StorageCodec::putU32(h, 1);
    StorageCodec::putU32(h, count);
    StorageCodec::putU32(h, 0);
    StorageCodec::putU32(h, StorageCodec::crc32c(h.data(), h.size()));
    return h;
}

TEST_F(SyncListTest, DamagedOrHostileFilesAreRejectedNamingTheFile) {
    expectRejected("missing", "not found");
    Carrowen::writeSyncList(path_, {{1, "8.31", "00000001.vfl"}, {2, "8.40", "00000002.vfl"}});
    const std::string valid = StorageTest::readBytes(path_);
    ASSERT_EQ(headerBytes(2) + entryBytes(1, "8.31", "00000001.vfl") + entryBytes(2, "8.40", "00000002.vfl"), valid);
    auto flipped = [&valid](size_t offset) { return StorageTest::withFlippedBits(valid, offset, 0x01); };
    const StorageTest::DamageCase cases[] = {
        {"zero length", "", "too short"},
        {"truncated", valid.substr(0, valid.size() - 5), "file ends inside"},
        {"trailing bytes", valid + "zz", "unexpected bytes"},
        {"foreign", "#!/bin/sh\necho not a sync list\n", "not a sync list"},
        {"flipped header byte", flipped(13), "header checksum"},
        {"flipped version byte", flipped(24 + 8 + 2), "checksum mismatch in entry 0"},
        {"huge declared count", headerBytes(0x7FFFFFFF) + entryBytes(1, "8", "a.vfl"), "cannot hold them"},
        {"name leaving the folder", headerBytes(1) + entryBytes(1, "8", "../../etc/x"), "holds a '/'"},
        {"repeated safeset", headerBytes(2) + entryBytes(1, "8", "a.vfl") + entryBytes(1, "8", "b.vfl"), "repeated"},
    };
    for (const StorageTest::DamageCase& c : cases) {
        StorageTest::writeBytes(path_, c.bytes);
        expectRejected(c.name, c.expectedText);
    }
}

// A link in a pool is damage, whatever it points to: the scan must not read
// a list from elsewhere and call the task safe.
TEST_F(SyncListTest, ALinkInPlaceOfTheListIsRefusedNotFollowed) {
    const std::string elsewhere = temp_.path() + "elsewhere.vsl";
    Carrowen::writeSyncList(elsewhere, {{1, "8.50", "00000001.vfl"}});
    ASSERT_EQ(0, ::symlink(elsewhere.c_str(), path_.c_str()));
    SyncList list;
    try {
        list.openReadOnly(task_, descriptor_, false, true, true);
        ADD_FAILURE() << "the sync list was read through a link";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ("cannot open " + path_ + ": it is a symbolic link", std::string(e.what()));
    }
    EXPECT_THROW(list.getEntryForSafeset(1), std::runtime_error);
}

TEST_F(SyncListTest, MissingDescriptorOrFolderIsAnError) {
    SyncList list;
    EXPECT_THROW(list.openReadOnly(task_, nullptr, false, true, true), std::invalid_argument);
    EXPECT_THROW(list.getEntryForSafeset(1), std::runtime_error);
}

}  // namespace
