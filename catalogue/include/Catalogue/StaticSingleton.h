// Process-wide objects created on first use.
//
// CStaticSingleton<T>::instance() creates the one T on its first call and
// returns it to every caller, from any thread: concurrent first callers are
// serialised by one process-wide creation lock and all receive the same
// object. The object is never destroyed (it may own a thread that runs until
// the process ends), and neither is the creation lock, so no caller and no
// thread can ever meet a destroyed lock, however late it runs.
#pragma once

#include <atomic>
#include <new>
#include <stdexcept>

#include "WinKernel.h"

namespace StaticSingleton {

// The creation lock: one critical section for the whole process, set up on
// first use and deliberately never deleted.
class CLockable {
public:
    static CLockable& creationLock();
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CLockable() { InitializeCriticalSection(&section_); }
    CRITICAL_SECTION section_;
};

template <class T>
class CStaticSingleton {
public:
    // The one T. Throws std::runtime_error("Failed to create Singleton
    // instance") when it cannot be created; a later call tries again.
    static T& instance() {
        T* existing = instance_.load(std::memory_order_acquire);
        if (existing != nullptr) return *existing;
        CLockable& lock = CLockable::creationLock();
        lock.lock();
        existing = instance_.load(std::memory_order_relaxed);
        if (existing == nullptr) {
            try {
                existing = new T;
            } catch (...) {
                lock.unlock();
                throw std::runtime_error("Failed to create Singleton instance");
            }
            instance_.store(existing, std::memory_order_release);
        }
        lock.unlock();
        return *existing;
    }

    // The instance when it exists, else null; never creates it.
    static T* existingInstance() { return instance_.load(std::memory_order_acquire); }

protected:
    CStaticSingleton() = default;
    ~CStaticSingleton() = default;

private:
    static inline std::atomic<T*> instance_{nullptr};
};

}  // namespace StaticSingleton
