// The pool factory and its operations on a real pool: verify finding each
// kind of damage, delete, optimize and deduplicate, their follow-ups, locks
// and refusals.
#include <algorithm>
#include <fstream>

#include "Pool/Locking.h"
#include "PoolFixture.h"

using Pool::ErrorNumber::CONTAINER_CHECKSUM;
using Pool::ErrorNumber::CONTAINER_UNREADABLE;
using Pool::ErrorNumber::DISABLE_TASK_WRITERS;
using Pool::ErrorNumber::INDEX_CHECKSUM;
using Pool::ErrorNumber::POOL_FILE_UNREADABLE;
using Pool::ErrorNumber::SYNC_LIST_DAMAGED;

TEST_F(PoolTest, FactoryRefusesUnknownVersionsCodesAndCommandsItCannotActOn) {
    EXPECT_THROW(Pool::PoolFactory::getPoolFactory(49), std::invalid_argument);
    const auto factory = Pool::PoolFactory::getPoolFactory(50);
    EXPECT_EQ(50u, factory->poolVersion());
    EXPECT_THROW(factory->createOperation(command(7)), std::invalid_argument);
    Pool::PoolOperationCommand noTask = command(0);
    noTask.task.reset();
    EXPECT_THROW(factory->createOperation(noTask), std::invalid_argument);
    Pool::PoolOperationCommand noPool = command(0);
    noPool.poolDescriptor.reset();
    EXPECT_THROW(factory->createOperation(noPool), std::invalid_argument);
    // The online folder under another pool's GUID, a delete of nothing.
    EXPECT_THROW(factory->createOperation(command(0, {}, "POOL-B")), std::invalid_argument);
    EXPECT_THROW(factory->createOperation(command(3)), std::invalid_argument);
    EXPECT_NO_THROW(factory->createOperation(command(0, {}, "pool-a")));  // GUIDs ignore case
}

TEST_F(PoolTest, VerifyPassesACleanPoolAndNamesEveryKindOfDamage) {
    EXPECT_EQ(0, verifyError());
    const std::string container = StorageTest::readBytes(path(3));
    const std::string list = StorageTest::readBytes(poolFolder() + "synclist.vsl");
    const std::string index = StorageTest::readBytes(poolFolder() + "pool.vix");
    struct Case {
        const char* name;
        std::function<void()> damage;
        int32_t expected;
        const char* text;
    };
    const Case cases[] = {
        {"record", [&] { StorageTest::writeBytes(path(3), StorageTest::withFlippedBits(container, 64 + 128 * 7, 1)); },
         CONTAINER_CHECKSUM, "checksum mismatch in records"},
        {"truncated container", [&] { StorageTest::writeBytes(path(3), container.substr(0, 500)); },
         CONTAINER_UNREADABLE, "00000003.vfl"},
        {"missing container", [&] { ::unlink(path(3).c_str()); }, CONTAINER_UNREADABLE, "00000003.vfl"},
        {"sync list", [&] { StorageTest::writeBytes(poolFolder() + "synclist.vsl", StorageTest::withFlippedBits(list, 30, 1)); },
         SYNC_LIST_DAMAGED, "synclist.vsl"},
        {"index entry", [&] { StorageTest::writeBytes(poolFolder() + "pool.vix", StorageTest::withFlippedBits(index, 600, 1)); },
         INDEX_CHECKSUM, "pool.vix"},
        {"stale index", [&] { Carrowen::writeSyncList(poolFolder() + "synclist.vsl", {{1, "8.50", "00000001.vfl"}, {2, "8.50", "00000002.vfl"}, {3, "8.50", "00000003.vfl"}, {4, "8.50", "00000004.vfl"}}); VSynchFiles::writeTaskSet(*task_, {{1, 0, VFileName("a")}}); },
         INDEX_CHECKSUM, "lists safeset 5, which the sync list does not name"},
        {"synch set ahead of the list", [&] { VSynchFiles::writeTaskSet(*task_, {{1, 0, VFileName("a")}, {9, 0, VFileName("b")}}); },
         SYNC_LIST_DAMAGED, "safeset 9 of the synchronisation set is not in the sync list"},
        {"no pool folder", [&] { ASSERT_EQ(0, std::system(("rm -rf '" + poolFolder() + "'").c_str())); },
         POOL_FILE_UNREADABLE, "does not exist"},
    };
    for (const Case& c : cases) {
        SetUp();  // a fresh pool for each case
        c.damage();
        EXPECT_EQ(c.expected, verifyError()) << c.name << ": " << lastError_;
        EXPECT_NE(std::string::npos, lastError_.find(c.text)) << c.name << ": " << lastError_;
    }
    // An unavailable safeset's data is not in the pool: not an error.
    SetUp();
    VSynchFiles::writeTaskSet(*task_, {{1, 0, VFileName("a")}, {9, VSYNCH_PERIPHERAL_UNAVAILABLE, VFileName("b")}});
    EXPECT_EQ(0, verifyError());
}

