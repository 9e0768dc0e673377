#include "PoolScrub/ScrubRecord.h"

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include <boost/crc.hpp>

namespace PoolScrub {

namespace {

const char* const kRecordMagic = "vault-scrub-record 1";
const char* const kJournalMagic = "vault-scrub-journal 1";
// Far above any real record (about 100 bytes per file of a pool).
constexpr size_t kMaxStateFileSize = size_t(1) << 30;
// Fields of one line, as a guard against a line that is only blanks.
constexpr size_t kMaxFields = 16;

bool isPlain(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '{' || c == '}';
}

std::string escape(const std::string& value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (isPlain(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out.empty() ? std::string("%") : out;  // "%" alone: the empty text
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string& field) {
    if (field == "%") return std::string();
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (isPlain(c)) {
            out += field[i];
            continue;
        }
        if (c != '%' || i + 2 >= field.size())
            throw std::runtime_error("a bad character in '" + field.substr(0, 64) + "'");
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0) throw std::runtime_error("a bad escape in '" + field.substr(0, 64) + "'");
        const unsigned char decoded = static_cast<unsigned char>(high * 16 + low);
        if (isPlain(decoded)) throw std::runtime_error("an escape of a plain character in '" + field.substr(0, 64) + "'");
        out += static_cast<char>(decoded);
        i += 2;
    }
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t end = line.find(' ', start);
        out.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (out.back().empty()) throw std::runtime_error("an empty field");
        if (out.size() > kMaxFields) throw std::runtime_error("too many fields");
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

// Decimal digits only, no sign, no leading zero (but "0"), within the type.
uint64_t unsignedField(const std::string& text, uint64_t max = UINT64_MAX) {
    if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0'))
        throw std::runtime_error("a bad number '" + text.substr(0, 32) + "'");
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') throw std::runtime_error("a bad number '" + text.substr(0, 32) + "'");
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10) throw std::runtime_error("a number out of range '" + text + "'");
        value = value * 10 + digit;
    }
    return value;
}

int64_t signedField(const std::string& text) {
    if (!text.empty() && text[0] == '-') {
        if (text == "-0") throw std::runtime_error("a bad number '-0'");
        const uint64_t magnitude = unsignedField(text.substr(1), uint64_t(INT64_MAX) + 1);
        return magnitude == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    }
    return static_cast<int64_t>(unsignedField(text, INT64_MAX));
}

Result resultField(const std::string& text) {
    if (text == "ok") return Result::Ok;
    if (text == "damaged") return Result::Damaged;
    if (text == "failed") return Result::Failed;
    throw std::runtime_error("an unknown result '" + text.substr(0, 32) + "'");
}

std::string poolLine(const PoolEntry& entry) {
    return "pool " + std::to_string(entry.taskId) + " " + resultName(entry.result) + " " + std::to_string(entry.pass) +
           " " + std::to_string(entry.verifiedAt) + " " + std::to_string(entry.files.size()) + " " +
           escape(entry.poolGuid);
}

std::string fileLine(const FileIdentity& file) {
    if (!file.present) return "absent " + escape(file.name);
    return "file " + std::to_string(file.device) + " " + std::to_string(file.inode) + " " + std::to_string(file.size) +
           " " + std::to_string(file.mtimeSeconds) + " " + std::to_string(file.mtimeNanoseconds) + " " +
           escape(file.name);
}

// Reads "pool ..." and returns the number of file lines that follow.
size_t readPoolLine(const std::vector<std::string>& f, PoolEntry& entry) {
    if (f.size() != 7 || f[0] != "pool") throw std::runtime_error("not a pool line");
    entry = PoolEntry();
    entry.taskId = static_cast<uint32_t>(unsignedField(f[1], UINT32_MAX));
    entry.result = resultField(f[2]);
    entry.pass = unsignedField(f[3]);
    entry.verifiedAt = signedField(f[4]);
    const uint64_t count = unsignedField(f[5], 1u << 24);
    entry.poolGuid = unescape(f[6]);
    return static_cast<size_t>(count);
}

FileIdentity readFileLine(const std::vector<std::string>& f) {
    FileIdentity file;
    if (f.size() == 2 && f[0] == "absent") {
        file.name = unescape(f[1]);
    } else if (f.size() == 7 && f[0] == "file") {
        file.present = true;
        file.device = unsignedField(f[1]);
        file.inode = unsignedField(f[2]);
        file.size = unsignedField(f[3]);
        file.mtimeSeconds = signedField(f[4]);
        file.mtimeNanoseconds = static_cast<int64_t>(unsignedField(f[5], 999999999));
        file.name = unescape(f[6]);
    } else {
        throw std::runtime_error("not a file line");
    }
    if (file.name.empty() || file.name.find('/') != std::string::npos || file.name == "." || file.name == ".." ||
        file.name.find('\0') != std::string::npos)
        throw std::runtime_error("a file name that is not a name in the pool folder");
    return file;
}

// Splits into lines; the text must end with a line break.
std::vector<std::string> lines(const std::string& text, bool& lastWhole) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            lastWhole = false;
            return out;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    lastWhole = true;
    return out;
}

