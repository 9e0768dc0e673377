// Threads sharing the library: CRC errors of one task from many threads, of
// two tasks interleaved, and one session's progress and log written by
// several verifications at once.
#include <algorithm>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "CrcRepairGate.h"
#include "JobSubmission.h"
#include "LibraryState.h"
#include "LocalSettings.h"
#include "Pool/PoolErrors.h"
#include "TaskHierarchy.h"
#include "VaultCommandSession.h"
#include "VaultFixture.h"
#include "Veshmoor/PoolCommandManager.h"
#include "Veshmoor/PoolErrorHandler.h"
#include "Veshmoor/VerifyManager.h"

namespace {

using Veshmoor::PoolErrorHandler;

const int kThreads = 8;
const int kErrorsPerThread = 10;

class ConcurrencyOnVault : public Veshmoor::testing::VaultFixture {
protected:
    void SetUp() override {
        VaultFixture::SetUp();
        Veshmoor::detail::lastCrcRepairTaskId() = Veshmoor::detail::kNoCrcRepairTask;
    }
    template <typename Body>
    static void onThreads(Body body) {
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                ++ready;
                while (ready.load() < kThreads) std::this_thread::yield();
                body(t);
            });
        for (std::thread& thread : threads) thread.join();
    }
    static size_t jobsFor(uint32_t taskId) {
        size_t count = 0;
        for (const JobQueue::Job& job : JobQueue::listJobs())
            count += job.command == "pellatrix ssirepaircrcall task " + std::to_string(taskId);
        return count;
    }
};

TEST_F(ConcurrencyOnVault, ManyThreadsOneTaskGiveOneJob) {
    const DataObjects::TaskDataObject daily = task("Daily");
    onThreads([&](int) {
        for (int i = 0; i < kErrorsPerThread; ++i)
            PoolErrorHandler::handleError(Pool::PoolError(0x00320000, daily.poolGuid, daily.guid, "checksum"));
    });
    EXPECT_EQ(JobQueue::listJobs().size(), 1u);
    EXPECT_EQ(jobsFor(daily.id), 1u);
    // Every error marked the task: no mark was lost to another thread's.
    EXPECT_EQ(LocalSettings(daily).values().at("SUSPECT_COUNT"), std::to_string(kThreads * kErrorsPerThread));
}

// Claims of two tasks interleave: each job follows a claim of the other task,
// so the two tasks' job counts differ by at most one.
TEST_F(ConcurrencyOnVault, InterleavedTasksAlternateTheirJobs) {
    const DataObjects::TaskDataObject daily = task("Daily"), weekly = task("Weekly");
    onThreads([&](int t) {
        for (int i = 0; i < kErrorsPerThread; ++i) {
            const DataObjects::TaskDataObject& task = (t + i) % 2 ? daily : weekly;
            PoolErrorHandler::handleError(Pool::PoolError(0x00320000, task.poolGuid, task.guid, "checksum"));
        }
    });
    const size_t dailyJobs = jobsFor(daily.id), weeklyJobs = jobsFor(weekly.id);
    EXPECT_GE(dailyJobs, 1u);
    EXPECT_GE(weeklyJobs, 1u);
    EXPECT_LE(dailyJobs > weeklyJobs ? dailyJobs - weeklyJobs : weeklyJobs - dailyJobs, 1u);
    EXPECT_EQ(JobQueue::listJobs().size(), dailyJobs + weeklyJobs);
}