TEST_F(PoolTest, DeleteRemovesSafesetsFromEveryListThenTheirContainers) {
    const auto followUps = run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {2, 4}));
    const std::vector<uint32_t> left = {1, 3, 5};
    EXPECT_EQ(left, synchFile(synchFolder() + "synchset.vss"));
    EXPECT_EQ(StorageTest::readBytes(synchFolder() + "synchset.vss"),
              StorageTest::readBytes(synchFolder() + "synchset-mirror.vss"));
    EXPECT_EQ(left, syncList());
    EXPECT_EQ(left, indexed());
    EXPECT_FALSE(exists(path(2)));
    EXPECT_FALSE(exists(path(4)));
    EXPECT_TRUE(exists(path(3)));
    // One verify follow-up for the same task, pool and session; it passes.
    ASSERT_EQ(1u, followUps.size());
    EXPECT_EQ(Pool::POOL_COMMAND_VERIFY, followUps[0].command);
    EXPECT_EQ(task_.get(), followUps[0].task.get());
    EXPECT_EQ("POOL-A", followUps[0].poolDescriptor->getPoolGuid());
    EXPECT_EQ("TAG", followUps[0].globalTag);
    EXPECT_TRUE(followUps[0].safesets.empty());
    EXPECT_NO_THROW(run(followUps[0]));
    // Again, and with a safeset that never existed: nothing more to do, no error.
    EXPECT_EQ(1u, run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {2, 4, 77})).size());
    EXPECT_EQ(left, syncList());
}

TEST_F(PoolTest, DeleteChangesNothingWhileASynchronisationFileIsDamaged) {
    const std::string mirror = synchFolder() + "synchset-mirror.vss";
    StorageTest::writeBytes(mirror, StorageTest::withFlippedBits(StorageTest::readBytes(mirror), 30, 1));
    const std::string damaged = StorageTest::readBytes(mirror);
    try {
        run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {2}));
        ADD_FAILURE() << "deleted";
    } catch (const Pool::PoolError& e) {
        EXPECT_EQ(DISABLE_TASK_WRITERS, e.getErrorNumber());
    }
    EXPECT_EQ(damaged, StorageTest::readBytes(mirror));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4, 5}), syncList());
    EXPECT_TRUE(exists(path(2)));
    // A missing mirror is re-created by the delete.
    ::unlink(mirror.c_str());
    run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {2}));
    EXPECT_EQ((std::vector<uint32_t>{1, 3, 4, 5}), synchFile(mirror));
}

TEST_F(PoolTest, SecondaryPoolIsItsOwnFolderAndLeavesTheSynchronisationSetAlone) {
    const std::string secondary = Pool::Layout::secondaryPoolFolder(*task_, "SEC-1");
    buildPool(secondary, {1, 2, 3}, false);
    ASSERT_TRUE(Pool::isSecondaryPool("SEC-1", *task_));
    EXPECT_EQ(0, verifyError("SEC-1"));
    const std::string synchBefore = StorageTest::readBytes(synchFolder() + "synchset.vss");
    run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {2}, "SEC-1"));
    EXPECT_EQ((std::vector<uint32_t>{1, 3}), syncList(secondary));
    EXPECT_EQ((std::vector<uint32_t>{1, 3}), indexed(secondary));
    EXPECT_FALSE(exists(secondary + "00000002.vfl"));
    EXPECT_TRUE(exists(path(2)));
    EXPECT_EQ(synchBefore, StorageTest::readBytes(synchFolder() + "synchset.vss"));
    // Damage in the secondary pool is the secondary pool's.
    StorageTest::writeBytes(secondary + "00000003.vfl", "x");
    EXPECT_EQ(CONTAINER_UNREADABLE, verifyError("SEC-1"));
    EXPECT_EQ(0, verifyError());
}

