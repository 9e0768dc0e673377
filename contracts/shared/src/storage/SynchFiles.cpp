// The synchronisation file format (docs/storage.md):
//   header, 24 bytes: magic "VSYNCSET", u32 format version (1 older, 2 current),
//     u32 entry count, u32 reserved (0), u32 CRC32C of the 20 bytes before it
//     (version 2; version 1 leaves it 0 and unchecked)
//   entries, ascending safeset number: u32 safeset number, u32 peripheral word,
//     u32 name length, the name bytes, and in version 2 a u32 CRC32C of the
//     entry's bytes before it
//   nothing after the last entry.
#include "VSynchSetWriter.h"

#include <algorithm>
#include <cstring>

#include "StorageCodec.h"
#include "VaultFiles.h"
#include "TaskStorageDescriptor.h"

namespace {

const char kMagic[8] = {'V', 'S', 'Y', 'N', 'C', 'S', 'E', 'T'};
constexpr size_t kHeaderSize = 24;
constexpr size_t kMinimumEntrySize = 12;  // version 1 entry with an empty name
// Far beyond any real set; keeps a damaged size field from exhausting memory.
constexpr size_t kMaximumFileSize = size_t(256) << 20;

std::string encode(const std::vector<VSynchEntry>& entries, VSynchFiles::Format format) {
    const bool checksummed = format == VSynchFiles::Format::Current;
    std::string out(kMagic, sizeof kMagic);
    StorageCodec::putU32(out, static_cast<uint32_t>(format));
    StorageCodec::putU32(out, static_cast<uint32_t>(entries.size()));
    StorageCodec::putU32(out, 0);
    StorageCodec::putU32(out, checksummed ? StorageCodec::crc32c(out.data(), out.size()) : 0);
    for (const VSynchEntry& e : entries) {
        const size_t start = out.size();
        StorageCodec::putU32(out, e.safesetNumber);
        StorageCodec::putU32(out, e.peripheral);
        StorageCodec::putU32(out, static_cast<uint32_t>(e.fileName.GetName().size()));
        out += e.fileName.GetName();
        if (checksummed) StorageCodec::putU32(out, StorageCodec::crc32c(out.data() + start, out.size() - start));
    }
    return out;
}

void checkEntries(const std::vector<VSynchEntry>& entries, const std::string& path) {
    if (entries.size() > 0xFFFFFFFFu) throw std::invalid_argument(path + ": too many entries");
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].fileName.GetName();
        if (name.size() > VSYNCH_MAX_FILE_NAME)
            throw std::invalid_argument(path + ": file name of safeset " + std::to_string(entries[i].safesetNumber) +
                                        " longer than " + std::to_string(VSYNCH_MAX_FILE_NAME) + " bytes");
        if (name.find('\0') != std::string::npos)
            throw std::invalid_argument(path + ": file name of safeset " + std::to_string(entries[i].safesetNumber) +
                                        " holds a zero byte");
        if (i > 0 && entries[i - 1].safesetNumber >= entries[i].safesetNumber)
            throw std::invalid_argument(path + ": entries not in strictly ascending safeset number (" +
                                        std::to_string(entries[i].safesetNumber) + ")");
    }
}

std::vector<VSynchEntry> sorted(std::vector<VSynchEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const VSynchEntry& a, const VSynchEntry& b) { return a.safesetNumber < b.safesetNumber; });
    return entries;
}

std::string taskLabel(const DataObjects::TaskDataObject& task) {
    return "task '" + task.name + "' (" + task.guid + ", #" + std::to_string(task.id) + ")";
}

}  // namespace

