// Damage done on purpose by `vaultadmin damage`, to test how readers cope.
// Every failure is a VaultFiles::FileError (or std::runtime_error for a range
// outside the file) naming the path.
#pragma once

#include <cstdint>
#include <string>

namespace VaultAdmin {

// Shortens a regular file to `size` bytes, flushed to disk.
void truncateFile(const std::string& path, uint64_t size);
// Inverts every bit of `count` bytes from `offset` on, in place, flushed to disk.
void flipBytes(const std::string& path, uint64_t offset, uint64_t count);

}  // namespace VaultAdmin
