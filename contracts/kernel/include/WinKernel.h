// A small kernel-object layer with the names and semantics the vault's code
// was written against: recursive critical sections, unnamed events, threads
// started through the C runtime's entry point, and a few file and time calls.
//
// Rules that hold for everything here:
// - Every function is safe to call from any thread at once.
// - A HANDLE names an event or a thread. Handles are never reused within a
//   process, so a closed or made-up handle is recognised: calls on it fail
//   (WAIT_FAILED, FALSE) instead of touching freed memory.
// - CloseHandle releases the caller's handle only; a thread keeps running and
//   a waiter that already holds the object finishes its wait normally.
// - Auto-reset events are consumed by exactly one successful wait; setting an
//   already signalled event changes nothing. Manual-reset events stay
//   signalled until ResetEvent.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int BOOL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x00000004u
// The most handles one WaitForMultipleObjects call accepts.
#define MAXIMUM_WAIT_OBJECTS 64u

// A recursive lock: the owning thread may enter it again and must leave it as
// many times as it entered. Initialise before first use, delete after last.
// Entering a section that was never initialised stops the process with a
// message (it cannot give exclusion, and going on would corrupt data).
struct CRITICAL_SECTION {
    std::recursive_mutex* impl = nullptr;
};

void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
// Enters when the lock is free or already held by the caller; never blocks.
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
// Releases the section's resources; it must not be held by anyone.
void DeleteCriticalSection(CRITICAL_SECTION* section);

// Creates an unnamed event. `security` is ignored; a non-null `name` is not
// supported and gives a null handle. Returns null on failure.
HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits until the object is signalled or `milliseconds` pass (INFINITE: no
// limit). An event is signalled while set; a thread once it has ended, and
// a wait that sees it ended returns only once its system thread is gone
// (thread-local destructors included), so a process may end right after.
// Returns WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// waitAll false: returns WAIT_OBJECT_0 + i for the lowest index i whose object
// is signalled (consuming it when it is an auto-reset event). waitAll true:
// returns WAIT_OBJECT_0 once all are signalled at the same moment, consuming
// every auto-reset event among them. WAIT_FAILED for a count of 0 or above
// MAXIMUM_WAIT_OBJECTS, a null array, or any bad handle.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Closes an event or thread handle. FALSE for a handle that is not open.
BOOL CloseHandle(HANDLE handle);

// Starts `start(arg)` on a new thread and returns its handle (0 on failure),
// which becomes signalled when the thread ends. `security` and `stackSize`
// are ignored; `initFlag` is 0 (run at once) or CREATE_SUSPENDED (run after
// ResumeThread). The thread's exit code is start's return value, or the code
// given to _endthreadex. *threadId (when not null) receives a process-unique
// number. An exception other than _endthreadex's that leaves `start` ends the
// thread with exit code 0xFFFFFFFF (and a line on standard error).
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* arg,
                         unsigned initFlag, unsigned* threadId);

// Ends the calling thread with `exitCode`. On a thread started by
// _beginthreadex this unwinds the thread's stack (destructors run) with an
// exception of a private type, so a catch (...) on the way must rethrow it and
// it must not cross a noexcept function. On any other thread it calls
// pthread_exit.
[[noreturn]] void _endthreadex(unsigned exitCode);

// Starts a thread created with CREATE_SUSPENDED. Returns the previous suspend
// count (1 when it was suspended, 0 when it already ran) or 0xFFFFFFFF for a
// bad handle.
DWORD ResumeThread(HANDLE thread);

// *exitCode receives STILL_ACTIVE while the thread runs, its exit code after.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Removes a file. FALSE (errno set) when it cannot.
BOOL DeleteFileA(const char* path);

// Sleeps for `milliseconds`.
void Sleep(DWORD milliseconds);

// Breaks `when` into local time. false when the time cannot be represented.
bool GetLocalTm(time_t when, struct tm* result);
