// File-system services: folder search in the shape the vault's code expects,
// and small path helpers. Paths use '/' as separator.
#pragma once

#include <cstdint>
#include <string>

#include "SharedApi.h"

#define MAX_PATH 260
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u

struct WIN32_FIND_DATAA {
    uint32_t dwFileAttributes = 0;
    uint64_t nFileSize = 0;
    char cFileName[MAX_PATH] = {0};
};

typedef intptr_t FileServicesHandle;
#define INVALID_FILE_SERVICES_HANDLE (static_cast<FileServicesHandle>(-1))

namespace FileServices {

// Copies the current directory into `buffer` (zero-terminated); returns its
// length, or 0 when it does not fit or cannot be read.
SHARED_API uint32_t __GetCurrentDirectory(uint32_t bufferLength, char* buffer);

// Starts a search and fills the first entry. `pattern` is a folder followed by
// a separator and "*.*" (every entry, "." and ".." included, in the order the
// file system lists them) or a folder followed by a name (that entry only).
// dwFileAttributes is FILE_ATTRIBUTE_DIRECTORY for a folder and
// FILE_ATTRIBUTE_NORMAL otherwise; entries are examined without following
// symbolic links, so a link to a folder is reported as a file and a walk
// never loops through one. Names of MAX_PATH bytes or more are skipped.
// Returns INVALID_FILE_SERVICES_HANDLE (-1) when the folder cannot be read or
// nothing matches. A handle is used by one thread at a time; handles that
// were closed or never opened are refused (false).
SHARED_API FileServicesHandle __FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data);
// Fills the next entry; false when there is none.
SHARED_API bool __FindNextFile(FileServicesHandle handle, WIN32_FIND_DATAA* data);
SHARED_API bool __FindClose(FileServicesHandle handle);

}  // namespace FileServices

// True when the attributes describe a folder.
SHARED_API bool IsDir(uint32_t attributes);
// True when `path` names an existing file or folder. `handle` is unused.
SHARED_API bool vv_FileExists(void* handle, const std::string& path);
// `path` with a separator at its end (unchanged when it already has one; "" stays "").
SHARED_API std::string AddTrailingSlash(const std::string& path);

// A file name, joined to a folder text with operator/.
class SHARED_API VFileName {
public:
    VFileName() = default;
    VFileName(const std::string& name) : name_(name) {}  // NOLINT: implicit by design
    VFileName(const char* name) : name_(name ? name : "") {}  // NOLINT
    const std::string& GetName() const { return name_; }

private:
    std::string name_;
};

// Joins a folder and a file name with exactly one separator between them.
SHARED_API std::string operator/(const std::string& folder, const VFileName& file);