std::string checksumOf(const std::string& payload) {
    boost::crc_32_type crc;
    crc.process_bytes(payload.data(), payload.size());
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(crc.checksum()));
    return text;
}

void addPool(Record& record, PoolEntry&& entry) {
    PoolKey key(entry.taskId, entry.poolGuid);
    record.pools[key] = std::move(entry);
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& other) const {
    return name == other.name && present == other.present && device == other.device && inode == other.inode &&
           size == other.size && mtimeSeconds == other.mtimeSeconds && mtimeNanoseconds == other.mtimeNanoseconds;
}

FileIdentity identityOf(VaultFiles::FileSystem& files, const std::string& folder, const std::string& name) {
    FileIdentity identity;
    identity.name = name;
    const VaultFiles::FileStatus status = files.status(folder + name, VaultFiles::Links::Refuse);
    if (status.kind == VaultFiles::FileKind::Missing) return identity;
    identity.present = true;
    if (status.kind != VaultFiles::FileKind::Regular) {
        // Never equal to a regular file's identity (no regular file has inode 0).
        identity.device = static_cast<uint64_t>(status.kind);
        return identity;
    }
    identity.device = status.device;
    identity.inode = status.inode;
    identity.size = status.size;
    identity.mtimeSeconds = status.modifiedSeconds;
    identity.mtimeNanoseconds = status.modifiedNanoseconds;
    return identity;
}

const char* resultName(Result result) {
    switch (result) {
        case Result::Ok: return "ok";
        case Result::Damaged: return "damaged";
        case Result::Failed: return "failed";
    }
    return "failed";
}

std::string formatRecord(const Record& record) {
    std::string text = std::string(kRecordMagic) + "\n";
    text += "generation " + std::to_string(record.generation) + "\n";
    text += "pass " + std::to_string(record.pass) + (record.passComplete ? " complete\n" : " open\n");
    for (const auto& item : record.pools) {
        text += poolLine(item.second) + "\n";
        for (const FileIdentity& file : item.second.files) text += fileLine(file) + "\n";
    }
    text += "end " + std::to_string(record.pools.size()) + "\n";
    return text;
}

std::string formatJournalHeader(uint64_t generation) {
    return std::string(kJournalMagic) + " " + std::to_string(generation) + "\n";
}

std::string formatJournalLine(const PoolEntry& entry) {
    std::string payload = poolLine(entry);
    for (const FileIdentity& file : entry.files) payload += " | " + fileLine(file);
    return checksumOf(payload) + " " + payload + "\n";
}

Record parseRecord(const std::string& text) {
    bool lastWhole = true;
    const std::vector<std::string> all = lines(text, lastWhole);
    if (!lastWhole) throw std::runtime_error("the record ends inside a line");
    Record record;
    size_t n = 0;
    auto where = [&n]() { return " (line " + std::to_string(n + 1) + ")"; };
    try {
        if (all.size() < 4 || all[0] != kRecordMagic) throw std::runtime_error("not a scrub record");
        n = 1;
        std::vector<std::string> f = fields(all[1]);
        if (f.size() != 2 || f[0] != "generation") throw std::runtime_error("no generation line");
        record.generation = unsignedField(f[1]);
        n = 2;
        f = fields(all[2]);
        if (f.size() != 3 || f[0] != "pass" || (f[2] != "open" && f[2] != "complete"))
            throw std::runtime_error("no pass line");
        record.pass = unsignedField(f[1]);
        record.passComplete = f[2] == "complete";
        for (n = 3; n < all.size(); ++n) {
            f = fields(all[n]);
            if (f[0] == "end") {
                if (f.size() != 2 || unsignedField(f[1]) != record.pools.size())
                    throw std::runtime_error("the end line does not count the pools");
                if (n + 1 != all.size()) throw std::runtime_error("lines after the end line");
                return record;
            }
            PoolEntry entry;
            const size_t count = readPoolLine(f, entry);
            if (count > all.size() - n - 1) throw std::runtime_error("fewer file lines than the pool line says");
            for (size_t i = 0; i < count; ++i) {
                ++n;
                entry.files.push_back(readFileLine(fields(all[n])));
            }
            if (record.pools.count(PoolKey(entry.taskId, entry.poolGuid)))
                throw std::runtime_error("a pool listed twice");
            addPool(record, std::move(entry));
        }
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(error.what() + where());
    }
    throw std::runtime_error("the record has no end line");
}

