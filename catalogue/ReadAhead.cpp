#include "ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Catalogue/StorageScanner.h"
#include "VaultFiles.h"

namespace Catalogue {
namespace {

int openFolder(int parent, const char* name) {
    int fd;
    do {
        fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// True when `key` is `position` or one of the folders above it.
bool leadsTo(const std::vector<uint32_t>& key, const std::vector<uint32_t>& position) {
    return key.size() <= position.size() && std::equal(key.begin(), key.end(), position.begin());
}

}  // namespace

ReadAhead::ReadAhead(int rootFd, unsigned readers, const std::string& labelName) : labelName_(labelName) {
    if (readers == 0) return;
    rootFd_ = ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0);
    if (rootFd_ < 0) return;
    // Enough folders ahead to keep every reader busy while the scan catches
    // up, few enough that what is warmed is still cached when it is read.
    window_ = 16 * static_cast<size_t>(readers);
    jobs_.push(Job{Key(), {}});
    try {
        for (unsigned i = 0; i < readers; ++i) threads_.emplace_back([this] { run(); });
    } catch (...) {
        // Fewer readers (or none) only means less read-ahead.
    }
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    if (rootFd_ >= 0) ::close(rootFd_);
}

void ReadAhead::entered(const std::vector<uint32_t>& position) {
    if (threads_.empty()) return;
    bool freed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position_ = position;
        if (resting_) {
            if (++enteredWhileResting_ % kProbeEveryFolders != 0) return;
            // A probe: from the root down to the scan, then ahead of it.
            resting_ = false;
            cachedInARow_ = kCachedInARowToRest - 2;
            jobs_.push(Job{Key(), {}});
            freed = true;
        }
        while (!ahead_.empty() && !(position_ < *ahead_.begin())) {
            ahead_.erase(ahead_.begin());
            freed = true;
        }
    }
    if (freed) changed_.notify_all();
}

void ReadAhead::finish(int labelsCached, std::vector<Job>& found) {
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (labelsCached == 0) {
            cachedInARow_ = 0;
        } else if (labelsCached == 1 && cachedInARow_ < kCachedInARowToRest &&
                   ++cachedInARow_ == kCachedInARowToRest) {
            resting_ = true;
            jobs_ = decltype(jobs_)();
            ahead_.clear();
        }
        if (!resting_) {
            for (Job& child : found) jobs_.push(std::move(child));
            queued = !found.empty();
        }
    }
    if (queued) changed_.notify_all();
}

bool ReadAhead::take(Job& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return false;
        if (resting_) {
            changed_.wait(lock);
            continue;
        }
        // Drop what the scan has already passed. A folder the scan is in (or
        // below) is still listed, for its subfolders, but is not ahead.
        while (!jobs_.empty() && !(position_ < jobs_.top().key) && !leadsTo(jobs_.top().key, position_)) jobs_.pop();
        if (!jobs_.empty() && leadsTo(jobs_.top().key, position_)) {
            job = jobs_.top();
            jobs_.pop();
            return true;
        }
        if (!jobs_.empty() && ahead_.size() < window_) {
            job = jobs_.top();
            jobs_.pop();
            ahead_.insert(job.key);
            return true;
        }
        changed_.wait(lock);
    }
}

void ReadAhead::run() {
    Job job;
    while (take(job)) warm(job);
}

void ReadAhead::warm(const Job& job) {
    // From the root down, one name at a time, never through a link. The
    // root is opened afresh: a duplicate would share the listing position
    // of the scan's own descriptor.
    int fd = openFolder(rootFd_, ".");
    for (const std::string& name : job.names) {
        if (fd < 0) return;
        const int next = openFolder(fd, name.c_str());
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    std::vector<Job> found;
    int labelsCached = -1;
    uint32_t index = 0;
    while (const struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (std::strlen(name) >= 260) continue;  // left out of the scan's listing as well (MAX_PATH)
        const uint32_t at = index++;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info {};
            folder = ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        if (folder) {
            if (job.names.size() + 1 > kMaxDepth) continue;
            Job child{job.key, job.names};
            child.key.push_back(at);
            child.names.emplace_back(name);
            found.push_back(std::move(child));
        } else if (isTaskLabelName(name, labelName_)) {
            const int cached = warmLabel(::dirfd(dir), name);
            if (cached >= 0) labelsCached = labelsCached == -1 ? cached : (labelsCached & cached);
        }
    }
    ::closedir(dir);
    finish(labelsCached, found);
}

int ReadAhead::warmLabel(int folderFd, const char* name) {
    int fd;
    do {
        fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    int cached = -1;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        static_cast<unsigned long long>(info.st_size) <= kMaxLabelBytes) {
        cached = VaultFiles::firstPageCached(fd) ? 1 : 0;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    }
    ::close(fd);
    return cached;
}

}  // namespace Catalogue
