// Pool operations beside plain tools doing the same file work, warm cache,
// best of several rounds, all in one run:
//   1. the verify operation over a pool of 1 GiB of containers (8 containers,
//      no index file) against `cat` of the same containers;
//   2. IndexFileBase::verify(true) over a 1 GiB index file against `cat` of it;
//   3. the delete operation removing 1,000 safesets (synchronisation set,
//      sync list, index, then the containers) against `rm` of the same
//      container files.
//
// usage: pool_ops_bench <folder> [container MiB = 1024] [index MiB = 1024]
//                       [safesets = 1000] [rounds = 3]
// The verify pool and the index are written when missing or of another size
// and reused otherwise; the delete pool is rebuilt for every round.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "IndexFile.h"
#include "Pool/Layout.h"
#include "Pool/PoolFactory.h"
#include "Pool/PoolIndex.h"
#include "Pool/PoolStorage.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "VSynchSetWriter.h"
#include "VaultSettings.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double timeCommand(const std::string& command) {
    const Clock::time_point start = Clock::now();
    const int rc = std::system(command.c_str());
    const double seconds = secondsSince(start);
    if (rc != 0) throw std::runtime_error("failed: " + command.substr(0, 200));
    return seconds;
}

std::string quoted(const std::vector<std::string>& files) {
    std::string text;
    for (const std::string& f : files) text += " '" + f + "'";
    return text;
}

uint64_t sizeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

boost::shared_ptr<DataObjects::TaskDataObject> taskIn(const std::string& folder, const std::string& guid) {
    boost::shared_ptr<DataObjects::TaskDataObject> task(new DataObjects::TaskDataObject);
    task->id = 1;
    task->name = guid;
    task->guid = guid;
    task->poolGuid = "POOL-" + guid;
    task->taskFolder = folder;
    return task;
}

// A pool of `safesets` containers of `records` records each, with its sync
// list and synchronisation set (and the index when asked).
void buildPool(const DataObjects::TaskDataObject& task, unsigned safesets, uint64_t records, bool index) {
    const std::string pool = Pool::Layout::poolFolder(task);
    VaultFiles::makeFolders(pool);
    std::vector<Carrowen::SyncListEntryData> list;
    std::vector<VSynchEntry> synch;
    for (unsigned s = 1; s <= safesets; ++s) {
        const std::string name = Pool::Layout::containerFileName(s);
        if (sizeOf(pool + name) != 64 + 128 * records + 4 * ((records + 511) / 512))
            Carrowen::writeFileListContainer(pool + name, 1, records, nullptr);
        list.push_back({s, "8.50", name});
        synch.push_back({s, 0, VFileName(name)});
    }
    Carrowen::writeSyncList(pool + Pool::Layout::SYNC_LIST_FILE_NAME, list);
    VSynchFiles::writeTaskSet(task, synch);
    if (index) Pool::writePoolIndex(pool, task.poolGuid);
}

Pool::PoolOperationCommand commandFor(const boost::shared_ptr<DataObjects::TaskDataObject>& task, int32_t code) {
    Pool::PoolOperationCommand c;
    c.command = code;
    c.task = task;
    c.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor(task->poolGuid, *task));
    return c;
}

double timeOperation(const Pool::PoolOperationCommand& c) {
    std::vector<Pool::PoolOperationCommand> followUps;
    auto operation = Pool::PoolFactory::getPoolFactory(50)->createOperation(c);
    const Clock::time_point start = Clock::now();
    operation->run(followUps);
    return secondsSince(start);
}

