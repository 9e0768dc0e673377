// Index files: written and read back, and every kind of damage found by
// verify with a FileError whose text starts with the path.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "IndexFile.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"

using StorageTest::TempFolder;

namespace {

IndexEntry entryFor(uint32_t safeset, uint32_t record) {
    IndexEntry e;
    e.safesetNumber = safeset;
    e.recordId = record;
    e.key = (uint64_t(record) << 32) | safeset;
    e.offset = 64 + 128ull * record;
    e.size = 128;
    e.flags = record % 7 == 0 ? 1 : 0;
    return e;
}

// An index of `count` entries: safesets of 1000 records each.
void writeIndex(const std::string& path, uint64_t count, const std::string& guid = "POOL-1") {
    IndexFileWriter writer(path, guid);
    for (uint64_t i = 0; i < count; ++i) writer.append(entryFor(uint32_t(1 + i / 1000), uint32_t(i % 1000)));
    writer.commit();
}

void verifyFile(const std::string& path, bool full) {
    IndexFileBase file;
    file.open(path, 1, 1);
    file.verify(full);
    file.close(true);
}

// Re-seals a block after its bytes were changed: the block's checksum, the
// table's checksum and the header's, so only the structure is wrong.
std::string resealed(std::string bytes, uint64_t entryCount) {
    const uint64_t blocks = (entryCount + 2047) / 2048;
    const size_t tableAt = 512 + size_t(entryCount) * 32;
    for (uint64_t b = 0; b < blocks; ++b) {
        const size_t start = 512 + size_t(b) * 2048 * 32;
        const size_t size = std::min<size_t>(2048 * 32, tableAt - start);
        const uint32_t crc = StorageCodec::crc32c(bytes.data() + start, size);
        std::string le;
        StorageCodec::putU32(le, crc);
        bytes.replace(tableAt + size_t(b) * 4, 4, le);
    }
    std::string le;
    StorageCodec::putU32(le, StorageCodec::crc32c(bytes.data() + tableAt, size_t(blocks) * 4));
    bytes.replace(40, 4, le);
    le.clear();
    StorageCodec::putU32(le, StorageCodec::crc32c(bytes.data(), 508));
    bytes.replace(508, 4, le);
    return bytes;
}

}  // namespace

TEST(IndexFileTest, WrittenEntriesReadBackAcrossBlockBoundaries) {
    TempFolder temp;
    const std::string path = temp.path() + "pool.vix";
    for (const uint64_t count : {0ull, 1ull, 2048ull, 2049ull, 40000ull}) {
        writeIndex(path, count);
        IndexFileBase file;
        file.open(path, 1, 1);
        EXPECT_EQ(512 + 32 * count + 4 * ((count + 2047) / 2048), file.getPhysicalSize()) << count;
        file.verify(true);
        EXPECT_EQ(count, file.entryCount());
        EXPECT_EQ("POOL-1", file.poolGuid());
        if (count > 2050) {
            const auto entries = file.readEntries(2046, 4);  // two blocks
            ASSERT_EQ(4u, entries.size());
            for (size_t i = 0; i < 4; ++i) {
                const IndexEntry expected = entryFor(uint32_t(1 + (2046 + i) / 1000), uint32_t((2046 + i) % 1000));
                EXPECT_EQ(expected.safesetNumber, entries[i].safesetNumber);
                EXPECT_EQ(expected.recordId, entries[i].recordId);
                EXPECT_EQ(expected.key, entries[i].key);
                EXPECT_EQ(expected.offset, entries[i].offset);
                EXPECT_EQ(expected.flags, entries[i].flags);
            }
            EXPECT_THROW(file.readEntries(count - 1, 2), std::out_of_range);
        }
        file.close(true);
        EXPECT_FALSE(file.isOpen());
    }
}

// One pass with readNextEntries delivers what readEntries does, in pieces of
// the size asked for (the last one shorter), and a damaged block stops it
// with the same error where that block is reached.
TEST(IndexFileTest, OnePassDeliversEveryEntryAndStopsAtADamagedBlock) {
    TempFolder temp;
    const std::string path = temp.path() + "pool.vix";
    const uint64_t count = 70000;  // past one 1 MiB piece: 34 blocks
    writeIndex(path, count);
    for (const size_t piece : {size_t(32768), size_t(5000), size_t(1)}) {
        IndexFileBase file;
        file.open(path, 1, 1);
        file.verify(false);
        std::vector<IndexEntry> entries;
        uint64_t seen = 0;
        while (const size_t n = file.readNextEntries(entries, piece)) {
            ASSERT_EQ(n, entries.size());
            ASSERT_EQ(std::min<uint64_t>(piece, count - seen), n);
            for (const IndexEntry& e : entries) {
                const IndexEntry expected = entryFor(uint32_t(1 + seen / 1000), uint32_t(seen % 1000));
                ASSERT_EQ(expected.safesetNumber, e.safesetNumber) << seen;
                ASSERT_EQ(expected.recordId, e.recordId) << seen;
                ASSERT_EQ(expected.key, e.key) << seen;
                ++seen;
            }
            if (piece == 1 && seen == 3000) break;  // a short pass is enough for single entries
        }
        if (piece != 1) {
            EXPECT_EQ(count, seen) << piece;
            EXPECT_TRUE(entries.empty());
        }
    }
    StorageTest::writeBytes(path, StorageTest::withFlippedBits(StorageTest::readBytes(path), 512 + 32 * 40000, 0x02));
    IndexFileBase file;
    file.open(path, 1, 1);
    file.verify(false);
    std::vector<IndexEntry> entries;
    EXPECT_EQ(32768u, file.readNextEntries(entries, 32768));  // blocks 0-15 are good
    try {
        file.readNextEntries(entries, 32768);
        ADD_FAILURE() << "a damaged block was delivered";
    } catch (const FileError& e) {
        EXPECT_EQ(path + ": checksum mismatch in entries [38912, 40960)", std::string(e.what()));
    }
}

