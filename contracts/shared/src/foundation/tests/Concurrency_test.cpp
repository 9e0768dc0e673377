#include <atomic>
#include <thread>

#include "FoundationFixture.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace {

class FoundationThreads : public FoundationTest {};

// Loggers, readers and a writer of the node configuration at once: every
// line arrives whole, and readers only ever see values that were written.
TEST_F(FoundationThreads, LoggingAndSettingsUnderContention) {
    writeConfig("[node]\nTraceLevel=1\n[numbers]\nN=0\n");
    constexpr int kLoggers = 4;
    constexpr int kLinesEach = 300;
    std::atomic<bool> wrongValue{false};
    std::atomic<bool> stop{false};

    std::vector<std::thread> threads;
    for (int t = 0; t < kLoggers; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                if (i % 2) log_show(0, 4097, "logger %d line %d %s", t, i, "payload-payload-payload");
                else log_show(0, 16385, "logger %d line %d %s", t, i, "payload-payload-payload");
            }
        });
    std::thread reader([&] {
        while (!stop) {
            const unsigned long n = sys_getconfignum("N", nullptr, 999);
            if (n > 50) wrongValue = true;
            VaultUtilities::ConfigFilePersistManager missing("/nonexistent/for/test");
        }
    });
    std::thread writer([] {
        for (int i = 1; i <= 50; ++i) NodeConfig::set("numbers", "N", std::to_string(i));
    });
    for (auto& thread : threads) thread.join();
    writer.join();
    stop = true;
    reader.join();

    EXPECT_FALSE(wrongValue.load());
    EXPECT_EQ(sys_getconfignum("N", nullptr, 999), 50u);
    const auto lines = logLines();
    EXPECT_EQ(lines.size(), static_cast<size_t>(kLoggers * kLinesEach));
    for (const auto& line : lines) {
        const auto end = std::string("payload-payload-payload");
        ASSERT_GE(line.size(), end.size());
        EXPECT_EQ(line.substr(line.size() - end.size()), end) << line;
    }
}

}  // namespace
