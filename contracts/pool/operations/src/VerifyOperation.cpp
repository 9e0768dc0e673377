// Verify: reads the pool's sync list, every container it names in full, and
// the pool's index file when there is one; checks that every available
// safeset of the synchronisation set is in the sync list (online pool) and
// that the index lists exactly the records of the listed containers.
// Changes nothing, so it may stop at any check.
#include <algorithm>
#include <map>

#include "Carrowen/Carrowen.h"
#include "ChecksAhead.h"
#include "IndexFile.h"
#include "OperationSupport.h"
#include "Operations.h"
#include "VaultFiles.h"

namespace Pool {
namespace Operations {
namespace {

// Records between two checks for a stop request (8 MiB of records).
constexpr uint32_t kRecordsPerCheck = 65536;
// Index entries read per call while checking the index against the list.
constexpr size_t kIndexEntriesPerRead = 32768;
// What is announced of the next file while one is read.
constexpr uint64_t kAnnouncedBytes = uint64_t(4) << 20;

class VerifyOperation final : public PoolOperation {
public:
    explicit VerifyOperation(const PoolOperationCommand& command) : PoolOperation(command) {}

    void run(std::vector<PoolOperationCommand>& /*followUps*/) override {
        const PoolTarget pool(command());
        HeldTaskLock lock(pool.task);
        checkpoint("locked");
        pool.requirePoolFolder();
        const std::vector<Carrowen::SyncListEntryData> list = pool.readSyncList();
        if (pool.online) checkSynchSetIsListed(pool, list);

        // The containers and the index are checked by a few threads ahead of
        // this one; their results are taken here in order, with the same
        // checkpoints and the same first failure as when this thread checks
        // each itself (ChecksAhead.h).
        std::vector<uint64_t> counts(list.size(), 0);
        IndexRuns indexed;
        std::vector<Check> checks;
        for (size_t i = 0; i < list.size(); ++i)
            checks.push_back([&, i](const PieceHook& pieceDone) { counts[i] = verifyContainer(pool, list[i], pieceDone); });
        checks.push_back([&](const PieceHook& pieceDone) { indexed = readIndex(pool, pieceDone); });
        // The index is started first: it is read entry by entry, the slowest
        // check per byte, and taken last.
        ChecksAhead ahead(std::move(checks), ChecksAhead::configuredThreads(), [this] { return interruptRequested(); },
                          true);
        const PieceHook checkpointHere = [this](const char* name) { checkpoint(name); };

        std::map<uint32_t, uint64_t> recordCounts;
        for (size_t i = 0; i < list.size(); ++i) {
            checkpoint("container");
            // The device starts on the next file while this one is checked.
            VaultFiles::announceFile(i + 1 < list.size() ? pool.folder + list[i + 1].containerFileName : pool.indexPath,
                                     0, kAnnouncedBytes);
            ahead.take(i, checkpointHere);
            recordCounts[list[i].safesetNumber] = counts[i];
        }
        checkpoint("index");
        ahead.take(list.size(), checkpointHere);
        if (indexed.present) compareIndex(pool, indexed.runs, recordCounts);
    }

private:
    void checkSynchSetIsListed(const PoolTarget& pool, const std::vector<Carrowen::SyncListEntryData>& list) {
        std::map<uint32_t, bool> listed;
        for (const auto& entry : list) listed[entry.safesetNumber] = true;
        for (const VSynchEntry& e : readSynchSet(pool).entries) {
            if (e.peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE) continue;  // offline data is not in the pool
            if (!listed.count(e.safesetNumber))
                throw pool.error(ErrorNumber::SYNC_LIST_DAMAGED,
                                 pool.syncListPath + ": safeset " + std::to_string(e.safesetNumber) +
                                     " of the synchronisation set is not in the sync list");
        }
    }

