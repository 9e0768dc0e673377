#include "PoolFileFormats.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "StorageCodec.h"

namespace Carrowen {
namespace Format {

namespace {

std::string textProblem(const std::string& text) {
    if (text.size() > kMaximumTextLength) return "longer than " + std::to_string(kMaximumTextLength) + " bytes";
    if (text.find('\0') != std::string::npos) return "holds a zero byte";
    return std::string();
}

}  // namespace

std::string containerNameProblem(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name == "." || name == "..") return "names a folder";
    if (name.find('/') != std::string::npos) return "holds a '/'";
    return textProblem(name);
}

std::string encodeSyncList(std::vector<SyncListEntryData> entries, const std::string& path) {
    std::sort(entries.begin(), entries.end(),
              [](const SyncListEntryData& a, const SyncListEntryData& b) { return a.safesetNumber < b.safesetNumber; });
    for (size_t i = 0; i < entries.size(); ++i) {
        const SyncListEntryData& e = entries[i];
        const std::string safeset = "safeset " + std::to_string(e.safesetNumber);
        if (i > 0 && entries[i - 1].safesetNumber == e.safesetNumber)
            throw std::invalid_argument(path + ": " + safeset + " listed twice");
        const std::string versionProblem = textProblem(e.version);
        if (!versionProblem.empty()) throw std::invalid_argument(path + ": version text of " + safeset + " " + versionProblem);
        const std::string nameProblem = containerNameProblem(e.containerFileName);
        if (!nameProblem.empty())
            throw std::invalid_argument(path + ": container file name of " + safeset + " " + nameProblem);
    }
    if (entries.size() > 0xFFFFFFFFu) throw std::invalid_argument(path + ": too many entries");

    std::string out(kSyncListMagic, sizeof kSyncListMagic);
    StorageCodec::putU32(out, kSyncListVersion);
    StorageCodec::putU32(out, static_cast<uint32_t>(entries.size()));
    StorageCodec::putU32(out, 0);
    StorageCodec::putU32(out, StorageCodec::crc32c(out.data(), out.size()));
    for (const SyncListEntryData& e : entries) {
        const size_t start = out.size();
        StorageCodec::putU32(out, e.safesetNumber);
        StorageCodec::putU16(out, static_cast<uint16_t>(e.version.size()));
        StorageCodec::putU16(out, static_cast<uint16_t>(e.containerFileName.size()));
        out += e.version;
        out += e.containerFileName;
        StorageCodec::putU32(out, StorageCodec::crc32c(out.data() + start, out.size() - start));
    }
    return out;
}

std::vector<SyncListEntryData> decodeSyncList(const std::string& bytes, const std::string& path) {
    StorageCodec::ByteReader in(bytes, path);
    if (bytes.size() < kSyncListHeaderSize)
        in.fail("too short for a sync list header (" + std::to_string(bytes.size()) + " bytes)");
    if (std::memcmp(in.bytes(sizeof kSyncListMagic, "magic"), kSyncListMagic, sizeof kSyncListMagic) != 0)
        throw std::runtime_error(path + ": not a sync list (wrong magic number)");
    const uint32_t version = in.u32("format version");
    const uint32_t count = in.u32("entry count");
    in.u32("reserved field");
    const uint32_t headerCrc = in.u32("header checksum");
    if (headerCrc != StorageCodec::crc32c(bytes.data(), kSyncListHeaderSize - 4))
        throw std::runtime_error(path + ": sync list header checksum mismatch");
    if (version != kSyncListVersion)
        throw std::runtime_error(path + ": unsupported sync list format version " + std::to_string(version));
    if (count > in.remaining() / kSyncListMinimumEntrySize)
        throw std::runtime_error(path + ": declares " + std::to_string(count) + " entries but its " +
                                 std::to_string(bytes.size()) + " bytes cannot hold them (truncated or corrupt)");
    std::vector<SyncListEntryData> entries;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t start = in.offset();
        SyncListEntryData e;
        e.safesetNumber = in.u32("entry");
        const uint16_t versionLength = in.u16("entry");
        const uint16_t nameLength = in.u16("entry");
        const unsigned char* versionBytes = in.bytes(versionLength, "entry version text");
        const unsigned char* name = in.bytes(nameLength, "entry container name");
        const uint32_t stored = in.u32("entry checksum");
        if (stored != StorageCodec::crc32c(in.at(start), in.offset() - 4 - start))
            in.fail("checksum mismatch in entry " + std::to_string(i) + " (safeset " + std::to_string(e.safesetNumber) + ")");
        e.version.assign(reinterpret_cast<const char*>(versionBytes), versionLength);
        e.containerFileName.assign(reinterpret_cast<const char*>(name), nameLength);
        const std::string safeset = "safeset " + std::to_string(e.safesetNumber);
        const std::string versionProblem = textProblem(e.version);
        if (!versionProblem.empty()) in.fail("version text of " + safeset + " " + versionProblem);
        const std::string nameProblem = containerNameProblem(e.containerFileName);
        if (!nameProblem.empty()) in.fail("container file name of " + safeset + " " + nameProblem);
        if (!entries.empty() && entries.back().safesetNumber >= e.safesetNumber)
            in.fail("entry " + std::to_string(i) + " (" + safeset + ") out of order or repeated");
        entries.push_back(std::move(e));
    }
    if (in.remaining() != 0) in.fail(std::to_string(in.remaining()) + " unexpected bytes after the last entry");
    return entries;
}

