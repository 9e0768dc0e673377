// Reading a vault description (JSON, schema in docs/vaultadmin.md) into a
// VaultDescription, checking all of it before anything is built.
//
// Every problem raises DescriptionError, whose text starts with the JSON path
// of the offending value ("customers[0].locations[1].computers[0].tasks[2].
// safesets[1].number: ..."); syntax errors name the line and column instead.
// Nothing here touches the file system except readDescriptionFile's read.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "VaultDescription.h"

namespace VaultAdmin {

// Upper limits the parser enforces, so that a typing slip cannot fill the disk.
constexpr uint32_t kMaxRecordsPerSafeset = 1u << 27;  // 16 GiB of 128-byte records
constexpr size_t kMaxTextBytes = 255;                 // names, references, versions, host names

class DescriptionError : public std::runtime_error {
public:
    DescriptionError(const std::string& path, const std::string& message);
    // The JSON path of the offending value ("" for the whole document).
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Parses and validates a description, deriving the GUIDs that are absent.
VaultDescription parseDescription(const std::string& jsonText);

// Reads `file` and parses it; errors are std::runtime_error texts that start
// with the file name.
VaultDescription readDescriptionFile(const std::string& file);

}  // namespace VaultAdmin
