// Any bytes as a KEY=VALUE file: parsing must not crash, and a group that can
// be stored must read back unchanged from its stored text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "VaultUtilities.h"

using VaultUtilities::ConfigFilePersistManager;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto group = ConfigFilePersistManager::parse(text);

    std::string stored;
    VaultUtilities::ConfigGroup storable;
    for (const auto& entry : group.entries()) {
        const std::string& key = entry.first;
        const std::string& value = entry.second;
        if (key.empty() || key.find_first_of("=\n") != std::string::npos || key[0] == '#') std::abort();
        if (value.find('\n') != std::string::npos) std::abort();
        if (!group.valueExists(key) || group.value(key).svalue() != value) std::abort();
        // A value ending in '\r' cannot be stored (the reader drops one at line end).
        if (!value.empty() && value.back() == '\r') continue;
        storable.set(key, value);
        stored += key + "=" + value + "\n";
    }
    if (ConfigFilePersistManager::parse(stored).entries() != storable.entries()) std::abort();
    return 0;
}
