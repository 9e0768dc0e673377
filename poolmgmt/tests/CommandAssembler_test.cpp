// Filling a command from text: the look-ups it makes, the checks and their
// order, appending, and the two mended faults (a pool GUID before any task,
// and a descriptor left from an earlier task).
#include <gtest/gtest.h>

#include <boost/lexical_cast.hpp>
#include <boost/shared_ptr.hpp>

#include "CommandAssembler.h"
#include "FakeCommand.h"

namespace {

using Veshmoor::detail::assembleCommand;

using Veshmoor::testing::FakeCommand;
using Veshmoor::testing::FakeDescriptor;
using Veshmoor::testing::FakeLookups;

TEST(CommandAssembler, FillsEveryFieldAndAppends) {
    FakeCommand command;
    command.safesets = {1};
    command.parameters = {"p"};
    FakeLookups lookups;
    assembleCommand("\"PoolCmd:Cmd=2;TaskId=17;Safesets=5,9;PoolGuid=G;Parameters=a, b\"", command, lookups);
    EXPECT_EQ(command.command, 2);
    ASSERT_TRUE(command.task);
    EXPECT_EQ(command.task->id, 17u);
    EXPECT_EQ(command.task->name, "task-17");
    EXPECT_EQ(command.safesets, (std::vector<uint32_t>{1, 5, 9}));
    EXPECT_EQ(command.parameters, (std::vector<std::string>{"p", "a", " b"}));
    ASSERT_TRUE(command.poolDescriptor);
    EXPECT_EQ(command.poolDescriptor->guid, "G");
    EXPECT_EQ(lookups.taskLookups, 1);
    EXPECT_EQ(lookups.descriptorsBuilt, 1);
}

TEST(CommandAssembler, BuildsTheDescriptorFromTheFinalTask) {
    FakeCommand command;
    FakeLookups lookups;
    assembleCommand("PoolCmd:Cmd=3;TaskId=3;PoolGuid=G;TaskId=17", command, lookups);
    EXPECT_EQ(command.task->id, 17u);
    ASSERT_TRUE(command.poolDescriptor);
    EXPECT_EQ(command.poolDescriptor->builtForTask, 17u);
    // The last GUID wins, built once.
    assembleCommand("PoolCmd:Cmd=3;TaskId=3;PoolGuid=A;PoolGuid=B", command, lookups);
    EXPECT_EQ(command.poolDescriptor->guid, "B");
    EXPECT_EQ(lookups.descriptorsBuilt, 2);
}

TEST(CommandAssembler, RefusesAPoolGuidBeforeAnyTask) {
    FakeCommand command;
    FakeLookups lookups;
    try {
        assembleCommand("PoolCmd:Cmd=1;PoolGuid=G;TaskId=3", command, lookups);
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "PoolOperationCommand.task is null");
    }
    EXPECT_EQ(lookups.descriptorsBuilt, 0);
    EXPECT_EQ(lookups.taskLookups, 0) << "reading stops at the refused token";
}

TEST(CommandAssembler, AnUnknownTaskIsAVaultErrorNamingTheId) {
    for (const char* id : {"99", "0", "-2", "2147483648"}) {
        FakeCommand command;
        FakeLookups lookups;
        const uint32_t expected = boost::lexical_cast<uint32_t>(id);
        try {
            assembleCommand(std::string("PoolCmd:Cmd=1;TaskId=") + id + ";PoolGuid=G", command, lookups);
            FAIL() << id;
        } catch (const VaultUtilities::Error& error) {
            EXPECT_EQ(error.what(), "task not found in PoolOperationCommandSerializer: (Id " + std::to_string(expected) + ")");
            EXPECT_EQ(error.getNumber(), 1);
            EXPECT_EQ(error.getMessageId(), 0x1003u);
        }
        ASSERT_TRUE(command.task);
        EXPECT_EQ(command.task->id, expected);
        EXPECT_EQ(command.command, 1) << "the command keeps what it was given so far";
    }
}

TEST(CommandAssembler, ChecksInTheirOrder) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "PoolOperationCommand.command is not set"},
        {"\"", "PoolOperationCommand.command is not set"},
        {"TaskId=3;PoolGuid=G", "PoolOperationCommand.command is not set"},
        {"PoolCmd:Cmd=2147483647;TaskId=3;PoolGuid=G", "PoolOperationCommand.command is not set"},
        {"\"PoolCmd:Cmd=1;TaskId=3;PoolGuid=G", "PoolOperationCommand.command is not set"},
        {"PoolCmd:Cmd=1", "PoolOperationCommand.task is null"},
        {"PoolCmd:Cmd=1;TaskId=;PoolGuid=", "PoolOperationCommand.task is null"},
        {"PoolCmd:Cmd=1;TaskId=3", "PoolOperationCommand.poolDescriptor is null"},
        {"PoolCmd:Cmd=1;TaskId=3;PoolGuid=", "PoolOperationCommand.poolDescriptor is null"},
    };
    for (const Case& c : cases) {
        FakeCommand command;
        FakeLookups lookups;
        try {
            assembleCommand(c.text, command, lookups);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), c.error) << c.text;
        }
        // The code starts as "not set", whatever the caller's record held.
        if (std::string(c.text).find("PoolCmd:Cmd=1") == std::string::npos) {
            EXPECT_EQ(command.command, 0x7FFFFFFF) << c.text;
        }
        
    }
}

TEST(CommandAssembler, FailuresOfTheLookupsPassThroughUnchanged) {
    FakeCommand command;
    FakeLookups lookups;
    lookups.failDescriptor = true;
    EXPECT_THROW(assembleCommand("PoolCmd:Cmd=1;TaskId=3;PoolGuid=G", command, lookups), std::logic_error);
    EXPECT_THROW(assembleCommand("PoolCmd:Cmd=1;TaskId=3;Safesets=1 2x", command, lookups), boost::bad_lexical_cast);
}

TEST(CommandAssembler, KeepsTheCallersTaskAndDescriptorWhenTheTextHasNone) {
    FakeCommand command;
    command.task.reset(new DataObjects::TaskDataObject());
    command.task->id = 8;
    command.poolDescriptor.reset(new FakeDescriptor{"OLD", 8});
    FakeLookups lookups;
    assembleCommand("PoolCmd:Cmd=0;Safesets=4", command, lookups);
    EXPECT_EQ(command.task->id, 8u);
    EXPECT_EQ(command.poolDescriptor->guid, "OLD");
    // A pool GUID after the caller's task is built from that task.
    assembleCommand("PoolCmd:Cmd=0;PoolGuid=NEW", command, lookups);
    EXPECT_EQ(command.poolDescriptor->builtForTask, 8u);
}

}  // namespace
