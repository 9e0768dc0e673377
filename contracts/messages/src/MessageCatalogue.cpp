// The message catalogue's template table and its renderer.
//
// A template is rendered by hand, never through a printf-style function, so a
// prefix or text holding '%' or any other byte is copied as it stands.
#include "MessageCatalogue.h"

#include <algorithm>
#include <iterator>

namespace MessageCatalogue {
namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// Sorted by identifier (checked by the tests through findTemplate).
const Entry kTemplates[] = {
    {4096, "%s-S-0000 %s"},
    {4097, "%s-I-0001 %s"},
    {4098, "%s-W-0002 %s"},
    {4099, "%s-E-0003 %s"},
    {4100, "%s-F-0004 %s"},
    {4268, "%s-E-0172 submit request failed"},
    {4485, "%s-W-0384 This feature is disabled by local settings for task '%s'. Will not process it."},
    {16385, "%s-T-1111 %s"},
    {16386, "%s-T-1112 %s"},
    {16387, "%s-T-1113 %s"},
};

}  // namespace

const char* findTemplate(unsigned messageId) {
    const auto end = std::end(kTemplates);
    const auto it = std::lower_bound(std::begin(kTemplates), end, messageId,
                                     [](const Entry& entry, unsigned id) { return entry.id < id; });
    return it != end && it->id == messageId ? it->text : nullptr;
}

std::string render(unsigned messageId, const std::string& prefix, const std::string& text) {
    const char* pattern = findTemplate(messageId);
    if (pattern == nullptr) return prefix + "-?-" + std::to_string(messageId) + " " + text;

    std::string line;
    line.reserve(prefix.size() + text.size() + 96);
    int argument = 0;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            // First "%s" takes the prefix, the second the text, any further one nothing.
            if (argument == 0) line += prefix;
            else if (argument == 1) line += text;
            ++argument;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            line += '%';
            ++p;
        } else {
            line += *p;
        }
    }
    return line;
}

}  // namespace MessageCatalogue
