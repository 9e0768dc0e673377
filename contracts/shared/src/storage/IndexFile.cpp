// Index files (docs/index-files.md):
//   header, 512 bytes:
//       0 magic "VIDXFILE"          8 u32 version (1)
//      12 u32 header size (512)    16 u32 entry size (32)
//      20 u32 entries per block (2048)
//      24 u64 entry count          32 u64 block count (ceil(count / 2048))
//      40 u32 CRC32C of the block checksum table
//      44 u32 pool GUID length     48 64 bytes pool GUID, zero-padded
//     112 reserved, zero          508 u32 CRC32C of bytes 0-507
//   entries: count * 32 bytes, strictly ascending (safeset, record id):
//       u32 safeset, u32 record id, u64 key, u64 offset, u32 size, u32 flags
//   block checksum table: block count * u32, the CRC32C of each run of 2048
//     entries (the last may be shorter)
//   nothing after the table.
#include "IndexFile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "StorageCodec.h"
#include "VaultFiles.h"

namespace IndexFileFormat {
const char* const POOL_INDEX_FILE_NAME = "pool.vix";
}  // namespace IndexFileFormat

namespace {

using namespace IndexFileFormat;

const char kMagic[8] = {'V', 'I', 'D', 'X', 'F', 'I', 'L', 'E'};
constexpr uint32_t kVersion = 1;
constexpr size_t kBlockBytes = size_t(ENTRIES_PER_BLOCK) * ENTRY_SIZE;  // 64 KiB
// Reads and checksums 16 blocks (1 MiB) per system call.
constexpr size_t kBufferBlocks = 16;
constexpr size_t kGuidOffset = 48;
constexpr size_t kGuidField = 64;
constexpr size_t kHeaderCrcOffset = HEADER_SIZE - 4;

struct Header {
    uint64_t entryCount = 0;
    uint64_t blockCount = 0;
    uint32_t tableCrc = 0;
    std::string poolGuid;

