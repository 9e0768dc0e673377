// CRC32C: a slicing-by-8 table implementation, and on x86-64 processors with
// SSE4.2 the CRC32 instruction, checksumming three chunks at once so the
// instruction's latency is hidden.
#include <cstring>

#include "StorageCodec.h"

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace {

constexpr uint32_t kReflectedPolynomial = 0x82F63B78u;

struct Tables {
    uint32_t t[8][256];
    Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
            t[0][i] = c;
        }
        for (int s = 1; s < 8; ++s)
            for (uint32_t i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

uint64_t loadLittleEndian64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// Works on the inverted register value.
uint32_t portableUpdate(uint32_t state, const unsigned char* p, size_t n) {
    const Tables& tb = tables();
    while (n >= 8) {
        const uint64_t v = loadLittleEndian64(p) ^ state;
        state = tb.t[7][v & 0xFF] ^ tb.t[6][(v >> 8) & 0xFF] ^ tb.t[5][(v >> 16) & 0xFF] ^ tb.t[4][(v >> 24) & 0xFF] ^
                tb.t[3][(v >> 32) & 0xFF] ^ tb.t[2][(v >> 40) & 0xFF] ^ tb.t[1][(v >> 48) & 0xFF] ^ tb.t[0][v >> 56];
        p += 8;
        n -= 8;
    }
    while (n--) state = tb.t[0][(state ^ *p++) & 0xFF] ^ (state >> 8);
    return state;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t hardwareUpdate(uint32_t state, const unsigned char* p, size_t n) {
    uint64_t c = state;
    while (n >= 8) {
        c = _mm_crc32_u64(c, loadLittleEndian64(p));
        p += 8;
        n -= 8;
    }
    uint32_t c32 = static_cast<uint32_t>(c);
    while (n--) c32 = _mm_crc32_u8(c32, *p++);
    return c32;
}

// The CRCs of three equal-length pieces, computed in one interleaved loop.
__attribute__((target("sse4.2"))) void hardwareThree(const unsigned char* a, const unsigned char* b,
                                                     const unsigned char* c, size_t n, uint32_t* out) {
    uint64_t ca = 0xFFFFFFFFu, cb = 0xFFFFFFFFu, cc = 0xFFFFFFFFu;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        ca = _mm_crc32_u64(ca, loadLittleEndian64(a + i));
        cb = _mm_crc32_u64(cb, loadLittleEndian64(b + i));
        cc = _mm_crc32_u64(cc, loadLittleEndian64(c + i));
    }
    out[0] = ~hardwareUpdate(static_cast<uint32_t>(ca), a + i, n - i);
    out[1] = ~hardwareUpdate(static_cast<uint32_t>(cb), b + i, n - i);
    out[2] = ~hardwareUpdate(static_cast<uint32_t>(cc), c + i, n - i);
}

bool haveHardwareCrc() {
    static const bool have = __builtin_cpu_supports("sse4.2");
    return have;
}
#endif

uint32_t update(uint32_t state, const unsigned char* p, size_t n) {
#if defined(__x86_64__)
    if (haveHardwareCrc()) return hardwareUpdate(state, p, n);
#endif
    return portableUpdate(state, p, n);
}

}  // namespace

namespace StorageCodec {

uint32_t crc32c(const void* data, size_t size, uint32_t crc) {
    return ~update(~crc, static_cast<const unsigned char*>(data), size);
}

uint32_t crc32cPortable(const void* data, size_t size, uint32_t crc) {
    return ~portableUpdate(~crc, static_cast<const unsigned char*>(data), size);
}

void crc32cChunks(const void* data, size_t size, size_t chunkSize, uint32_t* out) {
    if (chunkSize == 0) throw std::invalid_argument("crc32cChunks: chunk size 0");
    const auto* p = static_cast<const unsigned char*>(data);
    size_t chunk = 0;
#if defined(__x86_64__)
    if (haveHardwareCrc()) {
        for (; size >= 3 * chunkSize; size -= 3 * chunkSize, p += 3 * chunkSize, chunk += 3)
            hardwareThree(p, p + chunkSize, p + 2 * chunkSize, chunkSize, out + chunk);
    }
#endif
    for (; size > 0; ++chunk) {
        const size_t n = size < chunkSize ? size : chunkSize;
        out[chunk] = crc32c(p, n);
        p += n;
        size -= n;
    }
}

}  // namespace StorageCodec
