// File helpers of the maintenance services (not exported): the few calls
// through which the session, the task settings, the job queue and the index
// files touch the file system. Files in folders others can write to are
// opened without following links and without blocking, and anything but a
// regular file is refused. Every failure is a std::runtime_error whose text
// starts with the path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ServiceFiles {

// "<path>: <what>: <system error text>".
std::runtime_error error(const std::string& path, const std::string& what, int errnoValue);

// Opens an existing regular file for reading (O_NOFOLLOW, O_NONBLOCK, then
// back to blocking reads). Returns -1 with errno ENOENT when it does not
// exist; throws for a link, a FIFO, a device, a folder or any other failure.
int openRegularForReading(const std::string& path);

// Reads a regular file of at most `maxSize` bytes. False when it does not
// exist; throws otherwise as above, and for a larger file.
bool readRegularFile(const std::string& path, size_t maxSize, std::string& contents);

// Replaces `path` with `contents`: a temporary file in the same folder,
// renamed over it. `durable` also flushes the file and the folder to disk, so
// the new file survives a power loss (state files); without it a crashed
// process still leaves the old file or the new one (status displays).
void replaceFile(const std::string& path, const std::string& contents, bool durable);

// Creates `folder` and its missing parents.
void makeFolders(const std::string& folder);

// An advisory lock (flock) on a lock file, created when missing, taken at
// construction (waiting for it) and released at destruction or when the
// holding process ends, however it ends.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// Appends `line` to the open descriptor in one write call (O_APPEND), so
// lines of several writers never mix. False (errno set) when refused.
bool appendLine(int fd, const std::string& line);

// The current local time as "YYYY-MM-DD HH:MM:SS" (with ".mmm" when
// `milliseconds`).
std::string localTimestamp(bool milliseconds);

// `text` with every line break (CR, LF) written as a blank.
std::string singleLine(std::string text);

}  // namespace ServiceFiles
