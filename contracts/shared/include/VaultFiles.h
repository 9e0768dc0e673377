// The one file layer of the vault's code: every component opens, reads,
// writes, replaces and removes files through it.
//
// What holds for everything here:
// - Every file is opened close-on-exec and without blocking, and is refused
//   unless it is a regular file: a FIFO, device or socket planted where a
//   file is expected never hangs a process and is never written to.
// - Where the caller passes Links::Refuse, a symbolic link at the path is
//   refused too (only the last component of the path is checked).
// - Every failure throws FileError; its text names the operation, the path and
//   the system's reason: "cannot write /v/Output.csv: No space left on device".
//   System calls interrupted by a signal (EINTR) are retried.
// - A FileSystem and the files it opens are safe to use from several threads
//   as long as each file object is used by one thread at a time.
//
// Everything goes through the abstract FileSystem, so a test can wrap the real
// one (FileSystemWrapper) and fail the one call it is about: a write that hits
// a full disk after N bytes, an fsync or rename that fails, a file that ends
// early. The helpers below the classes (readWholeFile, makeFolders,
// ReplacementFile) are built only on FileSystem's calls, so injected faults
// reach them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "SharedApi.h"

namespace VaultFiles {

// A failed file operation. what() is "cannot <operation> <path>: <reason>".
class SHARED_API FileError : public std::runtime_error {
public:
    // `reason` is the system's text for `systemError` (an errno value).
    FileError(const std::string& operation, const std::string& path, int systemError);
    // A refusal of the layer itself (not a regular file, too large...);
    // systemError() is `systemError` (EINVAL unless told otherwise).
    FileError(const std::string& operation, const std::string& path, const std::string& reason,
              int systemError = 22 /* EINVAL */);
    ~FileError() override;

    const std::string& operation() const { return operation_; }
    const std::string& path() const { return path_; }
    // The reason alone: the system's text, or the layer's own.
    const std::string& reason() const { return reason_; }
    int systemError() const { return systemError_; }
    // True when the path (or a folder on it) does not exist.
    bool missing() const;

private:
    std::string operation_;
    std::string path_;
    std::string reason_;
    int systemError_;
};

// Whether a symbolic link at the path is followed or refused.
enum class Links { Follow, Refuse };

// What openWritable does with a file that exists.
enum class WriteMode {
    Truncate,   // create it, or empty an existing regular file
    Append,     // create it, or write after its end (O_APPEND)
    CreateNew,  // create it; refuse (EEXIST) when anything has the name, a link included
    Existing,   // open an existing regular file as it is (for edits in place)
};

enum class FileKind { Missing, Regular, Folder, Link, Other };

// What a stat of a path tells.
struct SHARED_API FileStatus {
    FileKind kind = FileKind::Missing;
    uint64_t size = 0;
    unsigned permissions = 0;  // the mode's permission bits (07777)
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;

    // The same version of the same file: a replaced or rewritten file differs.
    bool sameVersionAs(const FileStatus& other) const;
};

// A regular file open for reading.
class SHARED_API ReadableFile {
public:
    virtual ~ReadableFile();
    virtual const std::string& path() const = 0;
    // The file as it was when it was opened.
    virtual const FileStatus& status() const = 0;
    // Reads up to `size` bytes from the current position and advances it;
    // returns how many were read, 0 at the end of the file.
    virtual size_t read(void* buffer, size_t size) = 0;
    // Reads `size` bytes at `offset` (the position is not used or moved);
    // returns fewer only when the file ends first.
    virtual size_t readAt(uint64_t offset, void* buffer, size_t size) const = 0;
    // Advice for the system, which changes nothing that is read and never
    // fails (a file of a test double may ignore it): adviseSequential() says
    // the file will be read once from start to end (a larger read-ahead);
    // willNeed() starts reading [offset, offset + size) from the device in
    // the background, so a later read finds it.
    virtual void adviseSequential() const {}
    virtual void willNeed(uint64_t /*offset*/, uint64_t /*size*/) const {}
};

// Keeps what a sequential reader reads next on its way from the device, so
// the device works while the reader computes: as the reader moves through
// [begin, end) of a file, the next `ahead` bytes are announced
// (ReadableFile::willNeed) in steps of `step` bytes. Small steps, because
// the system caps one announcement at its read-ahead size. Announcing only
// warms the page cache: a failed announcement changes nothing, the reader's
// own read reports any error. Holds no buffer of its own.
class SHARED_API ReadAhead {
public:
    static constexpr uint64_t kDefaultAhead = uint64_t(16) << 20;
    static constexpr uint64_t kDefaultStep = uint64_t(512) << 10;