TEST_F(PoolTest, OptimizeRemovesOnlyWhatDeadWritersLeft) {
    const std::string p = poolFolder();
    StorageTest::writeBytes(p + "00000099.vfl", "orphan");                        // no list names it
    StorageTest::writeBytes(p + ".synclist.vsl.tmp.999999999.3", "dead writer");  // no such process
    StorageTest::writeBytes(synchFolder() + ".synchset.vss.tmp.999999998.0", "dead writer");
    StorageTest::writeBytes(p + ".pool.vix.tmp.1.0", "live writer");              // process 1 runs
    StorageTest::writeBytes(p + "notes.txt", "an administrator's");
    StorageTest::writeBytes(temp_.path() + "elsewhere.vfl", "not ours");
    ASSERT_EQ(0, ::symlink((temp_.path() + "elsewhere.vfl").c_str(), (p + "00000098.vfl").c_str()));
    const auto followUps = run(command(Pool::POOL_COMMAND_OPTIMIZE));
    EXPECT_FALSE(exists(p + "00000099.vfl"));
    EXPECT_FALSE(exists(p + ".synclist.vsl.tmp.999999999.3"));
    EXPECT_FALSE(exists(synchFolder() + ".synchset.vss.tmp.999999998.0"));
    EXPECT_TRUE(exists(p + ".pool.vix.tmp.1.0"));
    EXPECT_TRUE(exists(p + "notes.txt"));
    EXPECT_TRUE(exists(p + "00000098.vfl"));
    EXPECT_TRUE(exists(temp_.path() + "elsewhere.vfl"));
    for (uint32_t s = 1; s <= 5; ++s) EXPECT_TRUE(exists(path(s))) << s;
    ASSERT_EQ(1u, followUps.size());
    EXPECT_EQ(Pool::POOL_COMMAND_VERIFY, followUps[0].command);
    EXPECT_NO_THROW(run(followUps[0]));

    // Without a readable sync list nothing is removed.
    StorageTest::writeBytes(p + "00000099.vfl", "orphan");
    StorageTest::writeBytes(p + "synclist.vsl", "garbage");
    EXPECT_THROW(run(command(Pool::POOL_COMMAND_OPTIMIZE)), Pool::PoolError);
    EXPECT_TRUE(exists(p + "00000099.vfl"));
}

TEST_F(PoolTest, DeduplicateMakesIdenticalContainersOneFile) {
    // Safesets 2 and 4 get the same records as 1 (and 5 as 3): identical files.
    for (const uint32_t s : {2u, 4u}) StorageTest::writeBytes(path(s), StorageTest::readBytes(path(1)));
    StorageTest::writeBytes(path(5), StorageTest::readBytes(path(3)));
    Pool::writePoolIndex(poolFolder(), "POOL-A");
    ASSERT_EQ(0, verifyError());
    EXPECT_TRUE(run(command(Pool::POOL_COMMAND_DEDUPLICATE)).empty());
    const auto inode = [&](uint32_t s) {
        struct stat st;
        return ::stat(path(s).c_str(), &st) == 0 ? st.st_ino : 0;
    };
    EXPECT_EQ(inode(1), inode(2));
    EXPECT_EQ(inode(1), inode(4));
    EXPECT_EQ(inode(3), inode(5));
    EXPECT_NE(inode(1), inode(3));
    EXPECT_EQ(0, verifyError());
    // Nothing left to share: a second run changes nothing.
    const auto before = inode(5);
    run(command(Pool::POOL_COMMAND_DEDUPLICATE));
    EXPECT_EQ(before, inode(5));
    for (const auto& name : {".00000002.vfl.tmp"}) EXPECT_FALSE(exists(poolFolder() + name));
}

