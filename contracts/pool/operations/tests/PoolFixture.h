// A task with a small real pool in a temporary folder: synchronisation set,
// sync list, containers and index, as the vault's writers leave them; and
// helpers to build commands for it and to read back what is on disk.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Carrowen/Writers.h"
#include "IndexFile.h"
#include "Pool/Layout.h"
#include "Pool/PoolFactory.h"
#include "Pool/PoolIndex.h"
#include "Pool/PoolStorage.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "StorageTestSupport.h"
#include "TaskStorageDescriptor.h"
#include "VSynchSetWriter.h"

class PoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        StorageTest::useNodeConfig(temp_, "[node]\nLockFolder=" + temp_.path() + "locks\n[numbers]\nOptimizeLockTimeout=200\n");
        task_.reset(new DataObjects::TaskDataObject(StorageTest::makeTask(temp_.path() + "task", "TASK-G", 12)));
        task_->poolGuid = "POOL-A";
        buildPool(Pool::Layout::poolFolder(*task_), {1, 2, 3, 4, 5}, true);
    }

    // Writes a pool folder: containers of 40 records per safeset (safeset s
    // starting at record id 100 * s), the sync list, the index; and, for the
    // online pool, the synchronisation set.
    void buildPool(const std::string& folder, const std::vector<uint32_t>& safesets, bool online) {
        VaultFiles::makeFolders(folder);
        std::vector<Carrowen::SyncListEntryData> list;
        std::vector<VSynchEntry> synch;
        for (const uint32_t s : safesets) {
            Carrowen::writeFileListContainer(folder + Pool::Layout::containerFileName(s), 100 * s, 40,
                                             [](uint32_t id) { return id % 9 == 0; });
            list.push_back({s, "8.50", Pool::Layout::containerFileName(s)});
            synch.push_back({s, 0, VFileName(Pool::Layout::containerFileName(s))});
        }
        Carrowen::writeSyncList(folder + Pool::Layout::SYNC_LIST_FILE_NAME, list);
        Pool::writePoolIndex(folder, online ? task_->poolGuid : "SEC-1");
        if (online) VSynchFiles::writeTaskSet(*task_, synch);
    }

    Pool::PoolOperationCommand command(int32_t code, std::vector<uint32_t> safesets = {},
                                       const std::string& poolGuid = "POOL-A") const {
        Pool::PoolOperationCommand c;
        c.command = code;
        c.task = task_;
        c.safesets = std::move(safesets);
        if (Pool::isSecondaryPool(poolGuid, *task_))
            c.poolDescriptor.reset(new Pool::SecondaryPoolStorageDescriptor(poolGuid, *task_));
        else
            c.poolDescriptor.reset(new Pool::OnlineCarrowenStorageDescriptor(poolGuid, *task_));
        c.globalTag = "TAG";
        return c;
    }

    // Runs a command through the factory; returns its follow-ups.
    std::vector<Pool::PoolOperationCommand> run(const Pool::PoolOperationCommand& c,
                                                std::function<void(const char*)> hook = nullptr) const {
        std::vector<Pool::PoolOperationCommand> followUps;
        auto operation = Pool::PoolFactory::getPoolFactory(50)->createOperation(c);
        operation->setCheckpointHook(hook);
        operation->run(followUps);
        return followUps;
    }

    // The error number a verify raises; 0 when the pool verifies.
    int32_t verifyError(const std::string& poolGuid = "POOL-A") const {
        try {
            run(command(Pool::POOL_COMMAND_VERIFY, {}, poolGuid));
            return 0;
        } catch (const Pool::PoolError& e) {
            EXPECT_EQ(poolGuid, e.getPoolGuid());
            EXPECT_EQ("TASK-G", e.getJobGuid());
            lastError_ = e.what();
            return e.getErrorNumber();
        }
    }

    std::string poolFolder() const { return Pool::Layout::poolFolder(*task_); }
    std::string synchFolder() const { return TaskStorageDescriptor::getSynchFilesStorageLocation(*task_); }
    std::string path(uint32_t safeset) const { return Pool::Layout::containerPath(*task_, safeset); }

    // Safeset numbers of the files as they are now.
    static std::vector<uint32_t> synchFile(const std::string& p) {
        std::vector<uint32_t> numbers;
        for (const auto& e : VSynchFiles::readFile(p).entries) numbers.push_back(e.safesetNumber);
        return numbers;
    }
    std::vector<uint32_t> syncList(const std::string& folder = std::string()) const {
        std::vector<uint32_t> numbers;
        for (const auto& e : Carrowen::readSyncList((folder.empty() ? poolFolder() : folder) + "synclist.vsl"))
            numbers.push_back(e.safesetNumber);
        return numbers;
    }
    // Safesets the index lists (after a full verification of the file).
    std::vector<uint32_t> indexed(const std::string& folder = std::string()) const {
        IndexFileBase index;
        index.open((folder.empty() ? poolFolder() : folder) + "pool.vix", 1, 1);
        index.verify(true);
        std::vector<uint32_t> numbers;
        for (const auto& e : index.readEntries(0, size_t(index.entryCount())))
            if (numbers.empty() || numbers.back() != e.safesetNumber) numbers.push_back(e.safesetNumber);
        return numbers;
    }
    static bool exists(const std::string& p) {
        struct stat st;
        return ::lstat(p.c_str(), &st) == 0;
    }

    StorageTest::TempFolder temp_;
    boost::shared_ptr<DataObjects::TaskDataObject> task_;
    mutable std::string lastError_;
};