    ReadAhead() = default;
    // Advises `file` as read sequentially and announces the first bytes.
    // `file` must outlive the use of this object (or the next start()).
    void start(const ReadableFile& file, uint64_t begin, uint64_t end, uint64_t ahead = kDefaultAhead,
               uint64_t step = kDefaultStep);
    // The reader has read everything before `offset`.
    void reached(uint64_t offset);
    // Forgets the file: nothing more is announced.
    void stop() { file_ = nullptr; }

private:
    const ReadableFile* file_ = nullptr;
    uint64_t announced_ = 0;
    uint64_t end_ = 0;
    uint64_t ahead_ = 0;
    uint64_t step_ = 0;
};

// Announces [offset, offset + size) of the regular file at `path` (not
// through a link), to be read soon: the device starts reading it in the
// background. Ignores every failure; the real read reports them.
SHARED_API void announceFile(const std::string& path, uint64_t offset, uint64_t size);

// Announcements (announceFile, and willNeed of the real file system's files)
// are handed to the system by one background thread of the file layer, so a
// reader does not wait while the system starts the reads; what cannot be
// queued is dropped. Returns once everything announced so far has been
// handed over or dropped, and the descriptors it held are closed.
SHARED_API void waitForAnnouncements();

// Whether the first byte of the open file `fd` is in the page cache: a read
// that would have to wait is refused at once (RWF_NOWAIT), and a file system
// that cannot tell counts as "not cached". For readers ahead that rest while
// what they would warm is cached already.
SHARED_API bool firstPageCached(int fd);

// A regular file open for writing. Bytes given to append() are gathered in a
// buffer of the object and handed to the system by flush(), sync(), close()
// or when the buffer fills; an error of any of these calls means that bytes
// written since the last successful sync() may be lost.
class SHARED_API WritableFile {
public:
    // Closes a file that was not closed, flushing first; errors are ignored
    // there, so a caller that cares calls close() itself.
    virtual ~WritableFile();
    virtual const std::string& path() const = 0;
    virtual void append(const void* data, size_t size) = 0;
    void append(const std::string& text) { append(text.data(), text.size()); }
    // Writes bytes at `offset` of the file (after flushing the buffer), for a
    // header filled in last. Not for files opened with WriteMode::Append.
    virtual void writeAt(uint64_t offset, const void* data, size_t size) = 0;
    // Hands the buffered bytes to the system.
    virtual void flush() = 0;
    // flush(), then sets the file's length (shortening or extending it).
    virtual void resize(uint64_t size) = 0;
    // flush(), then makes the file's bytes durable (fsync).
    virtual void sync() = 0;
    // flush(), then closes the file. Closing twice does nothing.
    virtual void close() = 0;
};

// An exclusive lock between processes (and between lock objects of one
// process) on a lock file or a folder. The kernel keeps it and drops it when
// the holder ends, however it ends.
class SHARED_API LockFile {
public:
    // Releases a lock that is held.
    virtual ~LockFile();
    virtual const std::string& path() const = 0;
    // Tries once, without waiting: true when the lock is now held by this
    // object, false when another holder has it. Throws FileError otherwise.
    virtual bool tryLock() = 0;
    virtual void unlock() = 0;
};

// What openLockFile locks.
enum class LockTarget {
    File,    // a lock file, created when missing; a link or special file is refused
    Folder,  // an existing folder (nothing is created in it)
};

class SHARED_API FileSystem {
public:
    virtual ~FileSystem();

    // The process's real (POSIX) file system; lives until the process ends.
    static FileSystem& real();

    // Opens a regular file for reading. Throws FileError (missing() is true
    // when it does not exist).
    virtual std::unique_ptr<ReadableFile> openReadable(const std::string& path, Links links) = 0;
    // Opens (creating when needed, with `permissions` less the umask) a
    // regular file for writing.
    virtual std::unique_ptr<WritableFile> openWritable(const std::string& path, WriteMode mode, Links links,
                                                       unsigned permissions = 0644) = 0;
    // Renames `from` over `to` (atomic within one file system).
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Removes a file or a link (never what a link points to); false when
    // nothing had the name.
    virtual bool remove(const std::string& path) = 0;
    // Makes the entries of a folder durable (after a create, rename or remove).
    virtual void syncFolder(const std::string& folder) = 0;
    // Creates one folder (mode 0755 less the umask); false when something of
    // that name exists already (whatever it is).
    virtual bool makeFolder(const std::string& folder) = 0;
    // What is at the path; a link is FileKind::Link under Links::Refuse and
    // what it points to under Links::Follow. Never throws for a missing path.
    virtual FileStatus status(const std::string& path, Links links) = 0;
    // Opens what a lock is taken on; the lock itself is taken by tryLock().
    // A lock file is opened for writing, or for reading when it belongs to
    // someone else and cannot be written (reading is enough to lock it).
    virtual std::unique_ptr<LockFile> openLockFile(const std::string& path, LockTarget target) = 0;
    // Makes durable everything written to the file system that holds `path`
    // (one call in place of a sync per file, for a build of many files).
    virtual void syncFileSystem(const std::string& path) = 0;
    // Bytes an unprivileged writer may still add to the file system of the
    // nearest existing folder at or above `path`.
    virtual uint64_t availableBytes(const std::string& path) = 0;
};

// Forwards every call to another FileSystem: a test double overrides only
// the calls it changes.
class SHARED_API FileSystemWrapper : public FileSystem {
public:
    explicit FileSystemWrapper(FileSystem& target) : target_(target) {}
    FileSystem& target() const { return target_; }

