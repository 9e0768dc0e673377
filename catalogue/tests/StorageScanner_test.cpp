// The scanner over hand-made storage trees: what each kind of label adds,
// which names are read, and the hostile trees a storage folder others can
// write to may hold.
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Catalogue/StorageScanner.h"
#include "CatalogueTestSupport.h"
#include "VaultLog.h"

namespace CatalogueTest {
namespace {

using Catalogue::CatalogueTables;
using Catalogue::scanStorage;

class StorageScanner : public StorageFixture {};

TEST_F(StorageScanner, EachKindOfLabelAddsWhatItsKeysSay) {
    const std::string s = storage();
    writeLabel(s + "/full/TaskLabel.cfg", fullLabel("C1", "desk", "T1", "Docs", "P1"));
    writeLabel(s + "/noguid/TaskLabel.cfg", {{"TASK_NAME", "Orphan"}, {"COMPUTER_GUID", "C2"}});
    writeLabel(s + "/poolonly/TaskLabel.cfg", {{"POOL_GUID", "P2"}});
    writeLabel(s + "/nameonly/TaskLabel.cfg", {{"COMPUTER_GUID", "C3"}, {"COMPUTER", "named"}});
    writeLabel(s + "/folderonly/TaskLabel.cfg", {{"TASK_GUID", "T4"}, {"TASK_NAME", "No computer"}});
    writeLabel(s + "/nokeys/TaskLabel.cfg", {{"OTHER", "x"}});

    const CatalogueTables tables = scanStorage({s});
    EXPECT_EQ(tables.mountList(), std::vector<std::string>{s});

    EXPECT_EQ(tables.getComputerIdByGuid("C1") != 0, true);
    EXPECT_EQ(tables.getComputerTaskGuids(tables.getComputerIdByGuid("C1")), std::vector<std::string>{"T1"});
    EXPECT_EQ(tables.getTaskNameByGuid("T1"), "Docs");
    EXPECT_EQ(tables.getComputerNameByGuid("C1"), "desk");
    EXPECT_EQ(tables.getFirstTaskFolder("T1"), s + "/full/");
    ASSERT_NE(tables.findPool("P1"), nullptr);
    EXPECT_EQ(tables.findPool("P1")->poolFolder, s + "/full/");

    // TASK_NAME and COMPUTER_GUID without TASK_GUID: a task with an empty GUID, no folder.
    EXPECT_EQ(tables.getComputerTaskGuids(tables.getComputerIdByGuid("C2")), std::vector<std::string>{""});
    for (const auto& entry : tables.taskFolderTable()) EXPECT_NE(entry.taskFolder, s + "/noguid/");

    // POOL_GUID alone: the pool folder has no trailing separator.
    ASSERT_NE(tables.findPool("P2"), nullptr);
    EXPECT_EQ(tables.findPool("P2")->poolFolder, s + "/poolonly");

    // COMPUTER_GUID with COMPUTER only: a name but no computer.
    EXPECT_EQ(tables.getComputerIdByGuid("C3"), 0u);
    EXPECT_EQ(tables.getComputerNameByGuid("C3"), "named");

    // TASK_GUID and TASK_NAME without a computer: a folder, in no computer's list.
    EXPECT_EQ(tables.getFirstTaskFolder("T4"), s + "/folderonly/");
    EXPECT_EQ(tables.getComputerIdByTaskGuid("T4"), 0u);
    EXPECT_EQ(tables.getTaskNameByGuid("T4"), "");

    EXPECT_EQ(tables.computerTable().size(), 2u);
    EXPECT_EQ(tables.taskFolderTable().size(), 2u);
    EXPECT_EQ(tables.poolTable().size(), 2u);
    EXPECT_EQ(tables.computerNameTable().size(), 2u);
}

TEST(TaskLabelNames, SubstringCaseSensitiveAndNeverAWritersTemporary) {
    const struct {
        const char* name;
        bool read;
    } cases[] = {
        {"TaskLabel.cfg", true},
        {"TaskLabel.cfg.bak", true},
        {"old-TaskLabel.cfg", true},
        {"TaskLabel.cfg.tmpl", true},
        {"tasklabel.cfg", false},
        {"TaskLabel.CFG", false},
        {"TaskLabel.cf", false},
        {"TaskLabel.cfg.tmp.4242.0", false},  // being written, or left by a killed writer
        {"TaskLabel.cfg.tmp", false},
        {"TaskLabel.cfg.bak.tmp.1.2", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Catalogue::isTaskLabelName(c.name), c.read) << c.name;
}

TEST_F(StorageScanner, ReadsBakAndSkipsLowerCaseAndTemporaryLabels) {
    const std::string s = storage();
    writeLabel(s + "/a/TaskLabel.cfg.bak", fullLabel("C1", "one", "T-bak", "Bak", "P1"));
    writeLabel(s + "/b/tasklabel.cfg", fullLabel("C1", "one", "T-lower", "Lower", "P2"));
    writeFile(s + "/c/TaskLabel.cfg.tmp.99.0", "TASK_GUID=T-half\nTASK_NA");
    const CatalogueTables tables = scanStorage({s});
    ASSERT_EQ(tables.taskFolderTable().size(), 1u);
    EXPECT_EQ(tables.taskFolderTable()[0].taskGuid, "T-bak");
    EXPECT_EQ(tables.getTaskNameByGuid("T-lower"), "");
    EXPECT_EQ(tables.getFirstTaskFolder("T-half"), "");
}

TEST_F(StorageScanner, TasksOfOneComputerInScanOrderAndTheFirstNameWins) {
    const std::string s = storage();
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        writeLabel(s + "/f" + n + "/TaskLabel.cfg", fullLabel("C", "name-" + n, "T" + n, "task-" + n, "P" + n));
    }
    const CatalogueTables tables = scanStorage({s});
    ASSERT_EQ(tables.computerTable().size(), 1u);
    const auto& refs = tables.computerTable()[0].tasks;
    ASSERT_EQ(refs.size(), 6u);
    // The folder order is the file system's; tasks, folders and pools all follow it.
    for (size_t i = 0; i < refs.size(); ++i) {
        EXPECT_EQ(tables.taskFolderTable()[i].taskGuid, refs[i].taskGuid);
        EXPECT_EQ(tables.poolTable()[i].poolGuid, "P" + refs[i].taskGuid.substr(1));
    }
    EXPECT_EQ(tables.getComputerNameByGuid("C"), "name-" + refs[0].taskGuid.substr(1));
}

TEST_F(StorageScanner, StorageReachedThroughTwoMountsIsListedTwice) {
    const std::string s = storage();
    writeLabel(s + "/t/TaskLabel.cfg", fullLabel("C", "pc", "T", "Task", "P"));
    ASSERT_EQ(::symlink(s.c_str(), (folder_->path() + "/again").c_str()), 0);
    const CatalogueTables tables = scanStorage({s, folder_->path() + "/again"});
    ASSERT_EQ(tables.computerTable().size(), 1u);
    EXPECT_EQ(tables.computerTable()[0].tasks.size(), 2u);
    EXPECT_EQ(tables.taskFolderTable().size(), 2u);
    EXPECT_EQ(tables.poolTable().size(), 2u);
    EXPECT_EQ(tables.getFirstTaskFolder("T"), s + "/t/");
    EXPECT_EQ(tables.getTaskFolderPath(1), folder_->path() + "/again/t/");
}

TEST_F(StorageScanner, MountListEndsAtTheFirstEmptySetting) {
    configureMounts({}, "Mount_0=/m0\nMount_2=/m2\n");
    EXPECT_EQ(Catalogue::readMountList(), std::vector<std::string>{"/m0"});
    configureMounts({}, "Mount_1=/m1\n");
    EXPECT_TRUE(Catalogue::readMountList().empty());
    configureMounts({"/a", "/b", "/c"});
    EXPECT_EQ(Catalogue::readMountList(), (std::vector<std::string>{"/a", "/b", "/c"}));
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t linesNaming(const std::string& log, const std::string& path) {
    size_t count = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(path) != std::string::npos) ++count;
    return count;
}

// FIFO, link, loop, unreadable folder, junk and an oversized label beside
// good labels: the pass ends, the good labels are read, and each refused
// path gets one warning line.
TEST_F(StorageScanner, HostileTreeNeverBlocksOrLoopsAndEachRefusalIsOneWarning) {
    const std::string s = storage();
    writeLabel(s + "/good1/TaskLabel.cfg", fullLabel("C", "pc", "T1", "One", "P1"));
    writeLabel(s + "/good2/TaskLabel.cfg", fullLabel("C", "pc", "T2", "Two", "P2"));
    makeFolders(s + "/fifo");
    ASSERT_EQ(::mkfifo((s + "/fifo/TaskLabel.cfg").c_str(), 0600), 0);
    writeLabel(folder_->path() + "/outside/TaskLabel.cfg", fullLabel("C", "pc", "T-outside", "Outside", "PX"));
    makeFolders(s + "/link");
    ASSERT_EQ(::symlink((folder_->path() + "/outside/TaskLabel.cfg").c_str(), (s + "/link/TaskLabel.cfg").c_str()), 0);
    makeFolders(s + "/loop");
    ASSERT_EQ(::symlink("..", (s + "/loop/up").c_str()), 0);
    std::string junk = "TASK_GUID=T-junk\n";
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131) & 0xff);
    writeFile(s + "/junk/TaskLabel.cfg", junk);
    writeFile(s + "/huge/TaskLabel.cfg", "TASK_GUID=T-huge\n" + std::string(3 * 1024 * 1024, 'x'));
    makeFolders(s + "/closed/inner");
    writeLabel(s + "/closed/inner/TaskLabel.cfg", fullLabel("C", "pc", "T-closed", "Closed", "PC"));
    ASSERT_EQ(::chmod((s + "/closed").c_str(), 0), 0);
    const bool permissionsApply = ::geteuid() != 0;

