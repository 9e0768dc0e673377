// Open database connections kept between interfaces, so that an interface
// created for one short call (one task look-up, one verify) does not open a
// connection and check the schema again every time.
//
// Rules that hold for every pool:
// - A connection is held by one owner at a time: take() hands an idle one
//   over and forgets it, giveBack() takes it back. Two owners therefore never
//   share a connection.
// - Connections are kept per key (the SQLite file, the PostgreSQL connection
//   string). take() offers the idle ones of the key, newest first, to the
//   caller's check; those the check refuses are closed before take() returns,
//   so the caller can open a fresh connection with the stale ones gone.
// - At most `maxIdle` connections are idle at once (the oldest is closed
//   first), and one idle longer than `maxIdleTime` is closed: by a thread of
//   the pool that runs while connections are idle and ends when none is, so
//   a process that stops calling holds no connection for long (a SQLite
//   file is then closed, and its log checkpointed, as before pooling). In a
//   child process (after fork()) the pool starts no thread, so that the
//   child stays single-threaded; expired connections are closed there at
//   the next take() or giveBack().
// - Connections inherited across fork() belong to the parent: a pool used in
//   a child leaves them unclosed (closing them would end the parent's
//   sessions) and starts empty.
// - close() closes every idle connection and refuses to keep any until
//   open(); a connection given back meanwhile is closed.
// - The verification generation (1, then one more per call of
//   forgetVerifications()) lets owners tell a verification that still holds:
//   an owner whose connection was verified at an older generation verifies
//   it again before its next use.
// All operations are safe to call from several threads; connections are
// closed outside the pool's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

namespace SqlCatalogue {

template <class Connection>
class ConnectionPool final {
public:
    using Clock = std::chrono::steady_clock;

    ConnectionPool(size_t maxIdle, Clock::duration maxIdleTime) : maxIdle_(maxIdle), maxIdleTime_(maxIdleTime) {}
    ~ConnectionPool() {
        close();
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.notify_all();
        changed_.wait(lock, [this] { return !reaperRunning_; });
    }
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // An idle connection of `key` that `stillGood(Connection&)` accepts, or
    // null when there is none.
    template <class Check>
    std::unique_ptr<Connection> take(const std::string& key, Check stillGood) {
        std::vector<std::unique_ptr<Connection>> stale;
        std::unique_ptr<Connection> found;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            adoptAfterFork();
            expire(stale);
            for (auto entry = idle_.begin(); entry != idle_.end();) {
                if (entry->key != key) {
                    ++entry;
                    continue;
                }
                std::unique_ptr<Connection> candidate = std::move(entry->connection);
                entry = idle_.erase(entry);
                // The check may take a moment (a stat, a poll): the lock is
                // not held meanwhile; the candidate is ours alone already.
                lock.unlock();
                const bool good = stillGood(*candidate);
                lock.lock();
                if (good) {
                    found = std::move(candidate);
                    break;
                }
                stale.push_back(std::move(candidate));
                entry = idle_.begin();
            }
        }
        stale.clear();
        return found;
    }

    // Keeps `connection` for a later take() of `key`, or closes it when the
    // pool is closed.
    void giveBack(const std::string& key, std::unique_ptr<Connection> connection) {
        if (!connection) return;
        std::vector<std::unique_ptr<Connection>> closing;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            adoptAfterFork();
            expire(closing);
            if (!open_) {
                closing.push_back(std::move(connection));
            } else {
                idle_.push_front(Entry{key, std::move(connection), Clock::now()});
                while (idle_.size() > maxIdle_) {
                    closing.push_back(std::move(idle_.back().connection));
                    idle_.pop_back();
                }
                startReaper();
            }
        }
    }

    // Closes every idle connection; until open(), none is kept.
    void close() {
        std::list<Entry> closing;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            adoptAfterFork();
            open_ = false;
            closing.swap(idle_);
            changed_.notify_all();
        }
    }

    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
    }

    size_t idleCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return owner_ == ::getpid() ? idle_.size() : 0;
    }

    // Around fork(): hold the pool's lock while the process is copied, so
    // the child never inherits it locked by another thread (the reaper),
    // and wait until the reaper is not closing connections outside the
    // lock: a child copied in the middle of that would inherit the
    // allocator in the middle of a free. A pool that lives for the whole
    // process registers both with pthread_atfork; the child calls
    // afterFork() too.
    void beforeFork() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !reaperClosing_; });
        lock.release();
    }
    void afterFork() { mutex_.unlock(); }

    uint64_t verificationGeneration() const { return generation_.load(std::memory_order_acquire); }
    void forgetVerifications() { generation_.fetch_add(1, std::memory_order_acq_rel); }

private:
    struct Entry {
        std::string key;
        std::unique_ptr<Connection> connection;
        Clock::time_point since;
    };

    // After fork() the idle connections are the parent's: left open, never
    // used. The lock is held.
    void adoptAfterFork() {
        const pid_t self = ::getpid();
        if (owner_ == self) return;
        for (Entry& entry : idle_) static_cast<void>(entry.connection.release());
        idle_.clear();
        owner_ = self;
        reaperRunning_ = false;  // threads do not survive fork()
    }

    // Starts the thread that closes expired connections, unless it runs.
    // The lock is held.
    void startReaper() {
        if (reaperRunning_ || owner_ != creator_) return;
        reaperRunning_ = true;
        std::thread([this] { reap(); }).detach();
    }

    // Until no connection is idle: waits for the oldest to expire, closes it.
    void reap() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!idle_.empty() && owner_ == ::getpid()) {
            changed_.wait_until(lock, idle_.back().since + maxIdleTime_);
            std::vector<std::unique_ptr<Connection>> closing;
            expire(closing);
            if (closing.empty()) continue;
            reaperClosing_ = true;
            lock.unlock();
            closing.clear();
            lock.lock();
            reaperClosing_ = false;
            changed_.notify_all();
        }
        reaperRunning_ = false;
        changed_.notify_all();
    }

    // Moves the connections idle for too long to `closing`. The lock is held.
    void expire(std::vector<std::unique_ptr<Connection>>& closing) {
        const Clock::time_point oldest = Clock::now() - maxIdleTime_;
        while (!idle_.empty() && idle_.back().since < oldest) {
            closing.push_back(std::move(idle_.back().connection));
            idle_.pop_back();
        }
    }

    const size_t maxIdle_;
    const Clock::duration maxIdleTime_;
    mutable std::mutex mutex_;
    std::list<Entry> idle_;  // newest first
    const pid_t creator_ = ::getpid();  // the process whose pool may run a thread
    pid_t owner_ = creator_;
    bool open_ = true;
    bool reaperRunning_ = false;
    bool reaperClosing_ = false;  // closing expired connections outside the lock
    std::condition_variable changed_;  // idle connections went, or the reaper ended or closed some
    std::atomic<uint64_t> generation_{1};  // 0 means "never verified" to owners
};

}  // namespace SqlCatalogue
