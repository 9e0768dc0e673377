// Kernel objects over the standard thread library.
//
// All event and thread state sits under one process-wide mutex with one
// condition variable that is notified on every change. Waits are therefore
// simple and exact (a wait-any sees a consistent picture of all its objects
// and consumes at most one auto-reset event), at the cost of waking every
// waiter on every change, which is fine for the handful of threads this
// system runs.
#include "WinKernel.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include <pthread.h>
#include <unistd.h>

namespace {

struct KernelObject {
    virtual ~KernelObject() = default;
    // Both called with the kernel mutex held.
    virtual bool signalled() const = 0;
    virtual void consume() {}
};

struct EventObject final : KernelObject {
    EventObject(bool manual, bool initial) : manualReset(manual), isSet(initial) {}
    bool signalled() const override { return isSet; }
    void consume() override {
        if (!manualReset) isSet = false;
    }
    const bool manualReset;
    bool isSet;
};

struct ThreadObject final : KernelObject {
    // A thread nobody waited for is let go: it may be the one dropping the
    // last reference to its own object.
    ~ThreadObject() override {
        if (worker.joinable()) worker.detach();
    }
    bool signalled() const override { return finished; }
    unsigned (*start)(void*) = nullptr;
    void* arg = nullptr;
    bool suspended = false;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    // The system thread, until a wait that saw it finish joins it.
    std::thread worker;
};

// The unwinding object of _endthreadex; only the trampoline catches it.
struct ThreadExitRequest {
    unsigned code;
};

thread_local bool t_startedByKernel = false;

class Kernel final {
public:
    static Kernel& instance() {
        // Never destroyed: threads may still use it while statics are torn down.
        static Kernel* kernel = new Kernel;
        return *kernel;
    }

    std::mutex mutex;
    std::condition_variable changed;

    uintptr_t add(std::shared_ptr<KernelObject> object) {
        const uintptr_t id = nextId_;
        nextId_ += 4;
        objects_.emplace(id, std::move(object));
        return id;
    }
    // With the mutex held: the object of a handle, or null.
    std::shared_ptr<KernelObject> find(HANDLE handle) const {
        auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
        return it == objects_.end() ? nullptr : it->second;
    }
    bool remove(HANDLE handle) { return objects_.erase(reinterpret_cast<uintptr_t>(handle)) != 0; }
    unsigned nextThreadId() { return ++threadIds_; }

private:
    Kernel() = default;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects_;
    uintptr_t nextId_ = 0x1000;
    unsigned threadIds_ = 0;
};

void fatal(const char* what) {
    std::fprintf(stderr, "fatal: %s\n", what);
    std::abort();
}

std::recursive_mutex& lockOf(CRITICAL_SECTION* section) {
    if (section == nullptr || section->impl == nullptr) fatal("critical section used before InitializeCriticalSection");
    return *section->impl;
}

// Waits on `objects` under `lock` until `ready` picks a result or the time is up.
template <typename Ready>
DWORD waitUntil(std::unique_lock<std::mutex>& lock, DWORD milliseconds, Ready ready) {
    Kernel& kernel = Kernel::instance();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        DWORD result = WAIT_TIMEOUT;
        if (ready(result)) return result;
        if (milliseconds == INFINITE) {
            kernel.changed.wait(lock);
        } else if (kernel.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            return ready(result) ? result : WAIT_TIMEOUT;
        }
    }
}

void runThread(std::shared_ptr<ThreadObject> self) {
    Kernel& kernel = Kernel::instance();
    {
        std::unique_lock<std::mutex> lock(kernel.mutex);
        kernel.changed.wait(lock, [&] { return !self->suspended; });
    }
    t_startedByKernel = true;
    DWORD code = 0xFFFFFFFFu;
    try {
        code = self->start(self->arg);
    } catch (const ThreadExitRequest& request) {
        code = request.code;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "thread ended by an exception: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "thread ended by an unknown exception\n");
    }
    std::lock_guard<std::mutex> lock(kernel.mutex);
    self->exitCode = code;
    self->finished = true;
    kernel.changed.notify_all();
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    if (section == nullptr) fatal("InitializeCriticalSection on a null section");
    section->impl = new std::recursive_mutex;
}

void EnterCriticalSection(CRITICAL_SECTION* section) { lockOf(section).lock(); }

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) { return lockOf(section).try_lock() ? TRUE : FALSE; }

void LeaveCriticalSection(CRITICAL_SECTION* section) { lockOf(section).unlock(); }

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    if (section == nullptr) return;
    delete section->impl;
    section->impl = nullptr;
}

HANDLE CreateEventA(void* /*security*/, BOOL manualReset, BOOL initialState, const char* name) {
    if (name != nullptr) return nullptr;
    Kernel& kernel = Kernel::instance();
    auto event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    std::lock_guard<std::mutex> lock(kernel.mutex);
    return reinterpret_cast<HANDLE>(kernel.add(std::move(event)));
}

