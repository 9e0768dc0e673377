// The cached, parsed node configuration shared by the foundation sources.
//
// snapshot() stats the file on every call and parses it again only when its
// identity (device, inode, size, modification time) changed; problems found by
// a parse are logged once, when that version is first parsed. A snapshot is
// immutable apart from its "already reported" set, so callers may keep it.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "NodeConfigParser.h"

namespace foundation {

class NodeConfigSnapshot final {
public:
    NodeConfigSnapshot(std::string path, NodeConfig::ParsedConfig parsed)
        : path_(std::move(path)), parsed_(std::move(parsed)) {}

    const std::string& path() const { return path_; }
    // The value, or null when the section lacks the key.
    const std::string* find(const std::string& section, const std::string& key) const;
    // True the first time it is asked for `topic` in this version of the file:
    // used to report a bad value once rather than on every read.
    bool firstReport(const std::string& topic) const;

private:
    std::string path_;
    NodeConfig::ParsedConfig parsed_;
    mutable std::mutex reportedMutex_;
    mutable std::set<std::string> reported_;
};

std::shared_ptr<const NodeConfigSnapshot> nodeConfigSnapshot();

// Forgets the cached file so the next read parses it again.
void invalidateNodeConfig();

// Strict unsigned decimal: digits only, no sign or blanks, no overflow.
bool parseUnsigned(const std::string& text, unsigned long& value);

}  // namespace foundation
