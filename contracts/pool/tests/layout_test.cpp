// Paths of a task's files, and the pool storage descriptor built from them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Pool/Layout.h"
#include "Pool/PoolStorage.h"
#include "StorageTestSupport.h"
#include "TaskStorageDescriptor.h"

using StorageTest::makeTask;
using StorageTest::TempFolder;

TEST(LayoutTest, PathsFollowTheTaskFolderWithOrWithoutItsTrailingSlash) {
    for (const std::string folder : {"/v/t1", "/v/t1/"}) {
        const auto task = makeTask(folder);
        EXPECT_EQ("/v/t1/sync/", Pool::Layout::synchFolder(task));
        EXPECT_EQ("/v/t1/sync/", TaskStorageDescriptor::getSynchFilesStorageLocation(task));
        EXPECT_EQ("/v/t1/pool/", Pool::Layout::poolFolder(task));
        EXPECT_EQ("/v/t1/pool/synclist.vsl", Pool::Layout::syncListPath(task));
        EXPECT_EQ("/v/t1/pool/00000042.vfl", Pool::Layout::containerPath(task, 42));
    }
    EXPECT_EQ("4294967295.vfl", Pool::Layout::containerFileName(4294967295u));
}

TEST(LayoutTest, EmptyTaskFolderGivesNoPaths) {
    const auto task = makeTask("");
    uint32_t type = 255;
    EXPECT_EQ("", TaskStorageDescriptor::getSynchFilesStorageLocation(task, type));
    EXPECT_EQ(255u, type);
    EXPECT_EQ("", Pool::Layout::poolFolder(task));
    EXPECT_EQ("", Pool::Layout::syncListPath(task));
    EXPECT_EQ("", Pool::Layout::containerPath(task, 1));
}

TEST(LayoutTest, LockFileNameCannotEscapeTheLockFolder) {
    TempFolder temp;
    StorageTest::useNodeConfig(temp, "[node]\nLockFolder=" + temp.path() + "locks\n");
    const std::string folder = temp.path() + "locks/";
    EXPECT_EQ(folder, Pool::Layout::lockFolder());
    struct Case {
        std::string guid;
        uint32_t id;
        std::string expected;
    };
    const Case cases[] = {
        {"6F9619FF-8B86-D011-B42D-00C04FC964FF", 1, "task-6F9619FF-8B86-D011-B42D-00C04FC964FF.lock"},
        {"", 12, "task-id-12.lock"},
        {"../../etc/passwd", 1, "task-%2E.%2F..%2Fetc%2Fpasswd.lock"},
        {"a/b", 1, "task-a%2Fb.lock"},
        {std::string("x\0y", 3), 1, "task-x%00y.lock"},
        {".hidden", 1, "task-%2Ehidden.lock"},
    };
    for (const Case& c : cases) {
        const std::string path = Pool::Layout::lockFilePath(makeTask("/t", c.guid, c.id));
        EXPECT_EQ(folder + c.expected, path) << c.guid;
        EXPECT_EQ(std::string::npos, path.find('/', folder.size())) << c.guid;
    }
}

TEST(LayoutTest, LockFolderDefaultsWhenNotConfigured) {
    TempFolder temp;
    StorageTest::useNodeConfig(temp, "[node]\nHostName=h\n");
    EXPECT_EQ("/var/lock/vault/", Pool::Layout::lockFolder());
}

TEST(PoolDescriptorTest, DescribesTheTaskPoolFolder) {
    TempFolder temp;
    const auto task = makeTask(temp.path() + "t1");
    ::mkdir((temp.path() + "t1").c_str(), 0755);
    ::mkdir((temp.path() + "t1/pool").c_str(), 0755);
    const auto descriptor = Pool::createPoolDescriptorForPeripheral(0x3, "00000001.vfl", task);
    ASSERT_TRUE(descriptor);
    EXPECT_EQ("pool-guid-1", descriptor->getPoolGuid());
    EXPECT_EQ(temp.path() + "t1/pool/", descriptor->getPoolFolder());
}

TEST(PoolDescriptorTest, UnresolvableStorageIsAnErrorNamingTheTask) {
    TempFolder temp;
    ::mkdir((temp.path() + "t1").c_str(), 0755);
    ::mkdir((temp.path() + "t1/pool").c_str(), 0755);
    struct Case {
        const char* what;
        DataObjects::TaskDataObject task;
        uint32_t peripheral;
        const char* expectedText;
    };
    const Case cases[] = {
        {"empty task folder", makeTask(""), 0, "no task folder"},
        {"missing pool folder", makeTask(temp.path() + "absent"), 0, "does not exist"},
        {"unavailable storage", makeTask(temp.path() + "t1"), 0x40000, "unavailable storage"},
    };
    for (const Case& c : cases) {
        try {
            Pool::createPoolDescriptorForPeripheral(c.peripheral, "f", c.task);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("task-guid-1")) << c.what << ": " << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.expectedText)) << c.what << ": " << e.what();
        }
    }
}
