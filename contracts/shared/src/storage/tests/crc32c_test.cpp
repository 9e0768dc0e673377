// CRC32C: published check values, the fast path against the portable one, and
// durable file replacement.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"

TEST(Crc32cTest, MatchesPublishedCheckValues) {
    std::string zeros(32, '\0'), ones(32, '\xFF'), ascending;
    for (int i = 0; i < 32; ++i) ascending.push_back(static_cast<char>(i));
    struct Case {
        std::string data;
        uint32_t crc;
    };
    for (const Case& c : {Case{"123456789", 0xE3069283u}, Case{zeros, 0x8A9136AAu}, Case{ones, 0x62A8AB43u},
                          Case{ascending, 0x46DD794Eu}, Case{"", 0u}}) {
        EXPECT_EQ(c.crc, StorageCodec::crc32c(c.data.data(), c.data.size()));
        EXPECT_EQ(c.crc, StorageCodec::crc32cPortable(c.data.data(), c.data.size()));
    }
}

TEST(Crc32cTest, FastPathChainingAndChunksAgreeWithThePortableCode) {
    std::mt19937 random(12345);
    std::vector<unsigned char> data(600000);  // room for the largest case below
    for (auto& b : data) b = static_cast<unsigned char>(random());
    for (size_t offset : {0, 1, 3, 7}) {
        for (size_t size : {0, 1, 7, 8, 9, 63, 4096, 100001}) {
            const unsigned char* p = data.data() + offset;
            const uint32_t expected = StorageCodec::crc32cPortable(p, size);
            EXPECT_EQ(expected, StorageCodec::crc32c(p, size)) << offset << "/" << size;
            const size_t half = size / 3;
            EXPECT_EQ(expected, StorageCodec::crc32c(p + half, size - half, StorageCodec::crc32c(p, half)));
        }
    }
    for (size_t chunk : {1000, 65536}) {
        for (size_t size : {size_t(0), chunk * 3, chunk * 7 + 5, size_t(299999)}) {
            std::vector<uint32_t> crcs((size + chunk - 1) / chunk + 1, 0xDEADBEEF);
            StorageCodec::crc32cChunks(data.data(), size, chunk, crcs.data());
            for (size_t i = 0; i * chunk < size; ++i)
                EXPECT_EQ(StorageCodec::crc32cPortable(&data[i * chunk], std::min(chunk, size - i * chunk)), crcs[i])
                    << chunk << "/" << size << "/" << i;
            EXPECT_EQ(0xDEADBEEF, crcs.back());  // writes no further than the last chunk
        }
    }
}

TEST(AtomicFileTest, ReplacesOnlyOnCommitAndLeavesNoTemporaryFile) {
    StorageTest::TempFolder temp;
    const std::string path = temp.path() + "f.bin";
    StorageTest::writeBytes(path, "old");
    {
        VaultFiles::ReplacementFile file(path);
        file.append("new!", 4);
    }
    EXPECT_EQ("old", StorageTest::readBytes(path));
    {
        VaultFiles::ReplacementFile file(path);
        file.append("xxxx-data", 9);
        file.writeAt(0, "head", 4);
        file.commit();
    }
    EXPECT_EQ("head-data", StorageTest::readBytes(path));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(temp.path())) files += entry.is_regular_file();
    EXPECT_EQ(1u, files);
    EXPECT_THROW(VaultFiles::ReplacementFile(temp.path() + "absent/f.bin"), std::runtime_error);
}
