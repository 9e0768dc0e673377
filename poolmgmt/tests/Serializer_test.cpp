// The serializer on a built vault: tasks looked up in the SQL catalogue,
// descriptors from the pool library.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "Pool/Layout.h"
#include "Pool/PoolStorage.h"
#include "VaultFixture.h"
#include "VaultUtilities.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"

namespace {

using Veshmoor::PoolOperationCommandSerializer;

class SerializerOnVault : public Veshmoor::testing::VaultFixture {};

TEST_F(SerializerOnVault, ReadsTheTaskAndBuildsTheOnlineDescriptor) {
    const DataObjects::TaskDataObject daily = task("Daily");
    Pool::PoolOperationCommand command;
    PoolOperationCommandSerializer::fromString(
        "\"PoolCmd:Cmd=2;TaskId=" + std::to_string(daily.id) + ";Safesets=5,9;PoolGuid=" + daily.poolGuid + ";Parameters=\"",
        command);
    ASSERT_TRUE(command.task);
    EXPECT_EQ(command.task->guid, daily.guid);
    EXPECT_EQ(command.task->taskFolder, daily.taskFolder);
    ASSERT_TRUE(command.poolDescriptor);
    EXPECT_TRUE(dynamic_cast<Pool::OnlineCarrowenStorageDescriptor*>(command.poolDescriptor.get()));
    EXPECT_EQ(command.poolDescriptor->getPoolFolder(), Pool::Layout::poolFolder(daily));
    EXPECT_EQ(PoolOperationCommandSerializer::toString(command),
              "\"PoolCmd:Cmd=2;TaskId=" + std::to_string(daily.id) + ";Safesets=5,9;PoolGuid=" + daily.poolGuid +
                  ";Parameters=\"");
}

TEST_F(SerializerOnVault, ASecondaryPoolFolderSelectsTheSecondaryDescriptor) {
    const DataObjects::TaskDataObject daily = task("Daily");
    const std::string guid = "5ec0da27-0000-4000-8000-000000000001";
    const std::string folder = Pool::Layout::secondaryPoolFolder(daily, guid);
    ASSERT_EQ(::mkdir((daily.taskFolder + "/secondary").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    Pool::PoolOperationCommand command;
    PoolOperationCommandSerializer::fromString("PoolCmd:Cmd=0;TaskId=" + std::to_string(daily.id) + ";PoolGuid=" + guid,
                                               command);
    EXPECT_TRUE(dynamic_cast<Pool::SecondaryPoolStorageDescriptor*>(command.poolDescriptor.get()));
    EXPECT_EQ(command.poolDescriptor->getPoolGuid(), guid);
    EXPECT_EQ(command.poolDescriptor->getPoolFolder(), folder);
}

// A later TaskId never leaves a descriptor of the earlier task's storage.
TEST_F(SerializerOnVault, TheDescriptorIsTheFinalTasks) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly");
    Pool::PoolOperationCommand command;
    PoolOperationCommandSerializer::fromString("PoolCmd:Cmd=3;TaskId=" + std::to_string(daily.id) + ";PoolGuid=" +
                                                   weekly.poolGuid + ";TaskId=" + std::to_string(weekly.id),
                                               command);
    EXPECT_EQ(command.task->guid, weekly.guid);
    EXPECT_EQ(command.poolDescriptor->getPoolFolder(), Pool::Layout::poolFolder(weekly));
}

TEST_F(SerializerOnVault, AnUnknownTaskIdIsAVaultError) {
    Pool::PoolOperationCommand command;
    try {
        PoolOperationCommandSerializer::fromString("PoolCmd:Cmd=0;TaskId=3000000000;PoolGuid=G", command);
        FAIL();
    } catch (const VaultUtilities::Error& error) {
        EXPECT_STREQ(error.what(), "task not found in PoolOperationCommandSerializer: (Id 3000000000)");
    }
    EXPECT_EQ(command.task->id, 3000000000u);
}

// A caller's own administrator interface reads the same, text after text.
TEST_F(SerializerOnVault, ReadsWithTheCallersInterface) {
    DatabaseInterfaces::DbInterfaceManager manager;
    for (const char* name : {"Daily", "Weekly", "Archive"}) {
        const DataObjects::TaskDataObject record = task(name);
        Pool::PoolOperationCommand command;
        PoolOperationCommandSerializer::fromString(
            "PoolCmd:Cmd=1;TaskId=" + std::to_string(record.id) + ";PoolGuid=" + record.poolGuid, command,
            *manager.administratorInterface(true));
        EXPECT_EQ(command.task->name, name);
        EXPECT_EQ(command.poolDescriptor->getPoolGuid(), record.poolGuid);
    }
}

TEST(Serializer, ToStringRefusesAnIncompleteCommand) {
    Pool::PoolOperationCommand command;
    try {
        PoolOperationCommandSerializer::toString(command);
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "PoolOperationCommand.task is null");
    }
    command.task.reset(new DataObjects::TaskDataObject());
    try {
        PoolOperationCommandSerializer::toString(command);
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "PoolOperationCommand.poolDescriptor is null");
    }
}

}  // namespace
