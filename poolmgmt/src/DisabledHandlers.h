// The "DisabledErrorHandlers" setting: decimal error codes separated by any
// punctuation or blanks (3276800 or 5308417,5308418).
#pragma once

#include <cstdint>
#include <string_view>

namespace Veshmoor {
namespace detail {

// True when a token of `setting` names `code`. A token reads as its leading
// digits, 0 when it has none (so "0x320000" reads 0, "12ab" reads 12); a
// number beyond the 32-bit signed range names no code.
bool settingDisablesCode(std::string_view setting, int32_t code);

}  // namespace detail
}  // namespace Veshmoor
