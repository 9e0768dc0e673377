#include "VaultBuilder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "BuiltPoolIndex.h"
#include "CatalogueDatabase.h"
#include "Carrowen/Writers.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DataObjects/DataObjects.h"
#include "Pool/Layout.h"
#include "VSynchSetWriter.h"
#include "VaultFiles.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace fs = std::filesystem;

namespace VaultAdmin {

const char* const kTaskLabelFileName = "TaskLabel.cfg";

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void writeNodeConfig(const VaultDescription& vault, const VaultPaths& paths, const BuildOptions& options) {
    if (::setenv("VAULT_NODE_CONFIG", paths.nodeConfig.c_str(), 1) != 0)
        throw std::runtime_error("cannot set VAULT_NODE_CONFIG");
    NodeConfig::set("node", "HostName", vault.thisNode);
    NodeConfig::set("node", "VaultVersion", vault.version);
    NodeConfig::set("node", "LockFolder", paths.locks);
    NodeConfig::set("node", "SpoolFolder", paths.root + "/spool");
    NodeConfig::set("database", "VaultID", vault.id);
    NodeConfig::set("database", "Plugin", "SqlCatalogue");
    if (options.databaseConnection.empty()) {
        NodeConfig::set("database", "File", paths.catalogue);
    } else {
        NodeConfig::set("database", "Backend", "postgresql");
        NodeConfig::set("database", "Connection", options.databaseConnection);
    }
    NodeConfig::set("local", "Mount_0", paths.storage);
    fs::create_directories(paths.locks);
}

// The task record as the catalogue stores it (and as the storage layout
// derives its paths from it).
DataObjects::TaskDataObject taskRecord(const TaskDescription& task, const std::string& folder, uint32_t nodeId) {
    DataObjects::TaskDataObject record;
    record.name = task.name;
    record.guid = task.guid;
    record.poolGuid = task.poolGuid;
    record.taskFolder = folder;
    record.nodeId = nodeId;
    return record;
}

class CatalogueWriter final {
public:
    CatalogueWriter(const VaultDescription& vault, const VaultPaths& paths,
                    const std::function<void(const char*, uint64_t, uint64_t)>& onProgress = {})
        : vault_(vault), paths_(paths), onProgress_(onProgress) {}

    // With `addVaultRecord` false the vault record is there already and the
    // customers are added to it.
    void write(bool addVaultRecord = true) {
        DatabaseInterfaces::DbInterfaceManager manager;
        DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
        if (!admin) throw std::runtime_error("the database plug-in gave no administrator interface");

        const uint64_t total = vault_.taskCount();
        uint64_t written = 0;
        if (addVaultRecord) {
            DataObjects::VaultDataObject vaultRecord;
            vaultRecord.name = vault_.id;
            vaultRecord.guid = vault_.guid;
            vaultRecord.version = vault_.version;
            admin->addVault(vaultRecord);
        }

        std::vector<uint32_t> nodeIds;
        for (const std::string& hostName : vault_.nodes) {
            DataObjects::NodeDataObject node;
            node.hostName = hostName;
            node.address = hostName;
            nodeIds.push_back(admin->registerNodeToCluster(node));
        }
        for (const CustomerDescription& customer : vault_.customers) {
            DataObjects::CustomerDataObject customerRecord;
            customerRecord.name = customer.name;
            customerRecord.shortName = customer.name;
            customerRecord.reference = customer.reference;
            const uint32_t customerId = admin->addCustomer(customerRecord);
            for (const LocationDescription& location : customer.locations) {
                DataObjects::LocationDataObject locationRecord;
                locationRecord.customerId = customerId;
                locationRecord.name = location.name;
                locationRecord.reference = location.reference;
                const uint32_t locationId = admin->addLocation(customerId, locationRecord);
                for (const ComputerDescription& computer : location.computers) {
                    DataObjects::ComputerDataObject computerRecord;
                    computerRecord.locationId = locationId;
                    computerRecord.name = computer.name;
                    computerRecord.hostName = computer.name;
                    computerRecord.guid = computer.guid;
                    computerRecord.active = true;
                    const uint32_t computerId = admin->addComputer(locationId, 0, computerRecord);
                    for (const TaskDescription& task : computer.tasks) {
                        DataObjects::TaskDataObject taskRecordOut =
                            taskRecord(task, taskFolderOf(paths_, computer, task), nodeIdOf(task.node, nodeIds));
                        taskRecordOut.computerId = computerId;
                        const uint32_t taskId = admin->addTask(computerId, taskRecordOut);
                        DataObjects::PoolDataObject pool;
                        pool.guid = task.poolGuid;
                        pool.folders[0] = pool.folders[1] = Pool::Layout::poolFolder(taskRecordOut);
                        admin->addPool(pool);
                        if (!admin->associateTaskAndPool(taskId, task.poolGuid))
                            throw std::runtime_error("the catalogue refused to associate task '" + task.name +
                                                     "' with its pool " + task.poolGuid);
                        if (onProgress_) onProgress_("Writing the catalogue", ++written, total);
                    }
                }
            }
        }
    }

private:
    uint32_t nodeIdOf(const std::string& hostName, const std::vector<uint32_t>& nodeIds) const {
        for (size_t i = 0; i < vault_.nodes.size(); ++i) {
            if (vault_.nodes[i] == hostName) return nodeIds[i];
        }
        throw std::logic_error("task bound to an unknown node " + hostName);
    }