namespace {
BOOL setEventState(HANDLE handle, bool set) {
    Kernel& kernel = Kernel::instance();
    std::lock_guard<std::mutex> lock(kernel.mutex);
    auto event = std::dynamic_pointer_cast<EventObject>(kernel.find(handle));
    if (!event) return FALSE;
    event->isSet = set;
    if (set) kernel.changed.notify_all();
    return TRUE;
}
}  // namespace

BOOL SetEvent(HANDLE event) { return setEventState(event, true); }

BOOL ResetEvent(HANDLE event) { return setEventState(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

namespace {
// A wait that saw a thread finish joins it, so that once the wait returns the
// system thread is gone too, not merely past its last line: a process that
// ends right after stopping a thread (and a leak checker that inspects every
// thread at exit) never meets one half torn down. The join is quick, since
// all the thread still does is return from its trampoline.
void joinFinishedThreads(std::unique_lock<std::mutex>& lock, const std::vector<std::shared_ptr<KernelObject>>& objects) {
    std::vector<std::thread> finished;
    for (const auto& object : objects) {
        auto* thread = dynamic_cast<ThreadObject*>(object.get());
        if (thread != nullptr && thread->finished && thread->worker.joinable() &&
            thread->worker.get_id() != std::this_thread::get_id())
            finished.push_back(std::move(thread->worker));
    }
    if (finished.empty()) return;
    lock.unlock();
    for (std::thread& worker : finished) worker.join();
}
}  // namespace

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) return WAIT_FAILED;
    Kernel& kernel = Kernel::instance();
    std::unique_lock<std::mutex> lock(kernel.mutex);
    // Holding the objects keeps the wait valid even if a handle is closed meanwhile.
    std::vector<std::shared_ptr<KernelObject>> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = kernel.find(handles[i]);
        if (!object) return WAIT_FAILED;
        objects.push_back(std::move(object));
    }
    DWORD result = WAIT_TIMEOUT;
    if (waitAll != FALSE) {
        result = waitUntil(lock, milliseconds, [&](DWORD& ready) {
            for (const auto& object : objects)
                if (!object->signalled()) return false;
            for (const auto& object : objects) object->consume();
            ready = WAIT_OBJECT_0;
            return true;
        });
    } else {
        result = waitUntil(lock, milliseconds, [&](DWORD& ready) {
            for (DWORD i = 0; i < count; ++i) {
                if (objects[i]->signalled()) {
                    objects[i]->consume();
                    ready = WAIT_OBJECT_0 + i;
                    return true;
                }
            }
            return false;
        });
    }
    if (result != WAIT_TIMEOUT) joinFinishedThreads(lock, objects);
    return result;
}

BOOL CloseHandle(HANDLE handle) {
    Kernel& kernel = Kernel::instance();
    std::lock_guard<std::mutex> lock(kernel.mutex);
    return kernel.remove(handle) ? TRUE : FALSE;
}

uintptr_t _beginthreadex(void* /*security*/, unsigned /*stackSize*/, unsigned (*start)(void*), void* arg,
                         unsigned initFlag, unsigned* threadId) {
    if (start == nullptr || (initFlag & ~CREATE_SUSPENDED) != 0) return 0;
    Kernel& kernel = Kernel::instance();
    auto thread = std::make_shared<ThreadObject>();
    thread->start = start;
    thread->arg = arg;
    thread->suspended = (initFlag & CREATE_SUSPENDED) != 0;
    uintptr_t handle = 0;
    {
        std::lock_guard<std::mutex> lock(kernel.mutex);
        handle = kernel.add(thread);
        if (threadId != nullptr) *threadId = kernel.nextThreadId();
    }
    try {
        std::thread worker(runThread, thread);
        std::lock_guard<std::mutex> lock(kernel.mutex);
        thread->worker = std::move(worker);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(kernel.mutex);
        kernel.remove(reinterpret_cast<HANDLE>(handle));
        return 0;
    }
    return handle;
}

void _endthreadex(unsigned exitCode) {
    if (t_startedByKernel) throw ThreadExitRequest{exitCode};
    pthread_exit(nullptr);
}

DWORD ResumeThread(HANDLE handle) {
    Kernel& kernel = Kernel::instance();
    std::lock_guard<std::mutex> lock(kernel.mutex);
    auto thread = std::dynamic_pointer_cast<ThreadObject>(kernel.find(handle));
    if (!thread) return 0xFFFFFFFFu;
    const DWORD previous = thread->suspended ? 1 : 0;
    thread->suspended = false;
    kernel.changed.notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
    if (exitCode == nullptr) return FALSE;
    Kernel& kernel = Kernel::instance();
    std::lock_guard<std::mutex> lock(kernel.mutex);
    auto thread = std::dynamic_pointer_cast<ThreadObject>(kernel.find(handle));
    if (!thread) return FALSE;
    *exitCode = thread->exitCode;
    return TRUE;
}

BOOL DeleteFileA(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return FALSE;
    }
    return ::unlink(path) == 0 ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool GetLocalTm(time_t when, struct tm* result) {
    return result != nullptr && ::localtime_r(&when, result) != nullptr;
}