TEST(IndexFileTest, EveryDamageIsAFileErrorStartingWithThePath) {
    TempFolder temp;
    const std::string path = temp.path() + "pool.vix";
    writeIndex(path, 5000);
    const std::string good = StorageTest::readBytes(path);
    const size_t tableAt = 512 + 5000 * 32;
    std::string swapped = good;  // entries 10 and 11 exchanged, checksums made good again
    std::swap_ranges(swapped.begin() + 512 + 10 * 32, swapped.begin() + 512 + 11 * 32, swapped.begin() + 512 + 11 * 32);
    const StorageTest::DamageCase cases[] = {
        {"shorter than the header", good.substr(0, 511), "smaller than the 512-byte header"},
        {"header only", good.substr(0, 512), "truncated or corrupt"},
        {"truncated", good.substr(0, good.size() - 1), "truncated or extended"},
        {"extended", good + "x", "truncated or extended"},
        {"magic", StorageTest::withFlippedBits(good, 0, 0x01), "not an index file"},
        {"header field", StorageTest::withFlippedBits(good, 24, 0x01), "index header checksum mismatch"},
        {"reserved header byte", StorageTest::withFlippedBits(good, 300, 0x80), "index header checksum mismatch"},
        {"entry", StorageTest::withFlippedBits(good, 512 + 32 * 3000 + 9, 0x10), "checksum mismatch in entries [2048, 4096)"},
        {"last entry", StorageTest::withFlippedBits(good, tableAt - 1, 0x01), "checksum mismatch in entries [4096, 5000)"},
        {"table", StorageTest::withFlippedBits(good, tableAt + 2, 0x04), "block checksum table checksum mismatch"},
        {"order", resealed(swapped, 5000), "entry 11 (safeset 1, record 10) out of order or repeated"},
    };
    for (const auto& c : cases) {
        StorageTest::writeBytes(path, c.bytes);
        IndexFileBase file;
        file.open(path, 1, 1);
        EXPECT_EQ(c.bytes.size(), file.getPhysicalSize()) << c.name;
        try {
            file.verify(true);
            ADD_FAILURE() << c.name << ": verified";
        } catch (const FileError& e) {
            EXPECT_EQ(0u, std::string(e.what()).find(path + ": ")) << c.name << ": " << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.expectedText)) << c.name << ": " << e.what();
            EXPECT_EQ(path, e.getPath());
        }
    }
    // The quick check reads the header and table only: entry damage needs the full one.
    StorageTest::writeBytes(path, StorageTest::withFlippedBits(good, 512 + 7, 0x01));
    EXPECT_NO_THROW(verifyFile(path, false));
    EXPECT_THROW(verifyFile(path, true), FileError);
}

TEST(IndexFileTest, OpenRefusesWhatIsNotARegularFileWithoutBlocking) {
    TempFolder temp;
    IndexFileBase file;
    EXPECT_THROW(file.open(temp.path() + "x.vix", 2, 1), std::invalid_argument);
    try {
        file.open(temp.path() + "missing.vix", 1, 1);
        ADD_FAILURE() << "opened";
    } catch (const FileError& e) {
        EXPECT_EQ(temp.path() + "missing.vix: index file not found", std::string(e.what()));
    }
    ASSERT_EQ(0, ::mkfifo((temp.path() + "fifo.vix").c_str(), 0644));
    EXPECT_THROW(file.open(temp.path() + "fifo.vix", 1, 1), FileError);
    writeIndex(temp.path() + "real.vix", 10);
    ASSERT_EQ(0, ::symlink((temp.path() + "real.vix").c_str(), (temp.path() + "link.vix").c_str()));
    EXPECT_THROW(file.open(temp.path() + "link.vix", 1, 1), FileError);
    EXPECT_THROW(file.verify(true), std::logic_error);  // not open
}

TEST(IndexFileTest, WriterRefusesDisorderAndLeavesNothingWhenNotCommitted) {
    TempFolder temp;
    const std::string path = temp.path() + "pool.vix";
    EXPECT_THROW(IndexFileWriter(path, std::string(64, 'g')), std::invalid_argument);
    {
        IndexFileWriter writer(path, "P");
        writer.append(entryFor(2, 5));
        EXPECT_THROW(writer.append(entryFor(2, 5)), std::invalid_argument);
        EXPECT_THROW(writer.append(entryFor(1, 9)), std::invalid_argument);
        writer.append(entryFor(3, 0));
    }
    EXPECT_EQ(VaultFiles::FileKind::Missing, VaultFiles::FileSystem::real().status(path, VaultFiles::Links::Refuse).kind);
}