    std::unique_ptr<ReadableFile> openReadable(const std::string& path, Links links) override {
        return target_.openReadable(path, links);
    }
    std::unique_ptr<WritableFile> openWritable(const std::string& path, WriteMode mode, Links links,
                                               unsigned permissions = 0644) override {
        return target_.openWritable(path, mode, links, permissions);
    }
    void rename(const std::string& from, const std::string& to) override { target_.rename(from, to); }
    bool remove(const std::string& path) override { return target_.remove(path); }
    void syncFolder(const std::string& folder) override { target_.syncFolder(folder); }
    bool makeFolder(const std::string& folder) override { return target_.makeFolder(folder); }
    FileStatus status(const std::string& path, Links links) override { return target_.status(path, links); }
    std::unique_ptr<LockFile> openLockFile(const std::string& path, LockTarget target) override {
        return target_.openLockFile(path, target);
    }
    void syncFileSystem(const std::string& path) override { target_.syncFileSystem(path); }
    uint64_t availableBytes(const std::string& path) override { return target_.availableBytes(path); }

private:
    FileSystem& target_;
};

// ---- Helpers built on FileSystem's calls ----

// The folder part of a path ("." for a bare name, "/" for a file in the root).
SHARED_API std::string folderOf(const std::string& path);

// The names in a folder of the real file system ("." and ".." left out), in
// the order the file system lists them. Throws FileError when it cannot be
// listed.
SHARED_API std::vector<std::string> folderEntries(const std::string& folder);

// The prefix of the temporary names ReplacementFile gives new versions of
// `path` (".<name>.tmp."): what a process that died before commit() leaves.
SHARED_API std::string temporaryNamePrefix(const std::string& path);

// Reads a whole regular file of at most `maxSize` bytes into `contents`.
// Returns false when it does not exist; throws FileError when it cannot be
// read, is not a regular file (or is a link under Links::Refuse), or holds
// more than `maxSize` bytes (also when it grew past that while being read).
// `status`, when given, receives the file's status at opening.
SHARED_API bool readWholeFile(FileSystem& files, const std::string& path, size_t maxSize, std::string& contents,
                              Links links = Links::Follow, FileStatus* status = nullptr);
SHARED_API bool readWholeFile(const std::string& path, size_t maxSize, std::string& contents,
                              Links links = Links::Follow);

// Creates `folder` and its missing parents. Succeeds when it exists as a
// folder (a link to a folder counts); throws FileError when a part of it is
// something else or cannot be created.
SHARED_API void makeFolders(FileSystem& files, const std::string& folder);
SHARED_API void makeFolders(const std::string& folder);

// A new version of a file that replaces the old one only when complete.
// The constructor creates a temporary file of a unique name beside `path`
// (".<name>.tmp.<pid>.<n>", created exclusively, never through a link);
// commit() syncs it, closes it, renames it over `path` and syncs the folder.
// Until commit() succeeds, `path` is unchanged; an object destroyed without
// a successful commit() removes its temporary file.
class SHARED_API ReplacementFile final {
public:
    struct Options {
        // Give the new file the permission bits of the file it replaces.
        bool keepPermissions = false;
        unsigned permissions = 0644;
    };
    ReplacementFile(FileSystem& files, const std::string& path);
    ReplacementFile(FileSystem& files, const std::string& path, const Options& options);
    explicit ReplacementFile(const std::string& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void append(const void* data, size_t size);
    void append(const std::string& text) { append(text.data(), text.size()); }
    // Overwrites bytes already appended (a header filled in last).
    void writeAt(uint64_t offset, const void* data, size_t size);
    // Hands buffered bytes to the system (they are not durable until commit).
    void flush();
    void commit();
    // Gives up: removes the temporary file; `path` stays as it was.
    void abandon();

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporaryPath_; }
    // True once the rename put the new version in place (a failure of the
    // folder sync after it still throws from commit()).
    bool committed() const { return committed_; }

private:
    FileSystem& files_;
    std::string path_;
    std::string temporaryPath_;
    std::unique_ptr<WritableFile> file_;
    bool committed_ = false;
};

// Replaces `path` with `contents` through a ReplacementFile.
SHARED_API void replaceFile(FileSystem& files, const std::string& path, const std::string& contents,
                            const ReplacementFile::Options& options = ReplacementFile::Options());
SHARED_API void replaceFile(const std::string& path, const std::string& contents);

}  // namespace VaultFiles
