// Pool files: a task's sync list and a safeset's file-list container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <boost/shared_ptr.hpp>

#include "DataObjects/DataObjects.h"
#include "FileServices.h"
#include "Pool/PoolStorage.h"

#define CARROWEN_API __attribute__((visibility("default")))

namespace Carrowen {

// One safeset's entry of a sync list.
class CARROWEN_API SyncEntry {
public:
    virtual ~SyncEntry();
    // The version text of the vault that wrote the safeset (zero-terminated).
    const char* getVersion() const { return version_.c_str(); }
    // The file name (full path) of the safeset's file-list container.
    const VFileName& getFileName() const { return fileName_; }

    std::string version_;
    VFileName fileName_;
};

class CARROWEN_API SyncList {
public:
    SyncList();
    virtual ~SyncList();
    SyncList(const SyncList&) = delete;
    SyncList& operator=(const SyncList&) = delete;
    // Opens the task's sync list on the storage of `descriptor` for reading.
    // Throws a standard exception naming the file when it is missing or bad.
    // The whole list is read and every checksum verified here, whatever the
    // flags; `lockList` is not needed (writers replace the file atomically).
    void openReadOnly(const DataObjects::TaskDataObject& task,
                      const boost::shared_ptr<Pool::PoolStorageDescriptor>& descriptor, bool lockList,
                      bool readEntries, bool verify);
    // The entry of `safesetNumber`; throws a standard exception when the list
    // has none.
    boost::shared_ptr<SyncEntry> getEntryForSafeset(uint32_t safesetNumber) const;

private:
    struct State;
    State* state_;
};

// One record of a file-list container as the container delivers it.
struct FileListRecord {
    static const size_t SIZE = 128;
    static const size_t MARKER_OFFSET = 83;
    unsigned char bytes[SIZE];
    unsigned char markerFlag() const { return bytes[MARKER_OFFSET]; }
};

class FileListContainer2;

// Reads records of one container by record identifier.
class CARROWEN_API FileListReader {
public:
    explicit FileListReader(const FileListContainer2* container) : container_(container) {}
    // Positions the reader on a record identifier.
    void setPosition(uint32_t recordId) { recordId_ = recordId; }
    uint32_t position() const { return recordId_; }
    // Reads the record at the position; 1 when read, 0 otherwise (see
    // FileListContainer2::readRecord). A record of the block read last
    // (already verified) is served here, without a call into the library.
    int read(FileListRecord& record) const {
        const uint32_t offset = recordId_ - windowFirstId_;  // wraps for identifiers below the block
        if (offset < windowCount_) {
            std::memcpy(record.bytes, windowBase_ + size_t(offset) * FileListRecord::SIZE, FileListRecord::SIZE);
            return 1;
        }
        return readOutsideWindow(record);
    }
    const FileListContainer2* container() const { return container_; }

private:
    friend class FileListContainer2;
    int readOutsideWindow(FileListRecord& record) const;

    const FileListContainer2* container_;
    uint32_t recordId_ = 0;
    // The verified block the container read last (kept by the container).
    const unsigned char* windowBase_ = nullptr;
    uint32_t windowFirstId_ = 0;
    uint32_t windowCount_ = 0;
};

// A position within a container: a reader and a record identifier.
struct FileListPosition {
    const FileListReader* reader = nullptr;
    uint32_t recordId = 0;
    bool operator==(const FileListPosition& other) const {
        return reader == other.reader && recordId == other.recordId;
    }
    bool operator!=(const FileListPosition& other) const { return !(*this == other); }
};

// A container is used by one thread at a time (reads share a block buffer).
// open() verifies the header, the file size and the chunk checksum table;
// records are read in blocks and verified chunk by chunk (512 records) before
// any of them is delivered, so no record is delivered unverified. A file
// shortened while it is open makes the read of a missing record throw an
// error naming the file. Container files are opened without blocking and
// only when they are regular files.
class CARROWEN_API FileListContainer2 {
public:
    FileListContainer2();
    virtual ~FileListContainer2();
    FileListContainer2(const FileListContainer2&) = delete;
    FileListContainer2& operator=(const FileListContainer2&) = delete;
    // Opens the container file for reading. Throws a standard exception naming
    // the file when it is missing, truncated, corrupt or of another kind.
    void open(const std::string& name, int accessMode, int optimizerHint);

    uint32_t recordIdLowerBound() const;
    uint32_t recordIdUpperBound() const;  // one past the last record
    // The first position holds the first record (and has read it into
    // `record`); the end position has the identifier recordIdUpperBound.
    FileListPosition first(FileListRecord& record) const;
    FileListPosition end() const;
    FileListReader& reader() const;

    // Reads record `recordId`; 1 when read, 0 when outside the range or not
    // open. Throws std::runtime_error naming the file when the record's chunk
    // fails its checksum or cannot be read (the file was shortened).
    int readRecord(uint32_t recordId, FileListRecord& record) const;

    // The identifier of the first record from `recordId` on whose marker byte
    // is set, or recordIdUpperBound() when there is none: the same answer as
    // reading every record from `recordId` to the end and looking at its
    // marker byte, with the same errors, but block by block without copying
    // records (each block is verified against its checksums before any of
    // its marker bytes is looked at).
    uint32_t findMarkedRecord(uint32_t recordId) const;
    // The same within [recordId, endId): answers endId (at most
    // recordIdUpperBound()) when none of those records is marked. Every block
    // holding one of them is verified, so walking a container in pieces with
    // it verifies the whole container without a call per record.
    uint32_t findMarkedRecord(uint32_t recordId, uint32_t endId) const;

private:
    friend class FileListReader;  // reads records without a second call
    struct State;
    State* state_;
};

}  // namespace Carrowen