    uint64_t fileSize() const { return HEADER_SIZE + entryCount * ENTRY_SIZE + blockCount * 4; }
};

std::string encodeHeader(const Header& h) {
    std::string out(kMagic, sizeof kMagic);
    StorageCodec::putU32(out, kVersion);
    StorageCodec::putU32(out, HEADER_SIZE);
    StorageCodec::putU32(out, ENTRY_SIZE);
    StorageCodec::putU32(out, ENTRIES_PER_BLOCK);
    StorageCodec::putU64(out, h.entryCount);
    StorageCodec::putU64(out, h.blockCount);
    StorageCodec::putU32(out, h.tableCrc);
    StorageCodec::putU32(out, static_cast<uint32_t>(h.poolGuid.size()));
    out += h.poolGuid;
    out.resize(HEADER_SIZE - 4, '\0');
    StorageCodec::putU32(out, StorageCodec::crc32c(out.data(), out.size()));
    return out;
}

Header decodeHeader(const unsigned char* p, uint64_t fileSize, const std::string& path) {
    if (std::memcmp(p, kMagic, sizeof kMagic) != 0) throw FileError(path, "not an index file (wrong magic number)");
    if (StorageCodec::getU32(p + kHeaderCrcOffset) != StorageCodec::crc32c(p, kHeaderCrcOffset))
        throw FileError(path, "index header checksum mismatch");
    const uint32_t version = StorageCodec::getU32(p + 8);
    if (version != kVersion) throw FileError(path, "unsupported index file version " + std::to_string(version));
    if (StorageCodec::getU32(p + 12) != HEADER_SIZE || StorageCodec::getU32(p + 16) != ENTRY_SIZE ||
        StorageCodec::getU32(p + 20) != ENTRIES_PER_BLOCK)
        throw FileError(path, "unsupported index layout (header size " + std::to_string(StorageCodec::getU32(p + 12)) +
                                  ", entry size " + std::to_string(StorageCodec::getU32(p + 16)) +
                                  ", entries per block " + std::to_string(StorageCodec::getU32(p + 20)) + ")");
    Header h;
    h.entryCount = StorageCodec::getU64(p + 24);
    h.blockCount = StorageCodec::getU64(p + 32);
    h.tableCrc = StorageCodec::getU32(p + 40);
    const uint32_t guidLength = StorageCodec::getU32(p + 44);
    if (guidLength > MAX_POOL_GUID) throw FileError(path, "pool GUID length " + std::to_string(guidLength) + " too long");
    h.poolGuid.assign(reinterpret_cast<const char*>(p + kGuidOffset), guidLength);
    if (h.poolGuid.find('\0') != std::string::npos) throw FileError(path, "pool GUID holds a zero byte");
    // Counts are checked against the size before anything is computed from
    // them, so a damaged count can neither overflow nor allocate.
    const uint64_t maxEntries = fileSize / ENTRY_SIZE;
    if (h.entryCount > maxEntries)
        throw FileError(path, "declares " + std::to_string(h.entryCount) + " entries, more than its " +
                                  std::to_string(fileSize) + " bytes can hold (truncated or corrupt)");
    const uint64_t blocks = (h.entryCount + ENTRIES_PER_BLOCK - 1) / ENTRIES_PER_BLOCK;
    if (h.blockCount != blocks)
        throw FileError(path, "declares " + std::to_string(h.blockCount) + " checksum blocks where " +
                                  std::to_string(h.entryCount) + " entries need " + std::to_string(blocks));
    if (fileSize != h.fileSize())
        throw FileError(path, "file is " + std::to_string(fileSize) + " bytes but its header declares " +
                                  std::to_string(h.fileSize()) + " (truncated or extended)");
    return h;
}

IndexEntry decodeEntry(const unsigned char* p) {
    IndexEntry e;
    e.safesetNumber = StorageCodec::getU32(p);
    e.recordId = StorageCodec::getU32(p + 4);
    e.key = StorageCodec::getU64(p + 8);
    e.offset = StorageCodec::getU64(p + 16);
    e.size = StorageCodec::getU32(p + 24);
    e.flags = StorageCodec::getU32(p + 28);
    return e;
}

void encodeEntry(const IndexEntry& e, unsigned char* p) {
    std::string out;
    out.reserve(ENTRY_SIZE);
    StorageCodec::putU32(out, e.safesetNumber);
    StorageCodec::putU32(out, e.recordId);
    StorageCodec::putU64(out, e.key);
    StorageCodec::putU64(out, e.offset);
    StorageCodec::putU32(out, e.size);
    StorageCodec::putU32(out, e.flags);
    std::memcpy(p, out.data(), ENTRY_SIZE);
}

// (safeset, record) as one number that orders like the pair.
inline uint64_t orderKey(uint32_t safeset, uint32_t record) { return (uint64_t(safeset) << 32) | record; }

bool before(uint32_t safesetA, uint32_t recordA, uint32_t safesetB, uint32_t recordB) {
    return safesetA < safesetB || (safesetA == safesetB && recordA < recordB);
}

// The file layer's error as a FileError whose text starts with the path:
// "<path>: cannot read <path>: <reason>".
FileError fromLayer(const std::string& path, const std::exception& e) { return FileError(path, e.what()); }

// Reads exactly `size` bytes at `offset`; a short read means the file shrank.
void readExactly(const VaultFiles::ReadableFile& file, void* buffer, size_t size, uint64_t offset,
                 const std::string& path) {
    size_t got;
    try {
        got = file.readAt(offset, buffer, size);
    } catch (const std::exception& e) {
        throw fromLayer(path, e);
    }
    if (got != size)
        throw FileError(path, "file ends at byte " + std::to_string(offset + got) + " (shortened while read)");
}

}  // namespace

struct IndexFileBase::State {
    std::string path;
    std::unique_ptr<VaultFiles::ReadableFile> file;
    uint64_t size = 0;
    bool headerChecked = false;
    Header header;
    std::vector<uint32_t> table;
    // Reused by every read of entries (never more than kBufferBlocks blocks).
    std::vector<unsigned char> buffer;
    std::vector<uint32_t> bufferCrcs;
    // Where readNextEntries goes on.
    uint64_t nextEntry = 0;
    // Keeps the entries after those being read coming from the device.
    VaultFiles::ReadAhead readAhead;
    bool readingAhead = false;

    uint64_t entriesEnd() const { return HEADER_SIZE + header.entryCount * ENTRY_SIZE; }

    // Announces the entries from `offset` on, once per pass.
    void readAheadFrom(uint64_t offset) {
        if (readingAhead) return;
        readAhead.start(*file, offset, entriesEnd());
        readingAhead = true;
    }

