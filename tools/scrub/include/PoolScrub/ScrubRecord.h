// The record of what a scrub verified on this node: for each pool of each
// task, the identity of every file the verify read (device, inode, size,
// modification time), the result and when. It lives in the node's state
// folder as two files:
//
//   scrub.record   the whole record, replaced atomically (ReplacementFile);
//   scrub.journal  the pools verified since the record was last written, one
//                  line per pool with a checksum, appended and synced after
//                  each pool.
//
// So saving after each pool costs one short append, and a process killed at
// any point loses at most the pool it was verifying: a torn last journal line
// fails its checksum and is dropped. The journal names the generation of the
// record it extends; after a new record is written (which already holds the
// journal's pools) the old journal no longer matches and is ignored.
//
// Both files are outside input when read back: every line is checked, and a
// record that does not read whole is reported and treated as empty (every
// pool is then verified again), never trusted in part.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "VaultFiles.h"

namespace PoolScrub {

// What a file of a pool was when it was looked at.
struct FileIdentity {
    std::string name;  // file name inside the pool folder
    bool present = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t mtimeSeconds = 0;
    int64_t mtimeNanoseconds = 0;

    bool operator==(const FileIdentity& other) const;
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of a file as the file system shows it now (never follows a link:
// a link or special file counts as present with kind-specific values, so it
// never matches a recorded regular file).
FileIdentity identityOf(VaultFiles::FileSystem& files, const std::string& folder, const std::string& name);

enum class Result { Ok, Damaged, Failed };
const char* resultName(Result result);

struct PoolEntry {
    uint32_t taskId = 0;
    std::string poolGuid;
    Result result = Result::Ok;
    uint64_t pass = 0;        // the pass it was verified in
    int64_t verifiedAt = 0;   // seconds since the epoch (UTC)
    std::vector<FileIdentity> files;  // the sync list first, then the containers, the index last
};

using PoolKey = std::pair<uint32_t, std::string>;  // task id, pool GUID

struct Record {
    uint64_t generation = 0;  // counts the writes of scrub.record
    uint64_t pass = 0;        // the current or last pass (0: none yet)
    bool passComplete = true;
    std::map<PoolKey, PoolEntry> pools;
};

// Text forms. Names and GUIDs are written with every byte outside
// [A-Za-z0-9._{}-] as %XX, so no value carries a blank or line break.
std::string formatRecord(const Record& record);
std::string formatJournalHeader(uint64_t generation);
std::string formatJournalLine(const PoolEntry& entry);

// Reads a record; throws std::runtime_error naming the line when the text is
// not a whole, well-formed record.
Record parseRecord(const std::string& text);
// Applies the journal's whole lines to `record` when the journal extends its
// generation; returns how many pools it applied. Stops at the first line that
// is torn or fails its checksum (`problem` then says why).
size_t applyJournal(const std::string& text, Record& record, std::string& problem);

// The files of a record in a state folder, and writing them.
class RecordStore {
public:
    RecordStore(VaultFiles::FileSystem& files, const std::string& folder);
    ~RecordStore();

    std::string recordPath() const { return folder_ + "/scrub.record"; }
    std::string journalPath() const { return folder_ + "/scrub.journal"; }
    std::string lockPath() const { return folder_ + "/scrub.lock"; }

    // Reads the record and its journal. A missing record is an empty one; a
    // damaged one is empty too and `warning` says why.
    Record load(std::string& warning);
    // Writes the whole record (a new generation) and starts an empty journal
    // for it. Throws VaultFiles::FileError; the previous record then stays.
    void writeRecord(Record& record);
    // Appends one verified pool to the journal and syncs it. Throws
    // VaultFiles::FileError when it cannot be written whole.
    void appendPool(const PoolEntry& entry);
    // Pools appended since the last writeRecord.
    size_t journalLength() const { return journalLength_; }
    // Removes temporary files a killed writer left.
    void removeLeftovers();

private:
    VaultFiles::FileSystem& files_;
    std::string folder_;
    std::unique_ptr<VaultFiles::WritableFile> journal_;
    size_t journalLength_ = 0;
};

}  // namespace PoolScrub
