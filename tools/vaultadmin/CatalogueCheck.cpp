#include "CatalogueCheck.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Catalogue/CatalogueTables.h"
#include "Catalogue/StorageScanner.h"
#include "CatalogueAnswers.h"
#include "CatalogueDatabase.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DataObjects/DataObjects.h"
#include "VaultSettings.h"

namespace VaultAdmin {

const char* const kFolderMissing = "folder-missing";
const char* const kNoLabel = "no-label";
const char* const kNotInCatalogue = "task-not-in-catalogue";
const char* const kNameDiffers = "name-differs";
const char* const kComputerDiffers = "computer-differs";
const char* const kComputerNameDiffers = "computer-name-differs";
const char* const kPoolDiffers = "pool-differs";
const char* const kFolderDiffers = "folder-differs";
const char* const kDuplicate = "duplicate";
const char* const kPoolNotInCatalogue = "pool-not-in-catalogue";
const char* const kPoolNotOnStorage = "pool-not-on-storage";

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return out;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }
std::string orNone(const std::string& text) { return text.empty() ? std::string("(none)") : text; }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Why a catalogue folder is not a folder on the storage, or "" when it is
// one. The folder is looked up below the first root that holds it, one
// component at a time, never through a link and never above the root.
std::string folderProblem(const std::string& folder, const std::vector<std::string>& roots) {
    const std::string path = withoutTrailingSeparators(folder);
    if (path.empty()) return "the catalogue names no folder";
    for (const std::string& mount : roots) {
        const std::string root = withoutTrailingSeparators(mount);
        if (path == root) return std::string();
        if (path.compare(0, root.size() + 1, root + "/") != 0) continue;
        Descriptor current(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
        if (current.get() < 0) return "its storage root " + root + " cannot be opened (" + std::strerror(errno) + ")";
        size_t at = root.size() + 1;
        while (at <= path.size()) {
            size_t end = path.find('/', at);
            if (end == std::string::npos) end = path.size();
            const std::string part = path.substr(at, end - at);
            at = end + 1;
            if (part.empty() || part == ".") continue;
            if (part == "..") return "it leads out of its storage root ('..')";
            struct stat info {};
            if (::fstatat(current.get(), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) return "it does not exist";
                return std::string("it cannot be looked at (") + std::strerror(errno) + ")";
            }
            if (S_ISLNK(info.st_mode)) return "it is reached through a symbolic link, which is not followed";
            if (!S_ISDIR(info.st_mode)) return "it is not a folder";
            const int next = ::openat(current.get(), part.c_str(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
            if (next < 0) return std::string("it cannot be opened (") + std::strerror(errno) + ")";
            current.reset(next);
        }
        return std::string();
    }
    return "it lies outside the storage roots";
}

// What one label told the scan about a task folder.
struct StorageTask {
    std::string guid;
    std::string folder;  // without the trailing separator
    std::string root;
    bool labelled = false;  // the label has COMPUTER_GUID and TASK_NAME
    std::string name;
    std::string computerGuid;
    std::string poolGuid;
};

struct StoragePool {
    std::string guid;
    std::string folder;
    std::string root;
};

struct StorageSide {
    std::vector<StorageTask> tasks;  // scan order, root by root
    std::unordered_map<std::string, std::vector<size_t>> byGuid;
    std::unordered_map<std::string, size_t> byFolder;  // first task folder entry at a folder
    std::vector<StoragePool> pools;
    std::unordered_map<std::string, std::vector<size_t>> poolsByUpperGuid;
    std::unordered_map<std::string, std::string> computerNames;  // first name met per computer GUID
};

StorageSide storageSide(const std::vector<std::string>& roots, const std::vector<Catalogue::CatalogueTables>& tables) {
    StorageSide side;
    for (size_t r = 0; r < tables.size(); ++r) {
        const Catalogue::CatalogueTables& table = tables[r];
        const size_t first = side.tasks.size();
        std::unordered_map<std::string, std::vector<size_t>> inRoot;
        for (const Catalogue::TaskFolderEntry& entry : table.taskFolderTable()) {
            StorageTask task;
            task.guid = entry.taskGuid;
            task.folder = withoutTrailingSeparators(entry.taskFolder);
            task.root = roots[r];
            inRoot[task.guid].push_back(side.tasks.size());
            side.tasks.push_back(std::move(task));
        }
        // A label with TASK_GUID, COMPUTER_GUID and TASK_NAME adds one task
        // folder entry and one task reference, in scan order per GUID: the
        // k-th reference of a GUID belongs to its k-th folder.
        std::unordered_map<std::string, size_t> used;
        for (const Catalogue::ComputerEntry& computer : table.computerTable()) {
            for (const Catalogue::TaskRef& ref : computer.tasks) {
                auto found = inRoot.find(ref.taskGuid);
                if (found == inRoot.end()) continue;
                size_t& k = used[ref.taskGuid];
                if (k >= found->second.size()) continue;
                StorageTask& task = side.tasks[found->second[k++]];
                task.labelled = true;
                task.name = ref.taskName;
                task.computerGuid = computer.computerGuid;
            }
        }
        std::unordered_map<std::string, std::string> poolAtFolder;
        for (const Catalogue::PoolEntry& pool : table.poolTable()) {
            const std::string folder = withoutTrailingSeparators(pool.poolFolder);
            poolAtFolder.emplace(folder, pool.poolGuid);
            side.poolsByUpperGuid[upper(pool.poolGuid)].push_back(side.pools.size());
            side.pools.push_back(StoragePool{pool.poolGuid, folder, roots[r]});
        }
        for (size_t i = first; i < side.tasks.size(); ++i) {
            StorageTask& task = side.tasks[i];
            auto pool = poolAtFolder.find(task.folder);
            if (pool != poolAtFolder.end()) task.poolGuid = pool->second;
            side.byGuid[task.guid].push_back(i);
            side.byFolder.emplace(task.folder, i);
        }
        for (const Catalogue::ComputerNameEntry& entry : table.computerNameTable())
            side.computerNames.emplace(entry.computerGuid, entry.computerName);
    }
    return side;
}

Json catalogueJson(const CatalogueTask& task) {
    return Json{{"taskId", task.id},         {"name", task.name},         {"computerGuid", task.computerGuid},
                {"computer", task.computerName}, {"poolGuid", task.poolGuid}, {"folder", task.folder}};
}

Json storageJson(const StorageTask& task) {
    Json out{{"folder", task.folder}, {"root", task.root}};
    out["name"] = task.labelled ? Json(task.name) : Json(nullptr);
    out["computerGuid"] = task.labelled ? Json(task.computerGuid) : Json(nullptr);
    out["poolGuid"] = task.poolGuid.empty() ? Json(nullptr) : Json(task.poolGuid);
    return out;
}

std::string taskHead(const std::string& taskGuid, const std::string& computerGuid) {
    return "task " + taskGuid + " (computer " + orNone(computerGuid) + "): ";
}

std::string catalogueTaskText(const CatalogueTask& task) {
    return "catalogue task " + std::to_string(task.id) + " " + quoted(task.name);
}

int kindRank(const std::string& kind) {
    static const char* const order[] = {kFolderMissing, kNoLabel,          kNotInCatalogue, kNameDiffers,
                                        kComputerDiffers, kComputerNameDiffers, kPoolDiffers,  kFolderDiffers,
                                        kDuplicate,       kPoolNotInCatalogue,  kPoolNotOnStorage};
    for (int i = 0; i < static_cast<int>(sizeof order / sizeof order[0]); ++i)
        if (kind == order[i]) return i;
    return 99;
}

}  // namespace

CatalogueSide readCatalogueSide() {
    CatalogueSide side;
    side.location = catalogueLocation();
    DatabaseInterfaces::DbInterfaceManager manager;
    DatabaseInterfaces::AdministratorInterface* admin = nullptr;
    try {
        admin = manager.administratorInterface(true);
    } catch (const std::exception& error) {
        throw CatalogueUnreadable(side.location + " cannot be opened: " + error.what());
    }
    if (admin == nullptr) throw CatalogueUnreadable("the database plug-in gave no administrator interface");
    try {
        requireServingCatalogue(*admin, "check-catalogue");
        DataObjects::VaultDataObject vault;
        const std::string vaultName = DBConfig::Instance(false).getVaultID();
        if (!admin->getVault(vaultName, vault))
            throw CatalogueUnreadable(side.location + " holds no vault '" + vaultName + "'");
        std::unordered_map<uint32_t, std::pair<std::string, std::string>> computers;
        std::vector<DataObjects::CustomerDataObject> customers;
        admin->getCustomers(customers);
        for (const auto& customer : customers) {
            std::vector<DataObjects::LocationDataObject> locations;
            admin->getCustomerLocations(customer.id, locations);
            for (const auto& location : locations) {
                std::vector<DataObjects::ComputerDataObject> list;
                admin->getLocationComputers(location.id, list);
                for (const auto& computer : list) computers[computer.id] = {computer.guid, computer.name};
            }
        }
        side.computers = computers.size();
        std::vector<DataObjects::TaskDataObject> tasks;
        admin->getAllTaskList(vault.id, tasks, true);
        side.tasks.reserve(tasks.size());
        for (const auto& record : tasks) {
            CatalogueTask task;
            task.id = record.id;
            task.guid = record.guid;
            task.name = record.name;
            auto computer = computers.find(record.computerId);
            if (computer != computers.end()) {
                task.computerGuid = computer->second.first;
                task.computerName = computer->second.second;
            }
            task.poolGuid = record.poolGuid;
            task.folder = record.taskFolder;
            side.tasks.push_back(std::move(task));
        }
    } catch (const CatalogueNotServed&) {
        throw;
    } catch (const CatalogueUnreadable&) {
        throw;
    } catch (const std::exception& error) {
        throw CatalogueUnreadable(side.location + " cannot be read: " + error.what());
    }
    return side;
}

std::vector<Finding> compareCatalogue(const CatalogueSide& catalogue, const std::vector<std::string>& roots,
                                      const std::vector<Catalogue::CatalogueTables>& tables) {
    const StorageSide storage = storageSide(roots, tables);
    std::vector<Finding> findings;

    std::unordered_set<std::string> catalogueGuids;
    std::unordered_set<std::string> absentTaskPools;  // upper-cased pools of tasks with no folder on the storage
    std::map<std::string, std::pair<std::string, std::string>> computersSeen;  // GUID -> (catalogue name, folder)
    for (const CatalogueTask& task : catalogue.tasks) {
        catalogueGuids.insert(task.guid);
        auto found = storage.byGuid.find(task.guid);
        if (found == storage.byGuid.end()) {
            Finding finding;
            finding.taskGuid = task.guid;
            finding.computerGuid = task.computerGuid;
            finding.poolGuid = task.poolGuid;
            finding.catalogue = catalogueJson(task);
            const std::string problem = folderProblem(task.folder, roots);
            const std::string folder = withoutTrailingSeparators(task.folder);
            if (!problem.empty()) {
                finding.kind = kFolderMissing;
                finding.storage = Json{{"folder", folder}, {"problem", problem}};
                finding.message = taskHead(task.guid, task.computerGuid) + "folder missing: " +
                                  catalogueTaskText(task) + " names the folder " + task.folder + ", but " + problem;
            } else {
                finding.kind = kNoLabel;
                finding.storage = Json{{"folder", folder}, {"labelTaskGuid", nullptr}};
                std::string holds = "which holds no task label";
                auto other = storage.byFolder.find(folder);
                if (other != storage.byFolder.end()) {
                    finding.storage["labelTaskGuid"] = storage.tasks[other->second].guid;
                    holds = "whose label names task " + storage.tasks[other->second].guid;
                }
                finding.message = taskHead(task.guid, task.computerGuid) + "no label: " + catalogueTaskText(task) +
                                  " names the folder " + task.folder + ", " + holds;
            }
            if (!task.poolGuid.empty()) absentTaskPools.insert(upper(task.poolGuid));
            findings.push_back(std::move(finding));
            continue;
        }
        const std::string folder = withoutTrailingSeparators(task.folder);
        const StorageTask* chosen = &storage.tasks[found->second.front()];
        for (size_t index : found->second)
            if (storage.tasks[index].folder == folder) chosen = &storage.tasks[index];
        auto differs = [&](const char* kind, const std::string& what, const std::string& catalogueValue,
                           const std::string& storageValue) {
            Finding finding;
            finding.kind = kind;
            finding.taskGuid = task.guid;
            finding.computerGuid = task.computerGuid;
            finding.poolGuid = task.poolGuid;
            finding.catalogue = catalogueJson(task);
            finding.storage = storageJson(*chosen);
            // The name is the thing compared: the task is named by its id only.
            const std::string who = std::string(kind) == kNameDiffers ? "catalogue task " + std::to_string(task.id)
                                                                      : catalogueTaskText(task);
            finding.message = taskHead(task.guid, task.computerGuid) + what + " differs: " + who + " has " +
                              catalogueValue + ", the label in " + chosen->folder + " has " + storageValue;
            findings.push_back(std::move(finding));
        };
        if (chosen->folder != folder) {
            std::string where;
            for (size_t index : found->second) where += (where.empty() ? "" : ", ") + storage.tasks[index].folder;
            differs(kFolderDiffers, "folder", "the folder " + task.folder, "task " + task.guid + " (label folders: " + where + ")");
        }
        if (!chosen->labelled || chosen->name != task.name)
            differs(kNameDiffers, "name", quoted(task.name), chosen->labelled ? quoted(chosen->name) : "no TASK_NAME");
        if (!chosen->labelled || chosen->computerGuid != task.computerGuid)
            differs(kComputerDiffers, "computer", "computer " + orNone(task.computerGuid),
                    chosen->labelled ? "computer " + chosen->computerGuid : "no COMPUTER_GUID");
        if (upper(chosen->poolGuid) != upper(task.poolGuid))
            differs(kPoolDiffers, "pool", "pool " + orNone(task.poolGuid),
                    chosen->poolGuid.empty() ? "no POOL_GUID" : "pool " + chosen->poolGuid);
        if (!task.computerGuid.empty()) computersSeen.emplace(task.computerGuid, std::make_pair(task.computerName, chosen->folder));
    }

    // A computer's name as the first label naming it says (what the
    // storage-based catalogue answers).
    for (const auto& computer : computersSeen) {
        auto name = storage.computerNames.find(computer.first);
        if (name == storage.computerNames.end() || name->second == computer.second.first) continue;
        Finding finding;
        finding.kind = kComputerNameDiffers;
        finding.computerGuid = computer.first;
        finding.catalogue = Json{{"computer", computer.second.first}};
        finding.storage = Json{{"computer", name->second}};
        finding.message = "computer " + computer.first + ": name differs: the catalogue has " +
                          quoted(computer.second.first) + ", the storage's labels have " + quoted(name->second);
        findings.push_back(std::move(finding));
    }

    std::unordered_set<std::string> unknownFolders;
    for (const StorageTask& task : storage.tasks) {
        if (catalogueGuids.count(task.guid) != 0) continue;
        unknownFolders.insert(task.folder);
        Finding finding;
        finding.kind = kNotInCatalogue;
        finding.taskGuid = task.guid;
        finding.computerGuid = task.computerGuid;
        finding.poolGuid = task.poolGuid;
        finding.catalogue = nullptr;
        finding.storage = storageJson(task);
        finding.message = taskHead(task.guid, task.computerGuid) + "not in the catalogue: the folder " + task.folder +
                          " (root " + task.root + ") holds the label of " +
                          (task.labelled ? "task " + quoted(task.name) : std::string("a task without TASK_NAME")) +
                          (task.poolGuid.empty() ? std::string() : " with pool " + task.poolGuid) +
                          ", which no catalogue task names";
        findings.push_back(std::move(finding));
    }

    // Duplicates, in the order their GUIDs were first met.
    std::unordered_set<std::string> reported;
    for (const StorageTask& task : storage.tasks) {
        const std::vector<size_t>& copies = storage.byGuid.at(task.guid);
        if (copies.size() < 2 || !reported.insert(task.guid).second) continue;
        Finding finding;
        finding.kind = kDuplicate;
        finding.taskGuid = task.guid;
        finding.computerGuid = task.computerGuid;
        finding.poolGuid = task.poolGuid;
        finding.catalogue = nullptr;
        for (const CatalogueTask& known : catalogue.tasks)
            if (known.guid == task.guid) {
                finding.catalogue = catalogueJson(known);
                break;
            }
        finding.storage = Json{{"folders", Json::array()}};
        std::string where;
        for (size_t index : copies) {
            finding.storage["folders"].push_back(storageJson(storage.tasks[index]));
            where += (where.empty() ? "" : ", ") + storage.tasks[index].folder + " (root " + storage.tasks[index].root + ")";
        }
        finding.message = taskHead(task.guid, task.computerGuid) + "duplicate: its label is in " +
                          std::to_string(copies.size()) + " folders: " + where;
        findings.push_back(std::move(finding));
    }

    // Pools: a pool in a folder already reported as a task unknown to the
    // catalogue is named there, and the pool of a catalogue task whose
    // folder is missing is named in that finding.
    std::unordered_map<std::string, const CatalogueTask*> cataloguePools;
    for (const CatalogueTask& task : catalogue.tasks)
        if (!task.poolGuid.empty()) cataloguePools.emplace(upper(task.poolGuid), &task);
    std::unordered_set<std::string> poolsReported;
    for (const StoragePool& pool : storage.pools) {
        const std::string key = upper(pool.guid);
        if (cataloguePools.count(key) != 0 || unknownFolders.count(pool.folder) != 0) continue;
        if (!poolsReported.insert(key).second) continue;
        Finding finding;
        finding.kind = kPoolNotInCatalogue;
        finding.poolGuid = pool.guid;
        finding.catalogue = nullptr;
        finding.storage = Json{{"folders", Json::array()}};
        std::string where;
        for (size_t index : storage.poolsByUpperGuid.at(key)) {
            const StoragePool& copy = storage.pools[index];
            finding.storage["folders"].push_back(Json{{"folder", copy.folder}, {"root", copy.root}});
            where += (where.empty() ? "" : ", ") + copy.folder;
        }
        finding.message = "pool " + pool.guid + ": not in the catalogue: a label in " + where +
                          " names it, no catalogue task does";
        findings.push_back(std::move(finding));
    }
    for (const CatalogueTask& task : catalogue.tasks) {
        if (task.poolGuid.empty()) continue;
        const std::string key = upper(task.poolGuid);
        if (storage.poolsByUpperGuid.count(key) != 0 || absentTaskPools.count(key) != 0) continue;
        if (!poolsReported.insert(key).second) continue;
        Finding finding;
        finding.kind = kPoolNotOnStorage;
        finding.taskGuid = task.guid;
        finding.computerGuid = task.computerGuid;
        finding.poolGuid = task.poolGuid;
        finding.catalogue = catalogueJson(task);
        finding.storage = nullptr;
        finding.message = "pool " + task.poolGuid + ": not on the storage: " + catalogueTaskText(task) +
                          " names it, no label on the storage does";
        findings.push_back(std::move(finding));
    }

    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return kindRank(a.kind) < kindRank(b.kind); });
    return findings;
}

