// File helpers of the foundation sources (not exported).
//
// Every failure becomes a std::runtime_error whose text names the operation,
// the path and the system's reason; EINTR is retried wherever it can occur.
#pragma once

#include <cstddef>
#include <string>

namespace foundation {

// "<what> <path>: <strerror(error)>".
std::string errnoText(const std::string& what, const std::string& path, int error);

// Writes all of `data` to `fd`; false (errno set) when the system refuses.
bool writeAll(int fd, const char* data, size_t size);

// What identifies one version of a file: replaced or rewritten files differ.
struct FileIdentity {
    unsigned long long device = 0, inode = 0, size = 0;
    long long modifiedSeconds = 0, modifiedNanoseconds = 0;
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedSeconds == other.modifiedSeconds && modifiedNanoseconds == other.modifiedNanoseconds;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of `path` now; false when it cannot be stat'ed.
bool fileIdentity(const std::string& path, FileIdentity& identity);

enum class ReadStatus { Ok, Missing, TooLarge, NotRegular, Failed };

// Reads a regular file of at most `maxSize` bytes into `content`. On Failed,
// `error` holds the reason text. `identity` (when not null) receives the
// identity of the file that was opened.
ReadStatus readSmallFile(const std::string& path, size_t maxSize, std::string& content, std::string& error,
                         FileIdentity* identity = nullptr);

// Creates `folder` and any missing parents. Throws on failure.
void makeFolders(const std::string& folder);

// Replaces `path` with `content` so that a reader sees either the old or the
// new file, never a part: a temporary file beside it is written, synced and
// renamed over it, and the folder is synced. Creates missing parent folders
// and keeps an existing file's permission bits. Throws on failure (the old
// file is then unchanged).
void writeFileAtomically(const std::string& path, const std::string& content);

}  // namespace foundation
