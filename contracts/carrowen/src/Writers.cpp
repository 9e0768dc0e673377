// Writers of the sync list and of file-list containers.
#include "Carrowen/Writers.h"

#include <cstring>
#include <stdexcept>

#include "PoolFileFormats.h"
#include "StorageCodec.h"
#include "VaultFiles.h"

namespace Carrowen {

void writeSyncList(const std::string& path, const std::vector<SyncListEntryData>& entries,
                   VaultFiles::FileSystem& files) {
    const std::string bytes = Format::encodeSyncList(entries, path);
    VaultFiles::ReplacementFile file(files, path);
    file.append(bytes.data(), bytes.size());
    file.commit();
}

// Records are gathered in a 1 MiB buffer (a whole number of chunks), so chunk
// checksums are computed per buffer and only the table of chunk checksums
// (4 bytes per 64 KiB of records) is held until commit.
struct FileListContainerWriter::State {
    State(const std::string& path, uint32_t lower, VaultFiles::FileSystem& files)
        : file(files, path), lowerBound(lower), nextId(lower) {
        buffer.resize(Format::kWriteBufferRecords * FileListRecord::SIZE);
        const std::string placeholder(Format::kContainerHeaderSize, '\0');
        file.append(placeholder.data(), placeholder.size());
    }

    void flush() {
        if (used == 0) return;
        const size_t chunks = (used + Format::kChunkBytes - 1) / Format::kChunkBytes;
        const size_t first = chunkCrcs.size();
        chunkCrcs.resize(first + chunks);
        StorageCodec::crc32cChunks(buffer.data(), used, Format::kChunkBytes, &chunkCrcs[first]);
        file.append(buffer.data(), used);
        used = 0;
    }

    VaultFiles::ReplacementFile file;
    uint32_t lowerBound;
    uint32_t nextId;
    std::vector<unsigned char> buffer;
    size_t used = 0;
    std::vector<uint32_t> chunkCrcs;
    bool committed = false;
};

FileListContainerWriter::FileListContainerWriter(const std::string& path, uint32_t recordIdLowerBound,
                                                 VaultFiles::FileSystem& files)
    : state_(new State(path, recordIdLowerBound, files)) {}

FileListContainerWriter::~FileListContainerWriter() = default;

void FileListContainerWriter::append(const FileListRecord& record) {
    State& s = *state_;
    if (s.committed) throw std::logic_error(s.file.path() + ": record appended after commit");
    if (s.nextId == 0xFFFFFFFFu) throw std::length_error(s.file.path() + ": record identifier range exhausted");
    std::memcpy(&s.buffer[s.used], record.bytes, FileListRecord::SIZE);
    s.used += FileListRecord::SIZE;
    ++s.nextId;
    if (s.used == s.buffer.size()) s.flush();
}

uint32_t FileListContainerWriter::nextRecordId() const {
    return state_->nextId;
}

void FileListContainerWriter::commit() {
    State& s = *state_;
    if (s.committed) return;
    s.flush();
    std::string table;
    table.reserve(s.chunkCrcs.size() * 4);
    for (uint32_t crc : s.chunkCrcs) StorageCodec::putU32(table, crc);
    Format::ContainerHeader header;
    header.recordIdLowerBound = s.lowerBound;
    header.recordIdUpperBound = s.nextId;
    header.recordCount = uint64_t(s.nextId) - s.lowerBound;
    header.chunkCount = s.chunkCrcs.size();
    header.tableCrc = StorageCodec::crc32c(table.data(), table.size());
    s.file.append(table.data(), table.size());
    const std::string headerBytes = Format::encodeContainerHeader(header);
    s.file.writeAt(0, headerBytes.data(), headerBytes.size());
    s.file.commit();
    s.committed = true;
}

FileListRecord makeRecord(uint32_t recordId, bool marked) {
    FileListRecord record;
    for (size_t i = 0; i < FileListRecord::SIZE; ++i)
        record.bytes[i] = static_cast<unsigned char>((recordId * 2654435761u + i * 40503u) >> 13);
    for (int i = 0; i < 4; ++i) record.bytes[i] = static_cast<unsigned char>((recordId >> (8 * i)) & 0xFF);
    record.bytes[FileListRecord::MARKER_OFFSET] = marked ? 1 : 0;
    return record;
}

void writeFileListContainer(const std::string& path, uint32_t recordIdLowerBound, uint64_t recordCount,
                            const std::function<bool(uint32_t recordId)>& isMarked, VaultFiles::FileSystem& files) {
    if (recordCount > 0xFFFFFFFFull - recordIdLowerBound)
        throw std::invalid_argument(path + ": " + std::to_string(recordCount) + " records from " +
                                    std::to_string(recordIdLowerBound) + " exceed the record identifier range");
    FileListContainerWriter writer(path, recordIdLowerBound, files);
    for (uint64_t i = 0; i < recordCount; ++i) {
        const auto id = static_cast<uint32_t>(recordIdLowerBound + i);
        writer.append(makeRecord(id, isMarked && isMarked(id)));
    }
    writer.commit();
}

void writeFileListContainer(const std::string& path, uint32_t recordIdLowerBound,
                            const std::vector<FileListRecord>& records, VaultFiles::FileSystem& files) {
    if (records.size() > 0xFFFFFFFFull - recordIdLowerBound)
        throw std::invalid_argument(path + ": too many records for the record identifier range");
    FileListContainerWriter writer(path, recordIdLowerBound, files);
    for (const FileListRecord& r : records) writer.append(r);
    writer.commit();
}

}  // namespace Carrowen