CheckReport runCatalogueCheck(const CheckOptions& options) {
    auto progress = [&](const std::string& phase, uint64_t done, uint64_t total) {
        if (options.progress) options.progress(phase, done, total);
    };
    CheckReport report;
    report.roots = Catalogue::readMountList();
    if (report.roots.empty())
        throw StorageUnreadable("the node configuration " + NodeConfig::path() +
                                " names no storage root ([local] Mount_0)");
    for (const std::string& root : report.roots) {
        const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) throw StorageUnreadable("storage root " + root + " cannot be opened: " + std::strerror(errno));
        ::close(fd);
    }

    // The storage first (the long part, shown as roots done), then the
    // catalogue.
    const Clock::time_point storageStart = Clock::now();
    std::vector<Catalogue::CatalogueTables> tables;
    tables.reserve(report.roots.size());
    for (size_t i = 0; i < report.roots.size(); ++i) {
        progress("Scanning storage roots", i, report.roots.size());
        const std::vector<std::string> one{report.roots[i]};
        std::future<Catalogue::CatalogueTables> scan =
            std::async(std::launch::async, [one] { return Catalogue::scanStorage(one); });
        while (scan.wait_for(std::chrono::milliseconds(250)) != std::future_status::ready)
            progress("Scanning storage roots", i, report.roots.size());
        tables.push_back(scan.get());
    }
    report.storageSeconds = secondsSince(storageStart);

    // The catalogue, read on a thread of its own so that the progress line
    // goes on while a server is slow to answer.
    const Clock::time_point catalogueStart = Clock::now();
    std::future<CatalogueSide> read = std::async(std::launch::async, [] { return readCatalogueSide(); });
    do progress("Reading the catalogue", 0, 0);
    while (read.wait_for(std::chrono::milliseconds(250)) != std::future_status::ready);
    const CatalogueSide catalogue = read.get();
    report.catalogueSeconds = secondsSince(catalogueStart);
    report.catalogue = catalogue.location;
    report.catalogueTasks = catalogue.tasks.size();
    report.catalogueComputers = catalogue.computers;
    std::unordered_set<std::string> pools;
    for (const CatalogueTask& task : catalogue.tasks)
        if (!task.poolGuid.empty()) pools.insert(upper(task.poolGuid));
    report.cataloguePools = pools.size();
    for (const auto& table : tables) {
        report.storageTaskFolders += table.taskFolderTable().size();
        report.storagePools += table.poolTable().size();
    }

    progress("Comparing", 0, 0);
    const Clock::time_point compareStart = Clock::now();
    report.findings = compareCatalogue(catalogue, report.roots, tables);
    report.compareSeconds = secondsSince(compareStart);
    return report;
}

