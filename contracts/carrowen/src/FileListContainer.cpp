// Reading a file-list container.
//
// open() checks the header, the file size and the chunk checksum table, then
// maps the file (MAP_PRIVATE, read-only, MADV_SEQUENTIAL). Records are handed
// out in blocks of 3 chunks of 512 records: the first time a record of a block
// is read, every chunk of the block is checked against its CRC32C,
// so no record is delivered unverified and a damaged chunk raises an error
// naming the file. The mapping must not be shortened under us: the vault's
// writers never change a container in place (they rename a new file over it,
// which leaves an open mapping on the old file).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "PoolFileFormats.h"
#include "StorageIo.h"

namespace Carrowen {

namespace {

// Reads exactly `size` bytes at `offset`; false when the file ends first.
bool readFully(int fd, void* buffer, size_t size, uint64_t offset, const std::string& path) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw StorageIo::fileError(path, "cannot read", errno);
        }
        if (n == 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

struct FileListContainer2::State {
    explicit State(const FileListContainer2* owner) : reader(owner) {}

    void close() {
        if (map) ::munmap(const_cast<unsigned char*>(map), mapSize);
        map = nullptr;
        mapSize = 0;
        path.clear();
        header = Format::ContainerHeader();
        chunkCrcs.clear();
        verifiedBlocks.clear();
        windowBase = nullptr;
        windowFirstId = 0;
        windowCount = 0;
    }

    const unsigned char* records() const { return map + Format::kContainerHeaderSize; }

    void verifyBlock(uint64_t index) {
        const uint64_t firstRecord = index * Format::kBlockRecords;
        const uint64_t count = std::min<uint64_t>(Format::kBlockRecords, header.recordCount - firstRecord);
        uint32_t computed[Format::kBlockChunks];
        StorageIo::crc32cChunks(records() + firstRecord * FileListRecord::SIZE,
                                static_cast<size_t>(count * FileListRecord::SIZE), Format::kChunkBytes, computed);
        const uint64_t firstChunk = index * Format::kBlockChunks;
        const size_t chunks = static_cast<size_t>((count + Format::kChunkRecords - 1) / Format::kChunkRecords);
        for (size_t c = 0; c < chunks; ++c) {
            if (computed[c] == chunkCrcs[firstChunk + c]) continue;
            const uint64_t from = header.recordIdLowerBound + (firstChunk + c) * Format::kChunkRecords;
            const uint64_t to = std::min<uint64_t>(from + Format::kChunkRecords, header.recordIdUpperBound);
            throw std::runtime_error(path + ": checksum mismatch in records [" + std::to_string(from) + ", " +
                                     std::to_string(to) + ")");
        }
        verifiedBlocks[static_cast<size_t>(index)] = true;
    }

    // The one place records are copied out. The fast path serves the block
    // read last (already verified) with one comparison.
    int read(uint32_t recordId, FileListRecord& record) {
        const uint32_t offset = recordId - windowFirstId;  // wraps for ids below the window
        if (offset >= windowCount) {
            if (!map || recordId < header.recordIdLowerBound || recordId >= header.recordIdUpperBound) return 0;
            moveWindowTo(recordId);
            return read(recordId, record);
        }
        std::memcpy(record.bytes, windowBase + size_t(offset) * FileListRecord::SIZE, FileListRecord::SIZE);
        return 1;
    }

    // Makes the window the (verified) block holding `recordId`.
    void moveWindowTo(uint32_t recordId) {
        const uint64_t block = (recordId - header.recordIdLowerBound) / Format::kBlockRecords;
        if (!verifiedBlocks[static_cast<size_t>(block)]) verifyBlock(block);
        const uint64_t firstIndex = block * Format::kBlockRecords;
        windowFirstId = static_cast<uint32_t>(header.recordIdLowerBound + firstIndex);
        windowCount = static_cast<uint32_t>(std::min<uint64_t>(Format::kBlockRecords, header.recordCount - firstIndex));
        windowBase = records() + firstIndex * FileListRecord::SIZE;
    }

    FileListReader reader;
    std::string path;
    const unsigned char* map = nullptr;
    size_t mapSize = 0;
    Format::ContainerHeader header;
    std::vector<uint32_t> chunkCrcs;
    std::vector<bool> verifiedBlocks;
    // The block read last: records [windowFirstId, windowFirstId + windowCount).
    const unsigned char* windowBase = nullptr;
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
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT) throw std::runtime_error(name + ": container file not found");
        throw StorageIo::fileError(name, "cannot open container", errno);
    }
    s.path = name;
    try {
        struct stat st;
        if (::fstat(fd, &st) != 0) throw StorageIo::fileError(name, "cannot read its size", errno);
        if (!S_ISREG(st.st_mode)) throw std::runtime_error(name + ": not a regular file");
        const auto size = static_cast<uint64_t>(st.st_size);
        if (size < Format::kContainerHeaderSize)
            throw std::runtime_error(name + ": too short for a file-list container header (" + std::to_string(size) +
                                     " bytes)");
        unsigned char headerBytes[Format::kContainerHeaderSize];
        if (!readFully(fd, headerBytes, sizeof headerBytes, 0, name))
            throw std::runtime_error(name + ": file ends inside its header");
        s.header = Format::decodeContainerHeader(headerBytes, size, name);

        s.chunkCrcs.resize(static_cast<size_t>(s.header.chunkCount));
        std::vector<unsigned char> table(s.chunkCrcs.size() * 4);
        const uint64_t tableOffset = Format::kContainerHeaderSize + s.header.recordCount * FileListRecord::SIZE;
        if (!readFully(fd, table.data(), table.size(), tableOffset, name))
            throw std::runtime_error(name + ": file ends inside its checksum table");
        if (StorageIo::crc32c(table.data(), table.size()) != s.header.tableCrc)
            throw std::runtime_error(name + ": checksum table mismatch");
        for (size_t i = 0; i < s.chunkCrcs.size(); ++i) s.chunkCrcs[i] = StorageIo::getU32(&table[4 * i]);

        s.mapSize = static_cast<size_t>(size);
        void* map = ::mmap(nullptr, s.mapSize, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            s.mapSize = 0;
            throw StorageIo::fileError(name, "cannot map container", errno);
        }
        s.map = static_cast<const unsigned char*>(map);
        ::madvise(map, s.mapSize, MADV_SEQUENTIAL);
        s.verifiedBlocks.assign(
            static_cast<size_t>((s.header.recordCount + Format::kBlockRecords - 1) / Format::kBlockRecords), false);
    } catch (...) {
        ::close(fd);
        s.close();
        throw;
    }
    ::close(fd);  // the mapping stays valid without the descriptor
}

uint32_t FileListContainer2::recordIdLowerBound() const {
    return state_->header.recordIdLowerBound;
}

uint32_t FileListContainer2::recordIdUpperBound() const {
    return state_->header.recordIdUpperBound;
}

FileListPosition FileListContainer2::first(FileListRecord& record) const {
    if (!state_->map) throw std::runtime_error("file-list container not open");
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

int FileListReader::read(FileListRecord& record) const {
    return container_ ? container_->state_->read(recordId_, record) : 0;
}

}  // namespace Carrowen