namespace VSynchFiles {

void writeFile(const std::string& path, const std::vector<VSynchEntry>& entries, Format format,
               VaultFiles::FileSystem& files) {
    if (format != Format::Current && format != Format::Older)
        throw std::invalid_argument(path + ": unknown synchronisation file format");
    const std::vector<VSynchEntry> ordered = sorted(entries);
    checkEntries(ordered, path);
    const std::string bytes = encode(ordered, format);
    VaultFiles::ReplacementFile file(files, path);
    file.append(bytes.data(), bytes.size());
    file.commit();
}

void writeSet(const std::string& synchFolder, const std::vector<VSynchEntry>& entries, Format format,
              VaultFiles::FileSystem& files) {
    if (synchFolder.empty()) throw std::invalid_argument("writeSet: empty synchronisation folder");
    VaultFiles::makeFolders(files, synchFolder);
    const std::string folder = synchFolder.back() == '/' ? synchFolder : synchFolder + "/";
    writeFile(folder + VSynchSet::MAIN_FILE_NAME, entries, format, files);
    writeFile(folder + VSynchSet::MIRROR_FILE_NAME, entries, format, files);
}

void writeTaskSet(const DataObjects::TaskDataObject& task, const std::vector<VSynchEntry>& entries, Format format,
                  VaultFiles::FileSystem& files) {
    const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(task);
    if (folder.empty()) throw std::runtime_error(taskLabel(task) + ": no task folder, so no synchronisation folder");
    writeSet(folder, entries, format, files);
}

FileContents readFile(const std::string& path) {
    std::string bytes;
    if (!VaultFiles::readWholeFile(path, kMaximumFileSize, bytes)) throw std::runtime_error(path + ": file not found");
    StorageCodec::ByteReader in(bytes, path);
    if (bytes.size() < kHeaderSize)
        in.fail("too short for a synchronisation file header (" + std::to_string(bytes.size()) + " bytes)");
    if (std::memcmp(in.bytes(sizeof kMagic, "magic"), kMagic, sizeof kMagic) != 0)
        throw std::runtime_error(path + ": not a synchronisation file (wrong magic number)");
    const uint32_t version = in.u32("format version");
    if (version != static_cast<uint32_t>(Format::Current) && version != static_cast<uint32_t>(Format::Older))
        throw std::runtime_error(path + ": unsupported synchronisation file format version " + std::to_string(version));
    const bool checksummed = version == static_cast<uint32_t>(Format::Current);
    const uint32_t count = in.u32("entry count");
    in.u32("reserved field");
    const uint32_t headerCrc = in.u32("header checksum");
    if (checksummed && headerCrc != StorageCodec::crc32c(bytes.data(), kHeaderSize - 4))
        throw std::runtime_error(path + ": header checksum mismatch");
    const size_t minimumEntry = kMinimumEntrySize + (checksummed ? 4 : 0);
    if (count > in.remaining() / minimumEntry)
        throw std::runtime_error(path + ": declares " + std::to_string(count) + " entries but its " +
                                 std::to_string(bytes.size()) + " bytes cannot hold them (truncated or corrupt)");

    FileContents result;
    result.format = static_cast<Format>(version);
    result.entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t start = in.offset();
        VSynchEntry e;
        e.safesetNumber = in.u32("entry");
        e.peripheral = in.u32("entry");
        const uint32_t nameLength = in.u32("entry");
        if (nameLength > VSYNCH_MAX_FILE_NAME)
            in.fail("entry " + std::to_string(i) + " declares a file name of " + std::to_string(nameLength) + " bytes");
        const unsigned char* name = in.bytes(nameLength, "entry file name");
        std::string nameText(reinterpret_cast<const char*>(name), nameLength);
        if (nameText.find('\0') != std::string::npos) in.fail("entry " + std::to_string(i) + " file name holds a zero byte");
        if (checksummed) {
            const uint32_t stored = in.u32("entry checksum");
            if (stored != StorageCodec::crc32c(in.at(start), in.offset() - 4 - start))
                in.fail("checksum mismatch in entry " + std::to_string(i) + " (safeset " +
                        std::to_string(e.safesetNumber) + ")");
        }
        if (!result.entries.empty() && result.entries.back().safesetNumber >= e.safesetNumber)
            in.fail("entry " + std::to_string(i) + " (safeset " + std::to_string(e.safesetNumber) +
                    ") out of order or repeated");
        e.fileName = VFileName(nameText);
        result.entries.push_back(std::move(e));
    }
    if (in.remaining() != 0)
        in.fail(std::to_string(in.remaining()) + " unexpected bytes after the last entry");
    return result;
}

void setEntryUnavailable(const DataObjects::TaskDataObject& task, uint32_t safesetNumber, bool unavailable) {
    const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(task);
    if (folder.empty()) throw std::runtime_error(taskLabel(task) + ": no task folder, so no synchronisation folder");
    FileContents contents;
    try {
        contents = readFile(folder + VSynchSet::MAIN_FILE_NAME);
    } catch (const std::exception& mainError) {
        try {
            contents = readFile(folder + VSynchSet::MIRROR_FILE_NAME);
        } catch (const std::exception& mirrorError) {
            throw std::runtime_error(taskLabel(task) + ": no readable synchronisation file: " + mainError.what() + "; " +
                                     mirrorError.what());
        }
    }
    bool found = false;
    for (VSynchEntry& e : contents.entries) {
        if (e.safesetNumber != safesetNumber) continue;
        e.peripheral = unavailable ? (e.peripheral | VSYNCH_PERIPHERAL_UNAVAILABLE)
                                   : (e.peripheral & ~VSYNCH_PERIPHERAL_UNAVAILABLE);
        found = true;
    }
    if (!found)
        throw std::runtime_error(taskLabel(task) + ": safeset " + std::to_string(safesetNumber) +
                                 " not found in synchronisation set " + folder);
    writeSet(folder, contents.entries, contents.format);
}

}  // namespace VSynchFiles