void printCheckText(const CheckReport& report, std::ostream& out) {
    out << report.catalogue << ": " << report.catalogueTasks << " task(s), " << report.catalogueComputers
        << " computer(s), " << report.cataloguePools << " pool(s)\n";
    out << "storage";
    for (size_t i = 0; i < report.roots.size(); ++i) out << (i == 0 ? " " : ", ") << report.roots[i];
    out << ": " << report.storageTaskFolders << " labelled task folder(s), " << report.storagePools
        << " pool label(s)\n";
    for (const Finding& finding : report.findings) out << finding.message << "\n";
    if (report.findings.empty())
        out << "the catalogue and the storage agree\n";
    else
        out << report.findings.size() << " difference(s) found\n";
    out.flush();
}

Json checkJson(const CheckReport& report) {
    Json out;
    out["catalogue"] = Json{{"database", report.catalogue},
                            {"tasks", report.catalogueTasks},
                            {"computers", report.catalogueComputers},
                            {"pools", report.cataloguePools}};
    out["storage"] = Json{{"roots", report.roots},
                          {"taskFolders", report.storageTaskFolders},
                          {"pools", report.storagePools}};
    out["agree"] = report.findings.empty();
    out["findings"] = Json::array();
    for (const Finding& finding : report.findings) {
        Json item{{"kind", finding.kind}};
        item["taskGuid"] = finding.taskGuid.empty() ? Json(nullptr) : Json(finding.taskGuid);
        item["computerGuid"] = finding.computerGuid.empty() ? Json(nullptr) : Json(finding.computerGuid);
        item["poolGuid"] = finding.poolGuid.empty() ? Json(nullptr) : Json(finding.poolGuid);
        item["catalogue"] = finding.catalogue;
        item["storage"] = finding.storage;
        item["message"] = finding.message;
        out["findings"].push_back(std::move(item));
    }
    out["seconds"] = Json{{"storage", report.storageSeconds},
                          {"catalogue", report.catalogueSeconds},
                          {"compare", report.compareSeconds}};
    return out;
}

}  // namespace VaultAdmin
