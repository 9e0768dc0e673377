#include "Catalogue/CShMDBHelper.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <utility>

#include <dlfcn.h>

#include "Catalogue/StorageScanner.h"
#include "ReadGlobalSetting.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace {

const int kFacility = 64;
const unsigned kError = 4099;
const unsigned kTrace = 16385;

}  // namespace

namespace Catalogue {

CatalogueTables scanConfiguredStorage(const std::atomic<bool>& abandon) {
    ScanOptions options;
    options.abandon = &abandon;
    const unsigned long readers = sys_getconfignum("CatalogueReadersInFlight", nullptr, kDefaultReadersInFlight);
    options.readers = static_cast<unsigned>(readers > kMaxReadersInFlight ? kMaxReadersInFlight : readers);
    // Counters the host program offers (ScanProgress.h); most offer none.
    options.progress = static_cast<ScanProgress*>(::dlsym(RTLD_DEFAULT, kScanProgressSymbol));
    struct PassEnd {
        ScanProgress* progress;
        ~PassEnd() {
            if (progress != nullptr) progress->passesEnded.fetch_add(1, std::memory_order_release);
        }
    } passEnd{options.progress};
    return scanStorage(readMountList(), options);
}

DWORD configuredRefreshPeriodMilliseconds() {
    const unsigned long seconds = sys_getconfignum("CatalogueRefreshSeconds", nullptr, 0);
    if (seconds == 0) return INFINITE;
    const unsigned long longest = (INFINITE - 1) / 1000;
    return static_cast<DWORD>((seconds > longest ? longest : seconds) * 1000);
}

bool runRefreshLoop(HANDLE refreshEvent, HANDLE stopEvent, const std::function<void(bool first)>& pass) {
    const HANDLE handles[2] = {refreshEvent, stopEvent};
    for (bool first = true;; first = false) {
        pass(first);
        const DWORD result = WaitForMultipleObjects(2, handles, FALSE, configuredRefreshPeriodMilliseconds());
        if (result == WAIT_OBJECT_0 + 1) return true;
        if (result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT) continue;
        log_show(kFacility, kError,
                 "catalogue refresh thread: waiting for a refresh request failed; the thread ends and the catalogue "
                 "keeps its tables");
        return false;
    }
}

}  // namespace Catalogue

namespace {

class SectionGuard {
public:
    explicit SectionGuard(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
    ~SectionGuard() { LeaveCriticalSection(&section_); }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;

private:
    CRITICAL_SECTION& section_;
};

std::string readSetting(const char* key) {
    std::string value;
    readGlobalSetting(key, value, std::string());
    return value;
}

// Stops the process-wide catalogue's thread when the process ends (or the
// library holding it is unloaded), before the code it runs goes away.
struct ExitGuard {
    ~ExitGuard() {
        if (CShMDBHelper* catalogue = CShMDBHelper::existingInstance()) catalogue->abandonAndStop(2000);
    }
} exitGuard;

}  // namespace

CShMDBHelper::CShMDBHelper() : CShMDBHelper(PassFunction(&Catalogue::scanConfiguredStorage)) {}

CShMDBHelper::CShMDBHelper(PassFunction pass)
    : labelFileName(Catalogue::kLabelFileName),
      pass_(std::move(pass)),
      tables_(std::make_shared<const Catalogue::CatalogueTables>()) {
    InitializeCriticalSection(&tableLock);
    loadedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    refreshEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (loadedEvent != nullptr && stopEvent != nullptr && refreshEvent != nullptr && pass_) {
        unsigned threadId = 0;
        refreshThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &threadProcedure, this, 0, &threadId));
    }
    if (refreshThread == nullptr) {
        for (HANDLE event : {loadedEvent, stopEvent, refreshEvent})
            if (event != nullptr) CloseHandle(event);
        DeleteCriticalSection(&tableLock);
        throw std::runtime_error("cannot start the catalogue's refresh thread");
    }
}

CShMDBHelper::~CShMDBHelper() {
    stop();
    CloseHandle(refreshThread);
    DeleteCriticalSection(&tableLock);
    CloseHandle(loadedEvent);
    CloseHandle(stopEvent);
    CloseHandle(refreshEvent);
}

unsigned CShMDBHelper::threadProcedure(void* catalogue) {
    if (catalogue == nullptr) return 0;
    static_cast<CShMDBHelper*>(catalogue)->runThread();
    return 0;
}

void CShMDBHelper::runThread() {
    Catalogue::runRefreshLoop(refreshEvent, stopEvent, [this](bool first) { runPass(first); });
}

