// File-list containers: what the writers store is what the reader delivers,
// and a damaged file is an error naming it, never wrong data.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "StorageCodec.h"
#include "StorageTestSupport.h"

namespace {

using Carrowen::FileListContainer2;
using Carrowen::FileListPosition;
using Carrowen::FileListRecord;
using StorageTest::TempFolder;

bool markedEvery997(uint32_t id) {
    return id % 997 == 3;
}

// Walks a container the way the migration check does: first, then positioned
// reads until the end position, comparing every record with makeRecord.
void expectRecordsAsWritten(const std::string& path, uint32_t lower, uint64_t count) {
    FileListContainer2 container;
    container.open(path, 1, 1);
    ASSERT_EQ(lower, container.recordIdLowerBound());
    ASSERT_EQ(lower + count, container.recordIdUpperBound());
    FileListRecord record;
    FileListPosition position = container.first(record);
    uint64_t seen = 0;
    while (position != container.end()) {
        const FileListRecord expected = Carrowen::makeRecord(position.recordId, markedEvery997(position.recordId));
        ASSERT_EQ(0, std::memcmp(expected.bytes, record.bytes, FileListRecord::SIZE)) << "record " << position.recordId;
        ASSERT_EQ(markedEvery997(position.recordId) ? 1 : 0, record.markerFlag());
        ++seen;
        ++position.recordId;
        if (position.recordId == container.recordIdUpperBound()) break;
        container.reader().setPosition(position.recordId);
        ASSERT_EQ(1, container.reader().read(record));
    }
    EXPECT_EQ(count, seen);
    EXPECT_EQ(0, container.readRecord(lower + static_cast<uint32_t>(count), record));
    if (lower > 0) {
        EXPECT_EQ(0, container.readRecord(lower - 1, record));
    }
}

TEST(ContainerTest, RecordsReadBackExactlyAcrossChunkAndBlockBoundaries) {
    TempFolder temp;
    struct Case {
        uint32_t lower;
        uint64_t count;
    };
    // Empty, one record, exactly one chunk, a block and a part chunk more, and
    // a range ending at the highest identifier.
    const Case cases[] = {{0, 0}, {5, 1}, {100, 512}, {7, 8192 + 513}, {0xFFFFFFFFu - 600, 600}};
    for (const Case& c : cases) {
        SCOPED_TRACE("lower " + std::to_string(c.lower) + " count " + std::to_string(c.count));
        const std::string path = temp.path() + "c.vfl";
        Carrowen::writeFileListContainer(path, c.lower, c.count, markedEvery997);
        expectRecordsAsWritten(path, c.lower, c.count);
    }
}

TEST(ContainerTest, RandomReadsAndExplicitRecords) {
    TempFolder temp;
    std::vector<FileListRecord> records(9000);
    for (size_t i = 0; i < records.size(); ++i)
        for (size_t b = 0; b < FileListRecord::SIZE; ++b) records[i].bytes[b] = static_cast<unsigned char>(i * 7 + b);
    const std::string path = temp.path() + "x.vfl";
    Carrowen::writeFileListContainer(path, 1000, records);
    FileListContainer2 container;
    container.open(path, 1, 1);
    FileListRecord record;
    for (uint32_t i : {8999u, 0u, 8192u, 8191u, 4000u, 8999u}) {
        ASSERT_EQ(1, container.readRecord(1000 + i, record));
        EXPECT_EQ(0, std::memcmp(records[i].bytes, record.bytes, FileListRecord::SIZE)) << i;
    }
}

// findMarkedRecord answers what reading every record from a position on
// would, to the end or to a given end: containers of one block (read whole)
// and of several, marks at the first record, at block boundaries, at the last
// record, or none; ends inside a block, on a boundary, past the container.
TEST(ContainerTest, FindMarkedRecordAgreesWithReadingEveryRecord) {
    TempFolder temp;
    const struct {
        uint32_t lower;
        uint64_t count;
        std::vector<uint32_t> marked;  // indexes
    } cases[] = {
        {0, 0, {}},
        {5, 10, {}},
        {5, 10, {0}},
        {7, 1536, {1535}},
        {7, 4000, {}},
        {7, 4000, {1536, 3999}},
        {100, 3 * 1536 + 1, {1535, 1536, 3 * 1536}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("count " + std::to_string(c.count));
        const std::string path = temp.path() + "c.vfl";
        Carrowen::writeFileListContainer(path, c.lower, c.count, [&c](uint32_t id) {
            return std::find(c.marked.begin(), c.marked.end(), id - c.lower) != c.marked.end();
        });
        FileListContainer2 container;
        container.open(path, 1, 1);
        const uint32_t upper = container.recordIdUpperBound();
        for (uint64_t from : {uint64_t(0), uint64_t(1), uint64_t(1536), c.count / 2, c.count}) {
            uint32_t expected = upper;
            FileListRecord record;
            for (uint32_t id = static_cast<uint32_t>(c.lower + std::min(from, c.count)); id < upper; ++id) {
                ASSERT_EQ(1, container.readRecord(id, record));
                if (record.markerFlag() != 0) {
                    expected = id;
                    break;
                }
            }
            const uint32_t first = static_cast<uint32_t>(c.lower + std::min(from, c.count));
            EXPECT_EQ(expected, container.findMarkedRecord(first)) << "from " << from;
            for (uint64_t end : {uint64_t(0), from + 1, uint64_t(1536), uint64_t(1537), c.count / 2 + 1, c.count + 5}) {
                const uint32_t endId = static_cast<uint32_t>(std::min<uint64_t>(c.lower + end, upper));
                const uint32_t expectedInRange = expected < endId ? expected : endId;
                EXPECT_EQ(expectedInRange, container.findMarkedRecord(first, static_cast<uint32_t>(c.lower + end)))
                    << "from " << from << " to " << end;
            }
        }
    }
}

TEST(ContainerTest, UncommittedWriterLeavesTheOldFileAndNoTemporaryFile) {
    TempFolder temp;
    const std::string path = temp.path() + "c.vfl";
    Carrowen::writeFileListContainer(path, 0, 3, nullptr);
    const std::string before = StorageTest::readBytes(path);
    {
        Carrowen::FileListContainerWriter writer(path, 50);
        writer.append(Carrowen::makeRecord(50, true));
        EXPECT_EQ(51u, writer.nextRecordId());
    }
    EXPECT_EQ(before, StorageTest::readBytes(path));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"c.vfl"}, names);
}

