// The few file-system operations vaultadmin needs beyond std::filesystem:
// flushing to disk, positioned byte edits and small whole-file writes. Every
// failure is a std::runtime_error whose text names the path and the system's
// reason.
#pragma once

#include <cstdint>
#include <string>

namespace VaultAdmin {
namespace PosixFiles {

// Creates (or truncates) `path` with `text`, flushed to disk.
void writeFileDurably(const std::string& path, const std::string& text);
// Flushes a folder's entries (after creating, renaming or removing in it).
void syncFolder(const std::string& folder);
// Flushes every file of the file system that holds `path`.
void syncFileSystem(const std::string& path);
// The size of a regular file.
uint64_t fileSize(const std::string& path);
// Shortens a regular file to `size` bytes.
void truncateFile(const std::string& path, uint64_t size);
// Inverts every bit of `count` bytes from `offset` on, in place.
void flipBytes(const std::string& path, uint64_t offset, uint64_t count);
// Bytes free for an unprivileged writer on the file system of the nearest
// existing folder at or above `path`.
uint64_t availableBytes(const std::string& path);

}  // namespace PosixFiles
}  // namespace VaultAdmin
