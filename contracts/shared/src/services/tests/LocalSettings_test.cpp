// Per-task settings: which features may run, the suspect mark, damaged files,
// and two processes (and kills) changing one task's settings.
#include <map>

#include "LocalSettings.h"
#include "ServicesFixture.h"

namespace {

std::string settingsOf(const DataObjects::TaskDataObject& task) { return LocalSettings::settingsPath(task); }

}  // namespace

TEST_F(ServicesTest, FeatureKeysDecideWhatMayRun) {
    struct Case {
        const char* file;
        const char* program;
        const char* feature;
        bool runnable;
    };
    const Case cases[] = {
        {nullptr, "Pellatrix", "Verify", true},                            // no file
        {"# only a comment\n\n", "Pellatrix", "Verify", true},
        {"Pellatrix.Verify=0\n", "Pellatrix", "Verify", false},
        {"pellatrix.verify=0\r\n", "Pellatrix", "Verify", false},           // any case, CRLF
        {"Pellatrix.Verify=0\n", "Pellatrix", "Optimize", true},
        {"Pellatrix=0\n", "Pellatrix", "Dedup", false},                     // the whole program
        {"Pellatrix=0\nPellatrix.Verify=1\n", "Pellatrix", "Verify", true},  // the feature's own key wins
        {"Pellatrix=0\n", "Ombrikate", "Migrate_Delete", true},
        {"Ombrikate.Migrate_Delete=0\n", "Ombrikate", "Migrate_Delete", false},
    };
    for (const Case& c : cases) {
        ::unlink(settingsOf(task()).c_str());
        if (c.file) writeFile(settingsOf(task()), c.file);
        EXPECT_EQ(c.runnable, LocalSettings(task()).isRunnable(c.program, c.feature))
            << (c.file ? c.file : "(none)") << " " << c.program << "." << c.feature;
    }
    // No task folder: no settings, everything runs.
    DataObjects::TaskDataObject folderless = task();
    folderless.taskFolder.clear();
    EXPECT_TRUE(LocalSettings(folderless).isRunnable("Pellatrix", "Verify"));
}

TEST_F(ServicesTest, DamagedSettingsAreErrorsNamingTheFile) {
    const std::string path = settingsOf(task());
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"no =", "Pellatrix.Verify=0\njunk\n", "line 2 is not KEY=VALUE"},
        {"empty key", "=1\n", "line 1 has an empty key"},
        {"twice", "A=1\nA=2\n", "line 2 sets A again (first at line 1)"},
        {"NUL", std::string("A=1\0\n", 5), "NUL"},
        {"too large", "A=" + std::string(70000, 'x') + "\n", "larger than"},
    };
    for (const Case& c : cases) {
        writeFile(path, c.bytes);
        try {
            LocalSettings settings(task());
            ADD_FAILURE() << c.name << ": read";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(path)) << c.name << ": " << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.expected)) << c.name << ": " << e.what();
        }
        // A damaged file is never rewritten by a change.
        EXPECT_THROW(LocalSettings::markTaskAsSuspect(task(), "x", true), std::runtime_error) << c.name;
        EXPECT_EQ(c.bytes, readFile(path)) << c.name;
    }
    writeFile(path, "Pellatrix.Verify=maybe\n");
    EXPECT_THROW(LocalSettings(task()).isRunnable("Pellatrix", "Verify"), std::runtime_error);

    // A FIFO is refused without blocking; a link is refused, its target untouched.
    ::unlink(path.c_str());
    ASSERT_EQ(0, ::mkfifo(path.c_str(), 0644));
    EXPECT_THROW(LocalSettings settings(task()), std::runtime_error);
    ::unlink(path.c_str());
    writeFile(dir() + "elsewhere", "Pellatrix=1\n");
    ASSERT_EQ(0, ::symlink((dir() + "elsewhere").c_str(), path.c_str()));
    EXPECT_THROW(LocalSettings settings(task()), std::runtime_error);
    EXPECT_THROW(LocalSettings::markTaskAsSuspect(task(), "x", true), std::runtime_error);
    EXPECT_EQ("Pellatrix=1\n", readFile(dir() + "elsewhere"));
}

