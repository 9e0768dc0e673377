// The command session's maintenance log and progress status, and task naming.
#include <sys/stat.h>
#include <unistd.h>

#include "ServicesFixture.h"
#include "TaskHierarchy.h"
#include "VaultCommandSession.h"
#include "VaultSettings.h"

namespace {

VaultCommandSession::Options optionsIn(const std::string& folder, const std::string& tool = "Pellatrix") {
    VaultCommandSession::Options options;
    options.toolName = tool;
    options.folder = folder;
    options.globalTag = "TAG-1";
    return options;
}

}  // namespace

TEST_F(ServicesTest, MaintenanceLogRendersThroughTheCatalogueOneLinePerCall) {
    VaultCommandSession session(optionsIn(dir() + "logs"));
    session.logMaintenance(54, 4097, "Checking task %s (#%d)", "C/T", 12);
    session.logMaintenance(54, 4099, "%s", "100% done\nforged line");
    session.logMaintenance(54, 16385, "%s", "trace while off");  // TraceLevel is 0
    NodeConfig::set("node", "TraceLevel", "1");
    session.logMaintenance(54, 16385, "%s", "trace while on");
    session.logMaintenance(1, 4485, "%s", "C/T");

    EXPECT_EQ(dir() + "logs/Pellatrix-maintenance.log", session.maintenanceLogPath());
    const auto written = lines(readFile(session.maintenanceLogPath()));
    ASSERT_EQ(4u, written.size());
    // "YYYY-MM-DD HH:MM:SS.mmm " then the rendered template.
    EXPECT_EQ(' ', written[0][23]);
    EXPECT_EQ("PELLATRIX-I-0001 Checking task C/T (#12)", written[0].substr(24));
    EXPECT_EQ("PELLATRIX-E-0003 100% done forged line", written[1].substr(24));
    EXPECT_EQ("PELLATRIX-T-1111 trace while on", written[2].substr(24));
    EXPECT_EQ("PELLATRIX-W-0384 This feature is disabled by local settings for task 'C/T'. Will not process it.",
              written[3].substr(24));
    EXPECT_EQ("TAG-1", session.getGlobalTag());
}

TEST_F(ServicesTest, ProgressKeepsTheLastStatusInItsFile) {
    VaultCommandSession session(optionsIn(dir() + "logs"));
    const auto progress = session.getProgress();
    ASSERT_TRUE(progress);
    EXPECT_EQ("", progress->getStatusMsg());
    progress->SetStatusMsg("Checking task C/T", 0);
    progress->SetStatusMsg("Deleting safeset task C/T safesets( 5 9 )\nx", 40);
    EXPECT_EQ("Deleting safeset task C/T safesets( 5 9 ) x [40%]", progress->getStatusMsg());
    EXPECT_EQ("Deleting safeset task C/T safesets( 5 9 ) x [40%]\n", readFile(dir() + "logs/Pellatrix.status"));
    EXPECT_EQ(session.getProgress().get(), progress.get());
}

TEST_F(ServicesTest, SessionRefusesLinksAndBadNamesAndReplacesWhateverIsAtTheStatusPath) {
    ::mkdir((dir() + "logs").c_str(), 0755);
    writeFile(dir() + "target", "keep");
    ASSERT_EQ(0, ::symlink((dir() + "target").c_str(), (dir() + "logs/Evil-maintenance.log").c_str()));
    EXPECT_ANY_THROW(VaultCommandSession(optionsIn(dir() + "logs", "Evil")));
    EXPECT_EQ("keep", readFile(dir() + "target"));
    for (const std::string& bad : {std::string(), std::string("a/b"), std::string("../x"), std::string(65, 'a')})
        EXPECT_THROW(VaultCommandSession(optionsIn(dir() + "logs", bad)), std::invalid_argument) << bad;

    // A FIFO or a link where the status file goes is replaced, never opened:
    // nothing blocks and the link's target is not written.
    ASSERT_EQ(0, ::mkfifo((dir() + "logs/Fifo.status").c_str(), 0644));
    VaultCommandSession fifoSession(optionsIn(dir() + "logs", "Fifo"));
    fifoSession.getProgress()->SetStatusMsg("one", 0);
    EXPECT_EQ("one\n", readFile(dir() + "logs/Fifo.status"));
    ASSERT_EQ(0, ::symlink((dir() + "target").c_str(), (dir() + "logs/Link.status").c_str()));
    VaultCommandSession linkSession(optionsIn(dir() + "logs", "Link"));
    linkSession.getProgress()->SetStatusMsg("two", 0);
    EXPECT_EQ("keep", readFile(dir() + "target"));
    EXPECT_EQ("two\n", readFile(dir() + "logs/Link.status"));
}

TEST_F(ServicesTest, StatusThatCannotBeWrittenIsReportedOnceAndKeptInMemory) {
    VaultCommandSession session(optionsIn(dir() + "logs"));
    ::mkdir((dir() + "logs/Pellatrix.status").c_str(), 0755);  // a folder where the file goes
    session.getProgress()->SetStatusMsg("one", 0);
    session.getProgress()->SetStatusMsg("two", 0);
    EXPECT_EQ("two", session.getProgress()->getStatusMsg());
    EXPECT_EQ(1u, logCount("Progress status not written"));
}

TEST_F(ServicesTest, DllRunLastsAsLongAsADllRunSession) {
    EXPECT_FALSE(VaultCommandSession::isDllRun());
    {
        VaultCommandSession::Options options = optionsIn(dir() + "logs");
        options.dllRun = true;
        VaultCommandSession session(options);
        EXPECT_TRUE(VaultCommandSession::isDllRun());
    }
    EXPECT_FALSE(VaultCommandSession::isDllRun());
    VaultCommandSession::setDllRun(true);
    EXPECT_TRUE(VaultCommandSession::isDllRun());
    VaultCommandSession::setDllRun(false);
}

TEST_F(ServicesTest, TaskHierarchyNeverThrowsAndGivesNothingWhenTheLookUpFails) {
    EXPECT_EQ("", getTaskHierarchy(0));
    EXPECT_EQ("", getTaskHierarchy(-5));
    // No such plug-in: the look-up fails inside, the caller gets "".
    NodeConfig::set("database", "Plugin", "NoSuchPlugin");
    EXPECT_EQ("", getTaskHierarchy(12));
}
