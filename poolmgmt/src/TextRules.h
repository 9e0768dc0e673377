// Byte classification and splitting rules shared by the command text and the
// settings readers. Classification is ASCII only and takes bytes as unsigned,
// so bytes of 0x80 and above are ordinary characters (never blanks or
// punctuation) whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace Veshmoor {
namespace detail {

inline bool isAsciiSpace(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b == ' ' || (b >= '\t' && b <= '\r');
}

inline bool isAsciiPunct(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= '!' && b <= '/') || (b >= ':' && b <= '@') || (b >= '[' && b <= '`') || (b >= '{' && b <= '~');
}

inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Equal lengths and equal bytes once ASCII letters are upper-cased.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

// Calls onPiece(std::string_view) for every piece of `text` between
// separators: a run of separators counts as one and empty pieces are dropped,
// at either end too. Stops early when onPiece returns false.
template <typename IsSeparator, typename OnPiece>
void forEachPiece(std::string_view text, IsSeparator isSeparator, OnPiece onPiece) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !isSeparator(text[i])) ++i;
        if (i > start && !onPiece(text.substr(start, i - start))) return;
    }
}

}  // namespace detail
}  // namespace Veshmoor
