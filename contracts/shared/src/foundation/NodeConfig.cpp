// The node configuration file: parsing, the per-version cache, and edits.
#include <cstddef>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "NodeConfigCache.h"
#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace NodeConfig {
namespace {

constexpr size_t kMaxFileSize = 16 * 1024 * 1024;
constexpr unsigned kWarningId = 4098;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

enum class LineKind { Comment, Header, KeyValue, Malformed };

struct Line {
    LineKind kind = LineKind::Comment;
    std::string name;  // section of a header, key of a key line, reason of a malformed line
    std::string value;
};

// Classifies one line; a '\r' left at its end is ignored.
Line classify(const std::string& withEnd) {
    Line line;
    const std::string raw =
        !withEnd.empty() && withEnd.back() == '\r' ? withEnd.substr(0, withEnd.size() - 1) : withEnd;
    if (raw.size() > kMaxLineLength) {
        line.kind = LineKind::Malformed;
        line.name = "line longer than " + std::to_string(kMaxLineLength) + " bytes";
        return line;
    }
    if (raw.find('\0') != std::string::npos) {
        line.kind = LineKind::Malformed;
        line.name = "line holds a NUL byte";
        return line;
    }
    const std::string text = trimmed(raw);
    if (text.empty() || text[0] == '#' || text[0] == ';') return line;
    if (text.front() == '[' && text.back() == ']') {
        line.kind = LineKind::Header;
        line.name = text.substr(1, text.size() - 2);
        return line;
    }
    const auto equals = raw.find('=');
    if (equals == std::string::npos) {
        line.kind = LineKind::Malformed;
        line.name = "no '=' in line";
    } else if (equals == 0) {
        line.kind = LineKind::Malformed;
        line.name = "empty key";
    } else {
        line.kind = LineKind::KeyValue;
        line.name = raw.substr(0, equals);
        line.value = raw.substr(equals + 1);
    }
    return line;
}

// Splits at '\n', dropping one '\r' before it unless `keepCr` (edits keep
// every untouched line byte for byte). A final line end adds no line.
std::vector<std::string> splitLines(const std::string& text, bool keepCr = false) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!keepCr && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace

bool isKnownSection(const std::string& name) {
    return name == "node" || name == "database" || name == "local" || name == "numbers";
}

ParsedConfig parse(const std::string& text) {
    ParsedConfig parsed;
    const std::vector<std::string> lines = splitLines(text);
    std::string section;       // "" before any header
    bool skipping = false;     // inside an unknown section
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line line = classify(lines[i]);
        switch (line.kind) {
        case LineKind::Comment:
            break;
        case LineKind::Header:
            if (isKnownSection(line.name)) {
                section = line.name;
                skipping = false;
            } else {
                parsed.problems.push_back({i + 1, "unknown section [" + line.name + "]"});
                skipping = true;
            }
            break;
        case LineKind::KeyValue:
            if (skipping) break;
            if (section.empty())
                parsed.problems.push_back({i + 1, "key line before any section"});
            else
                parsed.sections[section].emplace(line.name, line.value);
            break;
        case LineKind::Malformed:
            if (!skipping) parsed.problems.push_back({i + 1, line.name});
            break;
        }
    }
    return parsed;
}

std::string path() {
    const char* configured = std::getenv("VAULT_NODE_CONFIG");
    return configured != nullptr && *configured != '\0' ? configured : "/etc/vault/node.conf";
}

bool has(const std::string& section, const std::string& key) {
    return foundation::nodeConfigSnapshot()->find(section, key) != nullptr;
}

std::string get(const std::string& section, const std::string& key, const std::string& defaultValue) {
    const auto snapshot = foundation::nodeConfigSnapshot();
    const std::string* value = snapshot->find(section, key);
    return value != nullptr ? *value : defaultValue;
}

namespace {

std::mutex& editMutex() {
    static std::mutex mutex;
    return mutex;
}

void checkEditable(const std::string& section, const std::string& key) {
    if (!isKnownSection(section))
        throw std::invalid_argument("node configuration has no section [" + section + "]");
    const Line asLine = classify(key + "=");
    if (key.empty() || key.find_first_of("=\r\n") != std::string::npos || asLine.kind != LineKind::KeyValue ||
        asLine.name != key)
        throw std::invalid_argument("not a valid node configuration key: '" + key + "'");
}

std::string currentText(const std::string& file) {
    std::string text;
    try {
        VaultFiles::readWholeFile(file, kMaxFileSize, text);
    } catch (const VaultFiles::FileError& error) {
        throw std::runtime_error(std::string("node configuration cannot be edited: ") + error.what());
    }
    return text;
}

// Applies `edit` to the lines of the file and writes the result when it changed.
template <typename Edit>
bool editFile(Edit edit) {
    std::lock_guard<std::mutex> lock(editMutex());
    const std::string file = path();
    std::vector<std::string> lines = splitLines(currentText(file), true);
    if (!edit(lines)) return false;
    VaultFiles::makeFolders(VaultFiles::folderOf(file));
    VaultFiles::ReplacementFile::Options keep;
    keep.keepPermissions = true;
    VaultFiles::replaceFile(VaultFiles::FileSystem::real(), file, joinLines(lines), keep);
    foundation::invalidateNodeConfig();
    return true;
}

// Index range [begin, end) of the lines of the first block of `section`
// (header included), or begin == lines.size() when there is none.
std::pair<size_t, size_t> sectionBlock(const std::vector<std::string>& lines, const std::string& section) {
    size_t begin = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line line = classify(lines[i]);
        if (line.kind != LineKind::Header) continue;
        if (begin < lines.size()) return {begin, i};
        if (line.name == section) begin = i;
    }
    return {begin, lines.size()};
}

}  // namespace