size_t applyJournal(const std::string& text, Record& record, std::string& problem) {
    bool lastWhole = true;
    const std::vector<std::string> all = lines(text, lastWhole);
    if (all.empty()) return 0;
    if (all[0] != formatJournalHeader(record.generation).substr(0, formatJournalHeader(record.generation).size() - 1))
        return 0;  // the journal of an older record, already in it
    size_t applied = 0;
    for (size_t n = 1; n < all.size(); ++n) {
        if (n + 1 == all.size() && !lastWhole) {
            problem = "the last line of the journal is torn";
            break;
        }
        const std::string& line = all[n];
        if (line.size() < 10 || line[8] != ' ' || checksumOf(line.substr(9)) != line.substr(0, 8)) {
            problem = "line " + std::to_string(n + 1) + " of the journal fails its checksum";
            break;
        }
        try {
            std::vector<std::string> parts;
            const std::string payload = line.substr(9);
            size_t start = 0;
            while (true) {
                const size_t end = payload.find(" | ", start);
                parts.push_back(payload.substr(start, end == std::string::npos ? std::string::npos : end - start));
                if (end == std::string::npos) break;
                start = end + 3;
            }
            PoolEntry entry;
            const size_t count = readPoolLine(fields(parts[0]), entry);
            if (count + 1 != parts.size()) throw std::runtime_error("the file count does not match");
            for (size_t i = 1; i < parts.size(); ++i) entry.files.push_back(readFileLine(fields(parts[i])));
            if (entry.pass > record.pass) {
                // A pool verified in a pass that the record does not know yet:
                // the run that started it was killed before its first write.
                record.pass = entry.pass;
                record.passComplete = false;
            }
            addPool(record, std::move(entry));
            ++applied;
        } catch (const std::runtime_error& error) {
            problem = "line " + std::to_string(n + 1) + " of the journal: " + error.what();
            break;
        }
    }
    return applied;
}

RecordStore::RecordStore(VaultFiles::FileSystem& files, const std::string& folder) : files_(files), folder_(folder) {
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

RecordStore::~RecordStore() {
    if (journal_) {
        try {
            journal_->close();
        } catch (const std::exception&) {
            // Every line was synced when it was appended.
        }
    }
}

Record RecordStore::load(std::string& warning) {
    warning.clear();
    std::string text;
    Record record;
    try {
        if (!VaultFiles::readWholeFile(files_, recordPath(), kMaxStateFileSize, text, VaultFiles::Links::Refuse))
            text.clear();
        if (!text.empty()) record = parseRecord(text);
    } catch (const std::exception& error) {
        warning = recordPath() + " is not used: " + error.what() + "; every pool is verified again";
        return Record();
    }
    std::string journal;
    try {
        if (VaultFiles::readWholeFile(files_, journalPath(), kMaxStateFileSize, journal, VaultFiles::Links::Refuse)) {
            std::string problem;
            applyJournal(journal, record, problem);
            if (!problem.empty()) warning = journalPath() + ": " + problem + "; the pools after it are verified again";
        }
    } catch (const std::exception& error) {
        warning = journalPath() + " is not used: " + error.what() + "; its pools are verified again";
    }
    return record;
}

void RecordStore::writeRecord(Record& record) {
    if (journal_) {
        journal_->close();
        journal_.reset();
    }
    Record next = record;
    ++next.generation;
    VaultFiles::replaceFile(files_, recordPath(), formatRecord(next));
    record.generation = next.generation;
    // The new record holds every pool of the old journal; a journal of the
    // old generation left by a failure below is ignored on reading.
    VaultFiles::ReplacementFile journal(files_, journalPath());
    journal.append(formatJournalHeader(record.generation));
    journal.commit();
    journal_ = files_.openWritable(journalPath(), VaultFiles::WriteMode::Append, VaultFiles::Links::Refuse);
    journalLength_ = 0;
}

void RecordStore::appendPool(const PoolEntry& entry) {
    if (!journal_) throw VaultFiles::FileError("append to", journalPath(), "the journal is not open");
    journal_->append(formatJournalLine(entry));
    journal_->sync();
    ++journalLength_;
}

void RecordStore::removeLeftovers() {
    for (const std::string& path : {recordPath(), journalPath()}) {
        const std::string prefix = VaultFiles::temporaryNamePrefix(path);
        std::vector<std::string> names;
        try {
            names = VaultFiles::folderEntries(folder_);
        } catch (const std::exception&) {
            return;
        }
        for (const std::string& name : names)
            if (name.compare(0, prefix.size(), prefix) == 0) files_.remove(folder_ + "/" + name);
    }
}

}  // namespace PoolScrub
