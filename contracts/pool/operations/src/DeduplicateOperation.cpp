// Deduplicate: makes byte-identical containers of the pool one file. Each
// duplicate is replaced by a hard link to the first of its kind (lowest
// safeset number): the link is made under a temporary name and renamed over
// the duplicate, so the name always holds a whole container. Writers never
// change a container in place (they rename a new file over it), so a shared
// file is never changed under another safeset. The comparison (the long
// part) may be stopped; the replacements, once begun, are completed.
// No follow-up.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "OperationSupport.h"
#include "Operations.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "VaultLog.h"

namespace Pool {
namespace Operations {
namespace {

constexpr size_t kReadSize = 1 << 20;
std::atomic<unsigned> linkCounter{0};

struct Container {
    uint32_t safeset = 0;
    std::string name;
    uint64_t size = 0;
    uint64_t device = 0, inode = 0;
};

class DeduplicateOperation final : public PoolOperation {
public:
    explicit DeduplicateOperation(const PoolOperationCommand& command) : PoolOperation(command) {}

    void run(std::vector<PoolOperationCommand>& /*followUps*/) override {
        const PoolTarget pool(command());
        HeldTaskLock lock(pool.task);
        checkpoint("locked");
        pool.requirePoolFolder();

        // Candidates: listed containers of equal size, then of equal checksum.
        std::map<uint64_t, std::vector<Container>> bySize;
        std::map<std::string, bool> seen;
        for (const auto& entry : pool.readSyncList()) {
            if (seen[entry.containerFileName]) continue;  // one file listed twice is shared already
            seen[entry.containerFileName] = true;
            // Opened as every reader of the pool opens a container: a link,
            // a missing file or anything but a regular file is refused, with
            // the file named and the reason.
            const std::string path = pool.folder + entry.containerFileName;
            VaultFiles::FileStatus st;
            try {
                st = VaultFiles::FileSystem::real().openReadable(path, VaultFiles::Links::Refuse)->status();
            } catch (const VaultFiles::FileError& e) {
                throw pool.error(ErrorNumber::CONTAINER_UNREADABLE, e.what());
            }
            bySize[st.size].push_back(Container{entry.safesetNumber, entry.containerFileName, st.size, st.device, st.inode});
        }
        std::vector<std::pair<const Container*, const Container*>> replacements;  // (keep, duplicate)
        for (const auto& group : bySize) {
            if (group.second.size() < 2) continue;
            std::map<uint32_t, std::vector<const Container*>> byChecksum;
            for (const Container& c : group.second) {
                checkpoint("checksum");
                byChecksum[checksumOf(pool, c)].push_back(&c);
            }
            for (const auto& same : byChecksum) {
                std::vector<const Container*> kinds;  // the first of each distinct content
                for (const Container* c : same.second) {
                    checkpoint("compare");
                    const Container* match = nullptr;
                    for (const Container* kept : kinds)
                        if ((kept->device == c->device && kept->inode == c->inode) || sameBytes(pool, *kept, *c)) {
                            match = kept;
                            break;
                        }
                    if (!match) kinds.push_back(c);
                    else if (match->inode != c->inode || match->device != c->device) replacements.push_back({match, c});
                }
            }
        }
        checkpoint("compared");

        for (const auto& r : replacements) {
            linkOver(pool, *r.first, *r.second);
            progressPoint("linked");
        }
        if (!replacements.empty()) {
            syncFolder(pool.folder);
            log_show(54, 4097, "Deduplicate of %s: %zu containers now share the file of an identical one",
                     pool.taskText().c_str(), replacements.size());
        }
    }

private:
    template <typename Chunk>
    static void readAll(const PoolTarget& pool, const std::string& path, Chunk chunk) {
        try {
            auto file = VaultFiles::FileSystem::real().openReadable(path, VaultFiles::Links::Refuse);
            std::unique_ptr<char[]> buffer(new char[kReadSize]);
            for (;;) {
                const size_t n = file->read(buffer.get(), kReadSize);
                if (n == 0) break;
                chunk(buffer.get(), n);
            }
        } catch (const VaultFiles::FileError& e) {
            throw pool.error(ErrorNumber::CONTAINER_UNREADABLE, e.what());
        }
    }

    static uint32_t checksumOf(const PoolTarget& pool, const Container& c) {
        uint32_t crc = 0;
        readAll(pool, pool.folder + c.name, [&](const char* data, size_t n) { crc = StorageCodec::crc32c(data, n, crc); });
        return crc;
    }

    static bool sameBytes(const PoolTarget& pool, const Container& a, const Container& b) {
        try {
            auto fileA = VaultFiles::FileSystem::real().openReadable(pool.folder + a.name, VaultFiles::Links::Refuse);
            auto fileB = VaultFiles::FileSystem::real().openReadable(pool.folder + b.name, VaultFiles::Links::Refuse);
            std::unique_ptr<char[]> bufferA(new char[kReadSize]), bufferB(new char[kReadSize]);
            for (;;) {
                const size_t n = fileA->read(bufferA.get(), kReadSize);
                const size_t m = fileB->read(bufferB.get(), kReadSize);
                if (n != m || std::memcmp(bufferA.get(), bufferB.get(), n) != 0) return false;
                if (n == 0) return true;
            }
        } catch (const VaultFiles::FileError& e) {
            throw pool.error(ErrorNumber::CONTAINER_UNREADABLE, e.what());
        }
    }

    static void linkOver(const PoolTarget& pool, const Container& keep, const Container& duplicate) {
        const std::string target = pool.folder + duplicate.name;
        const std::string temporary = pool.folder + "." + duplicate.name + ".tmp." + std::to_string(::getpid()) + "." +
                                      std::to_string(linkCounter.fetch_add(1));
        if (::link((pool.folder + keep.name).c_str(), temporary.c_str()) != 0)
            throw std::runtime_error(temporary + ": cannot link to " + pool.folder + keep.name + ": " +
                                     std::strerror(errno));
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            const int err = errno;
            ::unlink(temporary.c_str());
            throw std::runtime_error(target + ": cannot replace by a link: " + std::strerror(err));
        }
    }
};

}  // namespace

boost::shared_ptr<PoolOperation> makeDeduplicate(const PoolOperationCommand& command) {
    return boost::shared_ptr<PoolOperation>(new DeduplicateOperation(command));
}

}  // namespace Operations
}  // namespace Pool
