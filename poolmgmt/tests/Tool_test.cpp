// The poolcommand program on built vaults: what a person sees.
#include <unistd.h>

#include <gtest/gtest.h>

#include "IndexFile.h"
#include "LocalSettings.h"
#include "Pool/Layout.h"
#include "VSynchSet.h"
#include "VaultFixture.h"

namespace {

using Trevalon::Testing::ProcessResult;
using Trevalon::Testing::binDir;

class PoolCommandProgram : public Veshmoor::testing::VaultFixture {
protected:
    ProcessResult tool(std::vector<std::string> args) const {
        std::vector<std::string> argv = {binDir() + "/poolcommand"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--config", vault().nodeConfig(), "--log-folder", root() + "/logs"});
        return Trevalon::Testing::run(argv, root(), vault().environment());
    }
    static bool has(const ProcessResult& result, const std::string& text) {
        return result.output.find(text) != std::string::npos;
    }
};

TEST_F(PoolCommandProgram, ADeleteAndItsFollowUp) {
    const DataObjects::TaskDataObject daily = task("Daily");
    ProcessResult result = tool({"run", "--task-id", std::to_string(daily.id), "--operation", "delete", "--safesets", "2", "--follow"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string verifyText = "\"PoolCmd:Cmd=0;TaskId=" + std::to_string(daily.id);
    EXPECT_TRUE(has(result, "follow-up: " + verifyText)) << result.output;
    EXPECT_TRUE(has(result, "running: " + verifyText)) << result.output;
    EXPECT_TRUE(has(result, "status: Deleting safeset task ")) << result.output;
    EXPECT_FALSE(Trevalon::Testing::fileExists(vault().containerFile("Daily", 2)));
}

TEST_F(PoolCommandProgram, AVerifyThatFindsDamageQueuesARepair) {
    const DataObjects::TaskDataObject daily = task("Daily");
    vault().damage({vault().containerFile("Daily", 1)}, {"--flip", "100"});
    ProcessResult result = tool({"run", "--task-id", std::to_string(daily.id), "--operation", "verify"});
    EXPECT_EQ(result.exitCode, 5) << result.output;
    EXPECT_TRUE(has(result, "pool error Carrowen CRC Error (0x320000)")) << result.output;
    EXPECT_TRUE(has(result, ": pellatrix ssirepaircrcall task " + std::to_string(daily.id))) << result.output;
    EXPECT_EQ(LocalSettings(daily).values().at("SUSPECT"), "1");
}

TEST_F(PoolCommandProgram, VerifyTaskAndFile) {
    const DataObjects::TaskDataObject daily = task("Daily");
    const std::string mirror = Pool::Layout::synchFolder(daily) + VSynchSet::MIRROR_FILE_NAME;
    ASSERT_EQ(::unlink(mirror.c_str()), 0);
    ProcessResult result = tool({"verify-task", "--task-id", std::to_string(daily.id)});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(has(result, "synch file: " + mirror)) << result.output;
    EXPECT_TRUE(has(result, "pool: " + daily.poolGuid)) << result.output;
    EXPECT_TRUE(Trevalon::Testing::fileExists(mirror));

    const std::string short_ = root() + "/short.vix";
    Trevalon::Testing::writeFile(short_, std::string(100, 'x'));
    result = tool({"verify-file", "--task-id", std::to_string(daily.id), "--file", short_});
    EXPECT_EQ(result.exitCode, 5) << result.output;
    EXPECT_TRUE(has(result, "pool error Mark Task Suspect (0x510002): " + short_ + ": File size is smaller than header size"))
        << result.output;
    EXPECT_EQ(LocalSettings(daily).values().at("SUSPECT_MANUAL"), "1");
}

TEST_F(PoolCommandProgram, RefusedInput) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"run", "--text", "PoolCmd:Cmd=x"}, "cannot read the command text: bad lexical cast"},
        {{"run", "--text", "PoolCmd:Cmd=0;TaskId=999;PoolGuid=G"}, "task not found in PoolOperationCommandSerializer: (Id 999)"},
        {{"run", "--task-id", "1", "--operation", "shred"}, "unknown operation 'shred'"},
        {{"run"}, "give --text, or --task-id with --operation"},
        {{"verify-task", "--task-id", "-1"}, "must not be negative"},
        {{"verify-task", "--task-id", "999"}, "task 999 is not in the catalogue"},
    };
    for (const auto& c : cases) {
        ProcessResult result = tool(c.args);
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_TRUE(has(result, c.says)) << result.output;
    }
}

}  // namespace
