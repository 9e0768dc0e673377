// Renders catalogue templates with arbitrary prefix and text: nothing in the
// foreign data may be interpreted, so the text appears exactly once, whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MessageCatalogue.h"

namespace {
const unsigned kIds[] = {4096, 4097, 4098, 4099, 4100, 4268, 4485, 16385, 16386, 16387, 0, 5000};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned id = kIds[data[0] % (sizeof kIds / sizeof kIds[0])];
    const size_t prefixLength = data[1] % 16 < size - 2 ? data[1] % 16 : size - 2;
    const std::string prefix(reinterpret_cast<const char*>(data + 2), prefixLength);
    const std::string text(reinterpret_cast<const char*>(data + 2 + prefixLength), size - 2 - prefixLength);

    const std::string line = MessageCatalogue::render(id, prefix, text);
    if (line.compare(0, prefix.size(), prefix) != 0) std::abort();
    const char* pattern = MessageCatalogue::findTemplate(id);
    const bool takesText = pattern == nullptr || std::strstr(std::strstr(pattern, "%s") + 2, "%s") != nullptr;
    if (takesText && line.find(text) == std::string::npos) std::abort();
    if (!takesText && line.size() != prefix.size() + std::strlen(pattern) - 2) std::abort();
    return 0;
}
