// Stopping operations: at every check an operation stops with
// JobInterruptedException and leaves the pool as it was or as the completed
// operation leaves it; and processes killed at every point of a delete or an
// optimize leave whole files, a free lock and a pool a rerun completes.
#include <set>

#include "Pool/Locking.h"
#include "PoolFixture.h"

namespace {

struct PoolState {
    std::vector<uint32_t> main, mirror, list, index;
    std::set<uint32_t> containers;
    bool operator==(const PoolState& o) const {
        return main == o.main && mirror == o.mirror && list == o.list && index == o.index && containers == o.containers;
    }
};

}  // namespace

class InterruptionTest : public PoolTest {
protected:
    // Reads every file in full: a torn file would throw here.
    PoolState state() const {
        PoolState s;
        s.main = synchFile(synchFolder() + "synchset.vss");
        s.mirror = synchFile(synchFolder() + "synchset-mirror.vss");
        s.list = syncList();
        s.index = indexed();
        for (uint32_t n = 1; n <= 5; ++n)
            if (exists(path(n))) s.containers.insert(n);
        return s;
    }
    // The checkpoints an operation passes, in order.
    std::vector<std::string> checkpoints(const Pool::PoolOperationCommand& c) {
        std::vector<std::string> names;
        run(c, [&](const char* name) { names.push_back(name); });
        return names;
    }
    bool lockIsFree() const {
        Pool::Locking::AutoUnlockManager manager(*task_, "");
        Pool::Locking::PoolSystemLock lock(0);
        return manager.lock(lock);
    }
};

TEST_F(InterruptionTest, EveryOperationStoppedAtEveryCheckLeavesThePoolBeforeOrAfter) {
    for (const int32_t code : {0, 1, 2, 3}) {
        const std::vector<uint32_t> safesets = code == 3 ? std::vector<uint32_t>{2, 4} : std::vector<uint32_t>{};
        SetUp();
        if (code == 1) StorageTest::writeBytes(poolFolder() + "00000099.vfl", "orphan");
        if (code == 2) StorageTest::writeBytes(path(2), StorageTest::readBytes(path(1)));
        if (code == 2) Pool::writePoolIndex(poolFolder(), "POOL-A");
        const PoolState before = state();
        const auto names = checkpoints(command(code, safesets));
        const PoolState after = state();
        ASSERT_FALSE(names.empty());
        for (size_t k = 0; k < names.size(); ++k) {
            SetUp();
            if (code == 1) StorageTest::writeBytes(poolFolder() + "00000099.vfl", "orphan");
            if (code == 2) StorageTest::writeBytes(path(2), StorageTest::readBytes(path(1)));
            if (code == 2) Pool::writePoolIndex(poolFolder(), "POOL-A");
            std::vector<Pool::PoolOperationCommand> followUps;
            auto operation = Pool::PoolFactory::getPoolFactory(50)->createOperation(command(code, safesets));
            size_t seen = 0;
            operation->setCheckpointHook([&](const char*) {
                if (seen++ == k) operation->interrupt();
            });
            bool stopped = false;
            try {
                operation->run(followUps);
            } catch (const Pool::JobInterruptedException& e) {
                stopped = true;
                EXPECT_EQ("TASK-G", e.getJobGuid());
            }
            const PoolState now = state();
            EXPECT_TRUE(now == before || now == after) << "command " << code << " at " << names[k];
            // Stopped means unchanged; a point inside a begun change completes it.
            if (stopped) {
                EXPECT_TRUE(now == before) << "command " << code << " at " << names[k];
            } else {
                EXPECT_TRUE(now == after) << "command " << code << " at " << names[k];
            }
            EXPECT_EQ(0, verifyError()) << "command " << code << " at " << names[k] << ": " << lastError_;
            EXPECT_TRUE(lockIsFree());
        }
    }
}

TEST_F(InterruptionTest, AProcessWideStopStopsEveryOperationUntilCleared) {
    Pool::Interruption::request();
    EXPECT_THROW(run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {1})), Pool::JobInterruptedException);
    EXPECT_THROW(run(command(Pool::POOL_COMMAND_VERIFY)), Pool::JobInterruptedException);
    Pool::Interruption::clear();
    EXPECT_TRUE(exists(path(1)));
    EXPECT_NO_THROW(run(command(Pool::POOL_COMMAND_VERIFY)));
}

TEST_F(InterruptionTest, KilledAtEveryPointOfADeleteOrOptimizeARerunCompletesIt) {
    for (const int32_t code : {3, 1}) {
        const std::vector<uint32_t> safesets = code == 3 ? std::vector<uint32_t>{2, 4, 5} : std::vector<uint32_t>{};
        const auto prepare = [&] {
            SetUp();
            if (code == 1) {
                StorageTest::writeBytes(poolFolder() + "00000097.vfl", "orphan");
                StorageTest::writeBytes(poolFolder() + "00000098.vfl", "orphan");
                StorageTest::writeBytes(poolFolder() + ".synclist.vsl.tmp.999999999.1", "dead writer");
            }
        };
        prepare();
        const PoolState before = state();
        const size_t points = checkpoints(command(code, safesets)).size();
        const PoolState after = state();
        for (size_t k = 0; k < points; ++k) {
            prepare();
            const pid_t child = ::fork();
            if (child == 0) {
                size_t seen = 0;
                try {
                    run(command(code, safesets), [&](const char*) {
                        if (seen++ == k) ::raise(SIGKILL);
                    });
                } catch (...) {
                }
                ::_exit(3);
            }
            int status = 0;
            ASSERT_EQ(child, ::waitpid(child, &status, 0));
            ASSERT_TRUE(WIFSIGNALED(status)) << "command " << code << " point " << k;
            // Every file whole (old or new), the lock free at once, and a
            // rerun leaves the pool as a run without a kill does.
            PoolState now;
            ASSERT_NO_THROW(now = state()) << "command " << code << " point " << k;
            EXPECT_TRUE(lockIsFree()) << "command " << code << " point " << k;
            const auto oldOrNew = [](const std::vector<uint32_t>& file, const std::vector<uint32_t>& old,
                                     const std::vector<uint32_t>& fresh) { return file == old || file == fresh; };
            EXPECT_TRUE(oldOrNew(now.main, before.main, after.main)) << "command " << code << " point " << k;
            EXPECT_TRUE(oldOrNew(now.mirror, before.mirror, after.mirror)) << "command " << code << " point " << k;
            EXPECT_TRUE(oldOrNew(now.list, before.list, after.list)) << "command " << code << " point " << k;
            EXPECT_TRUE(oldOrNew(now.index, before.index, after.index)) << "command " << code << " point " << k;
            EXPECT_NO_THROW(run(command(code, safesets))) << "command " << code << " point " << k;
            EXPECT_TRUE(state() == after) << "command " << code << " point " << k;
            EXPECT_EQ(0, verifyError()) << lastError_;
            if (code == 1) {
                EXPECT_FALSE(exists(poolFolder() + "00000097.vfl"));
            }
        }
    }
}