    // Appends entries [first, first + count) (within the file's entries) to
    // `result`, reading whole pieces of kBufferBlocks blocks from the
    // piece that holds `first`, each checked against its checksums.
    void readEntriesInto(uint64_t first, size_t count, std::vector<IndexEntry>& result) {
        const uint64_t firstBlock = first / ENTRIES_PER_BLOCK;
        const uint64_t endBlock = (first + count + ENTRIES_PER_BLOCK - 1) / ENTRIES_PER_BLOCK;
        const uint64_t end = entriesEnd();
        result.reserve(result.size() + count);  // one allocation, not a chain of growing copies
        for (uint64_t block = firstBlock; block < endBlock; block += kBufferBlocks) {
            const uint64_t start = HEADER_SIZE + block * kBlockBytes;
            const size_t bytes = static_cast<size_t>(std::min<uint64_t>(kBufferBlocks * kBlockBytes, end - start));
            buffer.resize(bytes);
            readExactly(*file, buffer.data(), bytes, start, path);
            readAhead.reached(start + bytes);
            checkBlocks(block, buffer.data(), bytes, bufferCrcs);
            const uint64_t bufferFirst = block * ENTRIES_PER_BLOCK;
            const uint64_t bufferEnd = bufferFirst + bytes / ENTRY_SIZE;
            for (uint64_t i = std::max(first, bufferFirst); i < std::min(first + count, bufferEnd); ++i)
                result.push_back(decodeEntry(&buffer[static_cast<size_t>((i - bufferFirst) * ENTRY_SIZE)]));
        }
    }

    void requireOpen() const {
        if (!file) throw std::logic_error("index file not open");
    }

    // Header and block table; leaves them in `header` and `table`.
    void checkHeaderAndTable() {
        if (size < HEADER_SIZE)
            throw FileError(path, "file is " + std::to_string(size) + " bytes, smaller than the " +
                                      std::to_string(HEADER_SIZE) + "-byte header");
        unsigned char bytes[HEADER_SIZE];
        readExactly(*file, bytes, HEADER_SIZE, 0, path);
        const Header h = decodeHeader(bytes, size, path);
        std::string tableBytes(static_cast<size_t>(h.blockCount * 4), '\0');
        readExactly(*file, &tableBytes[0], tableBytes.size(), HEADER_SIZE + h.entryCount * ENTRY_SIZE, path);
        if (StorageCodec::crc32c(tableBytes.data(), tableBytes.size()) != h.tableCrc)
            throw FileError(path, "block checksum table checksum mismatch");
        std::vector<uint32_t> t(static_cast<size_t>(h.blockCount));
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = StorageCodec::getU32(reinterpret_cast<const unsigned char*>(tableBytes.data()) + 4 * i);
        header = h;
        table.swap(t);
        headerChecked = true;
        nextEntry = 0;
        readAhead.stop();
        readingAhead = false;
    }

    // Checks blocks [firstBlock, firstBlock + n) held in `data` (`bytes` long).
    void checkBlocks(uint64_t firstBlock, const unsigned char* data, size_t bytes, std::vector<uint32_t>& crcs) const {
        const size_t n = (bytes + kBlockBytes - 1) / kBlockBytes;
        crcs.resize(n);
        StorageCodec::crc32cChunks(data, bytes, kBlockBytes, crcs.data());
        for (size_t i = 0; i < n; ++i)
            if (crcs[i] != table[firstBlock + i]) {
                const uint64_t first = (firstBlock + i) * ENTRIES_PER_BLOCK;
                const uint64_t last = std::min(first + ENTRIES_PER_BLOCK, header.entryCount);
                throw FileError(path, "checksum mismatch in entries [" + std::to_string(first) + ", " +
                                          std::to_string(last) + ")");
            }
    }
};

IndexFileBase::IndexFileBase() : state_(new State) {}

IndexFileBase::~IndexFileBase() = default;

void IndexFileBase::open(const std::string& path, int accessMode, int optimizerHint) {
    if (accessMode != 1)
        throw std::invalid_argument(path + ": index files open for reading only (access mode 1), not " +
                                    std::to_string(accessMode));
    close(false);
    (void)optimizerHint;  // the kernel's read-ahead serves the one sequential pass
    State fresh;
    fresh.path = path;
    try {
        fresh.file = VaultFiles::FileSystem::real().openReadable(path, VaultFiles::Links::Refuse);
    } catch (const VaultFiles::FileError& e) {
        if (e.missing()) throw FileError(path, "index file not found");
        throw fromLayer(path, e);
    }
    fresh.size = fresh.file->status().size;
    *state_ = std::move(fresh);
}