TEST(ContainerTest, WriterRefusesRangesBeyondTheIdentifierSpace) {
    TempFolder temp;
    EXPECT_THROW(Carrowen::writeFileListContainer(temp.path() + "c.vfl", 0xFFFFFFF0u, 16, nullptr), std::invalid_argument);
    Carrowen::FileListContainerWriter writer(temp.path() + "d.vfl", 0xFFFFFFFEu);
    writer.append(Carrowen::makeRecord(0xFFFFFFFEu, false));
    EXPECT_THROW(writer.append(Carrowen::makeRecord(0xFFFFFFFFu, false)), std::length_error);
}

// A header with the given range whose own checksum is right, so only the
// comparison with the file's size can catch it.
std::string forgedHeader(const std::string& valid, uint32_t lower, uint32_t upper) {
    std::string h = valid.substr(0, 64);
    const uint64_t count = uint64_t(upper) - lower;
    const uint64_t chunks = (count + 511) / 512;
    std::string fields;
    StorageCodec::putU32(fields, lower);
    StorageCodec::putU32(fields, upper);
    StorageCodec::putU64(fields, count);
    StorageCodec::putU64(fields, chunks);
    h.replace(24, fields.size(), fields);
    std::string crc;
    StorageCodec::putU32(crc, StorageCodec::crc32c(h.data(), 60));
    h.replace(60, 4, crc);
    return h + valid.substr(64);
}

TEST(ContainerTest, DamagedFilesAreRejectedAtOpenNamingTheFile) {
    TempFolder temp;
    const std::string valid_path = temp.path() + "valid.vfl";
    Carrowen::writeFileListContainer(valid_path, 10, 1000, markedEvery997);
    const std::string valid = StorageTest::readBytes(valid_path);
    auto flipped = [&valid](size_t offset) { return StorageTest::withFlippedBits(valid, offset, 0x10); };
    const StorageTest::DamageCase cases[] = {
        {"zero length", "", "too short"},
        {"truncated header", valid.substr(0, 40), "too short"},
        {"truncated records", valid.substr(0, valid.size() - 300), "truncated"},
        {"extended", valid + "x", "extended"},
        {"foreign", std::string(200, 'A'), "not a file-list container"},
        {"flipped magic", flipped(2), "not a file-list container"},
        {"flipped range", flipped(26), "header checksum"},
        {"flipped table", flipped(valid.size() - 3), "checksum table"},
        {"huge declared count", forgedHeader(valid, 0, 0xFFFFFFFFu), "header declares"},
        {"inverted range", forgedHeader(valid, 20, 10), "inverted record range"},
    };
    for (const StorageTest::DamageCase& c : cases) {
        const std::string path = temp.path() + "damaged.vfl";
        StorageTest::writeBytes(path, c.bytes);
        StorageTest::expectRejectedNamingFile(c.name, path, c.expectedText, [&path] {
            FileListContainer2 container;
            container.open(path, 1, 1);
        });
    }
    FileListContainer2 container;
    EXPECT_THROW(container.open(temp.path() + "absent.vfl", 1, 1), std::runtime_error);
    EXPECT_THROW(container.open(valid_path, 2, 1), std::invalid_argument);
}

