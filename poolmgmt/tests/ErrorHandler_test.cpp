// The pool error handler on a built vault: look-ups, names, suspect marks in
// the task settings, repair jobs in the spool folder, and the exact log lines.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "CrcRepairGate.h"
#include "JobSubmission.h"
#include "LibraryState.h"
#include "LocalSettings.h"
#include "Pool/PoolErrors.h"
#include "VaultFixture.h"
#include "Veshmoor/PoolErrorHandler.h"

namespace {

using Veshmoor::PoolErrorHandler;

const int32_t kCarrowenCrc = 0x00320000;

TEST(ErrorNames, FromTheTableOrUnknown) {
    const std::pair<int32_t, const char*> cases[] = {
        {0x320000, "Carrowen CRC Error"},         {0x320001, "Carrowen Mark Task Suspect"},
        {0x320002, "Carrowen Mark Task Suspect"}, {0x510000, "CRC Error"},
        {0x510001, "Mark Task Suspect"},          {0x510002, "Mark Task Suspect"},
        {0x1234, "Unknown error code 0x1234"},    {0, "Unknown error code 0x0"},
        {-1, "Unknown error code 0xffffffff"},    {0x510100, "Unknown error code 0x510100"},
    };
    for (const auto& c : cases) EXPECT_EQ(PoolErrorHandler::getErrorStr(c.first), c.second);
}

class ErrorHandlerOnVault : public Veshmoor::testing::VaultFixture {
protected:
    void SetUp() override {
        VaultFixture::SetUp();
        Veshmoor::detail::lastCrcRepairTaskId() = Veshmoor::detail::kNoCrcRepairTask;
    }
    static std::vector<std::string> jobs() {
        std::vector<std::string> commands;
        for (const JobQueue::Job& job : JobQueue::listJobs()) commands.push_back(job.command);
        return commands;
    }
    static std::map<std::string, std::string> settings(const DataObjects::TaskDataObject& task) {
        return LocalSettings(task).values();
    }
    static std::string repairJob(uint32_t id) { return "pellatrix ssirepaircrcall task " + std::to_string(id); }
    static std::string label(const DataObjects::TaskDataObject& task) {
        return task.name + " (" + task.guid + ", #" + std::to_string(task.id) + ") ";
    }
};

TEST_F(ErrorHandlerOnVault, ACrcErrorMarksTheTaskAndQueuesOneRepairInARow) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly");
    for (const DataObjects::TaskDataObject* t : {&daily, &daily, &weekly, &daily})
        PoolErrorHandler(t->poolGuid, t->guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(jobs(), (std::vector<std::string>{repairJob(daily.id), repairJob(weekly.id), repairJob(daily.id)}));
    const auto marks = settings(daily);
    EXPECT_EQ(marks.at("SUSPECT"), "1");
    EXPECT_EQ(marks.at("SUSPECT_REASON"), "Carrowen CRC Error");
    EXPECT_EQ(marks.at("SUSPECT_COUNT"), "3");
    EXPECT_EQ(marks.at("SUSPECT_MANUAL"), "0") << "the repair job clears a CRC mark";
    EXPECT_EQ(logLinesWith("Handling pool").front(),
              "TEST-I-0001 Handling pool {" + daily.poolGuid + "} error 'Carrowen CRC Error' for the task " + label(daily));
    EXPECT_EQ(logLinesWith("Submitting repair crc...").size(), 3u);
}

TEST_F(ErrorHandlerOnVault, OtherErrorsMarkEveryTaskOfThePoolForTheAdministrator) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly"), archive = task("Archive");
    // Weekly shares Daily's pool.
    sql("INSERT INTO task_pool(task_id, pool_id) SELECT " + std::to_string(weekly.id) +
        ", pool_id FROM task_pool WHERE task_id = " + std::to_string(daily.id) + ";");
    for (int32_t code : {0x00320001, 0x00320002, 0x00510000, 0x00510001, 0x00510002}) {
        PoolErrorHandler(daily.poolGuid, "").handleError(code, nullptr);
    }
    for (const DataObjects::TaskDataObject* t : {&daily, &weekly}) {
        const auto marks = settings(*t);
        EXPECT_EQ(marks.at("SUSPECT_MANUAL"), "1") << t->name;
        EXPECT_EQ(marks.at("SUSPECT_COUNT"), "5") << t->name;
        EXPECT_EQ(marks.at("SUSPECT_REASON"), "Mark Task Suspect") << t->name;
    }
    EXPECT_EQ(settings(archive).count("SUSPECT"), 0u);
    EXPECT_TRUE(jobs().empty()) << "only the Carrowen CRC error queues a repair";
    // The label names the pool's first task.
    EXPECT_EQ(logLinesWith("Handling pool").back(),
              "TEST-I-0001 Handling pool {" + daily.poolGuid + "} error 'Mark Task Suspect' for the task " + label(daily));
}

