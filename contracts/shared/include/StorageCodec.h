// Building blocks of the vault's on-disk storage formats: the CRC32C
// checksum and little-endian field encoding, and a bounds-checked reader of a
// file held in memory. Files themselves are read and written through the file
// layer (VaultFiles.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "SharedApi.h"

namespace StorageCodec {

// CRC32C (Castagnoli polynomial, reflected, initial value and final xor
// 0xFFFFFFFF; "123456789" gives 0xE3069283). Pass the result of a previous
// call as `crc` to continue it: crc32c(b, crc32c(a)) == crc32c(a + b). Uses the
// processor's CRC32 instruction when it has one.
SHARED_API uint32_t crc32c(const void* data, size_t size, uint32_t crc = 0);

// The CRC32C of each consecutive `chunkSize`-byte piece of data (the last may
// be shorter) into out[0..n), n = ceil(size / chunkSize). Faster than one call
// per chunk: several chunks are checksummed at once.
SHARED_API void crc32cChunks(const void* data, size_t size, size_t chunkSize, uint32_t* out);

// The software CRC32C, exported so tests can compare it with the fast path.
SHARED_API uint32_t crc32cPortable(const void* data, size_t size, uint32_t crc = 0);

// Little-endian field encoding.
inline void putU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
inline void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void putU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline uint16_t getU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t getU64(const unsigned char* p) {
    return static_cast<uint64_t>(getU32(p)) | (static_cast<uint64_t>(getU32(p + 4)) << 32);
}

// Reads fields from a file held in memory; never reads past its end. Every
// failure throws "<file>: <what> (at byte N)".
class ByteReader {
public:
    ByteReader(const std::string& contents, const std::string& fileName)
        : data_(reinterpret_cast<const unsigned char*>(contents.data())), size_(contents.size()), fileName_(fileName) {}
    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }
    const unsigned char* at(size_t offset) const { return data_ + offset; }

    const unsigned char* bytes(size_t n, const char* what) {
        if (n > remaining()) fail(std::string("file ends inside ") + what);
        const unsigned char* p = data_ + offset_;
        offset_ += n;
        return p;
    }
    uint16_t u16(const char* what) { return getU16(bytes(2, what)); }
    uint32_t u32(const char* what) { return getU32(bytes(4, what)); }
    uint64_t u64(const char* what) { return getU64(bytes(8, what)); }

    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error(fileName_ + ": " + what + " (at byte " + std::to_string(offset_) + ")");
    }

private:
    const unsigned char* data_;
    size_t size_;
    size_t offset_ = 0;
    std::string fileName_;
};

}  // namespace StorageCodec
