#include "NameGuid.h"

#include <cctype>
#include <cstdint>

namespace VaultAdmin {
namespace {

// splitmix64's finaliser: a strong 64-bit mixer.
uint64_t mix(uint64_t value) {
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

// FNV-1a over the bytes, seeded, with the mixer applied per byte block.
class Hasher final {
public:
    explicit Hasher(uint64_t seed) : state_(0xcbf29ce484222325ull ^ mix(seed)) {}
    void add(const std::string& bytes) {
        addNumber(bytes.size());
        for (unsigned char byte : bytes) {
            state_ ^= byte;
            state_ *= 0x100000001b3ull;
        }
    }
    void addNumber(uint64_t number) { state_ = mix(state_ ^ number); }
    uint64_t value() const { return mix(state_); }

private:
    uint64_t state_;
};

void appendHex(std::string& out, uint64_t value, int digits) {
    static const char kHex[] = "0123456789abcdef";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xf];
}

}  // namespace

std::string nameGuid(const std::vector<std::string>& parts) {
    Hasher high(1), low(2);
    for (const std::string& part : parts) {
        high.add(part);
        low.add(part);
    }
    uint64_t a = high.value();
    uint64_t b = low.value();
    a = (a & ~0xf000ull) | 0x8000ull;                        // version 8
    b = (b & 0x3fffffffffffffffull) | 0x8000000000000000ull;  // RFC 4122 variant
    std::string guid;
    guid.reserve(36);
    appendHex(guid, a >> 32, 8);
    guid += '-';
    appendHex(guid, (a >> 16) & 0xffff, 4);
    guid += '-';
    appendHex(guid, a & 0xffff, 4);
    guid += '-';
    appendHex(guid, b >> 48, 4);
    guid += '-';
    appendHex(guid, b & 0xffffffffffffull, 12);
    return guid;
}

bool isCanonicalGuid(const std::string& text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

}  // namespace VaultAdmin
