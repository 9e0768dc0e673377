// Reading a file-list container.
//
// open() checks the header, the file size and the chunk checksum table. Records
// are read in blocks of 1 MiB (16 chunks of 512 records) with one pread per
// block; each chunk of a block is checked against its CRC32C when the block is
// loaded, before any of its records is handed out. So a record delivered has
// always been verified, and a damaged chunk raises an error naming the file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "PoolFileFormats.h"
#include "StorageIo.h"

namespace Carrowen {

namespace {

constexpr uint64_t kNoBlock = std::numeric_limits<uint64_t>::max();

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

int FileListReader::read(FileListRecord& record) const {
    return container_ ? container_->readRecord(recordId_, record) : 0;
}

struct FileListContainer2::State {
    explicit State(const FileListContainer2* owner) : reader(owner) {}

    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        path.clear();
        header = Format::ContainerHeader();
        chunkCrcs.clear();
        block.clear();
        blockIndex = kNoBlock;
    }

    void loadBlock(uint64_t index) {
        blockIndex = kNoBlock;
        const uint64_t firstRecord = index * Format::kBlockRecords;
        const uint64_t records = std::min<uint64_t>(Format::kBlockRecords, header.recordCount - firstRecord);
        const size_t bytes = static_cast<size_t>(records * FileListRecord::SIZE);
        if (!readFully(fd, block.data(), bytes, Format::kContainerHeaderSize + firstRecord * FileListRecord::SIZE, path))
            throw std::runtime_error(path + ": file ends inside its records (shortened since it was opened)");
        uint32_t computed[Format::kBlockChunks];
        StorageIo::crc32cChunks(block.data(), bytes, Format::kChunkBytes, computed);
        const uint64_t firstChunk = index * Format::kBlockChunks;
        const size_t chunks = static_cast<size_t>((records + Format::kChunkRecords - 1) / Format::kChunkRecords);
        for (size_t c = 0; c < chunks; ++c) {
            if (computed[c] == chunkCrcs[firstChunk + c]) continue;
            const uint64_t from = header.recordIdLowerBound + (firstChunk + c) * Format::kChunkRecords;
            const uint64_t to = std::min<uint64_t>(from + Format::kChunkRecords, header.recordIdUpperBound);
            throw std::runtime_error(path + ": checksum mismatch in records [" + std::to_string(from) + ", " +
                                     std::to_string(to) + ")");
        }
        blockIndex = index;
    }

    FileListReader reader;
    int fd = -1;
    std::string path;
    Format::ContainerHeader header;
    std::vector<uint32_t> chunkCrcs;
    std::vector<unsigned char> block;
    uint64_t blockIndex = kNoBlock;
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
    s.fd = fd;
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

        s.block.resize(static_cast<size_t>(std::min<uint64_t>(Format::kBlockRecords, s.header.recordCount) *
                                           FileListRecord::SIZE));
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
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
    if (state_->fd < 0) throw std::runtime_error("file-list container not open");
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
    State& s = *state_;
    if (s.fd < 0 || recordId < s.header.recordIdLowerBound || recordId >= s.header.recordIdUpperBound) return 0;
    const uint64_t index = recordId - s.header.recordIdLowerBound;
    const uint64_t blockIndex = index / Format::kBlockRecords;
    if (blockIndex != s.blockIndex) s.loadBlock(blockIndex);
    std::memcpy(record.bytes, &s.block[static_cast<size_t>(index % Format::kBlockRecords) * FileListRecord::SIZE],
                FileListRecord::SIZE);
    return 1;
}

}  // namespace Carrowen