    const VaultDescription& vault_;
    const VaultPaths& paths_;
    std::function<void(const char*, uint64_t, uint64_t)> onProgress_;
};

// Writes through `files`, which leaves flushing to disk to the end of the
// build (BuildFileSystem).
void writeTaskStorage(const ComputerDescription& computer, const TaskDescription& task, const std::string& folder,
                      VaultFiles::FileSystem& files) {
    const DataObjects::TaskDataObject record = taskRecord(task, folder, 0);
    fs::create_directories(Pool::Layout::poolFolder(record));
    fs::create_directories(Pool::Layout::synchFolder(record));
    writeBuiltPoolIndex(Pool::Layout::poolFolder(record), task, files);

    std::vector<Carrowen::SyncListEntryData> listEntries;
    std::vector<VSynchEntry> setEntries;
    for (const SafesetDescription& safeset : task.safesets) {
        const uint64_t records = safeset.records;
        const MarkedRecords& marked = safeset.marked;
        std::function<bool(uint32_t)> isMarked;
        if (marked.count(records) > 0)
            isMarked = [&marked, records](uint32_t recordId) { return marked.isMarked(recordId - kFirstRecordId, records); };
        Carrowen::writeFileListContainer(Pool::Layout::containerPath(record, safeset.number), kFirstRecordId, records,
                                         isMarked, files);

        Carrowen::SyncListEntryData listEntry;
        listEntry.safesetNumber = safeset.number;
        listEntry.version = safeset.version;
        listEntry.containerFileName = Pool::Layout::containerFileName(safeset.number);
        listEntries.push_back(listEntry);

        VSynchEntry setEntry;
        setEntry.safesetNumber = safeset.number;
        setEntry.peripheral = safeset.unavailable ? VSYNCH_PERIPHERAL_UNAVAILABLE : 0u;
        setEntry.fileName = VFileName(listEntry.containerFileName);
        setEntries.push_back(setEntry);
    }
    Carrowen::writeSyncList(Pool::Layout::syncListPath(record), listEntries, files);
    VSynchFiles::writeTaskSet(record, setEntries, VSynchFiles::Format::Current, files);

    VaultUtilities::ConfigGroup label;
    label.set("TASK_GUID", task.guid);
    label.set("TASK_NAME", task.name);
    label.set("COMPUTER_GUID", computer.guid);
    label.set("COMPUTER", computer.name);
    label.set("POOL_GUID", task.poolGuid);
    VaultUtilities::ConfigFilePersistManager::write(folder + kTaskLabelFileName, label, files);
}

void checkFreeSpace(const VaultDescription& vault, const VaultPaths& paths) {
    // Records plus a generous allowance per file for headers and the small
    // files; enough to refuse a build that cannot fit before it starts.
    const uint64_t needed = vault.containerBytes() + uint64_t(vault.safesetCount()) * 8192 +
                            uint64_t(vault.taskCount()) * 65536;
    const uint64_t available = VaultFiles::FileSystem::real().availableBytes(paths.root);
    if (needed > available)
        throw std::runtime_error(paths.root + ": the vault needs about " + std::to_string(needed >> 20) +
                                 " MiB and only " + std::to_string(available >> 20) + " MiB are free");
}

struct TaskToWrite {
    const ComputerDescription* computer;
    const TaskDescription* task;
};

// Writes every task's storage on `options.storageWriters` threads. The first
// error stops the remaining work and is rethrown here.
void writeAllTaskStorage(const VaultDescription& vault, const VaultPaths& paths, const BuildOptions& options) {
    std::vector<TaskToWrite> work;
    for (const CustomerDescription& customer : vault.customers)
        for (const LocationDescription& location : customer.locations)
            for (const ComputerDescription& computer : location.computers)
                for (const TaskDescription& task : computer.tasks) work.push_back({&computer, &task});

    BuildFileSystem files;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::exception_ptr firstError;
    unsigned running = 0;

    auto worker = [&]() {
        while (!failed.load()) {
            const size_t index = next.fetch_add(1);
            if (index >= work.size()) break;
            try {
                writeTaskStorage(*work[index].computer, *work[index].task,
                                 taskFolderOf(paths, *work[index].computer, *work[index].task), files);
                done.fetch_add(1);
            } catch (...) {
                std::lock_guard<std::mutex> guard(mutex);
                if (!firstError) firstError = std::current_exception();
                failed.store(true);
            }
        }
        std::lock_guard<std::mutex> guard(mutex);
        --running;
        finished.notify_all();
    };

    const unsigned writers =
        static_cast<unsigned>(std::max<size_t>(1, std::min<size_t>(options.storageWriters, work.size())));
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(mutex);
        running = writers;
    }
    for (unsigned i = 0; i < writers; ++i) threads.emplace_back(worker);
    {
        std::unique_lock<std::mutex> lock(mutex);
        // The progress line a few times a second, the plain line every 5 s.
        Clock::time_point lastLine = Clock::now();
        while (!finished.wait_for(lock, std::chrono::milliseconds(250), [&] { return running == 0; })) {
            if (options.onProgress) options.onProgress("Writing the storage", done.load(), work.size());
            if (options.progress && Clock::now() - lastLine >= std::chrono::seconds(5)) {
                lastLine = Clock::now();
                *options.progress << "storage: " << done.load() << " of " << work.size() << " tasks" << std::endl;
            }
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (firstError) std::rethrow_exception(firstError);
}

}  // namespace

std::string taskFolderOf(const VaultPaths& paths, const ComputerDescription& computer, const TaskDescription& task) {
    return paths.storage + "/" + computer.guid + "/" + task.guid + "/";
}

BuildReport buildVault(const VaultDescription& vault, const std::string& root, const BuildOptions& options) {
    const VaultPaths paths(root);
    checkFreeSpace(vault, paths);
    const CatalogueServer server{options.databaseConnection};
    // A catalogue database that holds a vault is refused before anything is
    // written; with --force it is emptied only once the folder is known to
    // be replaceable.
    if (!server.connection.empty() && !options.force) prepareCatalogueDatabase(server, false);
    beginBuild(paths, options.force);
    if (!server.connection.empty() && options.force) prepareCatalogueDatabase(server, true);

    BuildReport report;
    report.nodeConfig = paths.nodeConfig;
    report.tasks = vault.taskCount();
    report.safesets = vault.safesetCount();
    report.containerBytes = vault.containerBytes();
    writeNodeConfig(vault, paths, options);

    Clock::time_point start = Clock::now();
    CatalogueWriter(vault, paths, options.onProgress).write();
    report.catalogueSeconds = secondsSince(start);
    if (options.progress)
        *options.progress << "catalogue written: " << report.tasks << " tasks in " << report.catalogueSeconds << " s"
                          << std::endl;

    start = Clock::now();
    fs::create_directories(paths.storage);
    writeAllTaskStorage(vault, paths, options);
    report.storageSeconds = secondsSince(start);
    finishBuild(paths);
    return report;
}

BuildReport addToVault(const VaultDescription& more, const BuildOptions& options) {
    const std::string configured = DBConfig::Instance(false).getVaultID();
    if (more.id != configured)
        throw std::runtime_error("the description is of vault '" + more.id + "', the node configuration " +
                                 NodeConfig::path() + " of vault '" + configured + "'");
    const VaultPaths paths(fs::path(NodeConfig::path()).parent_path().string());
    checkFreeSpace(more, paths);
    for (const CustomerDescription& customer : more.customers)
        for (const LocationDescription& location : customer.locations)
            for (const ComputerDescription& computer : location.computers)
                for (const TaskDescription& task : computer.tasks) {
                    const std::string folder = taskFolderOf(paths, computer, task);
                    std::error_code error;
                    if (fs::exists(folder, error) || error)
                        throw std::runtime_error("task '" + task.name + "': its folder " + folder +
                                                 " exists already (give new customer or computer names)");
                }

    BuildReport report;
    report.nodeConfig = paths.nodeConfig;
    report.tasks = more.taskCount();
    report.safesets = more.safesetCount();
    report.containerBytes = more.containerBytes();
    Clock::time_point start = Clock::now();
    writeAllTaskStorage(more, paths, options);
    VaultFiles::FileSystem::real().syncFileSystem(paths.storage);
    report.storageSeconds = secondsSince(start);
    start = Clock::now();
    CatalogueWriter(more, paths).write(false);
    report.catalogueSeconds = secondsSince(start);
    return report;
}

}  // namespace VaultAdmin