uint64_t IndexFileBase::getPhysicalSize() const {
    state_->requireOpen();
    return state_->size;
}

void IndexFileBase::verify(bool full) {
    State& s = *state_;
    s.requireOpen();
    s.headerChecked = false;
    s.checkHeaderAndTable();
    if (!full) return;
    const uint64_t entriesEnd = s.entriesEnd();
    std::vector<unsigned char>& buffer = s.buffer;
    buffer.resize(static_cast<size_t>(std::min<uint64_t>(kBufferBlocks * kBlockBytes, entriesEnd - HEADER_SIZE)));
    std::vector<uint32_t>& crcs = s.bufferCrcs;
    s.readAheadFrom(HEADER_SIZE);
    uint64_t offset = HEADER_SIZE;
    uint64_t block = 0;
    uint64_t entryIndex = 0;
    bool havePrevious = false;
    uint32_t previousSafeset = 0, previousRecord = 0;
    while (offset < entriesEnd) {
        const size_t bytes = static_cast<size_t>(std::min<uint64_t>(buffer.size(), entriesEnd - offset));
        readExactly(*s.file, buffer.data(), bytes, offset, s.path);
        s.readAhead.reached(offset + bytes);
        s.checkBlocks(block, buffer.data(), bytes, crcs);
        // The order check runs without a branch per entry; only a buffer that
        // holds a bad pair is walked again to name the entry.
        bool disordered = false;
        uint64_t previous = havePrevious ? orderKey(previousSafeset, previousRecord) : 0;
        for (size_t at = 0; at < bytes; at += ENTRY_SIZE) {
            const uint64_t key = orderKey(StorageCodec::getU32(&buffer[at]), StorageCodec::getU32(&buffer[at + 4]));
            disordered |= havePrevious & (key <= previous);
            previous = key;
            havePrevious = true;
        }
        if (disordered) {
            uint64_t before = entryIndex == 0 ? 0 : orderKey(previousSafeset, previousRecord);
            for (size_t at = 0; at < bytes; at += ENTRY_SIZE) {
                const uint32_t safeset = StorageCodec::getU32(&buffer[at]);
                const uint32_t record = StorageCodec::getU32(&buffer[at + 4]);
                const uint64_t index = entryIndex + at / ENTRY_SIZE;
                if (index > 0 && orderKey(safeset, record) <= before)
                    throw FileError(s.path, "entry " + std::to_string(index) + " (safeset " + std::to_string(safeset) +
                                                ", record " + std::to_string(record) + ") out of order or repeated");
                before = orderKey(safeset, record);
            }
        }
        entryIndex += bytes / ENTRY_SIZE;
        previousSafeset = static_cast<uint32_t>(previous >> 32);
        previousRecord = static_cast<uint32_t>(previous);
        offset += bytes;
        block += crcs.size();
    }
    s.readAhead.stop();
    s.readingAhead = false;
}

void IndexFileBase::close(bool /*reportErrors*/) {
    // A file open for reading has nothing left to report when it closes.
    state_->readAhead.stop();
    state_->readingAhead = false;
    state_->file.reset();
    state_->headerChecked = false;
}

bool IndexFileBase::isOpen() const { return state_->file != nullptr; }

const std::string& IndexFileBase::path() const { return state_->path; }

uint64_t IndexFileBase::entryCount() const {
    if (!state_->headerChecked) throw std::logic_error("index file not verified");
    return state_->header.entryCount;
}

std::string IndexFileBase::poolGuid() const {
    if (!state_->headerChecked) throw std::logic_error("index file not verified");
    return state_->header.poolGuid;
}

std::vector<IndexEntry> IndexFileBase::readEntries(uint64_t first, size_t count) {
    State& s = *state_;
    s.requireOpen();
    if (!s.headerChecked) s.checkHeaderAndTable();
    if (first > s.header.entryCount || count > s.header.entryCount - first)
        throw std::out_of_range(s.path + ": entries [" + std::to_string(first) + ", +" + std::to_string(count) +
                                ") beyond the " + std::to_string(s.header.entryCount) + " entries");
    std::vector<IndexEntry> result;
    if (count == 0) return result;
    result.reserve(count);
    // A reader of many entries reads them front to back (the delete's
    // rewrite): announce what follows.
    s.readAheadFrom(HEADER_SIZE + (first / ENTRIES_PER_BLOCK) * kBlockBytes);
    s.readEntriesInto(first, count, result);
    return result;
}

