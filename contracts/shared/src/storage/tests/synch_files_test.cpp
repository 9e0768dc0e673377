// Synchronisation files: both formats read back as written; damaged, foreign
// and hostile files are errors naming the file.
#include <gtest/gtest.h>

#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"
#include "VSynchSetWriter.h"

namespace {

using VSynchFiles::Format;

std::vector<VSynchEntry> sampleEntries() {
    std::vector<VSynchEntry> entries(3);
    entries[0] = {9, 0x40001, VFileName("00000009.vfl")};
    entries[1] = {2, 0xFFFFFFFFu, VFileName("")};
    entries[2] = {4, 0, VFileName(std::string(VSYNCH_MAX_FILE_NAME, 'n'))};
    return entries;
}

TEST(SynchFilesTest, BothFormatsReadBackInSafesetOrder) {
    StorageTest::TempFolder temp;
    for (Format format : {Format::Current, Format::Older}) {
        const std::string path = temp.path() + "s.vss";
        VSynchFiles::writeFile(path, sampleEntries(), format);
        const VSynchFiles::FileContents read = VSynchFiles::readFile(path);
        EXPECT_EQ(format, read.format);
        ASSERT_EQ(3u, read.entries.size());
        const std::vector<VSynchEntry> written = sampleEntries();
        const size_t order[] = {1, 2, 0};  // indexes of safesets 2, 4, 9
        for (size_t i = 0; i < 3; ++i) {
            const VSynchEntry& e = read.entries[i];
            const VSynchEntry& expected = written[order[i]];
            EXPECT_EQ(expected.safesetNumber, e.safesetNumber);
            EXPECT_EQ(expected.peripheral, e.peripheral);
            EXPECT_EQ(expected.fileName.GetName(), e.fileName.GetName());
        }
    }
}

TEST(SynchFilesTest, WriterRefusesEntriesItCouldNotReadBack) {
    StorageTest::TempFolder temp;
    const std::string path = temp.path() + "s.vss";
    const std::vector<std::vector<VSynchEntry>> refused = {
        {{1, 0, VFileName("a")}, {1, 0, VFileName("b")}},
        {{1, 0, VFileName(std::string(VSYNCH_MAX_FILE_NAME + 1, 'n'))}},
        {{1, 0, VFileName(std::string("a\0b", 3))}},
    };
    for (const auto& entries : refused) EXPECT_THROW(VSynchFiles::writeFile(path, entries), std::invalid_argument);
    EXPECT_FALSE((VaultFiles::FileSystem::real().status(path, VaultFiles::Links::Follow).kind == VaultFiles::FileKind::Regular));
}

std::string header(uint32_t version, uint32_t count) {
    std::string h = "VSYNCSET";
    StorageCodec::putU32(h, version);
    StorageCodec::putU32(h, count);
    StorageCodec::putU32(h, 0);
    StorageCodec::putU32(h, version == 2 ? StorageCodec::crc32c(h.data(), h.size()) : 0);
    return h;
}

TEST(SynchFilesTest, DamagedFilesAreRejectedNamingTheFile) {
    StorageTest::TempFolder temp;
    const std::string validPath = temp.path() + "valid.vss";
    VSynchFiles::writeFile(validPath, sampleEntries());
    const std::string valid = StorageTest::readBytes(validPath);
    VSynchFiles::writeFile(validPath, sampleEntries(), Format::Older);
    const std::string older = StorageTest::readBytes(validPath);
    auto flipped = [](const std::string& bytes, size_t offset) {
        return StorageTest::withFlippedBits(bytes, offset, 0x04);
    };
    const StorageTest::DamageCase cases[] = {
        {"zero length", "", "too short"},
        {"truncated", valid.substr(0, valid.size() - 1), "file ends inside"},
        {"truncated older format", older.substr(0, older.size() - 1), "file ends inside"},
        {"truncated at an entry boundary", valid.substr(0, 24 + 16), "cannot hold them"},
        {"trailing bytes", valid + "\n", "unexpected bytes"},
        {"foreign", std::string(64, '\x7F'), "not a synchronisation file"},
        {"flipped header byte", flipped(valid, 12), "header checksum"},
        {"flipped peripheral byte", flipped(valid, 24 + 5), "checksum mismatch in entry 0"},
        {"unknown version", header(3, 0), "unsupported"},
        {"huge declared count", header(2, 0xFFFFFFFFu) + valid.substr(24), "cannot hold them"},
        {"huge name length", header(1, 1) + std::string("\1\0\0\0\0\0\0\0\xFF\xFF\xFF\x7F", 12), "file name of"},
    };
    for (const StorageTest::DamageCase& c : cases) {
        const std::string path = temp.path() + "damaged.vss";
        StorageTest::writeBytes(path, c.bytes);
        StorageTest::expectRejectedNamingFile(c.name, path, c.expectedText, [&path] { VSynchFiles::readFile(path); });
    }
    EXPECT_THROW(VSynchFiles::readFile(temp.path() + "absent.vss"), std::runtime_error);
}

}  // namespace
