// Checks run ahead by a few threads (ChecksAhead.h).
#include "ChecksAhead.h"

#include <algorithm>

#include "VaultSettings.h"

namespace Pool {
namespace Operations {

namespace {
constexpr unsigned long kMaxThreads = 16;
constexpr unsigned long kDefaultMaxThreads = 4;
}  // namespace

unsigned ChecksAhead::configuredThreads() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned long byDefault = std::min<unsigned long>(cores, kDefaultMaxThreads);
    return static_cast<unsigned>(std::min(sys_getconfignum("VerifyThreads", nullptr, byDefault), kMaxThreads));
}

ChecksAhead::ChecksAhead(std::vector<Check> checks, unsigned threads, std::function<bool()> stopRequested,
                         bool lastFirst)
    : checks_(std::move(checks)),
      stopRequested_(std::move(stopRequested)),
      results_(checks_.size()),
      window_(2 * size_t(threads)),
      lastFirst_(lastFirst) {
    if (threads < 2 || checks_.size() < 2) return;
    threads = static_cast<unsigned>(std::min<size_t>(threads, checks_.size()));
    try {
        for (unsigned t = 0; t < threads; ++t) threads_.emplace_back([this] { serve(); });
    } catch (...) {
        // No thread could be started (resources): those that were work on,
        // and take() runs what nobody started.
    }
}

ChecksAhead::~ChecksAhead() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        cancelled_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void ChecksAhead::serve() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        size_t i = checks_.size();
        changed_.wait(hold, [&] {
            if (cancelled_) return true;
            i = nextToStart();
            return i < checks_.size() || startCursor_ >= checks_.size();
        });
        if (cancelled_ || i >= checks_.size()) return;
        Result& result = results_[i];
        result.started = true;
        hold.unlock();

        std::vector<const char*> pieces;
        std::exception_ptr failure;
        bool stopped = false;
        try {
            checks_[i]([&](const char* name) {
                pieces.push_back(name);
                bool cancelled;
                {
                    std::lock_guard<std::mutex> look(lock_);
                    cancelled = cancelled_;
                }
                if (cancelled || stopRequested_()) throw Stopped{};
            });
        } catch (const Stopped&) {
            stopped = true;
        } catch (...) {
            failure = std::current_exception();
        }

        hold.lock();
        result.pieces = std::move(pieces);
        result.failure = failure;
        result.stopped = stopped;
        result.done = true;
        changed_.notify_all();
    }
}

size_t ChecksAhead::nextToStart() {
    const size_t count = checks_.size();
    if (lastFirst_ && count > 0 && !results_[count - 1].started) return count - 1;
    while (startCursor_ < count && results_[startCursor_].started) ++startCursor_;
    if (startCursor_ < count && startCursor_ < nextToTake_ + window_) return startCursor_;
    return count;  // all started, or the next one is too far ahead for now
}

void ChecksAhead::take(size_t i, const PieceHook& pieceDone) {
    Result* result = nullptr;
    {
        std::unique_lock<std::mutex> hold(lock_);
        nextToTake_ = std::max(nextToTake_, i + 1);
        // Nobody started it (no threads, or they are all busy with earlier
        // ones): this thread runs it.
        if (!results_[i].started) {
            results_[i].started = true;
            hold.unlock();
            changed_.notify_all();
            checks_[i](pieceDone);
            return;
        }
        changed_.notify_all();  // the window moved
        changed_.wait(hold, [&] { return results_[i].done; });
        result = &results_[i];
    }
    for (const char* piece : result->pieces) pieceDone(piece);
    if (result->failure) std::rethrow_exception(result->failure);
    if (result->stopped) checks_[i](pieceDone);
}

}  // namespace Operations
}  // namespace Pool
