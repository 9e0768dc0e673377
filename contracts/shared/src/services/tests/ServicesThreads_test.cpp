// Several threads using one command session, and marking one task suspect,
// at once (run under the thread sanitizer too).
#include <thread>

#include "LocalSettings.h"
#include "ServicesFixture.h"
#include "VaultCommandSession.h"

TEST_F(ServicesTest, ThreadsSharingASessionWriteWholeLinesAndStatuses) {
    VaultCommandSession::Options options;
    options.toolName = "Threads";
    options.folder = dir() + "logs";
    VaultCommandSession session(options);
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                session.logMaintenance(54, 4097, "thread %d line %d %s", t, i, std::string(300, 'x').c_str());
                session.getProgress()->SetStatusMsg("thread " + std::to_string(t), 0);
            }
        });
    for (auto& thread : threads) thread.join();
    const auto written = lines(readFile(session.maintenanceLogPath()));
    ASSERT_EQ(size_t(kThreads * kLines), written.size());
    for (const auto& line : written) {
        EXPECT_EQ(24u, line.find("THREADS-I-0001 thread ")) << line;
        EXPECT_EQ(std::string(300, 'x'), line.substr(line.size() - 300)) << line;
    }
    const std::string status = readFile(dir() + "logs/Threads.status");
    EXPECT_EQ(0u, status.find("thread ")) << status;
    EXPECT_EQ(status, session.getProgress()->getStatusMsg() + "\n");
}

TEST_F(ServicesTest, ThreadsMarkingOneTaskLoseNoMark) {
    constexpr int kThreads = 3, kMarks = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kMarks; ++i) LocalSettings::markTaskAsSuspect(task(), "thread", false);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(std::to_string(kThreads * kMarks), LocalSettings(task()).values().at("SUSPECT_COUNT"));
}
