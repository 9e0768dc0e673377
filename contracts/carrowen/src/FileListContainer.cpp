// Reading a file-list container.
//
// open() checks the header, the file size and the chunk checksum table.
// Records are read in blocks of 3 chunks of 512 records into a buffer of the
// container, and every chunk of a block is checked against its CRC32C before
// any of its records is handed out, so no record is delivered unverified and
// a damaged chunk raises an error naming the file. The records are read with
// pread rather than mapped: a file shortened while it is read then shows as a
// short read (an error naming the file) instead of killing the process with
// SIGBUS, and what was verified is exactly what is delivered.
#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "PoolFileFormats.h"
#include "StorageCodec.h"
#include "VaultFiles.h"

namespace Carrowen {

struct FileListContainer2::State {
    explicit State(const FileListContainer2* owner) : reader(owner) {}

    void close() {
        readAhead.stop();
        file.reset();
        path.clear();
        header = Format::ContainerHeader();
        chunkCrcs.clear();
        firstBlockRead = false;
        windowFirstId = 0;
        windowCount = 0;
        publishWindow();
    }

    // Reads exactly `size` bytes at `offset`; a file that ends first was
    // shortened after open() checked its size.
    void readExactly(uint64_t offset, void* buffer, size_t size, const char* what) const {
        if (file->readAt(offset, buffer, size) != size)
            throw std::runtime_error(path + ": file ends inside " + what + " (shortened while it was read)");
    }

    // The one place records are copied out. The fast path serves the block
    // read last (already verified) with one comparison.
    int read(uint32_t recordId, FileListRecord& record) {
        const uint32_t offset = recordId - windowFirstId;  // wraps for ids below the window
        if (offset >= windowCount) {
            if (!file || recordId < header.recordIdLowerBound || recordId >= header.recordIdUpperBound) return 0;
            moveWindowTo(recordId);
            return read(recordId, record);
        }
        std::memcpy(record.bytes, window.data() + size_t(offset) * FileListRecord::SIZE, FileListRecord::SIZE);
        return 1;
    }

    // Makes the window the block holding `recordId`: read, then verified.
    void moveWindowTo(uint32_t recordId) {
        windowCount = 0;  // a failure below leaves no window
        publishWindow();
        const uint64_t block = (recordId - header.recordIdLowerBound) / Format::kBlockRecords;
        const uint64_t firstIndex = block * Format::kBlockRecords;
        const uint64_t count = std::min<uint64_t>(Format::kBlockRecords, header.recordCount - firstIndex);
        const size_t bytes = static_cast<size_t>(count * FileListRecord::SIZE);
        const uint64_t firstId = header.recordIdLowerBound + firstIndex;
        if (block == 0 && firstBlockRead) {
            firstBlockRead = false;  // read with the header by open(); verified below like any block
        } else {
            const uint64_t offset = Format::kContainerHeaderSize + firstIndex * FileListRecord::SIZE;
            readExactly(offset, window.data(), bytes,
                        ("records [" + std::to_string(firstId) + ", " + std::to_string(firstId + count) + ")").c_str());
            readAhead.reached(offset + bytes);
        }

        uint32_t computed[Format::kBlockChunks];
        StorageCodec::crc32cChunks(window.data(), bytes, Format::kChunkBytes, computed);
        checkChunks(block, computed, count);
        windowFirstId = static_cast<uint32_t>(firstId);
        windowCount = static_cast<uint32_t>(count);
        publishWindow();
    }

    // The index of the first marked record of the window from index
    // `fromIndex` of the container, or `notFound`.
    uint64_t findMarkedInWindow(uint64_t fromIndex, uint64_t notFound) const {
        const uint64_t firstIndex = windowFirstId - header.recordIdLowerBound;
        const unsigned char* marker = window.data() + FileListRecord::MARKER_OFFSET;
        for (uint64_t i = fromIndex - firstIndex; i < windowCount; ++i)
            if (marker[i * FileListRecord::SIZE] != 0) return firstIndex + i;
        return notFound;
    }

