// The job queue: numbered job files, refusals, damaged files, two processes
// submitting at once and submissions killed midway.
#include <set>

#include "JobSubmission.h"
#include "LocalSettings.h"
#include "ServicesFixture.h"

TEST_F(ServicesTest, SubmittedJobsAreNumberedFilesListedInOrder) {
    EXPECT_EQ(1, sys_submit(nullptr, "pellatrix ssirepaircrcall task 12", 1, 0, nullptr, nullptr));
    EXPECT_EQ(2, sys_submit(nullptr, "pellatrix verify task 13", 5, 0, "admin", "after the move"));
    EXPECT_EQ(dir() + "spool/", JobQueue::spoolFolder());
    const auto jobs = JobQueue::listJobs();
    ASSERT_EQ(2u, jobs.size());
    EXPECT_EQ(1u, jobs[0].sequence);
    EXPECT_EQ(dir() + "spool/job-0000000001.job", jobs[0].path);
    EXPECT_EQ("pellatrix ssirepaircrcall task 12", jobs[0].command);
    EXPECT_EQ(1, jobs[0].priority);
    EXPECT_FALSE(jobs[0].user.empty());
    EXPECT_EQ("", jobs[0].comment);
    EXPECT_EQ(::getpid(), jobs[0].processId);
    EXPECT_EQ(19u, jobs[0].submitted.size());
    EXPECT_EQ("admin", jobs[1].user);
    EXPECT_EQ("after the move", jobs[1].comment);
    EXPECT_EQ(5, jobs[1].priority);
    EXPECT_EQ("2\n", readFile(dir() + "spool/sequence"));
}

TEST_F(ServicesTest, JobsThatCannotBeQueuedGiveZeroAndOneErrorLine) {
    struct Case {
        const char* name;
        const char* queue;
        const char* command;
        int priority;
        int options;
        const char* comment;
        const char* why;
    };
    const Case cases[] = {
        {"null command", nullptr, nullptr, 1, 0, nullptr, "empty job command"},
        {"empty command", nullptr, "", 1, 0, nullptr, "empty job command"},
        {"line break", nullptr, "a\nb", 1, 0, nullptr, "command holds a line break"},
        {"comment line break", nullptr, "a", 1, 0, "x\ry", "comment holds a line break"},
        {"priority 0", nullptr, "a", 0, 0, nullptr, "priority 0 outside 1 to 9"},
        {"priority 10", nullptr, "a", 10, 0, nullptr, "priority 10 outside 1 to 9"},
        {"options", nullptr, "a", 1, 4, nullptr, "unknown submit options 4"},
        {"named queue", "fast", "a", 1, 0, nullptr, "unknown job queue 'fast'"},
    };
    for (const Case& c : cases) {
        const size_t before = logCount("-E-0003 Job not queued");
        const size_t beforeWhy = logCount(c.why);
        EXPECT_EQ(0, sys_submit(c.queue, c.command, c.priority, c.options, nullptr, c.comment)) << c.name;
        EXPECT_EQ(before + 1, logCount("-E-0003 Job not queued")) << c.name;
        EXPECT_EQ(beforeWhy + 1, logCount(c.why)) << c.name;
    }
    EXPECT_TRUE(JobQueue::listJobs().empty());

    // A spool folder that cannot be made, and a damaged counter: 0, naming the file.
    writeFile(dir() + "not-a-folder", "");
    writeFile(dir() + "node.conf", "[node]\nSpoolFolder=" + dir() + "not-a-folder/spool\n");
    EXPECT_EQ(0, sys_submit(nullptr, "a", 1, 0, nullptr, nullptr));
    EXPECT_EQ(1u, logCount(dir() + "not-a-folder"));
    writeFile(dir() + "node.conf", "[node]\nSpoolFolder=" + dir() + "spool\n");
    ::mkdir((dir() + "spool").c_str(), 0755);
    writeFile(dir() + "spool/sequence", "12x\n");
    EXPECT_EQ(0, sys_submit(nullptr, "a", 1, 0, nullptr, nullptr));
    EXPECT_EQ(1u, logCount(dir() + "spool/sequence: damaged sequence counter '12x'"));
    EXPECT_EQ("12x\n", readFile(dir() + "spool/sequence"));
}

TEST_F(ServicesTest, DamagedJobFilesAreReportedByNameAndNotListed) {
    ASSERT_EQ(1, sys_submit(nullptr, "good", 1, 0, nullptr, nullptr));
    const std::string good = readFile(dir() + "spool/job-0000000001.job");
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"truncated", good.substr(0, good.size() - 3), "last line not ended"},
        {"no key", "SEQUENCE=2\njunk\n", "line 2 is not KEY=VALUE"},
        {"no command", "SEQUENCE=2\n", "no COMMAND"},
        {"wrong number", good, "does not match the file name"},  // job 1's contents under job 2's name
        {"bad priority", "SEQUENCE=2\nCOMMAND=a\nPRIORITY=12\n", "bad PRIORITY '12'"},
    };
    for (const Case& c : cases) {
        const std::string path = dir() + "spool/job-0000000002.job";
        writeFile(path, c.bytes);
        std::vector<std::string> problems;
        const auto jobs = JobQueue::listJobs(&problems);
        ASSERT_EQ(1u, jobs.size()) << c.name;
        ASSERT_EQ(1u, problems.size()) << c.name;
        EXPECT_EQ(0u, problems[0].find(path)) << c.name << ": " << problems[0];
        EXPECT_NE(std::string::npos, problems[0].find(c.expected)) << c.name << ": " << problems[0];
    }
    // A FIFO named like a job is refused without blocking; temporary files of
    // unfinished submissions are not jobs.
    ::unlink((dir() + "spool/job-0000000002.job").c_str());
    ASSERT_EQ(0, ::mkfifo((dir() + "spool/job-0000000003.job").c_str(), 0644));
    writeFile(dir() + "spool/.job-0000000004.job.tmp.1.0", "SEQUENCE=4\n");
    std::vector<std::string> problems;
    EXPECT_EQ(1u, JobQueue::listJobs(&problems).size());
    ASSERT_EQ(1u, problems.size());
    EXPECT_NE(std::string::npos, problems[0].find("job-0000000003.job"));
}