std::string encodeContainerHeader(const ContainerHeader& h) {
    std::string out(kContainerMagic, sizeof kContainerMagic);
    StorageCodec::putU32(out, kContainerVersion);
    StorageCodec::putU32(out, static_cast<uint32_t>(kContainerHeaderSize));
    StorageCodec::putU32(out, static_cast<uint32_t>(FileListRecord::SIZE));
    StorageCodec::putU32(out, static_cast<uint32_t>(kChunkRecords));
    StorageCodec::putU32(out, h.recordIdLowerBound);
    StorageCodec::putU32(out, h.recordIdUpperBound);
    StorageCodec::putU64(out, h.recordCount);
    StorageCodec::putU64(out, h.chunkCount);
    StorageCodec::putU32(out, h.tableCrc);
    StorageCodec::putU64(out, 0);
    StorageCodec::putU32(out, StorageCodec::crc32c(out.data(), out.size()));
    return out;
}

ContainerHeader decodeContainerHeader(const unsigned char* p, uint64_t fileSize, const std::string& path) {
    const auto fail = [&path](const std::string& what) { throw std::runtime_error(path + ": " + what); };
    if (std::memcmp(p, kContainerMagic, sizeof kContainerMagic) != 0) fail("not a file-list container (wrong magic number)");
    if (StorageCodec::getU32(p + 60) != StorageCodec::crc32c(p, 60)) fail("container header checksum mismatch");
    const uint32_t version = StorageCodec::getU32(p + 8);
    if (version != kContainerVersion) fail("unsupported container format version " + std::to_string(version));
    if (StorageCodec::getU32(p + 12) != kContainerHeaderSize || StorageCodec::getU32(p + 16) != FileListRecord::SIZE ||
        StorageCodec::getU32(p + 20) != kChunkRecords)
        fail("unsupported container layout (header size " + std::to_string(StorageCodec::getU32(p + 12)) +
             ", record size " + std::to_string(StorageCodec::getU32(p + 16)) + ", records per chunk " +
             std::to_string(StorageCodec::getU32(p + 20)) + ")");
    ContainerHeader h;
    h.recordIdLowerBound = StorageCodec::getU32(p + 24);
    h.recordIdUpperBound = StorageCodec::getU32(p + 28);
    h.recordCount = StorageCodec::getU64(p + 32);
    h.chunkCount = StorageCodec::getU64(p + 40);
    h.tableCrc = StorageCodec::getU32(p + 48);
    const std::string range = "[" + std::to_string(h.recordIdLowerBound) + ", " + std::to_string(h.recordIdUpperBound) + ")";
    if (h.recordIdLowerBound > h.recordIdUpperBound) fail("inverted record range " + range);
    if (h.recordCount != uint64_t(h.recordIdUpperBound) - h.recordIdLowerBound)
        fail("record count " + std::to_string(h.recordCount) + " does not match the record range " + range);
    const uint64_t chunks = (h.recordCount + kChunkRecords - 1) / kChunkRecords;
    if (h.chunkCount != chunks)
        fail("declares " + std::to_string(h.chunkCount) + " checksum chunks where " + std::to_string(h.recordCount) +
             " records need " + std::to_string(chunks));
    if (fileSize != h.fileSize())
        fail("file is " + std::to_string(fileSize) + " bytes but its header declares " + std::to_string(h.fileSize()) +
             " (truncated or extended)");
    return h;
}

}  // namespace Format
}  // namespace Carrowen
