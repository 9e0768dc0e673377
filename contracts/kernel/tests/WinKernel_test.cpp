#include "WinKernel.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

TEST(KernelEvent, AutoResetSignalWaitsForOneWaiterAndIsConsumed) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    // Set with no waiter: stays set until one wait takes it.
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(KernelEvent, TwoSignalsBeforeAnyWaitReleaseExactlyOneOfSeveralWaiters) {
    // The refresh-request pattern: several requests while nobody waits, then
    // competing waiters; one of them gets through.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(event);
    SetEvent(event);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 200) == WAIT_OBJECT_0) ++released;
        });
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released.load(), 1);
    CloseHandle(event);
}

TEST(KernelEvent, SignalWakesABlockedWaiter) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(event);
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // consumed by the waiter
    CloseHandle(event);
}

TEST(KernelEvent, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ResetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(KernelEvent, WaitTimesOutAfterRoughlyTheGivenTime) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 80), WAIT_TIMEOUT);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(waited, 75);
    EXPECT_LT(waited, 60000);  // ended by the time-out, not by something else: room for a loaded machine
    CloseHandle(event);
}

TEST(KernelEvent, WaitAnyReportsLowestSignalledAndConsumesOnlyIt) {
    HANDLE events[3] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr),
                        CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);

    // A signal from another thread wakes a blocked wait-any with its index.
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        SetEvent(events[1]);
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();
    for (HANDLE event : events) CloseHandle(event);
}

TEST(KernelEvent, WaitAllNeedsEveryObject) {
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, TRUE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_TIMEOUT);
    // The failed wait-all consumed nothing.
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_TIMEOUT);
    for (HANDLE event : events) CloseHandle(event);
}

TEST(KernelEvent, BadHandlesFail) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(event);
    HANDLE made_up = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(12345));
    for (HANDLE bad : {event, made_up, static_cast<HANDLE>(nullptr)}) {
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_FALSE(CloseHandle(bad));
    }
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "named"), nullptr);
}

struct Unwound {
    std::atomic<bool>* flag;
    ~Unwound() { *flag = true; }
};

unsigned endsEarly(void* arg) {
    Unwound guard{static_cast<std::atomic<bool>*>(arg)};
    _endthreadex(7);
}

unsigned returnsValue(void* arg) {
    HANDLE go = static_cast<HANDLE>(arg);
    WaitForSingleObject(go, INFINITE);
    return 42;
}

TEST(KernelThread, ExitCodeIsReadableByJoiner) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    unsigned id = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, returnsValue, go, 0, &id));
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    CloseHandle(thread);
    CloseHandle(go);
}

TEST(KernelThread, EndThreadExUnwindsAndSetsTheCode) {
    std::atomic<bool> unwound{false};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endsEarly, &unwound, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(unwound.load());
    CloseHandle(thread);
}

// A thread-local whose destructor runs after the thread's function returned,
// while the system thread is ending.
struct SlowThreadExit {
    std::atomic<bool>* ended = nullptr;
    ~SlowThreadExit() {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (ended != nullptr) *ended = true;
    }
};
thread_local SlowThreadExit t_slowExit;

unsigned endsSlowly(void* arg) {
    t_slowExit.ended = static_cast<std::atomic<bool>*>(arg);
    return 0;
}

// A process may end right after a wait on a thread returns (a library
// stopping its thread at exit): the thread must be gone by then, not still
// tearing itself down.
TEST(KernelThread, AWaitThatSeesTheThreadEndReturnsAfterTheSystemThreadIsGone) {
    std::atomic<bool> ended{false};
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endsSlowly, &ended, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(ended.load()) << "the wait returned while the thread was still ending";
    CloseHandle(thread);
}

TEST(KernelThread, SuspendedThreadRunsOnlyAfterResume) {
    std::atomic<bool> unwound{false};
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, endsEarly, &unwound, CREATE_SUSPENDED, nullptr));
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
    EXPECT_FALSE(unwound.load());
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(unwound.load());
    CloseHandle(thread);
}

struct Shared {
    CRITICAL_SECTION section;
    long counter = 0;  // deliberately unsynchronised apart from the section
};

unsigned addMany(void* arg) {
    auto* shared = static_cast<Shared*>(arg);
    for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&shared->section);
        EnterCriticalSection(&shared->section);  // recursive entry by the owner
        ++shared->counter;
        LeaveCriticalSection(&shared->section);
        LeaveCriticalSection(&shared->section);
    }
    return 0;
}

TEST(KernelCriticalSection, ExcludesOtherThreadsAndIsRecursive) {
    Shared shared;
    InitializeCriticalSection(&shared.section);
    HANDLE threads[4];
    for (HANDLE& thread : threads) thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, addMany, &shared, 0, nullptr));
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_EQ(shared.counter, 4 * 20000);

    EnterCriticalSection(&shared.section);
    std::atomic<BOOL> otherGotIt{TRUE};
    std::thread other([&] { otherGotIt = TryEnterCriticalSection(&shared.section); });
    other.join();
    EXPECT_FALSE(otherGotIt.load());
    LeaveCriticalSection(&shared.section);
    DeleteCriticalSection(&shared.section);
}

TEST(KernelFiles, DeleteFileAndLocalTime) {
    char path[] = "/tmp/kernel_test_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(DeleteFileA(path));
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_FALSE(DeleteFileA(nullptr));

    struct tm local {};
    ASSERT_TRUE(GetLocalTm(86400 * 365, &local));
    EXPECT_TRUE(local.tm_year == 70 || local.tm_year == 71);
    EXPECT_FALSE(GetLocalTm(0, nullptr));
}

}  // namespace
