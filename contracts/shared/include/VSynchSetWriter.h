// Writing and reading a task's synchronisation files (the main file and its
// mirror; format described in docs/storage.md).
//
// Rules that hold for every function here:
// - A file is written to a temporary name in its own folder, flushed to disk,
//   renamed into place and the folder flushed, so a crash leaves either the old
//   file or the new one, never a half-written file that reads as valid.
// - Entries are written in ascending safeset number; two entries with the same
//   safeset number, a file name longer than VSYNCH_MAX_FILE_NAME bytes or one
//   holding a zero byte are refused with std::invalid_argument.
// - Every failure is a std::runtime_error whose text names the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"
#include "SharedApi.h"
#include "VSynchSet.h"
#include "VaultFiles.h"

// Longest safeset file name a synchronisation entry may hold, in bytes.
#define VSYNCH_MAX_FILE_NAME 1024u

namespace VSynchFiles {

// On-disk format versions. Older is the format of earlier vaults: the same
// layout without any checksum; it is read but cannot be verified.
enum class Format : uint32_t { Older = 1, Current = 2 };

// Writes one synchronisation file at `path` (main or mirror).
// The writers write through `files` (the real file system unless the caller
// passes its own).
SHARED_API void writeFile(const std::string& path, const std::vector<VSynchEntry>& entries,
                          Format format = Format::Current,
                          VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

// Writes both the main and the mirror file into `synchFolder` (created when
// missing, parents included).
SHARED_API void writeSet(const std::string& synchFolder, const std::vector<VSynchEntry>& entries,
                         Format format = Format::Current,
                         VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

// Writes both files into the task's synchronisation-files folder
// (TaskStorageDescriptor::getSynchFilesStorageLocation). Throws
// std::runtime_error naming the task when its taskFolder is empty.
SHARED_API void writeTaskSet(const DataObjects::TaskDataObject& task, const std::vector<VSynchEntry>& entries,
                             Format format = Format::Current,
                             VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());

// What one synchronisation file holds.
struct FileContents {
    Format format = Format::Current;
    std::vector<VSynchEntry> entries;  // ascending safeset number
};

// Reads and checks one synchronisation file. Throws std::runtime_error naming
// the file and what is wrong when it is missing, truncated, corrupt or foreign.
SHARED_API FileContents readFile(const std::string& path);

// Sets (`unavailable` true) or clears the unavailable bit
// VSYNCH_PERIPHERAL_UNAVAILABLE of one entry of the task's set and rewrites
// both files in the format they were read in. The set is read from the main
// file, or from the mirror when the main file is missing or bad. Throws
// std::runtime_error when neither file can be read or the set has no entry
// for `safesetNumber`.
SHARED_API void setEntryUnavailable(const DataObjects::TaskDataObject& task, uint32_t safesetNumber,
                                    bool unavailable);

}  // namespace VSynchFiles
