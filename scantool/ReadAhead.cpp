#include "ReadAhead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "VaultFiles.h"
#include "VaultSettings.h"

namespace Trevalon {

namespace {

const char* const kSyncFiles[] = {"synchset.vss", "synchset-mirror.vss"};
const char* const kSyncListName = "synclist.vsl";
const char* const kContainerSuffix = ".vfl";
const size_t kMaxContainersWarmed = 64;

// Opens `name` in the folder `folderFd` and asks for its pages; never blocks
// on a special file, never follows a link. With `cached`, first says whether
// its first byte is in the cache.
void warmFile(int folderFd, const char* name, bool* cached = nullptr) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        static_cast<uint64_t>(info.st_size) <= ReadAhead::kMaxWarmedSize) {
        if (cached != nullptr) *cached = VaultFiles::firstPageCached(fd);
        (void)::posix_fadvise(fd, 0, info.st_size, POSIX_FADV_WILLNEED);
    }
    ::close(fd);
}

int openFolder(int at, const char* path) {
    return ::openat(at, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool endsWith(const char* name, const char* suffix) {
    const size_t n = std::strlen(name), s = std::strlen(suffix);
    return n >= s && std::memcmp(name + n - s, suffix, s) == 0;
}

}  // namespace

bool ReadAhead::warmTask(const std::string& syncFolder) {
    bool cached = false;
    const int sync = openFolder(AT_FDCWD, syncFolder.c_str());
    if (sync < 0) return cached;
    warmFile(sync, kSyncFiles[0], &cached);
    warmFile(sync, kSyncFiles[1]);
    const int pool = openFolder(sync, "../pool");
    ::close(sync);
    if (pool < 0) return cached;
    warmFile(pool, kSyncListName);
    // The containers of the pool: the sync list names them, and the scan
    // reads those of affected safesets. Listing the folder costs one read
    // and needs no parsing; a container the scan does not read costs a
    // read-ahead of at most kMaxWarmedSize.
    const int listFd = ::dup(pool);
    DIR* listing = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (listing == nullptr) {
        if (listFd >= 0) ::close(listFd);
        ::close(pool);
        return cached;
    }
    size_t warmed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (warmed >= kMaxContainersWarmed) break;
        if (!endsWith(entry->d_name, kContainerSuffix)) continue;
        warmFile(pool, entry->d_name);
        ++warmed;
    }
    ::closedir(listing);
    ::close(pool);
    return cached;
}

ReadAhead::ReadAhead(unsigned tasksAhead) : tasksAhead_(tasksAhead) {
    const unsigned readers = tasksAhead < kMaxReaders ? tasksAhead : kMaxReaders;
    try {
        for (unsigned i = 0; i < readers; ++i) readers_.emplace_back(&ReadAhead::readerLoop, this);
    } catch (...) {
        // Fewer readers (or none): read-ahead is only an aid.
    }
    if (readers_.empty()) tasksAhead_ = 0;
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    for (std::thread& reader : readers_) reader.join();
}

void ReadAhead::announce(uint64_t sequence, std::string syncFolder) {
    if (tasksAhead_ == 0) return;
    if (cachedInARow_.load(std::memory_order_relaxed) >= kCachedInARowToRest && sequence % kProbeEvery != 0)
        return;  // resting: the cache is warm
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({sequence, std::move(syncFolder)});
    }
    wake_.notify_one();
}

void ReadAhead::reached(uint64_t sequence) {
    if (tasksAhead_ == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    reached_ = sequence;
}

void ReadAhead::readerLoop() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            if (job.sequence <= reached_) continue;  // the scan got there first
        }
        if (!warmTask(job.syncFolder)) {
            cachedInARow_.store(0, std::memory_order_relaxed);
        } else if (cachedInARow_.load(std::memory_order_relaxed) < kCachedInARowToRest) {
            cachedInARow_.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

unsigned configuredTasksAhead() {
    unsigned long value = ReadAhead::kDefaultTasksAhead;
    sys_getconfignum("ScanReadAhead", &value, ReadAhead::kDefaultTasksAhead);
    const unsigned long cap = 4096;
    return static_cast<unsigned>(value > cap ? cap : value);
}

}  // namespace Trevalon
