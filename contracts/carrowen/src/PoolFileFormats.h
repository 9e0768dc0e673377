// The byte layouts of the sync list and the file-list container, shared by
// their readers and writers (described in docs/storage.md). All fields are
// little-endian; every checksum is CRC32C.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Carrowen/Writers.h"

namespace Carrowen {
namespace Format {

// Sync list:
//   header, 24 bytes: magic "VSYNLIST", u32 version (1), u32 entry count,
//     u32 reserved (0), u32 CRC32C of the 20 bytes before it
//   entries, ascending safeset number: u32 safeset number, u16 version length,
//     u16 container name length, version bytes, name bytes, u32 CRC32C of the
//     entry's bytes before it
//   nothing after the last entry.
constexpr char kSyncListMagic[8] = {'V', 'S', 'Y', 'N', 'L', 'I', 'S', 'T'};
constexpr uint32_t kSyncListVersion = 1;
constexpr size_t kSyncListHeaderSize = 24;
constexpr size_t kSyncListMinimumEntrySize = 12;
constexpr size_t kMaximumTextLength = 255;
// Far beyond any real list; keeps a damaged file from exhausting memory.
constexpr size_t kSyncListMaximumFileSize = size_t(256) << 20;

// Empty when `name` may name a container inside the pool folder, else why not.
std::string containerNameProblem(const std::string& name);
std::string encodeSyncList(std::vector<SyncListEntryData> entries, const std::string& path);
// Throws std::runtime_error naming `path` when the bytes are not a valid list.
std::vector<SyncListEntryData> decodeSyncList(const std::string& bytes, const std::string& path);

// File-list container:
//   header, 64 bytes:
//      0 magic "VFILELST"          8 u32 version (1)
//     12 u32 header size (64)     16 u32 record size (128)
//     20 u32 records per chunk (512)
//     24 u32 recordIdLowerBound   28 u32 recordIdUpperBound
//     32 u64 record count (upper - lower)
//     40 u64 chunk count (ceil(count / 512))
//     48 u32 CRC32C of the chunk checksum table
//     52 8 reserved bytes (0)     60 u32 CRC32C of bytes 0-59
//   records: count * 128 bytes, record i holding identifier lower + i
//   chunk checksum table: chunk count * u32, the CRC32C of each run of 512
//     records (the last run may be shorter)
//   nothing after the table.
constexpr char kContainerMagic[8] = {'V', 'F', 'I', 'L', 'E', 'L', 'S', 'T'};
constexpr uint32_t kContainerVersion = 1;
constexpr size_t kContainerHeaderSize = 64;
constexpr size_t kChunkRecords = 512;
constexpr size_t kChunkBytes = kChunkRecords * FileListRecord::SIZE;  // 64 KiB
// The reader verifies 3 chunks (192 KiB) at a time: three checksums are
// computed in one interleaved pass, and the records are still in the
// processor's cache when they are copied out afterwards.
constexpr size_t kBlockChunks = 3;
constexpr size_t kBlockRecords = kBlockChunks * kChunkRecords;
// The writer gathers 16 chunks (1 MiB) per write.
constexpr size_t kWriteBufferRecords = 16 * kChunkRecords;

struct ContainerHeader {
    uint32_t recordIdLowerBound = 0;
    uint32_t recordIdUpperBound = 0;
    uint64_t recordCount = 0;
    uint64_t chunkCount = 0;
    uint32_t tableCrc = 0;

    uint64_t fileSize() const {
        return kContainerHeaderSize + recordCount * FileListRecord::SIZE + chunkCount * 4;
    }
};

std::string encodeContainerHeader(const ContainerHeader& header);
// Checks the header bytes (at least kContainerHeaderSize) against themselves
// and against the file's size. Throws std::runtime_error naming `path`.
ContainerHeader decodeContainerHeader(const unsigned char* bytes, uint64_t fileSize, const std::string& path);

}  // namespace Format
}  // namespace Carrowen
