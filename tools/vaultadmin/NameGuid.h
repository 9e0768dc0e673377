// Deterministic GUIDs derived from names, so that building the same
// description twice gives the same vault (same folders, same lock files).
//
// The GUID is a 128-bit hash of the name path in the 8-4-4-4-12 hex form,
// lower case, with the version nibble 8 (custom, name-based) and the RFC 4122
// variant bits. It is not a cryptographic hash: it only needs to be stable and
// to spread names well.
#pragma once

#include <string>
#include <vector>

namespace VaultAdmin {

// The GUID of a name path such as {"task", computerGuid, taskName}. Parts are
// joined unambiguously (each one's length goes into the hash), so
// {"a", "bc"} and {"ab", "c"} differ.
std::string nameGuid(const std::vector<std::string>& parts);

// True when `text` has the 8-4-4-4-12 hex form (either case).
bool isCanonicalGuid(const std::string& text);

}  // namespace VaultAdmin
