// Read-ahead for the storage scan: a few reader threads that open, in the
// walk's own order, the folders and label files the scan will reach next,
// so that on a cold cache several of them are being read from the device at
// once while the scan reads one thing at a time.
//
// The readers only warm the cache. They decide nothing, add nothing to the
// tables and log nothing; whatever fails for them is ignored (the scan's own
// read of the same thing reports it). They walk by descriptor from the root
// exactly as the scan does: every folder opened relative to its parent
// without following a link, every label opened without following a link and
// without blocking, only regular files announced (posix_fadvise WILLNEED).
//
// Bounds: at most 16 folders a reader are warmed ahead of the folder the scan
// is in, folders deeper than kMaxDepth below the root are left alone, and
// each reader holds at most two descriptors at a time.
//
// On a warm cache the readers would only repeat the scan's own opens. So a
// reader asks, without waiting (RWF_NOWAIT), whether each label it warms is
// in the cache already; after kCachedInARowToRest such labels in a row the
// readers rest and forget their queue. Every kProbeEveryFolders folders the
// scan enters while they rest, they start again from the root (down to where
// the scan is, then ahead of it); a label found not cached keeps them going,
// two more found cached put them back to rest.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <queue>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace Catalogue {

class ReadAhead {
public:
    static constexpr size_t kMaxDepth = 16;
    static constexpr unsigned kCachedInARowToRest = 32;
    static constexpr unsigned kProbeEveryFolders = 256;

    // Starts `readers` threads below the open folder `rootFd` (duplicated;
    // the caller keeps its own). With 0 readers, or when nothing can be
    // started, the object does nothing.
    ReadAhead(int rootFd, unsigned readers, const std::string& labelName);
    // Stops the readers (each finishes the folder it is reading) and waits.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The scan entered the folder at `position`: the indexes, in each
    // folder's listing from the root down, of the entries leading to it.
    // Everything at or before it in the walk's order is no longer warmed.
    void entered(const std::vector<uint32_t>& position);

    bool active() const { return !threads_.empty(); }

private:
    using Key = std::vector<uint32_t>;
    struct Job {
        Key key;
        std::vector<std::string> names;  // from the root down
    };
    struct Later {
        bool operator()(const Job& a, const Job& b) const { return b.key < a.key; }
    };

    void run();
    // Takes the next job the scan has not passed, waiting while the window
    // is full; false when stopping.
    bool take(Job& job);
    void warm(const Job& job);
    // Announces the label; answers whether it was in the cache already (1),
    // not (0), or was not announced (-1: not a regular file, too large...).
    int warmLabel(int folderFd, const char* name);
    // After a job: counts what its labels said, rests or queues `found`.
    void finish(int labelsCached, std::vector<Job>& found);

    int rootFd_ = -1;
    std::string labelName_;
    size_t window_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    Key position_;
    std::priority_queue<Job, std::vector<Job>, Later> jobs_;
    std::set<Key> ahead_;  // folders taken for warming that the scan has not entered yet
    bool resting_ = false;
    unsigned cachedInARow_ = 0;      // labels found cached in a row, at most kCachedInARowToRest
    uint64_t enteredWhileResting_ = 0;
    std::vector<std::thread> threads_;
};

}  // namespace Catalogue
