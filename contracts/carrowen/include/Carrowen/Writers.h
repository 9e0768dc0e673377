// Writing pool files: a pool's sync list and a safeset's file-list container
// (formats described in docs/storage.md).
//
// Rules that hold for every writer here:
// - A file is written to a temporary name in its own folder, flushed to disk,
//   renamed into place and the folder flushed: a crash leaves the old file or
//   the new one, never a half-written file that reads as valid. A writer that
//   is destroyed before commit() removes its temporary file and leaves any
//   existing file untouched.
// - Every failure is a std::runtime_error whose text names the file; invalid
//   arguments are std::invalid_argument.
// - The folder must exist (Pool::Layout gives the paths).
// - Files are written through `files` (the real file system unless a caller,
//   such as a test or a vault build that syncs once at its end, passes its own).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "VaultFiles.h"

namespace Carrowen {

// One safeset's line of a sync list as written.
struct SyncListEntryData {
    uint32_t safesetNumber = 0;
    // Version text of the vault that wrote the safeset: at most 255 bytes, no
    // zero byte.
    std::string version;
    // The container's file name inside the pool folder (no folder part, no
    // '/', not "." or "..", 1 to 255 bytes, no zero byte).
    std::string containerFileName;
};

// Reads and checks a whole sync list, giving its entries in ascending safeset
// number in the form writeSyncList takes (for a read-modify-write by a pool
// operation). Throws std::runtime_error naming the file when it is missing
// ("sync list not found"), unreadable or damaged.
CARROWEN_API std::vector<SyncListEntryData> readSyncList(const std::string& path);

// Writes a sync list at `path` (normally Pool::Layout::syncListPath(task)).
// Safeset numbers must be unique; entries are stored in ascending order.
CARROWEN_API void writeSyncList(const std::string& path, const std::vector<SyncListEntryData>& entries,
                                VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

// Streams a file-list container to disk record by record through a 1 MiB
// buffer; besides it only the chunk checksums are held (4 bytes per 512
// records, 64 KiB for a 1 GiB container). Records get consecutive identifiers from
// `recordIdLowerBound` on.
class CARROWEN_API FileListContainerWriter {
public:
    FileListContainerWriter(const std::string& path, uint32_t recordIdLowerBound,
                            VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());
    ~FileListContainerWriter();
    FileListContainerWriter(const FileListContainerWriter&) = delete;
    FileListContainerWriter& operator=(const FileListContainerWriter&) = delete;

    // Appends the record with identifier nextRecordId(). Throws
    // std::length_error when the identifier range is exhausted (2^32 - 1).
    void append(const FileListRecord& record);
    uint32_t nextRecordId() const;
    // Finishes the file (header, checksums), flushes it and renames it into
    // place. Nothing may be appended afterwards.
    void commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The record the generated-container writer below stores for `recordId`:
// bytes 0-3 the identifier (little-endian), byte MARKER_OFFSET 1 when marked
// else 0, every other byte a fixed function of the identifier and offset.
CARROWEN_API FileListRecord makeRecord(uint32_t recordId, bool marked);

// Writes a container of `recordCount` records from `recordIdLowerBound` on,
// record i being makeRecord(i, isMarked(i)). `isMarked` may be empty (no
// record marked). Streams: suitable for containers of any size.
CARROWEN_API void writeFileListContainer(const std::string& path, uint32_t recordIdLowerBound, uint64_t recordCount,
                                         const std::function<bool(uint32_t recordId)>& isMarked,
                                         VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

// Writes a container holding exactly `records`, from `recordIdLowerBound` on.
CARROWEN_API void writeFileListContainer(const std::string& path, uint32_t recordIdLowerBound,
                                         const std::vector<FileListRecord>& records,
                                         VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

}  // namespace Carrowen