TEST_F(ErrorHandlerOnVault, FailedLookUpsLeaveNoHandlers) {
    const DataObjects::TaskDataObject daily = task("Daily");
    struct Case {
        std::string poolGuid, taskGuid, initLine, label, poolShown;
    } cases[] = {
        {daily.poolGuid, "no-such-task", "TEST-E-0003 PoolErrorHandler: Task not found, Task GUID {no-such-task}",
         "(nullptr)", ""},
        {"no-such-pool", "", "TEST-E-0003 PoolErrorHandler: No Tasks were found for the Pool {no-such-pool}",
         "(nullptr)", ""},
        {"no-such-pool", daily.guid, "TEST-E-0003 PoolErrorHandler: Pool not found, Pool GUID {no-such-pool}",
         label(daily), ""},
        // Without a pool GUID the task's own pool is looked up.
        {"", daily.guid, "", label(daily), daily.poolGuid},
    };
    for (const Case& c : cases) {
        const size_t before = logLines().size();
        PoolErrorHandler handler(c.poolGuid, c.taskGuid);
        handler.handleError(0x510001, nullptr);
        const std::vector<std::string> all = logLines();
        const std::vector<std::string> lines(all.begin() + static_cast<long>(before), all.end());
        std::vector<std::string> expected;
        if (!c.initLine.empty()) expected.push_back(c.initLine);
        expected.push_back("TEST-I-0001 Handling pool {" + c.poolShown + "} error 'Mark Task Suspect' for the task " + c.label);
        if (!c.initLine.empty())
            expected.push_back("TEST-E-0003 Failed to handle pool {} error 'Mark Task Suspect' for the task " + c.label +
                               ": Unhandled error code");
        EXPECT_EQ(lines, expected);
    }
    EXPECT_EQ(settings(daily).at("SUSPECT_COUNT"), "1") << "only the handler that found its pool marks";
}

TEST_F(ErrorHandlerOnVault, AnUnreachableDatabaseIsAnInitializationError) {
    setConfig("database", "Plugin", "NoSuchCatalogue");
    PoolErrorHandler handler("P", "T");
    handler.handleError(kCarrowenCrc, nullptr);
    const auto lines = logLinesWith("PoolErrorHandler:");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "TEST-E-0003 PoolErrorHandler: Unknown error during initialization");
    EXPECT_NE(lines[1].find("NoSuchCatalogue"), std::string::npos) << lines[1];
    EXPECT_EQ(logLinesWith("Failed to handle pool").at(0),
              "TEST-E-0003 Failed to handle pool {} error 'Carrowen CRC Error' for the task (nullptr): Unhandled error code");
}

TEST_F(ErrorHandlerOnVault, DisabledHandlersChangeNothing) {
    const DataObjects::TaskDataObject daily = task("Daily");
    for (const char* setting : {"3276800", "5308417;3276800", "x 3276800."}) {
        setConfig("local", "DisabledErrorHandlers", setting);
        PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    }
    EXPECT_EQ(logLinesWith("is disabled").size(), 3u);
    EXPECT_EQ(logLinesWith("is disabled").front(), "TEST-I-0001 The handler for the error 'Carrowen CRC Error' is disabled");
    EXPECT_EQ(settings(daily).count("SUSPECT"), 0u);
    EXPECT_TRUE(jobs().empty());
    // A hexadecimal code reads as 0 and disables nothing; the setting is read
    // for every error.
    setConfig("local", "DisabledErrorHandlers", "0x320000");
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(jobs().size(), 1u);
}

TEST_F(ErrorHandlerOnVault, WithoutSubmittingTheTaskIsStillTakenAsRepaired) {
    const DataObjects::TaskDataObject daily = task("Daily");
    setConfig("numbers", "SubmitFileCrcRepair", "0");
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(settings(daily).at("SUSPECT"), "1");
    EXPECT_TRUE(jobs().empty());
    EXPECT_EQ(Veshmoor::detail::lastCrcRepairTaskId().load(), daily.id);
    setConfig("numbers", "SubmitFileCrcRepair", "1");
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_TRUE(jobs().empty()) << "the same task in a row submits nothing";
}

