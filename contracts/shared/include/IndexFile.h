// Index files: a pool's index of every record of its file-list containers,
// "<taskFolder>/pool/pool.vix" (format in docs/index-files.md).
//
// Layout: a 512-byte header (magic "VIDXFILE", version, sizes, entry and
// block counts, the pool GUID, the checksum of the block checksum table and a
// checksum of the header itself), the entries (32 bytes each, in strictly
// ascending (safeset, record id) order), and a table of CRC32C checksums, one
// per block of 2048 entries. Readers never read past the end of the file and
// check declared sizes against the file's size before allocating anything.
// Every error is a FileError whose text starts with the path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileError.h"
#include "SharedApi.h"
#include "VaultFiles.h"

namespace IndexFileFormat {
constexpr uint32_t HEADER_SIZE = 512;
constexpr uint32_t ENTRY_SIZE = 32;
constexpr uint32_t ENTRIES_PER_BLOCK = 2048;
// Longest pool GUID the header holds, in bytes.
constexpr uint32_t MAX_POOL_GUID = 63;
// File name of a pool's index file inside its pool folder.
SHARED_API extern const char* const POOL_INDEX_FILE_NAME;  // "pool.vix"
}  // namespace IndexFileFormat

// One record of a container, as the index lists it.
struct IndexEntry {
    uint32_t safesetNumber = 0;
    uint32_t recordId = 0;
    uint64_t key = 0;          // the record's content key (see docs/index-files.md)
    uint64_t offset = 0;       // byte offset of the record in its container
    uint32_t size = 0;         // record size in bytes
    uint32_t flags = 0;        // bit 0: the record is marked
};

// Reads and verifies an index file. One object is used by one thread at a time.
class SHARED_API IndexFileBase {
public:
    IndexFileBase();
    virtual ~IndexFileBase();
    IndexFileBase(const IndexFileBase&) = delete;
    IndexFileBase& operator=(const IndexFileBase&) = delete;

    // Opens the file for reading. accessMode 1 is read (others are refused
    // with std::invalid_argument); optimizerHint 1 announces one sequential
    // pass, 0 none. Opens without following a link and without blocking, and
    // refuses what is not a regular file. Only opening is checked here: a
    // file shorter than its header opens, so its size can be asked. Throws
    // FileError when the file is missing, not a regular file or unreadable.
    void open(const std::string& path, int accessMode, int optimizerHint);

    // The file's size in bytes, as it was when opened.
    uint64_t getPhysicalSize() const;

    // Checks the file. Always: the header (magic, version, sizes, its
    // checksum), that the declared counts match the file's size exactly, and
    // the block checksum table against its checksum. With `full`, also reads
    // every entry: each block against its checksum and the entries' order.
    // Throws FileError naming the path and what is wrong; std::logic_error
    // when not open.
    void verify(bool full);

    // Closes the file. `reportErrors` true: a failing close throws FileError.
    // Closing a closed file does nothing.
    void close(bool reportErrors);

    bool isOpen() const;
    const std::string& path() const;
    // After verify: the header's entry count and pool GUID.
    uint64_t entryCount() const;
    std::string poolGuid() const;
    // After verify(true) or for a verified header: reads `count` entries from
    // entry `first` (checking their blocks' checksums). Throws FileError.
    std::vector<IndexEntry> readEntries(uint64_t first, size_t count);
    // One pass over every entry, front to back, for a reader that looks at
    // each: replaces `entries` by the next at most `count` entries (checking
    // their blocks' checksums, as readEntries does) and answers how many, 0
    // after the last. The pass starts at the first entry after open() or
    // verify(), reuses its buffers and keeps the following entries coming
    // from the device while these are looked at. Throws FileError.
    size_t readNextEntries(std::vector<IndexEntry>& entries, size_t count);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Writes an index file: entries are streamed through a buffer; only the block
// checksums are held. The file is written under a temporary name in its own
// folder and renamed into place by commit() (flushed, folder flushed), so it
// is complete or absent; destroyed before commit, the writer removes its
// temporary file. Entries must come in strictly ascending (safeset, record id)
// order (std::invalid_argument otherwise). Errors are FileError naming the
// path.
class SHARED_API IndexFileWriter {
public:
    // `poolGuid` at most IndexFileFormat::MAX_POOL_GUID bytes, no zero byte.
    // The file is written through `files` (a build may pass one that flushes
    // once at its end).
    IndexFileWriter(const std::string& path, const std::string& poolGuid,
                    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());
    ~IndexFileWriter();
    IndexFileWriter(const IndexFileWriter&) = delete;
    IndexFileWriter& operator=(const IndexFileWriter&) = delete;

    void append(const IndexEntry& entry);
    void commit();
    uint64_t entryCount() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
