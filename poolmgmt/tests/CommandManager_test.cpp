// The command manager on built vaults: the trace line, the progress status,
// refusals by local settings, the pool look-up, real pool operations with
// their follow-ups, and the three failure handlers with their exact lines.
#include <gtest/gtest.h>

#include <boost/lexical_cast.hpp>

#include "CrcRepairGate.h"
#include "JobSubmission.h"
#include "LibraryState.h"
#include "LocalSettings.h"
#include "Pool/PoolErrors.h"
#include "Pool/PoolFactory.h"
#include "TaskHierarchy.h"
#include "VaultCommandSession.h"
#include "VaultFixture.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"

namespace {

using Veshmoor::PoolCommandManager;

class CommandManagerOnVault : public Veshmoor::testing::VaultFixture {
protected:
    void SetUp() override {
        VaultFixture::SetUp();
        daily_ = task("Daily");
        hierarchy_ = getTaskHierarchy(static_cast<int32_t>(daily_.id));
        Veshmoor::detail::lastCrcRepairTaskId() = Veshmoor::detail::kNoCrcRepairTask;
    }
    void TearDown() override {
        Pool::Interruption::clear();
        VaultFixture::TearDown();
    }
    std::string text(int code, const std::string& safesets = "", const std::string& poolGuid = "") const {
        return "\"PoolCmd:Cmd=" + std::to_string(code) + ";TaskId=" + std::to_string(daily_.id) + ";Safesets=" +
               safesets + ";PoolGuid=" + (poolGuid.empty() ? daily_.poolGuid : poolGuid) + ";Parameters=\"";
    }
    // Runs the text; the failure text ("" when none).
    std::string run(const std::string& commandText, std::vector<std::string>& followUps) {
        try {
            PoolCommandManager::execute(session_, commandText, followUps);
            return "";
        } catch (const VeshmoorException& error) {
            return std::string("VeshmoorException: ") + error.what();
        }
    }
    DataObjects::TaskDataObject daily_;
    std::string hierarchy_;
};

TEST_F(CommandManagerOnVault, ACommandRefusedByLocalSettingsReturnsWithoutFollowUps) {
    struct Case {
        int code;
        const char* key;
        const char* status;
    } cases[] = {
        {0, "Pellatrix.Verify", "Checking"},
        {1, "Pellatrix.Optimize", "Optimizing"},
        {2, "Pellatrix.Dedup", "Deduplicating"},
        {3, "Ombrikate.Migrate_Delete", "Deleting safeset"},
    };
    for (const Case& c : cases) {
        LocalSettings::setValue(daily_, c.key, "0");
        std::vector<std::string> followUps = {"kept"};
        const std::string commandText = text(c.code, "2");
        EXPECT_EQ(run(commandText, followUps), "") << c.key;
        EXPECT_EQ(followUps, std::vector<std::string>{"kept"});
        EXPECT_EQ(session_->getProgress()->getStatusMsg(), std::string(c.status) + " task " + hierarchy_ + " safesets( 2 )");
        EXPECT_EQ(maintenanceLines().back(), "TEST-T-1111 Executing pool command: " + commandText);
        EXPECT_EQ(logLines().back(), "TEST-W-0384 This feature is disabled by local settings for task '" + hierarchy_ +
                                         "'. Will not process it.");
    }
    EXPECT_TRUE(Trevalon::Testing::fileExists(vault().containerFile("Daily", 2))) << "nothing was deleted";
}

TEST_F(CommandManagerOnVault, AProgramSwitchedOffRefusesOnlyItsOwnFeatures) {
    LocalSettings::setValue(daily_, "Pellatrix", "0");
    LocalSettings::setValue(daily_, "Pellatrix.Verify", "1");
    std::vector<std::string> followUps;
    EXPECT_EQ(run(text(1), followUps), "");
    EXPECT_EQ(logLinesWith("-W-0384").size(), 1u) << "optimize refused";
    EXPECT_EQ(run(text(0), followUps), "");
    EXPECT_EQ(logLinesWith("-W-0384").size(), 1u) << "verify allowed by its own key";
}

TEST_F(CommandManagerOnVault, AVerifyOfASoundPoolHasNoFollowUps) {
    std::vector<std::string> followUps;
    EXPECT_EQ(run(text(0), followUps), "");
    EXPECT_TRUE(followUps.empty());
    EXPECT_EQ(session_->getProgress()->getStatusMsg(), "Checking task " + hierarchy_);
}

TEST_F(CommandManagerOnVault, ADeleteReturnsItsVerifyFollowUpAsText) {
    std::vector<std::string> followUps = {"kept"};
    EXPECT_EQ(run(text(3, "2"), followUps), "");
    ASSERT_EQ(followUps.size(), 2u);
    EXPECT_EQ(followUps[0], "kept");
    Pool::PoolOperationCommand followUp;
    Veshmoor::PoolOperationCommandSerializer::fromString(followUps[1], followUp);
    EXPECT_EQ(followUp.command, Pool::POOL_COMMAND_VERIFY);
    EXPECT_EQ(followUp.task->id, daily_.id);
    EXPECT_EQ(followUp.poolDescriptor->getPoolGuid(), daily_.poolGuid);
    EXPECT_FALSE(Trevalon::Testing::fileExists(vault().containerFile("Daily", 2)));
    EXPECT_EQ(session_->getProgress()->getStatusMsg(), "Deleting safeset task " + hierarchy_ + " safesets( 2 )");
    // The follow-up runs as it stands.
    std::vector<std::string> more;
    EXPECT_EQ(run(followUps[1], more), "");
}

TEST_F(CommandManagerOnVault, TheRecordFormPassesTheGlobalTagOn) {
    Pool::PoolOperationCommand command;
    Veshmoor::PoolOperationCommandSerializer::fromString(text(1), command);
    command.globalTag = "tag-7";
    std::vector<Pool::PoolOperationCommand> followUps;
    PoolCommandManager::execute(session_, command, followUps);
    ASSERT_EQ(followUps.size(), 1u);
    EXPECT_EQ(followUps[0].globalTag, "tag-7");
}

TEST_F(CommandManagerOnVault, AnUnknownPoolIsAVeshmoorException) {
    std::vector<std::string> followUps;
    const std::string commandText = text(0, "", "no-such-pool");
    EXPECT_EQ(run(commandText, followUps),
              "VeshmoorException: Attempt to execute the command for unknown pool: 'no-such-pool'");
    EXPECT_EQ(logLinesWith("Command failed"),
              std::vector<std::string>{"TEST-E-0003 Command failed " + commandText +
                                       ": Attempt to execute the command for unknown pool: 'no-such-pool'"});
    EXPECT_EQ(maintenanceLines().back(), "TEST-E-0003 Command failed for task " + hierarchy_ + ". " + commandText +
                                             ": Attempt to execute the command for unknown pool: 'no-such-pool'");
}

TEST_F(CommandManagerOnVault, ACodeWithoutTableEntriesGoesToThePoolLibrary) {
    std::vector<std::string> followUps;
    const std::string failure = run(text(7), followUps);
    EXPECT_EQ(failure.rfind("VeshmoorException: ", 0), 0u) << failure;
    EXPECT_EQ(session_->getProgress()->getStatusMsg(), "Processing task " + hierarchy_);
    EXPECT_TRUE(logLinesWith("-W-0384").empty()) << "code 7 is not checked against local settings";
    EXPECT_EQ(logLinesWith("Command failed " + text(7)).size(), 1u);
}

TEST_F(CommandManagerOnVault, ACommandWithoutTaskIsLoggedWithoutOne) {
    Pool::PoolOperationCommand command;
    command.command = 0;
    std::vector<Pool::PoolOperationCommand> followUps;
    try {
        PoolCommandManager::execute(session_, command, followUps);
        FAIL();
    } catch (const VeshmoorException& error) {
        EXPECT_STREQ(error.what(), "PoolOperationCommand.task is null");
    }
    EXPECT_EQ(logLines().back(), "TEST-E-0003 Command failed : PoolOperationCommand.task is null");
    EXPECT_EQ(maintenanceLines().back(), "TEST-E-0003 Command failed for task . : PoolOperationCommand.task is null");
}

TEST_F(CommandManagerOnVault, TextsThatDoNotReadAreNotLogged) {
    std::vector<std::string> followUps;
    EXPECT_THROW(PoolCommandManager::execute(session_, "PoolCmd:Cmd=x", followUps), boost::bad_lexical_cast);
    EXPECT_THROW(PoolCommandManager::execute(session_, "PoolCmd:Cmd=0;TaskId=999;PoolGuid=G", followUps),
                 VaultUtilities::Error);
    EXPECT_THROW(PoolCommandManager::execute(session_, "\"", followUps), std::runtime_error);
    EXPECT_TRUE(maintenanceLines().empty());
    EXPECT_TRUE(logLinesWith("failed").empty());
}

// Damage found by a verify reaches the caller as the pool error itself; the
// error handler turns it into one repair job for the task, and again after
// another task's error in between.
TEST_F(CommandManagerOnVault, DamageBecomesAPoolErrorAndOneRepairJob) {
    const DataObjects::TaskDataObject weekly = task("Weekly");
    vault().damage({vault().containerFile("Daily", 1), vault().containerFile("Weekly", 1)}, {"--flip", "100"});
    const std::string weeklyText = "PoolCmd:Cmd=0;TaskId=" + std::to_string(weekly.id) + ";PoolGuid=" + weekly.poolGuid;
    std::vector<std::string> followUps;
    int32_t number = 0;
    const std::string dailyText = text(0);
    for (const std::string& commandText : {dailyText, dailyText, weeklyText, dailyText}) {
        try {
            PoolCommandManager::execute(session_, commandText, followUps);
            ADD_FAILURE() << "damage not found by " << commandText;
        } catch (const Pool::PoolError& error) {
            number = error.getErrorNumber();
            Veshmoor::PoolErrorHandler::handleError(error);
        }
    }
    EXPECT_EQ(number, Pool::ErrorNumber::CONTAINER_CHECKSUM);
    std::vector<std::string> jobs;
    for (const JobQueue::Job& job : JobQueue::listJobs()) jobs.push_back(job.command);
    EXPECT_EQ(jobs, (std::vector<std::string>{"pellatrix ssirepaircrcall task " + std::to_string(daily_.id),
                                              "pellatrix ssirepaircrcall task " + std::to_string(weekly.id),
                                              "pellatrix ssirepaircrcall task " + std::to_string(daily_.id)}));
    const auto failures = logLinesWith("Pool operation failed " + dailyText + ": ");
    EXPECT_EQ(failures.size(), 3u);
    EXPECT_EQ(maintenanceLines().back().rfind("TEST-E-0003 Pool operation failed for task " + hierarchy_ + ". " + dailyText + ": ", 0), 0u)
        << maintenanceLines().back();
    EXPECT_EQ(LocalSettings(daily_).values().at("SUSPECT"), "1");
}

TEST_F(CommandManagerOnVault, AnInterruptionIsRethrownAndLoggedAsInformation) {
    Pool::Interruption::request();
    std::vector<std::string> followUps;
    EXPECT_THROW(PoolCommandManager::execute(session_, text(0), followUps), Pool::JobInterruptedException);
    EXPECT_EQ(maintenanceLines().back().rfind("TEST-I-0001 Pool operation failed for task " + hierarchy_ + ". " + text(0) + ": ", 0), 0u)
        << maintenanceLines().back();
    EXPECT_TRUE(logLinesWith("failed").empty()) << "an interruption is not an error of the vault log";
}

}  // namespace
