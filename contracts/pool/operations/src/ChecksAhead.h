// Checks of a pool's files run ahead of an operation by a few threads.
//
// A verify reads every container and the index of a pool and checksums what
// it reads; on a warm cache that is processor work, and one thread of it
// leaves the other cores idle. Here the checks are run by up to `threads`
// threads, a bounded number of checks ahead of the operation, and the
// operation takes their results in order in its own thread, as if it had
// run each check itself:
// - every piece a check reports (`PieceHook`) is reported again to the
//   operation's hook when the result is taken, in the same order, so its
//   checkpoints (stop requests, a test's kill points) are passed exactly as
//   before;
// - a check's exception is rethrown when its result is taken, so the first
//   failure in the operation's order is the one reported, whatever finished
//   first elsewhere;
// - a check that stopped for a stop request has reported the piece where it
//   stopped; should that checkpoint not stop the operation after all (the
//   request was withdrawn), the check is run again in the caller's thread.
// Checks share nothing but what the caller gives them: each writes only its
// own results, which the caller reads after taking it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Pool {
namespace Operations {

// Called by a check after each piece of its work, with the piece's name.
// May throw to end the check.
using PieceHook = std::function<void(const char* name)>;
using Check = std::function<void(const PieceHook& pieceDone)>;

class ChecksAhead {
public:
    // Starts `threads` threads on `checks` (none when `threads` is below 2:
    // take() then runs each check itself). `stopRequested` is asked after
    // every piece a thread finishes. The threads start the checks in order,
    // except that with `lastFirst` the last one is started first: a long
    // check taken last (a verify's index) then runs beside the others
    // instead of after them.
    ChecksAhead(std::vector<Check> checks, unsigned threads, std::function<bool()> stopRequested,
                bool lastFirst = false);
    // Ends the checks still running (after their current piece) and joins.
    ~ChecksAhead();
    ChecksAhead(const ChecksAhead&) = delete;
    ChecksAhead& operator=(const ChecksAhead&) = delete;

    // Check `i`'s result, in order (i = 0, 1, ...): its pieces reported to
    // `pieceDone`, then its exception, if any, rethrown.
    void take(size_t i, const PieceHook& pieceDone);

    // Threads for a verify: [numbers] VerifyThreads of the node
    // configuration, by default the processor count up to 4; at most 16.
    static unsigned configuredThreads();

private:
    struct Result {
        bool started = false;
        bool done = false;
        bool stopped = false;  // ended by a stop request, not by its own failure
        std::vector<const char*> pieces;
        std::exception_ptr failure;
    };
    struct Stopped {};

    void serve();
    // The next check a thread may start, or checks_.size(). The lock is held.
    size_t nextToStart();

    std::vector<Check> checks_;
    std::function<bool()> stopRequested_;
    std::vector<Result> results_;
    size_t window_;        // checks started at most this far ahead of take()
    bool lastFirst_;
    size_t startCursor_ = 0;  // every check before it has been started
    size_t nextToTake_ = 0;
    bool cancelled_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
};

}  // namespace Operations
}  // namespace Pool