void report(const char* what, const char* tool, double ours, double theirs, double mib, double goal) {
    std::printf("%-34s %8.3f s", what, ours);
    if (mib > 0) std::printf("  (%5.0f MiB/s)", mib / ours);
    std::printf("\n%-34s %8.3f s", tool, theirs);
    if (mib > 0) std::printf("  (%5.0f MiB/s)", mib / theirs);
    std::printf("\n%-34s %8.2f  (goal: within %.1fx)\n\n", "ratio", ours / theirs, goal);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [container MiB] [index MiB] [safesets] [rounds]\n", argv[0]);
        return 2;
    }
    try {
        const std::string folder = std::string(argv[1]) + "/";
        const uint64_t containerMiB = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
        const uint64_t indexMiB = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1024;
        const unsigned safesets = argc > 4 ? static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)) : 1000;
        const int rounds = argc > 5 ? std::atoi(argv[5]) : 3;
        if (containerMiB == 0 || indexMiB == 0 || safesets == 0 || rounds <= 0)
            throw std::invalid_argument("sizes must be positive");
        VaultFiles::makeFolders(folder);
        // A node configuration of the benchmark's own: lock files in the folder.
        const std::string config = folder + "node.conf";
        ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1);
        NodeConfig::set("node", "LockFolder", folder + "locks");

        // 1. Verify over 8 containers against cat of them.
        const auto verifyTask = taskIn(folder + "verify-task", "VERIFY");
        const uint64_t recordsEach = (containerMiB << 20) / 8 / Carrowen::FileListRecord::SIZE;
        buildPool(*verifyTask, 8, recordsEach, false);
        std::vector<std::string> containers;
        double containerBytes = 0;
        for (unsigned s = 1; s <= 8; ++s) {
            containers.push_back(Pool::Layout::containerPath(*verifyTask, s));
            containerBytes += double(sizeOf(containers.back()));
        }
        const std::string catContainers = "cat" + quoted(containers) + " > /dev/null";
        timeCommand(catContainers);  // warm the page cache
        timeOperation(commandFor(verifyTask, Pool::POOL_COMMAND_VERIFY));
        double verifyBest = 1e9, catBest = 1e9;
        for (int r = 0; r < rounds; ++r) {
            catBest = std::min(catBest, timeCommand(catContainers));
            verifyBest = std::min(verifyBest, timeOperation(commandFor(verifyTask, Pool::POOL_COMMAND_VERIFY)));
        }
        std::printf("verify: %.0f MiB in 8 containers, best of %d rounds, warm cache\n", containerBytes / (1 << 20),
                    rounds);
        report("pool verify operation", "cat of the containers", verifyBest, catBest, containerBytes / (1 << 20), 1.5);
        // The same verify with its checks in one thread ([numbers] VerifyThreads=1).
        NodeConfig::set("numbers", "VerifyThreads", "1");
        double oneThreadBest = 1e9;
        for (int r = 0; r < rounds; ++r)
            oneThreadBest = std::min(oneThreadBest, timeOperation(commandFor(verifyTask, Pool::POOL_COMMAND_VERIFY)));
        NodeConfig::remove("numbers", "VerifyThreads");
        std::printf("%-34s %8.3f s  (%5.0f MiB/s; threads by default / one: %.2f)\n\n", "the same, VerifyThreads=1",
                    oneThreadBest, containerBytes / (1 << 20) / oneThreadBest, verifyBest / oneThreadBest);

        // 2. Index verification against cat of the index.
        const std::string indexPath = folder + "bench.vix";
        // 2048 entries and their 4-byte checksum per 65540 bytes after the header.
        const uint64_t entries = ((indexMiB << 20) - 512) * 2048 / (32 * 2048 + 4);
        bool haveIndex = false;
        try {
            IndexFileBase index;
            index.open(indexPath, 1, 1);
            index.verify(false);
            haveIndex = index.entryCount() == entries;
        } catch (const std::exception&) {
        }
        if (!haveIndex) {
            std::printf("writing %s (%llu entries)\n", indexPath.c_str(), static_cast<unsigned long long>(entries));
            IndexFileWriter writer(indexPath, "POOL-BENCH");
            for (uint64_t i = 0; i < entries; ++i) {
                IndexEntry e;
                e.safesetNumber = static_cast<uint32_t>(1 + i / 1000000);
                e.recordId = static_cast<uint32_t>(i % 1000000);
                e.key = i * 0x9E3779B97F4A7C15ull;
                e.offset = 64 + 128 * (i % 1000000);
                e.size = 128;
                writer.append(e);
            }
            writer.commit();
        }
        const double indexBytes = double(sizeOf(indexPath));
        const std::string catIndex = "cat '" + indexPath + "' > /dev/null";
        const auto timeIndexVerify = [&] {
            IndexFileBase index;
            const Clock::time_point start = Clock::now();
            index.open(indexPath, 1, 1);
            index.verify(true);
            index.close(true);
            return secondsSince(start);
        };
        timeCommand(catIndex);
        timeIndexVerify();
        double indexBest = 1e9, catIndexBest = 1e9;
        for (int r = 0; r < rounds; ++r) {
            catIndexBest = std::min(catIndexBest, timeCommand(catIndex));
            indexBest = std::min(indexBest, timeIndexVerify());
        }
        std::printf("index: %.0f MiB, %llu entries, best of %d rounds, warm cache\n", indexBytes / (1 << 20),
                    static_cast<unsigned long long>(entries), rounds);
        report("IndexFileBase::verify(true)", "cat of the index", indexBest, catIndexBest, indexBytes / (1 << 20), 1.5);

        // 3. Delete of every safeset of a pool of `safesets` small containers
        // against rm of the same container files (rebuilt for each run).
        const auto deleteTask = taskIn(folder + "delete-task", "DELETE");
        std::vector<uint32_t> all;
        std::vector<std::string> files;
        for (unsigned s = 1; s <= safesets; ++s) {
            all.push_back(s);
            files.push_back(Pool::Layout::containerPath(*deleteTask, s));
        }
        const std::string rmFiles = "rm -f" + quoted(files);
        double deleteBest = 1e9, rmBest = 1e9;
        for (int r = 0; r < rounds; ++r) {
            buildPool(*deleteTask, safesets, 16, true);
            timeCommand("cat" + quoted(files) + " > /dev/null");
            rmBest = std::min(rmBest, timeCommand(rmFiles));
            buildPool(*deleteTask, safesets, 16, true);
            timeCommand("cat" + quoted(files) + " > /dev/null");
            Pool::PoolOperationCommand c = commandFor(deleteTask, Pool::POOL_COMMAND_DELETE_SAFESETS);
            c.safesets = all;
            deleteBest = std::min(deleteBest, timeOperation(c));
            for (const std::string& f : files)
                if (sizeOf(f) != 0) throw std::runtime_error(f + ": still there after the delete");
        }
        std::printf("delete: %u safesets (16 records each, with synchronisation set, sync list and index), "
                    "best of %d rounds\n",
                    safesets, rounds);
        report("pool delete operation", "rm of the container files", deleteBest, rmBest, 0, 3.0);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pool_ops_bench: %s\n", e.what());
        return 1;
    }
}