// One rule for a link in place of a file of the pool: it is that file
// damaged. What reads the file refuses it, naming it; what only removes a
// name removes the link, never what it points to.
TEST_F(PoolTest, ALinkInThePoolIsDamageToEveryOperation) {
    const std::string copy = temp_.path() + "copy.vfl";
    const auto linkContainer = [&](uint32_t s) {
        StorageTest::writeBytes(copy, StorageTest::readBytes(path(s)));  // a good copy: the link is the only fault
        ASSERT_EQ(0, ::unlink(path(s).c_str()));
        ASSERT_EQ(0, ::symlink(copy.c_str(), path(s).c_str()));
    };
    const auto poolErrorOf = [&](std::function<void()> operation) -> std::pair<int32_t, std::string> {
        try {
            operation();
            return {0, ""};
        } catch (const Pool::PoolError& e) {
            return {e.getErrorNumber(), e.what()};
        }
    };
    const std::string refused = "cannot open " + path(3) + ": it is a symbolic link";
    const auto inode = [&](uint32_t s) {
        struct stat st;
        return ::lstat(path(s).c_str(), &st) == 0 ? st.st_ino : 0;
    };

    // Verify and deduplicate read the container: both refuse it alike.
    linkContainer(3);
    EXPECT_EQ(CONTAINER_UNREADABLE, verifyError());
    EXPECT_NE(std::string::npos, lastError_.find(refused)) << lastError_;
    for (const uint32_t s : {2u, 4u}) StorageTest::writeBytes(path(s), StorageTest::readBytes(path(1)));
    const auto dedup = poolErrorOf([&] { run(command(Pool::POOL_COMMAND_DEDUPLICATE)); });
    EXPECT_EQ(CONTAINER_UNREADABLE, dedup.first);
    EXPECT_NE(std::string::npos, dedup.second.find(refused)) << dedup.second;
    EXPECT_NE(inode(1), inode(2));  // refused before any change

    // An index built again (as a delete does when the old one is unreadable)
    // does not read through the link either.
    EXPECT_THROW(Pool::writePoolIndex(poolFolder(), "POOL-A"), std::runtime_error);

    // Optimize reads no container and never removes a link; its follow-up
    // verify reports it.
    const auto followUps = run(command(Pool::POOL_COMMAND_OPTIMIZE));
    EXPECT_TRUE(exists(path(3)));
    ASSERT_EQ(1u, followUps.size());
    EXPECT_EQ(CONTAINER_UNREADABLE, poolErrorOf([&] { run(followUps[0]); }).first);

    // Deleting the safeset removes the link itself, not the file it points
    // to; the pool verifies again afterwards.
    SetUp();
    linkContainer(3);
    run(command(Pool::POOL_COMMAND_DELETE_SAFESETS, {3}));
    EXPECT_FALSE(exists(path(3)));
    EXPECT_TRUE(exists(copy));
    EXPECT_EQ(0, verifyError()) << lastError_;

    // The sync list and the index are refused as links too.
    SetUp();
    const std::string list = temp_.path() + "list.vsl";
    ASSERT_EQ(0, ::rename((poolFolder() + "synclist.vsl").c_str(), list.c_str()));
    ASSERT_EQ(0, ::symlink(list.c_str(), (poolFolder() + "synclist.vsl").c_str()));
    EXPECT_EQ(SYNC_LIST_DAMAGED, verifyError());
    EXPECT_NE(std::string::npos, lastError_.find("symbolic link")) << lastError_;
    SetUp();
    const std::string index = temp_.path() + "index.vix";
    ASSERT_EQ(0, ::rename((poolFolder() + "pool.vix").c_str(), index.c_str()));
    ASSERT_EQ(0, ::symlink(index.c_str(), (poolFolder() + "pool.vix").c_str()));
    EXPECT_EQ(INDEX_CHECKSUM, verifyError());
    EXPECT_NE(std::string::npos, lastError_.find("symbolic link")) << lastError_;
}

TEST_F(PoolTest, AnOperationWaitsForTheTaskLockOnlyAsLongAsConfigured) {
    Pool::Locking::AutoUnlockManager other(*task_, "another process");
    Pool::Locking::PoolSystemLock lock(0);
    ASSERT_TRUE(other.lock(lock));
    for (const int32_t code : {0, 1, 2, 3}) {
        try {
            run(command(code, {1}));
            ADD_FAILURE() << code << " ran without the lock";
        } catch (const Pool::PoolError&) {
            ADD_FAILURE() << code << ": a refused lock is not a pool error";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("locked by another process (waited 200 ms)"))
                << e.what();
        }
    }
    EXPECT_TRUE(exists(path(1)));
}