// 4294967295 is a task id like any other: its first CRC error in a process
// queues a repair.
TEST_F(ErrorHandlerOnVault, TheLargestTaskIdGetsItsRepairQueued) {
    const DataObjects::TaskDataObject before = task("Weekly");
    sql("UPDATE task SET id = 4294967295 WHERE id = " + std::to_string(before.id) +
        "; UPDATE task_pool SET task_id = 4294967295 WHERE task_id = " + std::to_string(before.id) + ";");
    const DataObjects::TaskDataObject weekly = task("Weekly");
    ASSERT_EQ(weekly.id, 4294967295u);
    PoolErrorHandler(weekly.poolGuid, weekly.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(jobs(), std::vector<std::string>{repairJob(weekly.id)});
    EXPECT_EQ(settings(weekly).at("SUSPECT"), "1");
}

// A job that could not be queued does not block the task's later repairs.
TEST_F(ErrorHandlerOnVault, ARefusedSubmissionIsTriedAgainAtTheNextError) {
    const DataObjects::TaskDataObject daily = task("Daily");
    Trevalon::Testing::writeFile(root() + "/not-a-folder", "x");
    setConfig("node", "SpoolFolder", root() + "/not-a-folder");
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(logLinesWith("-0172").at(0), "TEST-E-0172 submit request failed");
    EXPECT_EQ(settings(daily).at("SUSPECT"), "1") << "the task stays marked";
    setConfig("node", "SpoolFolder", root() + "/spool");
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(jobs(), std::vector<std::string>{repairJob(daily.id)});
}

TEST_F(ErrorHandlerOnVault, AFailedMarkIsLoggedAndQueuesNothing) {
    DataObjects::TaskDataObject daily = task("Daily");
    // A settings file that is not a regular file cannot be marked.
    ASSERT_EQ(::mkdir(LocalSettings::settingsPath(daily).c_str(), 0755), 0);
    PoolErrorHandler(daily.poolGuid, daily.guid).handleError(kCarrowenCrc, nullptr);
    const auto lines = logLinesWith("Error occurred while trying to submit ssirepaircrc for this task: ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("TEST-E-0003 ", 0), 0u);
    EXPECT_TRUE(jobs().empty());
}

// One task that cannot be marked does not keep the others unmarked.
TEST_F(ErrorHandlerOnVault, EveryTaskIsMarkedEvenWhenOneCannotBe) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly");
    sql("INSERT INTO task_pool(task_id, pool_id) SELECT " + std::to_string(weekly.id) +
        ", pool_id FROM task_pool WHERE task_id = " + std::to_string(daily.id) + ";");
    ASSERT_EQ(::mkdir(LocalSettings::settingsPath(daily).c_str(), 0755), 0);
    PoolErrorHandler(daily.poolGuid, "").handleError(0x510001, nullptr);
    EXPECT_EQ(settings(weekly).at("SUSPECT"), "1");
    const auto failures = logLinesWith("Failed to handle pool");
    ASSERT_EQ(failures.size(), 1u);
    const std::string start =
        "TEST-E-0003 Failed to handle pool {" + daily.poolGuid + "} error 'Mark Task Suspect' for the task " + label(daily) + ": ";
    EXPECT_EQ(failures[0].rfind(start, 0), 0u) << failures[0];
    EXPECT_NE(failures[0].find(LocalSettings::settingsPath(daily)), std::string::npos) << failures[0];
}

// Task ids of 2^31 and above keep their value in the job text.
TEST_F(ErrorHandlerOnVault, LargeTaskIdsAreWrittenUnsigned) {
    const DataObjects::TaskDataObject daily = task("Daily");
    sql("CREATE TEMP TABLE t AS SELECT * FROM task WHERE id = " + std::to_string(daily.id) +
        "; UPDATE t SET id = 3000000000, guid = 'big-task', name = 'Big';"
        " INSERT INTO task SELECT * FROM t;"
        " INSERT INTO task_pool(task_id, pool_id) SELECT 3000000000, pool_id FROM task_pool WHERE task_id = " +
        std::to_string(daily.id) + ";");
    PoolErrorHandler(daily.poolGuid, "big-task").handleError(kCarrowenCrc, nullptr);
    EXPECT_EQ(jobs(), std::vector<std::string>{"pellatrix ssirepaircrcall task 3000000000"});
    EXPECT_NE(logLinesWith("Handling pool").at(0).find("Big (big-task, #3000000000) "), std::string::npos);
}

// A copy's handlers act on the copy's own tasks, whatever becomes of the
// handler it was copied from.
TEST_F(ErrorHandlerOnVault, ACopyActsOnItsOwnTasks) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly");
    std::unique_ptr<PoolErrorHandler> source(new PoolErrorHandler(daily.poolGuid, daily.guid));
    PoolErrorHandler copied(*source);
    PoolErrorHandler assigned("no-such-pool", "");
    assigned = *source;
    *source = PoolErrorHandler(weekly.poolGuid, weekly.guid);
    copied.handleError(0x510001, nullptr);
    source.reset();
    assigned.handleError(0x510001, nullptr);
    EXPECT_EQ(settings(daily).at("SUSPECT_COUNT"), "2");
    EXPECT_EQ(settings(weekly).count("SUSPECT"), 0u);
}

TEST_F(ErrorHandlerOnVault, TheStaticFormTakesTheErrorsGuids) {
    const DataObjects::TaskDataObject archive = task("Archive");
    PoolErrorHandler::handleError(Pool::PoolError(kCarrowenCrc, archive.poolGuid, archive.guid, "checksum mismatch"));
    PoolErrorHandler::handleError(Pool::DisableTaskWritersError(archive.guid, "%s", "bad file"));
    EXPECT_EQ(jobs(), std::vector<std::string>{repairJob(archive.id)});
    EXPECT_EQ(settings(archive).at("SUSPECT_MANUAL"), "1");
}

}  // namespace