    batutil_LogOpen(folder_->path().c_str(), "scan", 0, 0, false);
    const std::string missingRoot = folder_->path() + "/missing-root";
    const CatalogueTables tables = scanStorage({s, missingRoot});
    batutil_LogOpen(nullptr, "after-scan", 0, 0, false);
    const std::string log = readWholeFile(folder_->path() + "/scan.log");

    EXPECT_EQ(tables.getTaskNameByGuid("T1"), "One");
    EXPECT_EQ(tables.getTaskNameByGuid("T2"), "Two");
    EXPECT_EQ(tables.getFirstTaskFolder("T-outside"), "");
    EXPECT_EQ(tables.getFirstTaskFolder("T-huge"), "");
    EXPECT_EQ(tables.getFirstTaskFolder("T-junk"), s + "/junk/");  // junk lines are just not keys
    EXPECT_EQ(linesNaming(log, s + "/fifo/TaskLabel.cfg"), 1u) << log;
    EXPECT_EQ(linesNaming(log, s + "/link/TaskLabel.cfg"), 1u) << log;
    EXPECT_EQ(linesNaming(log, s + "/huge/TaskLabel.cfg"), 1u) << log;
    EXPECT_EQ(linesNaming(log, missingRoot), 1u) << log;
    if (permissionsApply) {
        EXPECT_EQ(tables.getFirstTaskFolder("T-closed"), "");
        EXPECT_EQ(linesNaming(log, s + "/closed"), 1u) << log;
    }
    EXPECT_EQ(tables.taskFolderTable().size(), permissionsApply ? 3u : 4u);
}

TEST_F(StorageScanner, DeepTreesAreWalkedToTheBottom) {
    std::string deep = storage();
    for (int i = 0; i < 200; ++i) deep += "/d";
    writeLabel(deep + "/TaskLabel.cfg", fullLabel("C", "pc", "T-deep", "Deep", "P"));
    const CatalogueTables tables = scanStorage({storage()});
    EXPECT_EQ(tables.getFirstTaskFolder("T-deep"), deep + "/");
}

}  // namespace
}  // namespace CatalogueTest