size_t IndexFileBase::readNextEntries(std::vector<IndexEntry>& entries, size_t count) {
    State& s = *state_;
    s.requireOpen();
    if (!s.headerChecked) s.checkHeaderAndTable();
    entries.clear();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, s.header.entryCount - s.nextEntry));
    if (n == 0) return 0;
    s.readAheadFrom(HEADER_SIZE + (s.nextEntry / ENTRIES_PER_BLOCK) * kBlockBytes);
    s.readEntriesInto(s.nextEntry, n, entries);
    s.nextEntry += n;
    return n;
}

struct IndexFileWriter::State {
    State(const std::string& p, const std::string& guid, VaultFiles::FileSystem& files)
        : path(p), poolGuid(guid), file(files, p) {}
    std::string path;
    std::string poolGuid;
    VaultFiles::ReplacementFile file;
    std::vector<unsigned char> buffer;
    size_t used = 0;
    uint64_t count = 0;
    std::vector<uint32_t> blockCrcs;
    bool havePrevious = false;
    uint32_t previousSafeset = 0, previousRecord = 0;
    bool committed = false;

    void flush() {
        if (used == 0) return;
        const size_t blocks = (used + kBlockBytes - 1) / kBlockBytes;
        const size_t firstCrc = blockCrcs.size();
        blockCrcs.resize(firstCrc + blocks);
        StorageCodec::crc32cChunks(buffer.data(), used, kBlockBytes, &blockCrcs[firstCrc]);
        file.append(buffer.data(), used);
        used = 0;
    }
};

IndexFileWriter::IndexFileWriter(const std::string& path, const std::string& poolGuid, VaultFiles::FileSystem& files) {
    if (poolGuid.size() > MAX_POOL_GUID || poolGuid.find('\0') != std::string::npos)
        throw std::invalid_argument(path + ": pool GUID '" + poolGuid + "' cannot be stored (at most " +
                                    std::to_string(MAX_POOL_GUID) + " bytes, no zero byte)");
    try {
        state_.reset(new State(path, poolGuid, files));
        state_->buffer.resize(kBufferBlocks * kBlockBytes);
        const std::string placeholder(HEADER_SIZE, '\0');
        state_->file.append(placeholder.data(), placeholder.size());
    } catch (const FileError&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw fromLayer(path, e);
    }
}

IndexFileWriter::~IndexFileWriter() = default;

void IndexFileWriter::append(const IndexEntry& entry) {
    State& s = *state_;
    if (s.committed) throw std::logic_error(s.path + ": entry appended after commit");
    if (s.havePrevious && !before(s.previousSafeset, s.previousRecord, entry.safesetNumber, entry.recordId))
        throw std::invalid_argument(s.path + ": entry (safeset " + std::to_string(entry.safesetNumber) + ", record " +
                                    std::to_string(entry.recordId) + ") not after the one before it");
    s.previousSafeset = entry.safesetNumber;
    s.previousRecord = entry.recordId;
    s.havePrevious = true;
    encodeEntry(entry, &s.buffer[s.used]);
    s.used += ENTRY_SIZE;
    ++s.count;
    if (s.used == s.buffer.size()) {
        try {
            s.flush();
        } catch (const std::runtime_error& e) {
            throw fromLayer(s.path, e);
        }
    }
}

void IndexFileWriter::commit() {
    State& s = *state_;
    if (s.committed) return;
    try {
        s.flush();
        std::string table;
        table.reserve(s.blockCrcs.size() * 4);
        for (const uint32_t crc : s.blockCrcs) StorageCodec::putU32(table, crc);
        Header h;
        h.entryCount = s.count;
        h.blockCount = s.blockCrcs.size();
        h.tableCrc = StorageCodec::crc32c(table.data(), table.size());
        h.poolGuid = s.poolGuid;
        s.file.append(table.data(), table.size());
        const std::string header = encodeHeader(h);
        s.file.writeAt(0, header.data(), header.size());
        s.file.commit();
    } catch (const std::runtime_error& e) {
        throw fromLayer(s.path, e);
    }
    s.committed = true;
}

uint64_t IndexFileWriter::entryCount() const { return state_->count; }
