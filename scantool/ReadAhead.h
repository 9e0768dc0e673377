// Warming the small files of the tasks the scan will check next.
//
// On a cold page cache a breadth scan waits for one small file at a time: the
// synchronisation files, the sync list and the file-list containers of each
// task, and the folders that hold them. The walk announces the folders of the
// next tasks (in walk order) before it reaches them; a small, bounded pool of
// reader threads opens those files and asks the kernel to read them
// (posix_fadvise WILLNEED), so several tasks' reads are in flight while the
// one scan thread decides, logs and writes results in order.
//
// Warming only brings pages into the cache: it decides nothing, logs nothing,
// and a file that cannot be opened or read is skipped without a word (the
// scan's own read reports the problem, as without read-ahead). Files are
// opened without following links and without blocking, and only regular
// files are warmed; containers above kMaxWarmedSize are left to the scan's
// own sequential reads. Tasks the scan has already passed are skipped.
//
// On a warm cache the readers would only repeat the scan's own opens. So a
// reader checks, without waiting, whether a task's first synchronisation
// file was already in the cache; after kCachedInARowToRest such tasks in a
// row the pool rests, warming only every kProbeEvery-th task, and the first
// of those found not cached wakes it again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Trevalon {

class ReadAhead {
public:
    static const unsigned kDefaultTasksAhead = 32;
    static const unsigned kMaxReaders = 8;
    static const uint64_t kMaxWarmedSize = 1024 * 1024;
    static const unsigned kCachedInARowToRest = 32;
    static const unsigned kProbeEvery = 16;

    // `tasksAhead` 0 turns read-ahead off (no thread is started).
    explicit ReadAhead(unsigned tasksAhead);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    unsigned tasksAhead() const { return tasksAhead_; }

    // The task numbered `sequence` (in walk order) keeps its synchronisation
    // files in `syncFolder` (ending in '/'); its pool folder is "pool/" beside it.
    void announce(uint64_t sequence, std::string syncFolder);
    // The scan now checks task `sequence`: earlier announcements are stale.
    void reached(uint64_t sequence);

    // Warms one task's files now, in the calling thread (what a reader does).
    // True when its first synchronisation file was in the cache already.
    static bool warmTask(const std::string& syncFolder);

private:
    struct Job {
        uint64_t sequence;
        std::string syncFolder;
    };
    void readerLoop();

    unsigned tasksAhead_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    uint64_t reached_ = 0;
    bool stopping_ = false;
    // Tasks found cached in a row (at most kCachedInARowToRest).
    std::atomic<unsigned> cachedInARow_{0};
    std::vector<std::thread> readers_;
};

// The number of tasks to read ahead: [numbers] ScanReadAhead of the node
// configuration, else ReadAhead::kDefaultTasksAhead.
unsigned configuredTasksAhead();

}  // namespace Trevalon
