// The refresh thread of a catalogue object of the test's own: first-pass
// waits, refresh requests, failed passes, stopping, and readers during
// refreshes (these tests also run under ThreadSanitizer).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Catalogue/CShMDBHelper.h"
#include "Catalogue/StorageScanner.h"
#include "CatalogueTestSupport.h"

namespace CatalogueTest {
namespace {

using Catalogue::CatalogueTables;

// Holds passes until released; counts the passes that started.
class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = false;
    }
    void pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++started_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    bool waitStarted(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return started_ >= count; });
    }
    int started() {
        std::lock_guard<std::mutex> lock(mutex_);
        return started_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int started_ = 0;
};

CatalogueTables generation(const std::string& tag, int computers) {
    CatalogueTables t;
    for (int c = 0; c < computers; ++c) {
        const std::string guid = tag + "-C" + std::to_string(c);
        t.addComputerName(tag + "-name" + std::to_string(c), guid);
        for (int k = 0; k < 3; ++k) {
            const std::string task = guid + "-T" + std::to_string(k);
            t.addComputerTask(guid, tag + "-task", task);
            t.addTaskFolder(task, "/" + tag + "/" + task + "/");
            t.addPool(task + "-pool", "/" + tag + "/" + task + "/");
        }
    }
    t.finish();
    return t;
}

