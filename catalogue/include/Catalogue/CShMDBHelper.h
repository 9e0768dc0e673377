// The in-memory catalogue: one generation of tables built from the storage
// by a refresh thread of its own, and the look-ups the database interfaces
// answer from.
//
// Lifecycle. The constructor starts the refresh thread, which runs a first
// pass at once. Look-ups wait, without a time limit, until the first pass has
// ended (successful or not), then answer from the current generation. The
// thread then sleeps until a refresh is requested (requestRefresh, or the
// period "CatalogueRefreshSeconds" of the node configuration's [numbers]
// section when it is above 0) and runs another pass; several requests during
// a pass give one more pass. stop() ends the thread after the pass in
// progress; the destructor stops and joins it.
//
// Generations. A pass builds its tables without any lock and swaps them in
// under tableLock, so readers never wait for a pass after the first one and
// always see one whole generation: snapshot() hands out the current one, and
// an operation that needs several look-ups takes one snapshot and asks it.
// The named look-ups below each take a snapshot of their own.
//
// Failures. A pass that fails (memory, anything thrown) is logged and leaves
// the previous generation in place (empty tables after a failed first
// pass); the first pass releases the waiting readers either way. A failed
// wait for the next request is logged and ends the thread; the tables stay.
//
// The process-wide catalogue of the plug-in is instance(): created on first
// use, never destroyed; at process exit its thread is asked to stop and
// given a moment to do so, so no thread runs while the process's code is
// being torn down. Tests may create catalogues of their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <boost/noncopyable.hpp>

#include "Catalogue/CatalogueTables.h"
#include "Catalogue/StaticSingleton.h"
#include "WinKernel.h"

class CShMDBHelper : public StaticSingleton::CStaticSingleton<CShMDBHelper>, private boost::noncopyable {
public:
    // Builds one generation. `abandon` turns true when the process is ending:
    // the function may then return early, and its result is thrown away.
    using PassFunction = std::function<Catalogue::CatalogueTables(const std::atomic<bool>& abandon)>;

    // A catalogue of the storage roots "Mount_%d" (read again on every pass).
    CShMDBHelper();
    // A catalogue whose passes run `pass` (tests, benchmarks).
    explicit CShMDBHelper(PassFunction pass);
    virtual ~CShMDBHelper();

    // --- Look-ups: wait for the first pass, then answer from one generation ---
    std::shared_ptr<const Catalogue::CatalogueTables> snapshot() const;
    void listTaskFolders(std::vector<std::string>& taskGuids, std::vector<int32_t>& positions) const;
    std::string getTaskFolderPath(int32_t position) const;
    std::vector<std::string> listComputerGuids() const;
    uint32_t getComputerIdByGuid(const std::string& computerGuid) const;
    uint32_t getComputerIdByTaskGuid(const std::string& taskGuid) const;
    std::string getComputerNameByGuid(const std::string& computerGuid) const;
    std::vector<std::string> getComputerTaskGuids(uint32_t computerId) const;
    std::string getTaskNameByGuid(const std::string& taskGuid) const;
    std::vector<Catalogue::PoolEntry> listPools() const;

    // --- Settings, read afresh on every call (no wait, no table lock) ---
    std::string getVaultUser() const;
    std::string getVaultPassword() const;
    std::string getVaultAccount() const;

    // --- The refresh thread ---
    // Asks for another pass (returns at once).
    void requestRefresh();
    // Ends the thread after the pass in progress and waits for it; idempotent.
    void stop();
    // Passes completed so far (failed ones included).
    uint64_t passCount() const { return passes_.load(std::memory_order_acquire); }
    // Waits until at least `count` passes have completed; false on time-out.
    bool waitForPassCount(uint64_t count, unsigned timeoutMilliseconds) const;
    // True while the refresh thread runs.
    bool threadRunning() const;
    // Exit code of the ended thread (STILL_ACTIVE while it runs).
    DWORD threadExitCode() const;

    // At process exit: makes a pass in progress stop early, stops the thread
    // and waits at most `timeoutMilliseconds` for it.
    void abandonAndStop(unsigned timeoutMilliseconds);

    const std::string labelFileName;

private:
    static unsigned threadProcedure(void* catalogue);
    void runThread();
    void runPass(bool first);
    void waitLoaded() const;

    HANDLE loadedEvent = nullptr;   // manual reset: the first pass has ended
    HANDLE refreshEvent = nullptr;  // auto reset: one more pass, please
    HANDLE refreshThread = nullptr;
    HANDLE stopEvent = nullptr;     // manual reset: end the thread

    PassFunction pass_;
    mutable CRITICAL_SECTION tableLock;  // guards tables_
    std::shared_ptr<const Catalogue::CatalogueTables> tables_;

    std::atomic<bool> loaded_{false};
    std::atomic<bool> abandon_{false};
    std::atomic<uint64_t> passes_{0};
    mutable std::mutex passMutex_;
    mutable std::condition_variable passDone_;
};

namespace Catalogue {
// The pass of the plug-in's catalogue: readMountList, then scanStorage.
CatalogueTables scanConfiguredStorage(const std::atomic<bool>& abandon);
// The refresh period from "CatalogueRefreshSeconds" in [numbers]; INFINITE
// when it is 0 or absent.
DWORD configuredRefreshPeriodMilliseconds();
// The refresh thread's loop: a pass (`pass(true)` the first time), then a
// wait for `refreshEvent` or the configured period, and again; ends when
// `stopEvent` is seen. Returns true then, and false when a wait failed (the
// failure is logged and no further pass runs, rather than rescanning the
// storage without end).
bool runRefreshLoop(HANDLE refreshEvent, HANDLE stopEvent, const std::function<void(bool first)>& pass);
}  // namespace Catalogue
