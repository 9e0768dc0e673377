// Delete safesets: removes the command's safesets from the synchronisation
// set (main file, then mirror; online pool only), the sync list and the index
// file, each replaced atomically, then removes their containers and flushes
// the pool folder. Follow-up: one verify command.
//
// Crash safety comes from the order: a file is only ever replaced whole, and
// a container is removed only once no list names it. A delete that was cut
// short is completed by running it again: safesets already gone are skipped,
// and a container of the default name that no list names any more is
// removed. A stop request is honoured until the first file is replaced; from
// then on the delete is completed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "IndexFile.h"
#include "OperationSupport.h"
#include "Operations.h"
#include "Pool/Layout.h"
#include "Pool/PoolIndex.h"
#include "TaskStorageDescriptor.h"
#include "VaultFiles.h"
#include "VaultLog.h"

namespace Pool {
namespace Operations {
namespace {

constexpr size_t kIndexEntriesPerRead = 32768;

bool exists(const std::string& path) {
    return VaultFiles::FileSystem::real().status(path, VaultFiles::Links::Refuse).kind != VaultFiles::FileKind::Missing;
}

class DeleteSafesetsOperation final : public PoolOperation {
public:
    explicit DeleteSafesetsOperation(const PoolOperationCommand& command)
        : PoolOperation(command), doomed_(command.safesets.begin(), command.safesets.end()) {}

    void run(std::vector<PoolOperationCommand>& followUps) override {
        const PoolTarget pool(command());
        HeldTaskLock lock(pool.task);
        checkpoint("locked");
        pool.requirePoolFolder();

        // Read everything first: a damaged file stops the delete before any change.
        VSynchFiles::FileContents synch;
        if (pool.online) synch = readSynchSetForChange(pool);
        const std::vector<Carrowen::SyncListEntryData> list = pool.readSyncList();
        std::vector<VSynchEntry> keptSynch;
        for (const VSynchEntry& e : synch.entries)
            if (!doomed_.count(e.safesetNumber)) keptSynch.push_back(e);
        std::vector<Carrowen::SyncListEntryData> keptList;
        std::set<std::string> containers;  // to remove
        for (const auto& entry : list) {
            if (doomed_.count(entry.safesetNumber)) containers.insert(entry.containerFileName);
            else keptList.push_back(entry);
        }
        std::set<std::string> keptNames;
        for (const auto& entry : keptList) keptNames.insert(entry.containerFileName);
        // Containers of the default name left by a delete that was cut short.
        for (const uint32_t safeset : doomed_) {
            const std::string name = Layout::containerFileName(safeset);
            if (!keptNames.count(name) && exists(pool.folder + name)) containers.insert(name);
        }
        for (const std::string& name : keptNames) containers.erase(name);  // shared names stay
        checkpoint("read");

        if (pool.online) {
            // Both files are rewritten even when the main file no longer holds
            // the safesets: a delete cut short between the two left the mirror old.
            const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(pool.task);
            VSynchFiles::writeFile(folder + VSynchSet::MAIN_FILE_NAME, keptSynch, synch.format);
            progressPoint("synchronisation file written");
            VSynchFiles::writeFile(folder + VSynchSet::MIRROR_FILE_NAME, keptSynch, synch.format);
            progressPoint("mirror written");
        }
        if (keptList.size() != list.size()) {
            Carrowen::writeSyncList(pool.syncListPath, keptList);
            progressPoint("sync list written");
        }
        rewriteIndex(pool);
        progressPoint("index written");
        for (const std::string& name : containers) {
            if (::unlink((pool.folder + name).c_str()) != 0 && errno != ENOENT)
                throw std::runtime_error(pool.folder + name + ": cannot remove: " + std::strerror(errno));
            progressPoint("container removed");
        }
        if (!containers.empty()) syncFolder(pool.folder);
        followUps.push_back(verifyFollowUp(command()));
    }

private:
    // Both synchronisation files must be good or missing: a damaged one is
    // evidence and is never overwritten.
    static VSynchFiles::FileContents readSynchSetForChange(const PoolTarget& pool) {
        const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(pool.task);
        bool haveContents = false;
        VSynchFiles::FileContents contents;
        for (const char* name : {VSynchSet::MAIN_FILE_NAME, VSynchSet::MIRROR_FILE_NAME}) {
            const std::string path = folder + name;
            if (!exists(path)) continue;
            try {
                VSynchFiles::FileContents read = VSynchFiles::readFile(path);
                if (!haveContents) contents = read;
                haveContents = true;
            } catch (const std::exception& e) {
                throw pool.error(ErrorNumber::DISABLE_TASK_WRITERS,
                                 std::string(e.what()) + " (no safeset is deleted while a synchronisation file is damaged)");
            }
        }
        if (!haveContents) return readSynchSet(pool);  // raises: no synchronisation file at all
        return contents;
    }

    // Writes the index without the deleted safesets' entries; an index that
    // cannot be read is built again from the containers that remain.
    void rewriteIndex(const PoolTarget& pool) {
        if (!exists(pool.indexPath)) return;
        try {
            IndexFileBase old;
            old.open(pool.indexPath, 1, 1);
            old.verify(false);
            const uint64_t count = old.entryCount();
            bool anyDoomed = false;
            // A first pass decides whether anything changes, so a rerun that
            // finds the index done does not rewrite it.
            for (uint64_t first = 0; first < count && !anyDoomed; first += kIndexEntriesPerRead) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(kIndexEntriesPerRead, count - first));
                for (const IndexEntry& e : old.readEntries(first, n))
                    if (doomed_.count(e.safesetNumber)) {
                        anyDoomed = true;
                        break;
                    }
            }
            if (!anyDoomed) return;
            IndexFileWriter fresh(pool.indexPath, old.poolGuid());
            for (uint64_t first = 0; first < count; first += kIndexEntriesPerRead) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(kIndexEntriesPerRead, count - first));
                for (const IndexEntry& e : old.readEntries(first, n))
                    if (!doomed_.count(e.safesetNumber)) fresh.append(e);
            }
            fresh.commit();
        } catch (const FileError& e) {
            log_show(54, 4098, "%s; building the index again from the containers", e.what());
            writePoolIndex(pool.folder, pool.poolGuid);
        }
    }

    std::set<uint32_t> doomed_;
};

}  // namespace

boost::shared_ptr<PoolOperation> makeDeleteSafesets(const PoolOperationCommand& command) {
    return boost::shared_ptr<PoolOperation>(new DeleteSafesetsOperation(command));
}

}  // namespace Operations
}  // namespace Pool