void CShMDBHelper::runPass(bool first) {
    const auto started = std::chrono::steady_clock::now();
    try {
        auto fresh = std::make_shared<const Catalogue::CatalogueTables>(pass_(abandon_));
        if (logCheckTraceLevel(kTrace)) {
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
            log_show(kFacility, kTrace, "catalogue scan %llu ended: %zu computers, %zu task folders, %zu pools in %.3f s",
                     static_cast<unsigned long long>(passCount() + 1), fresh->computerTable().size(),
                     fresh->taskFolderTable().size(), fresh->poolTable().size(), took.count());
        }
        if (!abandon_.load()) {
            // The old generation is released after the lock is left: a reader
            // holding it keeps it alive, and nobody waits for its release.
            SectionGuard guard(tableLock);
            tables_.swap(fresh);
        }
    } catch (const std::exception& error) {
        log_show(kFacility, kError, "catalogue scan failed: %s; the catalogue keeps its previous tables", error.what());
    } catch (...) {
        log_show(kFacility, kError, "catalogue scan failed: unknown error; the catalogue keeps its previous tables");
    }
    {
        std::lock_guard<std::mutex> lock(passMutex_);
        passes_.fetch_add(1, std::memory_order_acq_rel);
    }
    passDone_.notify_all();
    if (first) {
        SetEvent(loadedEvent);
        loaded_.store(true, std::memory_order_release);
    }
}

void CShMDBHelper::waitLoaded() const {
    if (loaded_.load(std::memory_order_acquire)) return;
    WaitForSingleObject(loadedEvent, INFINITE);
}

std::shared_ptr<const Catalogue::CatalogueTables> CShMDBHelper::snapshot() const {
    waitLoaded();
    SectionGuard guard(tableLock);
    return tables_;
}

void CShMDBHelper::listTaskFolders(std::vector<std::string>& taskGuids, std::vector<int32_t>& positions) const {
    snapshot()->listTaskFolders(taskGuids, positions);
}

std::string CShMDBHelper::getTaskFolderPath(int32_t position) const { return snapshot()->getTaskFolderPath(position); }

std::vector<std::string> CShMDBHelper::listComputerGuids() const { return snapshot()->listComputerGuids(); }

uint32_t CShMDBHelper::getComputerIdByGuid(const std::string& computerGuid) const {
    return snapshot()->getComputerIdByGuid(computerGuid);
}

uint32_t CShMDBHelper::getComputerIdByTaskGuid(const std::string& taskGuid) const {
    return snapshot()->getComputerIdByTaskGuid(taskGuid);
}

std::string CShMDBHelper::getComputerNameByGuid(const std::string& computerGuid) const {
    return snapshot()->getComputerNameByGuid(computerGuid);
}

std::vector<std::string> CShMDBHelper::getComputerTaskGuids(uint32_t computerId) const {
    return snapshot()->getComputerTaskGuids(computerId);
}

std::string CShMDBHelper::getTaskNameByGuid(const std::string& taskGuid) const {
    return snapshot()->getTaskNameByGuid(taskGuid);
}

std::vector<Catalogue::PoolEntry> CShMDBHelper::listPools() const { return snapshot()->poolTable(); }

std::string CShMDBHelper::getVaultUser() const { return readSetting("VaultUser"); }
std::string CShMDBHelper::getVaultPassword() const { return readSetting("VaultPassword"); }
std::string CShMDBHelper::getVaultAccount() const { return readSetting("VaultAccount"); }

void CShMDBHelper::requestRefresh() { SetEvent(refreshEvent); }

void CShMDBHelper::stop() {
    SetEvent(stopEvent);
    WaitForSingleObject(refreshThread, INFINITE);
}

void CShMDBHelper::abandonAndStop(unsigned timeoutMilliseconds) {
    abandon_.store(true);
    SetEvent(stopEvent);
    WaitForSingleObject(refreshThread, timeoutMilliseconds);
}

bool CShMDBHelper::waitForPassCount(uint64_t count, unsigned timeoutMilliseconds) const {
    std::unique_lock<std::mutex> lock(passMutex_);
    return passDone_.wait_for(lock, std::chrono::milliseconds(timeoutMilliseconds),
                              [&] { return passes_.load(std::memory_order_acquire) >= count; });
}

bool CShMDBHelper::threadRunning() const { return threadExitCode() == STILL_ACTIVE; }

DWORD CShMDBHelper::threadExitCode() const {
    DWORD code = 0;
    GetExitCodeThread(refreshThread, &code);
    return code;
}