TEST(RefreshThread, ALookUpDuringTheFirstPassReturnsAfterItWithItsResults) {
    Gate gate;
    CShMDBHelper catalogue([&](const std::atomic<bool>&) {
        gate.pass();
        return generation("g", 2);
    });
    ASSERT_TRUE(gate.waitStarted(1));
    std::atomic<bool> answered{false};
    uint32_t id = 0;
    std::thread reader([&] {
        id = catalogue.getComputerIdByGuid("g-C1");
        answered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(answered.load());
    gate.open();
    reader.join();
    EXPECT_EQ(id, 2u);
}

TEST(RefreshThread, TwoRequestsDuringAPassGiveExactlyOneMorePass) {
    Gate gate;
    gate.open();
    CShMDBHelper catalogue([&](const std::atomic<bool>&) {
        gate.pass();
        return generation("g", 1);
    });
    ASSERT_TRUE(catalogue.waitForPassCount(1, 10000));
    gate.close();
    catalogue.requestRefresh();
    ASSERT_TRUE(gate.waitStarted(2));
    catalogue.requestRefresh();
    catalogue.requestRefresh();
    gate.open();
    ASSERT_TRUE(catalogue.waitForPassCount(3, 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(catalogue.passCount(), 3u);
    EXPECT_EQ(gate.started(), 3);
}

TEST(RefreshThread, StopWhileIdleAndWhileScanningEndsTheThreadWithCodeZero) {
    {
        CShMDBHelper idle([](const std::atomic<bool>&) { return generation("g", 1); });
        ASSERT_TRUE(idle.waitForPassCount(1, 10000));
        idle.stop();
        EXPECT_FALSE(idle.threadRunning());
        EXPECT_EQ(idle.threadExitCode(), 0u);
    }
    Gate gate;
    CShMDBHelper scanning([&](const std::atomic<bool>&) {
        gate.pass();
        return generation("late", 1);
    });
    ASSERT_TRUE(gate.waitStarted(1));
    std::thread stopper([&] { scanning.stop(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(scanning.threadRunning());  // the pass in progress ends first
    gate.open();
    stopper.join();
    EXPECT_EQ(scanning.threadExitCode(), 0u);
    EXPECT_EQ(scanning.passCount(), 1u);
    EXPECT_EQ(scanning.getComputerIdByGuid("late-C0"), 1u);  // the pass was kept
}

TEST(RefreshThread, AFailedPassReleasesReadersAndKeepsThePreviousTables) {
    std::atomic<int> calls{0};
    CShMDBHelper catalogue([&](const std::atomic<bool>&) -> CatalogueTables {
        const int call = ++calls;
        if (call == 1) throw std::runtime_error("label unreadable");
        if (call == 3) throw std::bad_alloc();
        if (call == 4) throw 42;
        return generation("good", 2);
    });
    // The first pass failed: look-ups answer from empty tables instead of blocking.
    EXPECT_EQ(catalogue.getComputerIdByGuid("good-C0"), 0u);
    EXPECT_EQ(catalogue.getComputerNameByGuid("x"), "x");
    catalogue.requestRefresh();
    ASSERT_TRUE(catalogue.waitForPassCount(2, 10000));
    EXPECT_EQ(catalogue.getComputerIdByGuid("good-C1"), 2u);
    for (uint64_t passes = 3; passes <= 4; ++passes) {
        catalogue.requestRefresh();
        ASSERT_TRUE(catalogue.waitForPassCount(passes, 10000));
        EXPECT_EQ(catalogue.getComputerIdByGuid("good-C1"), 2u);
    }
    EXPECT_TRUE(catalogue.threadRunning());
}

class ConfiguredRefresh : public StorageFixture {};

TEST_F(ConfiguredRefresh, ASecondPassOverUnchangedStorageGivesEqualTables) {
    for (int i = 0; i < 4; ++i)
        writeLabel(storage() + "/t" + std::to_string(i) + "/TaskLabel.cfg",
                   fullLabel("C" + std::to_string(i % 2), "pc", "T" + std::to_string(i), "task", "P"));
    CShMDBHelper catalogue;
    const auto first = catalogue.snapshot();
    catalogue.requestRefresh();
    ASSERT_TRUE(catalogue.waitForPassCount(2, 10000));
    const auto second = catalogue.snapshot();
    EXPECT_NE(first.get(), second.get());
    EXPECT_TRUE(*first == *second);
    EXPECT_EQ(second->taskFolderTable().size(), 4u);
}

TEST_F(ConfiguredRefresh, APeriodInTheNodeConfigurationRefreshesWithoutARequest) {
    configureMounts({storage()}, "[numbers]\nCatalogueRefreshSeconds=1\n");
    CShMDBHelper catalogue;
    ASSERT_TRUE(catalogue.waitForPassCount(1, 10000));
    writeLabel(storage() + "/new/TaskLabel.cfg", fullLabel("C", "pc", "T-new", "New", "P"));
    ASSERT_TRUE(catalogue.waitForPassCount(3, 10000));
    EXPECT_EQ(catalogue.getTaskNameByGuid("T-new"), "New");
    EXPECT_EQ(Catalogue::configuredRefreshPeriodMilliseconds(), 1000u);
    configureMounts({storage()});
    EXPECT_EQ(Catalogue::configuredRefreshPeriodMilliseconds(), INFINITE);
}

// Readers during refreshes over storage that alternates between two
// generations (3 and 5 computers, each with 3 tasks): every snapshot is one
// whole generation, whichever it is.
TEST_F(ConfiguredRefresh, ReadersDuringRefreshesSeeOneWholeGenerationAtATime) {
    const std::string root = folder_->path();
    for (const std::string tag : {"A", "B"}) {
        for (int c = 0; c < (tag == "B" ? 5 : 3); ++c) {
            const std::string computer = tag + "-C" + std::to_string(c);
            for (int k = 0; k < 3; ++k) {
                const std::string task = computer + "-T" + std::to_string(k);
                writeLabel(root + "/" + tag + "/" + task + "/TaskLabel.cfg",
                           fullLabel(computer, tag + "-name" + std::to_string(c), task, tag + "-task", task + "-pool"));
            }
        }
    }
    std::atomic<int> calls{0};
    CShMDBHelper catalogue([&](const std::atomic<bool>&) {
        const bool even = ++calls % 2 == 0;
        return Catalogue::scanStorage({root + (even ? "/B" : "/A")});
    });
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, seenA{0}, seenB{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            while (!done) {
                const auto t = catalogue.snapshot();
                const std::vector<std::string> guids = t->listComputerGuids();
                const std::string tag = guids.empty() ? "?" : guids[0].substr(0, 1);
                const size_t expected = tag == "B" ? 5u : 3u;
                bool whole = guids.size() == expected && t->taskFolderTable().size() == expected * 3 &&
                             t->mountList() == std::vector<std::string>{root + "/" + tag};
                for (size_t c = 0; c < guids.size() && whole; ++c) {
                    const auto tasks = t->getComputerTaskGuids(static_cast<uint32_t>(c + 1));
                    whole = tasks.size() == 3 && t->getComputerNameByGuid(guids[c]).compare(0, 1, tag) == 0;
                    for (const std::string& task : tasks)
                        whole = whole && t->getFirstTaskFolder(task) == root + "/" + tag + "/" + task + "/" &&
                                t->findPool(task + "-POOL") != nullptr && t->getComputerIdByTaskGuid(task) == c + 1;
                }
                if (!whole) ++mixed;
                ++(tag == "A" ? seenA : seenB);
            }
        });
    }
    for (uint64_t pass = 2; pass <= 30; ++pass) {
        std::atomic<int>& current = pass % 2 == 0 ? seenB : seenA;
        const int before = current.load();
        catalogue.requestRefresh();
        ASSERT_TRUE(catalogue.waitForPassCount(pass, 10000));
        // Let the readers meet this generation before the next one replaces it.
        for (int wait = 0; wait < 5000 && current.load() <= before; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GT(seenA.load(), 0);
    EXPECT_GT(seenB.load(), 0);
}

}  // namespace
}  // namespace CatalogueTest

namespace CatalogueTest {
namespace {

// A failed wait ends the loop after the pass it followed, instead of
// rescanning without end.
TEST(RefreshLoop, AFailedWaitEndsTheLoopWithoutAnotherPass) {
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(refresh != nullptr && stop != nullptr);
    ASSERT_TRUE(CloseHandle(refresh));  // every later wait on it fails
    int passes = 0;
    EXPECT_FALSE(Catalogue::runRefreshLoop(refresh, stop, [&](bool first) {
        EXPECT_EQ(first, passes == 0);
        ++passes;
    }));
    EXPECT_EQ(passes, 1);
    CloseHandle(stop);
}

TEST(RefreshLoop, ARequestGivesAPassAndStopEndsIt) {
    HANDLE refresh = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    int passes = 0;
    EXPECT_TRUE(Catalogue::runRefreshLoop(refresh, stop, [&](bool) {
        if (++passes == 1) SetEvent(refresh);
        else SetEvent(stop);
    }));
    EXPECT_EQ(passes, 2);
    CloseHandle(refresh);
    CloseHandle(stop);
}

}  // namespace
}  // namespace CatalogueTest

namespace CatalogueTest {
namespace {

// At process exit a pass in progress is abandoned: the thread ends soon and
// the half-built tables are never published.
TEST(RefreshThread, AbandonEndsAPassInProgressWithoutPublishingIt) {
    std::atomic<int> calls{0};
    std::atomic<bool> inSecondPass{false};
    CShMDBHelper catalogue([&](const std::atomic<bool>& abandon) {
        if (++calls == 1) return generation("old", 1);
        inSecondPass = true;
        while (!abandon.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return generation("half", 1);
    });
    ASSERT_TRUE(catalogue.waitForPassCount(1, 10000));
    catalogue.requestRefresh();
    while (!inSecondPass) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    catalogue.abandonAndStop(10000);
    EXPECT_FALSE(catalogue.threadRunning());
    EXPECT_EQ(catalogue.getComputerIdByGuid("old-C0"), 1u);
    EXPECT_EQ(catalogue.getComputerIdByGuid("half-C0"), 0u);
}

class AbandonedScan : public StorageFixture {};

TEST_F(AbandonedScan, TheWalkStopsAtOnceWhenAbandoned) {
    for (int i = 0; i < 20; ++i)
        writeLabel(storage() + "/t" + std::to_string(i) + "/TaskLabel.cfg",
                   fullLabel("C", "pc", "T" + std::to_string(i), "task", "P"));
    std::atomic<bool> abandon{true};
    Catalogue::ScanOptions options;
    options.abandon = &abandon;
    EXPECT_TRUE(Catalogue::scanStorage({storage()}, options).taskFolderTable().empty());
    abandon = false;
    EXPECT_EQ(Catalogue::scanStorage({storage()}, options).taskFolderTable().size(), 20u);
}

}  // namespace
}  // namespace CatalogueTest