    // Reads every block of one container; its record count.
    static uint64_t verifyContainer(const PoolTarget& pool, const Carrowen::SyncListEntryData& entry,
                                    const PieceHook& pieceDone) {
        const std::string path = pool.folder + entry.containerFileName;
        Carrowen::FileListContainer2 container;
        try {
            container.open(path, 1, 1);
        } catch (const std::exception& e) {
            throw pool.error(ErrorNumber::CONTAINER_UNREADABLE, e.what());
        }
        // Every block is read and verified against its checksums; the marker
        // bytes do not matter here, so a marked record found is simply passed.
        const uint32_t lower = container.recordIdLowerBound();
        const uint32_t upper = container.recordIdUpperBound();
        // A check for a stop request before every kRecordsPerCheck-th record.
        uint64_t id = lower;
        for (uint64_t nextCheck = uint64_t(lower) + kRecordsPerCheck - 1;; nextCheck += kRecordsPerCheck) {
            const uint64_t pieceEnd = std::min<uint64_t>(nextCheck, upper);
            try {
                while (id < pieceEnd) {
                    const uint64_t marked = container.findMarkedRecord(static_cast<uint32_t>(id),
                                                                       static_cast<uint32_t>(pieceEnd));
                    id = marked < pieceEnd ? marked + 1 : pieceEnd;
                }
            } catch (const std::exception& e) {
                throw pool.error(ErrorNumber::CONTAINER_CHECKSUM, e.what());
            }
            if (nextCheck >= upper) break;
            pieceDone("records");
        }
        return uint64_t(upper) - lower;
    }

    // The records of each safeset that the index lists, in runs.
    struct IndexRuns {
        bool present = false;  // the index is optional
        std::map<uint32_t, uint64_t> runs;
    };

    // Reads the index, when there is one: every block is checked, and the
    // entries must come in order.
    static IndexRuns readIndex(const PoolTarget& pool, const PieceHook& pieceDone) {
        IndexRuns result;
        if (VaultFiles::FileSystem::real().status(pool.indexPath, VaultFiles::Links::Refuse).kind ==
            VaultFiles::FileKind::Missing)
            return result;
        result.present = true;
        std::map<uint32_t, uint64_t>& indexed = result.runs;
        // Entries come in runs of one safeset (their order is checked first).
        bool inRun = false;
        uint32_t runSafeset = 0;
        uint64_t runLength = 0;
        try {
            // The quick check (header, table), then one pass over the entries
            // that checks every block and the order.
            IndexFileBase index;
            index.open(pool.indexPath, 1, 1);
            index.verify(false);
            const uint64_t count = index.entryCount();
            bool havePrevious = false;
            IndexEntry previous;
            std::vector<IndexEntry> entries;
            for (uint64_t first = 0; first < count; first += kIndexEntriesPerRead) {
                pieceDone("index entries");
                index.readNextEntries(entries, kIndexEntriesPerRead);
                for (const IndexEntry& e : entries) {
                    if (havePrevious && (e.safesetNumber < previous.safesetNumber ||
                                         (e.safesetNumber == previous.safesetNumber && e.recordId <= previous.recordId)))
                        throw FileError(pool.indexPath, "entries out of order at safeset " +
                                                            std::to_string(e.safesetNumber) + ", record " +
                                                            std::to_string(e.recordId));
                    previous = e;
                    havePrevious = true;
                    if (inRun && e.safesetNumber != runSafeset) {
                        indexed[runSafeset] = runLength;
                        runLength = 0;
                    }
                    inRun = true;
                    runSafeset = e.safesetNumber;
                    ++runLength;
                }
            }
            if (inRun) indexed[runSafeset] = runLength;
            index.close(true);
        } catch (const FileError& e) {
            throw pool.error(ErrorNumber::INDEX_CHECKSUM, e.what());
        }
        return result;
    }

    // The index must list, in order, exactly the records of the listed
    // containers.
    static void compareIndex(const PoolTarget& pool, const std::map<uint32_t, uint64_t>& indexed,
                             const std::map<uint32_t, uint64_t>& recordCounts) {
        for (const auto& entry : indexed) {
            const auto listed = recordCounts.find(entry.first);
            if (listed == recordCounts.end())
                throw pool.error(ErrorNumber::INDEX_CHECKSUM, pool.indexPath + ": lists safeset " +
                                                                  std::to_string(entry.first) +
                                                                  ", which the sync list does not name");
            if (listed->second != entry.second)
                throw pool.error(ErrorNumber::INDEX_CHECKSUM,
                                 pool.indexPath + ": lists " + std::to_string(entry.second) + " records of safeset " +
                                     std::to_string(entry.first) + ", its container holds " +
                                     std::to_string(listed->second));
        }
        for (const auto& listed : recordCounts)
            if (listed.second > 0 && !indexed.count(listed.first))
                throw pool.error(ErrorNumber::INDEX_CHECKSUM, pool.indexPath + ": does not list safeset " +
                                                                  std::to_string(listed.first));
    }
};

}  // namespace

boost::shared_ptr<PoolOperation> makeVerify(const PoolOperationCommand& command) {
    return boost::shared_ptr<PoolOperation>(new VerifyOperation(command));
}

}  // namespace Operations
}  // namespace Pool
