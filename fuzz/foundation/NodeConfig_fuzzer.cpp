// Any bytes as a node configuration: the parser must not crash, and what it
// keeps must be consistent with the format's rules.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "NodeConfigParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const NodeConfig::ParsedConfig parsed = NodeConfig::parse(text);

    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n') ++lines;
    for (const auto& problem : parsed.problems)
        if (problem.line == 0 || problem.line > lines) std::abort();
    for (const auto& section : parsed.sections) {
        if (!NodeConfig::isKnownSection(section.first)) std::abort();
        for (const auto& entry : section.second) {
            if (entry.first.empty() || entry.first.find('=') != std::string::npos) std::abort();
            if (entry.first.find('\n') != std::string::npos || entry.second.find('\n') != std::string::npos) std::abort();
            if (entry.first.size() + entry.second.size() + 1 > NodeConfig::kMaxLineLength) std::abort();
        }
    }
    return 0;
}
