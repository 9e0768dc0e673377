// The storage codec's names: the CRC32C checksum, little-endian field encoding
// and the bounds-checked reader of a file held in memory, as the storage
// formats use them. They are declared in StorageIo.h, whose file helpers give
// way to the file layer (VaultFiles.h); code of the formats uses these names.
#pragma once

#include "StorageIo.h"

namespace StorageCodec {
using StorageIo::ByteReader;
using StorageIo::crc32c;
using StorageIo::crc32cChunks;
using StorageIo::crc32cPortable;
using StorageIo::getU16;
using StorageIo::getU32;
using StorageIo::getU64;
using StorageIo::putU16;
using StorageIo::putU32;
using StorageIo::putU64;
}  // namespace StorageCodec