    // Throws when a chunk of `block` does not match its stored checksum.
    void checkChunks(uint64_t block, const uint32_t* computed, uint64_t count) const {
        const uint64_t firstChunk = block * Format::kBlockChunks;
        const size_t chunks = static_cast<size_t>((count + Format::kChunkRecords - 1) / Format::kChunkRecords);
        for (size_t c = 0; c < chunks; ++c) {
            if (computed[c] == chunkCrcs[firstChunk + c]) continue;
            const uint64_t from = header.recordIdLowerBound + (firstChunk + c) * Format::kChunkRecords;
            const uint64_t to = std::min<uint64_t>(from + Format::kChunkRecords, header.recordIdUpperBound);
            throw std::runtime_error(path + ": checksum mismatch in records [" + std::to_string(from) + ", " +
                                     std::to_string(to) + ")");
        }
    }

    // Lets the reader serve records of the window without a call.
    void publishWindow() {
        reader.windowBase_ = window.data();
        reader.windowFirstId_ = windowFirstId;
        reader.windowCount_ = windowCount;
    }

    FileListReader reader;
    std::string path;
    std::unique_ptr<VaultFiles::ReadableFile> file;
    // Keeps the records after the ones being read coming from the device.
    VaultFiles::ReadAhead readAhead;
    Format::ContainerHeader header;
    std::vector<uint32_t> chunkCrcs;
    // The block read last: records [windowFirstId, windowFirstId + windowCount).
    std::vector<unsigned char> window;
    // open() read a small container whole: `window` already holds the bytes
    // of block 0 (not yet verified).
    bool firstBlockRead = false;
    uint32_t windowFirstId = 0;
    uint32_t windowCount = 0;
};

FileListContainer2::FileListContainer2() : state_(new State(this)) {}

FileListContainer2::~FileListContainer2() {
    state_->close();
    delete state_;
}

void FileListContainer2::open(const std::string& name, int accessMode, int /*optimizerHint*/) {
    if (accessMode != 1)
        throw std::invalid_argument(name + ": container access mode " + std::to_string(accessMode) +
                                    " not supported (1: read)");
    state_->close();
    State& s = *state_;
    // A link in a pool is damage: the container is refused, never followed
    // (docs/storage.md, "Links in a pool").
    try {
        s.file = VaultFiles::FileSystem::real().openReadable(name, VaultFiles::Links::Refuse);
    } catch (const VaultFiles::FileError& error) {
        if (error.missing()) throw std::runtime_error(name + ": container file not found");
        throw;
    }
    s.path = name;
    try {
        const uint64_t size = s.file->status().size;
        if (size < Format::kContainerHeaderSize)
            throw std::runtime_error(name + ": too short for a file-list container header (" + std::to_string(size) +
                                     " bytes)");
        // A container of one block or less (most of them) is read whole in
        // one call; a larger one has its header and table read here and its
        // records block by block.
        const bool small = size <= Format::kContainerHeaderSize + Format::kBlockRecords * FileListRecord::SIZE +
                                       Format::kBlockChunks * 4;
        std::vector<unsigned char> whole;
        if (small) {
            whole.resize(static_cast<size_t>(size));
            s.readExactly(0, whole.data(), whole.size(), "its contents");
        } else {
            whole.resize(Format::kContainerHeaderSize);
            s.readExactly(0, whole.data(), whole.size(), "its header");
        }
        s.header = Format::decodeContainerHeader(whole.data(), size, name);
        // The records of a larger container are read front to back (by a
        // verify, a build of the index and the scan): the device starts on
        // them while the checksum table is read.
        if (!small)
            s.readAhead.start(*s.file, Format::kContainerHeaderSize,
                              Format::kContainerHeaderSize + s.header.recordCount * FileListRecord::SIZE);

        s.chunkCrcs.resize(static_cast<size_t>(s.header.chunkCount));
        const uint64_t tableOffset = Format::kContainerHeaderSize + s.header.recordCount * FileListRecord::SIZE;
        std::vector<unsigned char> table(s.chunkCrcs.size() * 4);
        if (small) {
            std::copy(whole.begin() + static_cast<std::ptrdiff_t>(tableOffset), whole.end(), table.begin());
        } else {
            s.readExactly(tableOffset, table.data(), table.size(), "its checksum table");
        }
        if (StorageCodec::crc32c(table.data(), table.size()) != s.header.tableCrc)
            throw std::runtime_error(name + ": checksum table mismatch");
        for (size_t i = 0; i < s.chunkCrcs.size(); ++i) s.chunkCrcs[i] = StorageCodec::getU32(&table[4 * i]);
        s.window.resize(static_cast<size_t>(std::min<uint64_t>(Format::kBlockRecords, s.header.recordCount)) *
                        FileListRecord::SIZE);
        if (small && !s.window.empty()) {
            std::copy(whole.begin() + Format::kContainerHeaderSize,
                      whole.begin() + static_cast<std::ptrdiff_t>(tableOffset), s.window.begin());
            s.firstBlockRead = true;
        }
    } catch (...) {
        s.close();
        throw;
    }
}

uint32_t FileListContainer2::recordIdLowerBound() const {
    return state_->header.recordIdLowerBound;
}

uint32_t FileListContainer2::recordIdUpperBound() const {
    return state_->header.recordIdUpperBound;
}

FileListPosition FileListContainer2::first(FileListRecord& record) const {
    if (!state_->file) throw std::runtime_error("file-list container not open");
    FileListPosition position;
    position.reader = &state_->reader;
    position.recordId = state_->header.recordIdLowerBound;
    if (state_->header.recordCount > 0) readRecord(position.recordId, record);
    state_->reader.setPosition(position.recordId);
    return position;
}

FileListPosition FileListContainer2::end() const {
    FileListPosition position;
    position.reader = &state_->reader;
    position.recordId = state_->header.recordIdUpperBound;
    return position;
}

FileListReader& FileListContainer2::reader() const {
    return state_->reader;
}

int FileListContainer2::readRecord(uint32_t recordId, FileListRecord& record) const {
    return state_->read(recordId, record);
}

uint32_t FileListContainer2::findMarkedRecord(uint32_t recordId) const {
    if (!state_->file) throw std::runtime_error("file-list container not open");
    return findMarkedRecord(recordId, state_->header.recordIdUpperBound);
}

uint32_t FileListContainer2::findMarkedRecord(uint32_t recordId, uint32_t endId) const {
    State& s = *state_;
    if (!s.file) throw std::runtime_error("file-list container not open");
    const uint32_t lower = s.header.recordIdLowerBound;
    const uint32_t upper = s.header.recordIdUpperBound;
    if (endId > upper) endId = upper;
    if (recordId < lower) recordId = lower;
    if (recordId >= endId) return endId;
    // Block by block through the window: each block is read into the reused
    // buffer, verified, and its marker bytes looked at there. Reading beats a
    // mapping here: the copy costs less than a page fault per few pages, and
    // the bytes are checksummed while they are in the processor's cache.
    const uint64_t notFound = s.header.recordCount;
    const uint64_t endIndex = uint64_t(endId) - lower;
    for (uint64_t index = uint64_t(recordId) - lower; index < endIndex;) {
        const uint32_t id = static_cast<uint32_t>(lower + index);
        if (id - s.windowFirstId >= s.windowCount) s.moveWindowTo(id);
        const uint64_t found = s.findMarkedInWindow(index, notFound);
        if (found != notFound) return found < endIndex ? static_cast<uint32_t>(lower + found) : endId;
        index = uint64_t(s.windowFirstId - lower) + s.windowCount;
    }
    return endId;
}

int FileListReader::readOutsideWindow(FileListRecord& record) const {
    return container_ ? container_->state_->read(recordId_, record) : 0;
}

}  // namespace Carrowen
