#include "DisabledHandlers.h"

#include <limits>

#include "TextRules.h"

namespace Veshmoor {
namespace detail {

namespace {

bool isSeparator(char c) { return isAsciiSpace(c) || isAsciiPunct(c); }

// The leading digits of a token as a number; false when they exceed int32.
// Tokens never hold a sign: '+' and '-' are separators.
bool leadingNumber(std::string_view token, int32_t& number) {
    int64_t value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) return false;
    }
    number = static_cast<int32_t>(value);
    return true;
}

}  // namespace

bool settingDisablesCode(std::string_view setting, int32_t code) {
    bool disabled = false;
    forEachPiece(setting, isSeparator, [&](std::string_view token) {
        int32_t number = 0;
        if (leadingNumber(token, number) && number == code) disabled = true;
        return !disabled;
    });
    return disabled;
}

}  // namespace detail
}  // namespace Veshmoor