TEST_F(ServicesTest, TwoProcessesSubmittingAtOnceGetDistinctNumbers) {
    constexpr int kJobs = 100;
    ASSERT_TRUE(inChildren(2, [&](int child) {
        for (int i = 0; i < kJobs; ++i)
            if (sys_submit(nullptr, ("job of child " + std::to_string(child)).c_str(), 1, 0, nullptr, nullptr) <= 0)
                return 1;
        return 0;
    }));
    std::vector<std::string> problems;
    const auto jobs = JobQueue::listJobs(&problems);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(size_t(2 * kJobs), jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) EXPECT_EQ(i + 1, jobs[i].sequence);
}

TEST_F(ServicesTest, KilledSubmissionsNeverTearAJobOrReuseANumber) {
    std::set<uint64_t> numbers;
    std::mt19937 random(20261211);
    for (unsigned round = 0; round < 40; ++round) {
        ASSERT_TRUE(killAfterFirstWrite(
            [](const std::function<void()>& finishedOne) {
                for (;;) {
                    if (sys_submit(nullptr, "pellatrix verify task 1", 1, 0, nullptr, nullptr) > 0) finishedOne();
                }
            },
            random))
            << round;
        std::vector<std::string> problems;
        const auto jobs = JobQueue::listJobs(&problems);
        EXPECT_TRUE(problems.empty()) << round << ": " << (problems.empty() ? "" : problems[0]);
        // The next submission is not held up by the dead process's lock and
        // gets a number above every job so far.
        EXPECT_TRUE(lockIsFree(dir() + "spool/.lock")) << round;
        const long next = sys_submit(nullptr, "after the kill", 1, 0, nullptr, nullptr);
        ASSERT_GT(next, 0) << round;
        for (const auto& job : jobs) EXPECT_LT(job.sequence, uint64_t(next)) << round;
        // Whatever the killed child was writing is gone after the next submission.
        EXPECT_EQ(std::vector<std::string>(), temporaries(dir() + "spool")) << round;
        EXPECT_TRUE(numbers.insert(uint64_t(next)).second) << round;
    }
    // 40 are the parent's own; every child finished at least one before it was killed.
    EXPECT_GE(JobQueue::listJobs().size(), 80u);
}

// Temporary files that killed writers leave beside the jobs and beside a
// task's settings go with the next write under the folder's lock; a running
// writer's temporary, other files' temporaries and what is not a regular
// file stay.
TEST_F(ServicesTest, TemporariesOfKilledWritersGoWithTheNextWrite) {
    const pid_t ended = endedProcess();
    ASSERT_NE(0, ::kill(ended, 0));
    RunningProcess running;
    ASSERT_GT(running.pid(), 0);
    const std::string dead = std::to_string(ended), live = std::to_string(running.pid());
    struct Writer {
        const char* name;
        std::string folder;
        std::vector<std::string> removed;
        std::vector<std::string> kept;
        std::function<void()> write;
    };
    const Writer writers[] = {
        {"job queue",
         dir() + "spool/",
         {".sequence.tmp." + dead + ".0", ".job-0000000007.job.tmp." + dead + ".3"},
         {".sequence.tmp." + live + ".0", ".job-0000000008.job.tmp." + live + ".1", ".notes.tmp." + dead + ".0",
          ".job-0000000009.job.tmp." + dead + ".x"},
         [] { ASSERT_GT(sys_submit(nullptr, "a", 1, 0, nullptr, nullptr), 0); }},
        {"task settings",
         task().taskFolder + "/",
         {".tasksettings.cfg.tmp." + dead + ".0", ".tasksettings.cfg.tmp." + dead + ".17"},
         {".tasksettings.cfg.tmp." + live + ".0", ".label.vtl.tmp." + dead + ".0", "tasksettings.cfg.tmp." + dead + ".0"},
         [this] { LocalSettings::setValue(task(), "Pellatrix.Verify", "0"); }},
    };
    for (const Writer& w : writers) {
        ::mkdir(w.folder.c_str(), 0755);
        for (const auto& name : w.removed) writeFile(w.folder + name, "partial");
        for (const auto& name : w.kept) writeFile(w.folder + name, "partial");
        const std::string folderNamedLikeOne = w.folder + w.removed[0] + "9";  // ".<name>.tmp.<pid>.09"
        ASSERT_EQ(0, ::mkdir(folderNamedLikeOne.c_str(), 0755)) << w.name;
        w.write();
        for (const auto& name : w.removed) EXPECT_NE(0, ::access((w.folder + name).c_str(), F_OK)) << w.name << ": " << name;
        for (const auto& name : w.kept) EXPECT_EQ("partial", readFile(w.folder + name)) << w.name << ": " << name;
        struct stat st;
        EXPECT_TRUE(::stat(folderNamedLikeOne.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << w.name;
    }
}
