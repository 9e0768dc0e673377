#include "PassRecord.h"

#include <cerrno>
#include <cstdlib>

namespace Trevalon {

const char* const kPassRecordFileName = "InitialPassTasks.txt";

namespace {

const char* const kHeader = "# Trevalon: tasks met by the initial pass of ";

// A record of 4,294,967,296 ids of at most 11 bytes each would be about
// 47 GiB; no vault comes near, and a file past this bound is not a record.
const size_t kMaxRecordSize = 256u * 1024 * 1024;

bool parseId(const std::string& line, uint32_t& id) {
    if (line.empty() || line.size() > 10) return false;
    uint64_t value = 0;
    for (const char c : line) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    id = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

std::string PassRecord::format(const std::string& runStamp, const std::vector<uint32_t>& ids) {
    std::string text = kHeader;
    for (const char c : runStamp) text += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    text += '\n';
    for (const uint32_t id : ids) {
        text += std::to_string(id);
        text += '\n';
    }
    return text;
}

PassRecord PassRecord::parse(const std::string& text) {
    PassRecord record;
    const std::string header = kHeader;
    if (text.compare(0, header.size(), header) != 0) {
        record.state_ = State::Unreadable;
        record.problem_ = "it does not start with the record's comment line";
        return record;
    }
    size_t pos = text.find('\n');
    if (pos == std::string::npos || text.back() != '\n') {
        // A record is written whole or not at all; a cut one is not used.
        record.state_ = State::Unreadable;
        record.problem_ = "it ends in the middle of a line";
        return record;
    }
    record.runStamp_ = text.substr(header.size(), pos - header.size());
    ++pos;
    size_t lineNumber = 1;
    while (pos < text.size()) {
        ++lineNumber;
        const size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        uint32_t id = 0;
        if (!parseId(line, id)) {
            record.state_ = State::Unreadable;
            record.problem_ = "line " + std::to_string(lineNumber) + " is not a task id";
            record.ids_.clear();
            return record;
        }
        record.ids_.insert(id);
        pos = end + 1;
    }
    record.state_ = State::Loaded;
    return record;
}

PassRecord PassRecord::load(const std::string& path, VaultFiles::FileSystem& files) {
    std::string text;
    try {
        if (!VaultFiles::readWholeFile(files, path, kMaxRecordSize, text, VaultFiles::Links::Refuse))
            return PassRecord();
    } catch (const VaultFiles::FileError& error) {
        PassRecord record;
        if (error.missing()) return record;
        record.state_ = State::Unreadable;
        record.problem_ = error.what();
        return record;
    }
    return parse(text);
}

void PassRecord::write(const std::string& path, const std::string& runStamp, const std::vector<uint32_t>& ids,
                       VaultFiles::FileSystem& files) {
    VaultFiles::ReplacementFile file(files, path);
    file.append(format(runStamp, ids));
    file.commit();
}

}  // namespace Trevalon