TEST_F(ServicesTest, SuspectMarkCountsKeepsOtherLinesAndTheManualFlagSticks) {
    writeFile(settingsOf(task()), "# kept\nPellatrix.Verify=0\n");
    LocalSettings::markTaskAsSuspect(task(), "Carrowen CRC Error", false);
    {
        const LocalSettings settings(task());
        EXPECT_TRUE(settings.isSuspect());
        EXPECT_EQ("Carrowen CRC Error", settings.values().at("SUSPECT_REASON"));
        EXPECT_EQ("1", settings.values().at("SUSPECT_COUNT"));
        EXPECT_EQ("0", settings.values().at("SUSPECT_MANUAL"));
        EXPECT_EQ(19u, settings.values().at("SUSPECT_TIME").size());
        EXPECT_FALSE(settings.isRunnable("Pellatrix", "Verify"));
    }
    LocalSettings::markTaskAsSuspect(task(), "Mark Task Suspect\nSUSPECT=0", true);
    LocalSettings::markTaskAsSuspect(task(), "CRC Error", false);
    {
        const LocalSettings settings(task());
        EXPECT_EQ("3", settings.values().at("SUSPECT_COUNT"));
        EXPECT_EQ("1", settings.values().at("SUSPECT_MANUAL"));  // set once, kept
        EXPECT_EQ("CRC Error", settings.values().at("SUSPECT_REASON"));
    }
    EXPECT_EQ(0u, readFile(settingsOf(task())).find("# kept\nPellatrix.Verify=0\nSUSPECT=1\n"));
    LocalSettings::clearSuspect(task());
    EXPECT_EQ("# kept\nPellatrix.Verify=0\n", readFile(settingsOf(task())));

    DataObjects::TaskDataObject folderless = task();
    folderless.taskFolder.clear();
    EXPECT_THROW(LocalSettings::markTaskAsSuspect(folderless, "x", true), std::runtime_error);
    DataObjects::TaskDataObject gone = task();
    gone.taskFolder = dir() + "no-such-task";
    EXPECT_THROW(LocalSettings::markTaskAsSuspect(gone, "x", true), std::runtime_error);
}

TEST_F(ServicesTest, SetAndRemoveRefuseWhatTheFormatCannotHold) {
    LocalSettings::setValue(task(), "Pellatrix.Optimize", "0");
    EXPECT_FALSE(LocalSettings(task()).isRunnable("Pellatrix", "Optimize"));
    for (const auto& bad : std::vector<std::pair<std::string, std::string>>{
             {"", "1"}, {"A=B", "1"}, {"#A", "1"}, {"A\nB", "1"}, {"A", "1\nB=2"}, {"A", std::string("1\0", 2)}})
        EXPECT_THROW(LocalSettings::setValue(task(), bad.first, bad.second), std::invalid_argument) << bad.first;
    EXPECT_TRUE(LocalSettings::removeValue(task(), "Pellatrix.Optimize"));
    EXPECT_FALSE(LocalSettings::removeValue(task(), "Pellatrix.Optimize"));
    EXPECT_TRUE(LocalSettings(task()).isRunnable("Pellatrix", "Optimize"));
}

TEST_F(ServicesTest, TwoProcessesMarkingAtOnceLoseNoMark) {
    constexpr int kMarks = 150;
    ASSERT_TRUE(inChildren(2, [&](int child) {
        try {
            for (int i = 0; i < kMarks; ++i)
                LocalSettings::markTaskAsSuspect(task(), "child " + std::to_string(child), child == 1);
            return 0;
        } catch (...) {
            return 1;
        }
    }));
    const LocalSettings settings(task());
    EXPECT_EQ(std::to_string(2 * kMarks), settings.values().at("SUSPECT_COUNT"));
    EXPECT_EQ("1", settings.values().at("SUSPECT_MANUAL"));
}

TEST_F(ServicesTest, KilledWhileMarkingLeavesTheOldOrNewFileAndTheLockFree) {
    writeFile(settingsOf(task()), "Pellatrix.Verify=0\n");
    unsigned long long lastCount = 0;
    std::mt19937 random(20261211);
    for (unsigned round = 0; round < 40; ++round) {
        ASSERT_TRUE(killAfterFirstWrite(
            [&](const std::function<void()>& finishedOne) {
                for (;;) {
                    LocalSettings::markTaskAsSuspect(task(), "killed", false);
                    finishedOne();
                }
            },
            random))
            << round;
        // Whole and readable, the other setting kept, the count never going back.
        const LocalSettings settings(task());
        EXPECT_FALSE(settings.isRunnable("Pellatrix", "Verify")) << round;
        const auto count = settings.values().count("SUSPECT_COUNT") ? std::stoull(settings.values().at("SUSPECT_COUNT")) : 0;
        EXPECT_GT(count, lastCount) << round;  // the child marked at least once
        lastCount = count;
        // The dead holder's lock is free at once.
        EXPECT_TRUE(lockIsFree(settingsOf(task()) + ".lock")) << round;
        LocalSettings::markTaskAsSuspect(task(), "after the kill", false);
        EXPECT_EQ(std::to_string(count + 1), LocalSettings(task()).values().at("SUSPECT_COUNT")) << round;
        EXPECT_EQ(std::vector<std::string>(), temporaries(task().taskFolder)) << round;  // the killed child's went too
        lastCount = count + 1;
    }
    EXPECT_GE(lastCount, 80u);  // 40 marks are the parent's own; every child marked at least once
}