// The gate itself, without files: successful claims form one chain, each
// taking over from the task claimed before it.
TEST(CrcRepairGateThreads, SuccessfulClaimsFormOneChain) {
    std::atomic<Veshmoor::detail::CrcRepairSlot> last{Veshmoor::detail::kNoCrcRepairTask};
    std::atomic<int> claims[3] = {{0}, {0}, {0}};
    std::atomic<int> takenFrom[3] = {{0}, {0}, {0}};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            Veshmoor::detail::CrcRepairGate gate(last);
            for (int i = 0; i < 2000; ++i) {
                const uint32_t task = static_cast<uint32_t>((t + i) % 3);
                Veshmoor::detail::CrcRepairSlot previous = 0;
                if (gate.claim(task, previous)) {
                    ++claims[task];
                    if (previous < 3) ++takenFrom[previous];
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    // Every claim of a task but the last one standing was taken over once.
    for (uint32_t task = 0; task < 3; ++task)
        EXPECT_EQ(claims[task].load(), takenFrom[task].load() + (last.load() == task ? 1 : 0)) << task;
}

TEST_F(ConcurrencyOnVault, OneSessionSharedByConcurrentVerifications) {
    const std::vector<DataObjects::TaskDataObject> tasks = {task("Daily"), task("Weekly"), task("Archive")};
    std::vector<std::string> statuses;
    for (const auto& t : tasks) statuses.push_back("Checking task " + getTaskHierarchy(static_cast<int32_t>(t.id)));
    std::atomic<int> failures{0};
    onThreads([&](int t) {
        for (int i = 0; i < kErrorsPerThread; ++i) {
            std::vector<std::string> files, pools;
            try {
                Veshmoor::VerifyManager::verifyTask(session_, tasks[static_cast<size_t>(t + i) % tasks.size()], files, pools);
            } catch (const std::exception&) {
                ++failures;
            }
        }
    });
    EXPECT_EQ(failures.load(), 0);
    const std::string last = session_->getProgress()->getStatusMsg();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), last), statuses.end()) << last;
    const std::vector<std::string> lines = maintenanceLines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kErrorsPerThread));
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind("TEST-I-0001 ", 0), 0u) << line;
        EXPECT_NE(std::find(statuses.begin(), statuses.end(), line.substr(12)), statuses.end()) << line;
    }
}

// Commands of three tasks from several threads on one session, each refused
// by its task's settings after setting the progress status: the status is
// always one whole status text, and every trace line is whole.
TEST_F(ConcurrencyOnVault, ConcurrentProgressUpdatesOfOneSession) {
    const std::vector<DataObjects::TaskDataObject> tasks = {task("Daily"), task("Weekly"), task("Archive")};
    std::vector<std::string> texts, statuses;
    for (const auto& t : tasks) {
        LocalSettings::setValue(t, "Pellatrix.Optimize", "0");
        texts.push_back("PoolCmd:Cmd=1;TaskId=" + std::to_string(t.id) + ";Safesets=4 5;PoolGuid=" + t.poolGuid +
                        ";Parameters=p");
        statuses.push_back("Optimizing task " + getTaskHierarchy(static_cast<int32_t>(t.id)) + " safesets( 4 5 ) ( p )");
    }
    std::atomic<int> failures{0};
    std::atomic<bool> stop{false};
    std::string badStatus;
    std::thread watcher([&] {
        while (!stop.load()) {
            const std::string status = session_->getProgress()->getStatusMsg();
            if (!status.empty() && std::find(statuses.begin(), statuses.end(), status) == statuses.end()) {
                badStatus = status;
                return;
            }
        }
    });
    onThreads([&](int t) {
        for (int i = 0; i < kErrorsPerThread; ++i) {
            std::vector<std::string> followUps;
            try {
                Veshmoor::PoolCommandManager::execute(session_, texts[static_cast<size_t>(t + i) % texts.size()], followUps);
            } catch (const std::exception&) {
                ++failures;
            }
            if (!followUps.empty()) ++failures;
        }
    });
    stop = true;
    watcher.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(badStatus, "");
    EXPECT_EQ(maintenanceLines().size(), static_cast<size_t>(kThreads * kErrorsPerThread));
    EXPECT_EQ(logLinesWith("-W-0384").size(), static_cast<size_t>(kThreads * kErrorsPerThread));
}

}  // namespace