void set(const std::string& section, const std::string& key, const std::string& value) {
    checkEditable(section, key);
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw std::invalid_argument("node configuration value of " + key + " holds a line break or NUL byte");
    if (key.size() + 1 + value.size() > kMaxLineLength)
        throw std::invalid_argument("node configuration line of " + key + " would be longer than " +
                                    std::to_string(kMaxLineLength) + " bytes");
    editFile([&](std::vector<std::string>& lines) {
        const std::string wanted = key + "=" + value;
        // Replace the key in the first block of the section that holds it.
        bool inSection = false;
        for (auto& raw : lines) {
            const Line line = classify(raw);
            if (line.kind == LineKind::Header) inSection = line.name == section;
            else if (inSection && line.kind == LineKind::KeyValue && line.name == key) {
                raw = wanted;
                return true;
            }
        }
        const auto block = sectionBlock(lines, section);
        if (block.first == lines.size()) {
            if (!lines.empty() && !trimmed(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + section + "]");
            lines.push_back(wanted);
            return true;
        }
        // After the section's last non-blank line, so trailing blank lines stay between sections.
        size_t at = block.second;
        while (at > block.first + 1 && trimmed(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), wanted);
        return true;
    });
}

bool remove(const std::string& section, const std::string& key) {
    checkEditable(section, key);
    return editFile([&](std::vector<std::string>& lines) {
        bool removed = false;
        bool inSection = false;
        std::vector<std::string> kept;
        kept.reserve(lines.size());
        for (auto& raw : lines) {
            const Line line = classify(raw);
            if (line.kind == LineKind::Header) inSection = line.name == section;
            if (inSection && line.kind == LineKind::KeyValue && line.name == key) {
                removed = true;
                continue;
            }
            kept.push_back(std::move(raw));
        }
        lines.swap(kept);
        return removed;
    });
}

}  // namespace NodeConfig

namespace foundation {

const std::string* NodeConfigSnapshot::find(const std::string& section, const std::string& key) const {
    const auto group = parsed_.sections.find(section);
    if (group == parsed_.sections.end()) return nullptr;
    const auto it = group->second.find(key);
    return it == group->second.end() ? nullptr : &it->second;
}

bool NodeConfigSnapshot::firstReport(const std::string& topic) const {
    std::lock_guard<std::mutex> lock(reportedMutex_);
    return reported_.insert(topic).second;
}

namespace {

struct Cache {
    std::mutex mutex;
    std::string path;
    bool present = false;
    VaultFiles::FileStatus identity;
    std::shared_ptr<const NodeConfigSnapshot> snapshot;
};

Cache& cache() {
    static Cache* instance = new Cache;  // never destroyed: read from static destructors too
    return *instance;
}

}  // namespace

std::shared_ptr<const NodeConfigSnapshot> nodeConfigSnapshot() {
    const std::string file = NodeConfig::path();
    const VaultFiles::FileStatus now = VaultFiles::FileSystem::real().status(file, VaultFiles::Links::Follow);
    const bool present = now.kind != VaultFiles::FileKind::Missing;

    Cache& c = cache();
    std::vector<std::string> warnings;
    std::shared_ptr<const NodeConfigSnapshot> result;
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.snapshot && c.path == file && c.present == present && (!present || c.identity.sameVersionAs(now)))
            return c.snapshot;

        NodeConfig::ParsedConfig parsed;
        VaultFiles::FileStatus readIdentity = now;
        bool readPresent = false;
        if (present) {
            std::string text;
            try {
                readPresent = VaultFiles::readWholeFile(VaultFiles::FileSystem::real(), file, NodeConfig::kMaxFileSize,
                                                        text, VaultFiles::Links::Follow, &readIdentity);
                parsed = NodeConfig::parse(text);
                for (const auto& problem : parsed.problems)
                    warnings.push_back("node configuration " + file + " line " + std::to_string(problem.line) +
                                       ": " + problem.reason + "; line skipped");
            } catch (const VaultFiles::FileError& error) {
                // Unreadable, too large or not a regular file: remembered as
                // present, so it is not read again until it changes.
                readPresent = true;
                warnings.push_back(std::string(error.what()) + "; using defaults for the node configuration");
            }
        }
        c.path = file;
        c.present = readPresent;
        c.identity = readIdentity;
        c.snapshot = std::make_shared<NodeConfigSnapshot>(file, std::move(parsed));
        result = c.snapshot;
    }
    // Logged outside the cache lock: the log itself reads the configuration.
    for (const auto& warning : warnings) log_show(nullptr, 0, NodeConfig::kWarningId, warning.c_str());
    return result;
}

void invalidateNodeConfig() {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.snapshot.reset();
}

bool parseUnsigned(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 20) return false;
    unsigned long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const unsigned long digit = static_cast<unsigned long>(c - '0');
        if (result > (static_cast<unsigned long>(-1) - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

}  // namespace foundation
