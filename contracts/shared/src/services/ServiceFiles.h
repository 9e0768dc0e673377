// What the maintenance services need beyond the file layer (VaultFiles.h),
// which does all their opening, reading and replacing: an advisory lock
// between processes, the local time as text, and single-line texts.
#pragma once

#include <functional>
#include <string>

namespace ServiceFiles {

// An advisory lock (flock) on a lock file, created when missing (with its
// folder), taken at construction (waiting for it) and released at
// destruction or when the holding process ends, however it ends. The lock
// file is opened without following links and without blocking and must be a
// regular file. Throws VaultFiles::FileError naming the lock file.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// Removes from `folder` the temporary files (".<name>.tmp.<pid>.<n>", as
// VaultFiles::ReplacementFile names them) that writers killed before they
// finished left behind: regular files whose <name> `ours` accepts and whose
// <pid> is a process that no longer exists. A running writer's temporary
// (this process's included) is kept. Called with the folder's lock held, so
// no writer of these files is at work. Never throws: a temporary that cannot
// be removed is harmless (readers ignore it) and is tried again next time.
// Returns the number removed.
unsigned removeDeadWritersTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& ours);

// The current local time as "YYYY-MM-DD HH:MM:SS" (with ".mmm" when
// `milliseconds`).
std::string localTimestamp(bool milliseconds);

// `text` with every line break (CR, LF) written as a blank, cut at a NUL.
std::string singleLine(const std::string& text);

}  // namespace ServiceFiles
