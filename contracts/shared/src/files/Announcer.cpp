// The announcer's queue and thread (Announcer.h).
#include "Announcer.h"
#include "VaultFiles.h"

#include <atomic>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace VaultFiles {
namespace detail {
namespace {

// Requests waiting at most: 256 steps of 512 KiB are 128 MiB of advice, far
// more than any reader keeps ahead of itself.
constexpr size_t kMaxQueued = 256;

// Set when the announcer is gone (exit) or unusable (the child of a fork,
// where its thread does not exist and its lock may be held): requests are
// then carried out at once. Trivially destructible, so readable at any time.
std::atomic<bool> adviseInCaller{false};

struct Request {
    std::shared_ptr<const SharedDescriptor> file;  // or
    std::string path;
    uint64_t offset = 0;
    uint64_t size = 0;
};

void carryOut(const Request& request) {
    if (request.file) {
        ::posix_fadvise(request.file->fd(), static_cast<off_t>(request.offset), static_cast<off_t>(request.size),
                        POSIX_FADV_WILLNEED);
        return;
    }
    const int fd = ::open(request.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        ::posix_fadvise(fd, static_cast<off_t>(request.offset), static_cast<off_t>(request.size), POSIX_FADV_WILLNEED);
    ::close(fd);
}

class Announcer {
public:
    // Never destroyed: its thread is stopped by an exit handler instead, so
    // that the child of a fork, where that thread does not exist, neither
    // joins it nor destroys a joinable std::thread when it exits.
    static Announcer& instance() {
        static Announcer* announcer = new Announcer;
        return *announcer;
    }

    void submit(Request request) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (stopping_ || queue_.size() >= kMaxQueued) return;
            if (!thread_.joinable()) thread_ = std::thread([this] { serve(); });
            queue_.push_back(std::move(request));
        }
        wake_.notify_one();
    }

    void waitUntilIdle() {
        std::unique_lock<std::mutex> hold(lock_);
        idle_.wait(hold, [this] { return queue_.empty() && !busy_; });
    }

private:
    Announcer() {
        ::pthread_atfork(&beforeFork, &afterForkInParent, &afterForkInChild);
        std::atexit(&stopAtExit);
    }

    // At exit, in the process that owns the thread: stop and join it. The
    // child of a fork has `adviseInCaller` set and leaves it alone.
    static void stopAtExit() {
        if (adviseInCaller.exchange(true)) return;
        Announcer& self = instance();
        {
            std::lock_guard<std::mutex> hold(self.lock_);
            self.stopping_ = true;
            self.queue_.clear();
        }
        self.wake_.notify_one();
        if (self.thread_.joinable()) self.thread_.join();
    }

    // A fork waits until the thread is between requests and holds the lock
    // over it. The thread allocates and frees while it works, and an
    // allocator copied in the middle of that (a sanitizer's is not reset at
    // fork) could leave the child stuck at its first allocation.
    static thread_local bool heldForFork;
    static void beforeFork() {
        if (adviseInCaller) return;
        Announcer& self = instance();
        std::unique_lock<std::mutex> hold(self.lock_);
        self.idle_.wait(hold, [&self] { return !self.busy_; });
        hold.release();
        heldForFork = true;
    }
    static void afterForkInParent() {
        if (!heldForFork) return;
        heldForFork = false;
        instance().lock_.unlock();
    }
    static void afterForkInChild() {
        adviseInCaller = true;  // the thread is not copied into the child
        if (!heldForFork) return;
        heldForFork = false;
        instance().lock_.unlock();
    }

    void serve() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            Request request = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            hold.unlock();
            carryOut(request);
            request = Request();  // the last holder of a descriptor closes it outside the lock
            hold.lock();
            busy_ = false;
            idle_.notify_all();  // waitUntilIdle, and a fork waiting to start
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Request> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

thread_local bool Announcer::heldForFork = false;

void submit(Request request) {
    if (adviseInCaller) {
        carryOut(request);
        return;
    }
    Announcer::instance().submit(std::move(request));
}

}  // namespace

SharedDescriptor::~SharedDescriptor() {
    ::close(fd_);
}

void adviseWillNeed(const std::shared_ptr<const SharedDescriptor>& file, uint64_t offset, uint64_t size) {
    Request request;
    request.file = file;
    request.offset = offset;
    request.size = size;
    submit(std::move(request));
}

void adviseWillNeed(const std::string& path, uint64_t offset, uint64_t size) {
    Request request;
    request.path = path;
    request.offset = offset;
    request.size = size;
    submit(std::move(request));
}

}  // namespace detail

bool firstPageCached(int fd) {
    char byte;
    iovec piece{&byte, 1};
    return ::preadv2(fd, &piece, 1, 0, RWF_NOWAIT) == 1;
}

void waitForAnnouncements() {
    if (!detail::adviseInCaller) detail::Announcer::instance().waitUntilIdle();
}

}  // namespace VaultFiles
