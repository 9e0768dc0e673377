// A pool's index file ("<pool folder>/pool.vix", format in
// docs/index-files.md): one entry per record of every container that the
// pool's sync list names.
#pragma once

#include <cstdint>
#include <string>

#include "Pool/PoolApi.h"

namespace Pool {

// The content key an index entry holds for a record's 128 bytes: the CRC32C
// of the bytes in the low 32 bits, the CRC32C continued from 0x9E3779B9 in the
// high 32 bits.
POOL_API uint64_t recordKey(const unsigned char* record, size_t size);

// Writes the pool's index from its sync list and containers (replacing an
// index file atomically). Returns the number of entries. Throws
// std::runtime_error naming the file that cannot be read or written.
POOL_API uint64_t writePoolIndex(const std::string& poolFolder, const std::string& poolGuid);

}  // namespace Pool
