// Checks run ahead by a few threads: whatever the number of threads, the
// caller sees the pieces, results and first failure of running every check
// itself, in order; a stop ends the threads' work; and a verify says the
// same of a pool with any number of verify threads.
#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChecksAhead.h"
#include "PoolFixture.h"

namespace {

using Pool::Operations::Check;
using Pool::Operations::ChecksAhead;
using Pool::Operations::PieceHook;

const char* const kPieceNames[] = {"a", "b", "c", "d", "e"};

// Check i reports i % 5 + 1 pieces, burning a little processor time in each
// (uneven, so later checks often finish before earlier ones), and stores
// i * i; the checks named in `failing` throw after their second piece.
std::vector<Check> someChecks(size_t count, std::vector<uint64_t>& out, const std::vector<size_t>& failing) {
    out.assign(count, 0);
    std::vector<Check> checks;
    for (size_t i = 0; i < count; ++i) {
        checks.push_back([&out, i, failing](const PieceHook& pieceDone) {
            for (size_t p = 0; p <= i % 5; ++p) {
                volatile uint64_t sink = 0;
                for (size_t k = 0; k < 20000 * ((i * 7) % 13 + 1); ++k) sink = sink + k;
                pieceDone(kPieceNames[p]);
                if (p == 1 && std::find(failing.begin(), failing.end(), i) != failing.end())
                    throw std::runtime_error("check " + std::to_string(i) + " failed");
            }
            out[i] = uint64_t(i) * i;
        });
    }
    return checks;
}

struct Taken {
    std::vector<std::string> pieces;
    std::string failure;  // the text of the first failure; empty: none
    std::vector<uint64_t> results;
};

// Takes every check in order, as an operation does, until one fails.
Taken takeAll(size_t count, unsigned threads, const std::vector<size_t>& failing, bool lastFirst) {
    Taken taken;
    std::vector<uint64_t> out;
    ChecksAhead ahead(someChecks(count, out, failing), threads, [] { return false; }, lastFirst);
    try {
        for (size_t i = 0; i < count; ++i) ahead.take(i, [&](const char* name) { taken.pieces.push_back(name); });
    } catch (const std::runtime_error& e) {
        taken.failure = e.what();
    }
    taken.results = out;
    return taken;
}

TEST(ChecksAhead, EveryNumberOfThreadsGivesThePiecesResultsAndFirstFailureOfOneThread) {
    const struct {
        const char* name;
        std::vector<size_t> failing;
    } cases[] = {{"none fails", {}}, {"one fails", {17}}, {"a later one fails too", {29, 17}}, {"the first", {0}},
                 {"the last", {39}}};
    for (const auto& c : cases) {
        const Taken alone = takeAll(40, 0, c.failing, false);
        for (const bool lastFirst : {false, true}) {
            for (const unsigned threads : {1u, 2u, 3u, 8u, 64u}) {
                const Taken together = takeAll(40, threads, c.failing, lastFirst);
                const std::string how = std::to_string(threads) + " threads" + (lastFirst ? ", the last first" : "");
                EXPECT_EQ(alone.pieces, together.pieces) << c.name << ", " << how;
                EXPECT_EQ(alone.failure, together.failure) << c.name << ", " << how;
                // What was taken before the failure is the same; later checks may have run or not.
                const size_t end = c.failing.empty() ? 40 : *std::min_element(c.failing.begin(), c.failing.end());
                for (size_t i = 0; i < end; ++i)
                    EXPECT_EQ(alone.results[i], together.results[i]) << c.name << ", " << how << ", check " << i;
            }
        }
        if (c.failing.empty()) {
            EXPECT_EQ(39u * 39u, alone.results[39]);
        }
    }
}

// A stop asked while the threads are ahead: they end their checks at the
// next piece, the caller is stopped at the first piece after the request, at
// the same place as without threads, and nothing waits for the rest.
TEST(ChecksAhead, AStopEndsTheThreadsWorkAndStopsTheCallerWhereOneThreadWould) {
    struct Interrupted {};
    for (const unsigned threads : {0u, 2u, 4u}) {
        std::atomic<bool> stop{false};
        std::atomic<size_t> piecesRun{0};
        std::vector<Check> checks;
        for (size_t i = 0; i < 16; ++i)
            checks.push_back([&](const PieceHook& pieceDone) {
                for (int p = 0; p < 200; ++p) {
                    ++piecesRun;
                    pieceDone("piece");
                }
            });
        std::vector<size_t> seenAt;
        size_t seen = 0;
        bool interrupted = false;
        {
            ChecksAhead ahead(std::move(checks), threads, [&] { return stop.load(); });
            try {
                for (size_t i = 0; i < 16; ++i)
                    ahead.take(i, [&](const char*) {
                        if (++seen == 500) stop = true;  // in the third check
                        if (stop) throw Interrupted{};
                    });
            } catch (const Interrupted&) {
                interrupted = true;
            }
        }  // joined here: the threads saw the stop
        EXPECT_TRUE(interrupted) << threads << " threads";
        EXPECT_EQ(500u, seen) << threads << " threads";
        EXPECT_LT(piecesRun.load(), 16u * 200u) << threads << " threads: every check ran to its end";
    }
}

// A stop request that is withdrawn before the caller reaches the stopped
// check: the check is run again in the caller's thread, so every result is
// there and nothing fails.
TEST(ChecksAhead, ACheckStoppedByAWithdrawnRequestIsRunAgainByTheCaller) {
    std::vector<uint64_t> out;
    std::atomic<int> asked{0};
    ChecksAhead ahead(someChecks(20, out, {}), 3, [&] { return ++asked <= 3; });  // the first three pieces stop
    for (size_t i = 0; i < 20; ++i) ahead.take(i, [](const char*) {});
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(uint64_t(i) * i, out[i]) << "check " << i;
}

// A verify of the same pools with 0 to 8 verify threads: the same
// checkpoints on a whole pool, and the same error for each damage.
class VerifyThreadsTest : public PoolTest {
protected:
    void useVerifyThreads(unsigned threads) {
        const std::string path = temp_.path() + "node-" + std::to_string(threads) + ".conf";
        StorageTest::writeBytes(path, "[node]\nLockFolder=" + temp_.path() + "locks\n[numbers]\nOptimizeLockTimeout=200\n"
                                      "VerifyThreads=" + std::to_string(threads) + "\n");
        ::setenv("VAULT_NODE_CONFIG", path.c_str(), 1);
    }
};

TEST_F(VerifyThreadsTest, EveryNumberOfThreadsSaysTheSameOfAPool) {
    const std::string container2 = StorageTest::readBytes(path(2));
    const std::string container4 = StorageTest::readBytes(path(4));
    const std::string index = StorageTest::readBytes(poolFolder() + "pool.vix");
    const struct {
        const char* name;
        std::function<void()> damage;
    } cases[] = {
        {"whole", [] {}},
        {"a record of the second container",
         [&] { StorageTest::writeBytes(path(2), StorageTest::withFlippedBits(container2, 64 + 128 * 7, 1)); }},
        {"the second and the fourth, the index",
         [&] {
             StorageTest::writeBytes(path(4), container4.substr(0, 500));
             StorageTest::writeBytes(path(2), StorageTest::withFlippedBits(container2, 64 + 128 * 7, 1));
             StorageTest::writeBytes(poolFolder() + "pool.vix", StorageTest::withFlippedBits(index, 600, 1));
         }},
        {"the index alone",
         [&] { StorageTest::writeBytes(poolFolder() + "pool.vix", StorageTest::withFlippedBits(index, 600, 1)); }},
        {"a missing last container", [&] { ::unlink(path(5).c_str()); }},
    };
    for (const auto& c : cases) {
        std::string firstError;
        int32_t firstNumber = -1;
        std::vector<std::string> firstCheckpoints;
        for (const unsigned threads : {0u, 1u, 2u, 8u}) {
            SetUp();
            c.damage();
            useVerifyThreads(threads);
            std::vector<std::string> checkpoints;
            int32_t number = 0;
            lastError_.clear();
            try {
                run(command(Pool::POOL_COMMAND_VERIFY), [&](const char* name) { checkpoints.push_back(name); });
            } catch (const Pool::PoolError& e) {
                number = e.getErrorNumber();
                lastError_ = e.what();
            }
            if (threads == 0) {
                firstError = lastError_;
                firstNumber = number;
                firstCheckpoints = checkpoints;
                continue;
            }
            EXPECT_EQ(firstNumber, number) << c.name << ", " << threads << " threads";
            EXPECT_EQ(firstError, lastError_) << c.name << ", " << threads << " threads";
            EXPECT_EQ(firstCheckpoints, checkpoints) << c.name << ", " << threads << " threads";
        }
        EXPECT_EQ(std::string(c.name) == "whole", firstNumber == 0) << c.name << ": " << firstError;
    }
}

}  // namespace