TEST(ContainerTest, FlippedRecordByteIsAnErrorWhenItsBlockIsRead) {
    TempFolder temp;
    const std::string path = temp.path() + "c.vfl";
    Carrowen::writeFileListContainer(path, 10, 9000, nullptr);
    std::string bytes = StorageTest::readBytes(path);
    const size_t record = 600;  // in the second chunk of the first block
    bytes[64 + record * 128 + 83] ^= 1;  // a marker byte: wrong data if undetected
    StorageTest::writeBytes(path, bytes);

    FileListContainer2 container;
    container.open(path, 1, 1);  // records are verified as they are first read
    FileListRecord r;
    try {
        container.first(r);
        ADD_FAILURE() << "damaged record delivered";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(path + ": checksum mismatch in records [522, 1034)", e.what());
    }
    EXPECT_EQ(1, container.readRecord(10 + 8192, r));  // the next block is sound
    EXPECT_THROW(container.readRecord(10 + record, r), std::runtime_error);
    try {
        container.findMarkedRecord(10);
        ADD_FAILURE() << "a damaged block was searched";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(path + ": checksum mismatch in records [522, 1034)", e.what());
    }
}

// A container shortened while it is open (the writers never do that, but a
// full disk, an administrator or an attacker may) is an error naming the file
// when the missing records are read, never a crash; a FIFO in its place is
// refused without blocking.
TEST(ContainerTest, ShortenedOrSpecialFilesAreErrorsNamingTheFile) {
    TempFolder temp;
    const std::string path = temp.path() + "c.vfl";
    Carrowen::writeFileListContainer(path, 10, 3 * 1536 + 7, nullptr);
    FileListContainer2 container;
    container.open(path, 1, 1);
    FileListRecord r;
    container.first(r);
    EXPECT_EQ(container.recordIdUpperBound(), container.findMarkedRecord(10));  // maps the whole file
    ASSERT_EQ(0, ::truncate(path.c_str(), 64 + 1536 * 128 + 100));  // inside the second block
    try {
        container.readRecord(10 + 1536, r);
        ADD_FAILURE() << "a record beyond the file's end was delivered";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(path + ": file ends inside records [1546, 3082) (shortened while it was read)", e.what());
    }
    EXPECT_EQ(1, container.readRecord(10 + 5, r));  // the first block is still whole
    // Searched through the mapping, the missing block is an error too.
    try {
        container.findMarkedRecord(10);
        ADD_FAILURE() << "a block beyond the file's end was searched";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(path + ": file ends inside records [1546, 3082) (shortened while it was read)", e.what());
    }

    const std::string fifo = temp.path() + "fifo.vfl";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0644));
    FileListContainer2 other;
    try {
        other.open(fifo, 1, 1);
        ADD_FAILURE() << "a FIFO was opened as a container";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ("cannot open " + fifo + ": it is not a regular file", std::string(e.what()));
    }
}

// A link in place of a container is refused by open, whatever it points to
// (a good copy of the container included): every reader of a pool, the
// scan's search for marked records and the pool operations alike.
TEST(ContainerTest, ALinkInPlaceOfAContainerIsRefusedNotFollowed) {
    TempFolder temp;
    const std::string copy = temp.path() + "copy.vfl";
    Carrowen::writeFileListContainer(copy, 0, 2 * 1536, [](uint32_t id) { return id == 2000; });
    for (const std::string& target : {copy, temp.path() + "absent.vfl"}) {
        const std::string link = temp.path() + "00000001.vfl";
        ::unlink(link.c_str());
        ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
        FileListContainer2 container;
        try {
            container.open(link, 1, 1);
            ADD_FAILURE() << "a container was opened through a link to " << target;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ("cannot open " + link + ": it is a symbolic link", std::string(e.what())) << target;
        }
        EXPECT_THROW(container.findMarkedRecord(0), std::runtime_error);  // not open
    }
    FileListContainer2 direct;  // the file itself is a good container
    direct.open(copy, 1, 1);
    EXPECT_EQ(2000u, direct.findMarkedRecord(0));
}

}  // namespace
