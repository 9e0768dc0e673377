// Pool error types and the command descriptors of online and secondary pools.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Pool/Layout.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolOperationCommand.h"
#include "Pool/PoolStorage.h"
#include "StorageTestSupport.h"

using StorageTest::makeTask;
using StorageTest::TempFolder;

TEST(PoolErrorTest, CarriesItsDetailsAndIsCaughtAsTheVaultError) {
    int context = 0;
    try {
        throw Pool::PoolError(Pool::ErrorNumber::CONTAINER_CHECKSUM, "P1", "T1", "checksum mismatch", &context);
    } catch (const VaultUtilities::Error& e) {
        const auto* pool = dynamic_cast<const Pool::PoolError*>(&e);
        ASSERT_NE(nullptr, pool);
        EXPECT_EQ("P1", pool->getPoolGuid());
        EXPECT_EQ("T1", pool->getJobGuid());
        EXPECT_EQ(0x00320000, pool->getErrorNumber());
        EXPECT_EQ(0x00320000, e.getNumber());
        EXPECT_EQ(0x1003u, e.getMessageId());
        EXPECT_EQ(&context, pool->getContext());
        EXPECT_STREQ("checksum mismatch", e.what());
    }
}

TEST(PoolErrorTest, DisableTaskWritersFormatsItsTextAndNamesOnlyTheTask) {
    const Pool::DisableTaskWritersError e("T9", "%s: File size is smaller than header size", "/p/x.vix");
    const Pool::PoolError& asPool = e;
    EXPECT_STREQ("/p/x.vix: File size is smaller than header size", asPool.what());
    EXPECT_EQ("T9", asPool.getJobGuid());
    EXPECT_EQ("", asPool.getPoolGuid());
    EXPECT_EQ(Pool::ErrorNumber::DISABLE_TASK_WRITERS, asPool.getErrorNumber());
}

TEST(PoolErrorTest, InterruptionIsNotAPoolError) {
    const Pool::JobInterruptedException e("P", "T", "stopped");
    const std::exception& asStandard = e;
    EXPECT_EQ(nullptr, dynamic_cast<const Pool::PoolError*>(&asStandard));
    EXPECT_EQ(0x1001u, e.getMessageId());
    EXPECT_EQ("P", e.getPoolGuid());
}

TEST(PoolDescriptorTest, OnlineAndSecondaryPoolFolders) {
    TempFolder temp;
    const auto task = makeTask(temp.path() + "t");  // poolGuid "pool-guid-1"
    const std::string secondary = Pool::Layout::secondaryPoolFolder(task, "SEC-1");
    EXPECT_EQ(temp.path() + "t/secondary/SEC-1/", secondary);
    EXPECT_EQ(temp.path() + "t/secondary/%2E.%2Fx/", Pool::Layout::secondaryPoolFolder(task, "../x"));

    // Not secondary: the task's own pool (in any case), an empty GUID, a GUID
    // without a folder.
    EXPECT_FALSE(Pool::isSecondaryPool("SEC-1", task));
    StorageTest::writeBytes(temp.path() + "dummy", "");
    ASSERT_EQ(0, ::mkdir((temp.path() + "t").c_str(), 0755));
    ASSERT_EQ(0, ::mkdir((temp.path() + "t/secondary").c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(secondary.c_str(), 0755));
    ASSERT_EQ(0, ::mkdir((temp.path() + "t/secondary/pool-guid-1").c_str(), 0755));
    EXPECT_TRUE(Pool::isSecondaryPool("SEC-1", task));
    EXPECT_FALSE(Pool::isSecondaryPool("POOL-GUID-1", task));
    EXPECT_FALSE(Pool::isSecondaryPool("", task));
    EXPECT_FALSE(Pool::isSecondaryPool("SEC-1", makeTask("")));
    ASSERT_EQ(0, ::symlink(secondary.c_str(), (temp.path() + "t/secondary/LINKED").c_str()));
    EXPECT_FALSE(Pool::isSecondaryPool("LINKED", task));

    const Pool::SecondaryPoolStorageDescriptor second("SEC-1", task);
    EXPECT_EQ("SEC-1", second.getPoolGuid());
    EXPECT_EQ(secondary, second.getPoolFolder());
    // The online descriptor keeps the GUID it was given, even an unknown one:
    // a command naming an unknown pool must still have a text form.
    const Pool::OnlineCarrowenStorageDescriptor online("UNKNOWN", task);
    EXPECT_EQ("UNKNOWN", online.getPoolGuid());
    EXPECT_EQ(Pool::Layout::poolFolder(task), online.getPoolFolder());
}

TEST(PoolOperationCommandTest, DefaultsToNoCommandAndCopiesShareTaskAndDescriptor) {
    Pool::PoolOperationCommand command;
    EXPECT_EQ(0x7FFFFFFF, command.command);
    command.task.reset(new DataObjects::TaskDataObject(makeTask("/v/t")));
    command.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor("G", *command.task));
    const Pool::PoolOperationCommand copy = command;
    EXPECT_EQ(command.task.get(), copy.task.get());
    EXPECT_EQ(command.poolDescriptor.get(), copy.poolDescriptor.get());
}
