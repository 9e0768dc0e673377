#include "CatalogueWalk.h"

#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultSettings.h"

namespace CatalogueQuery {
namespace {

using namespace DataObjects;

// Runs `question`; a "Not implemented" answer is noted under `name`.
bool ask(CatalogueView& view, const char* name, const std::function<void()>& question) {
    try {
        question();
        return true;
    } catch (const std::runtime_error& error) {
        if (std::strcmp(error.what(), "Not implemented") != 0) throw;
        view.notServed.push_back(name);
        return false;
    }
}

std::vector<ComputerDataObject> allComputers(CatalogueView& view, DatabaseInterfaces::AdministratorInterface& admin) {
    std::vector<ComputerDataObject> computers;
    std::vector<CustomerDataObject> customers;
    if (!ask(view, "getCustomers", [&] { admin.getCustomers(customers); })) {
        ask(view, "getLocationComputers", [&] { admin.getLocationComputers(0, computers); });
        return computers;
    }
    for (const CustomerDataObject& customer : customers) {
        std::vector<LocationDataObject> locations;
        ask(view, "getCustomerLocations", [&] { admin.getCustomerLocations(customer.id, locations); });
        for (const LocationDataObject& location : locations)
            ask(view, "getLocationComputers", [&] { admin.getLocationComputers(location.id, computers); });
    }
    return computers;
}

// Label files are written by whoever can write to the storage: control
// characters in a name or folder are shown as \xNN, so they can neither break
// a line nor reach the terminal.
std::string shown(const std::string& text) {
    static const char* const hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

CatalogueView walkCatalogue(DatabaseInterfaces::DbInterfaceManager& manager) {
    CatalogueView view;
    view.plugin = DBConfig::Instance(false).getPluginName();
    DatabaseInterfaces::AdministratorInterface& admin = *manager.administratorInterface(true);
    ask(view, "getVault", [&] { admin.getVault(DBConfig::Instance(false).getVaultID(), view.vault); });
    ask(view, "getAllNodes", [&] { admin.getAllNodes(view.nodes); });

    std::set<std::string> poolGuids;
    // A task's pools are asked once per task ID: a plug-in that gives every
    // task the same ID (Quenlith) answers every pool of the vault each time,
    // and asking again for each task would build n * n pool records for
    // nothing, since the second answer adds no pool the first did not.
    std::unordered_set<uint32_t> poolsAsked;
    for (const ComputerDataObject& computer : allComputers(view, admin)) {
        ComputerView seen;
        seen.id = computer.id;
        seen.guid = computer.guid;
        seen.name = computer.name;
        std::vector<TaskDataObject> tasks;
        ask(view, "getComputerTasks", [&] { admin.getComputerTasks(computer.id, tasks); });
        for (const TaskDataObject& task : tasks) {
            seen.tasks.push_back(TaskView{task.id, task.computerId, task.guid, task.name, task.taskFolder});
            if (!poolsAsked.insert(task.id).second) continue;
            std::vector<PoolDataObject> pools;
            ask(view, "getTaskPools", [&] { admin.getTaskPools(task.id, pools); });
            for (const PoolDataObject& pool : pools) {
                if (!poolGuids.insert(pool.guid).second) continue;
                PoolDataObject found;
                bool known = false;
                ask(view, "getPoolByGuid", [&] { known = admin.getPoolByGuid(pool.guid, found); });
                view.pools.push_back(PoolView{pool.guid, known && !found.folders.empty() ? found.folders[0] : ""});
            }
        }
        view.computers.push_back(seen);
    }

    if (ask(view, "getStorageGroups",
            [&] { admin.getStorageGroups(DatabaseInterfaces::StorageGroupType(0), view.storageGroups); })) {
        for (const StorageGroupDataObject& group : view.storageGroups)
            ask(view, "getStorageLocations",
                [&] { admin.getStorageLocations(static_cast<int32_t>(group.id), view.storageLocations); });
    }
    return view;
}

void printCatalogue(const CatalogueView& view, std::ostream& out) {
    out << "plug-in " << shown(view.plugin) << "\n";
    out << "vault " << shown(view.vault.name) << " (id " << view.vault.id << ", guid " << shown(view.vault.guid) << ")\n";
    for (const NodeDataObject& node : view.nodes)
        out << "node " << shown(node.hostName) << " (id " << node.id << ", address " << shown(node.address) << ")\n";
    out << "computers: " << view.computers.size() << "\n";
    for (const ComputerView& computer : view.computers) {
        out << "  computer " << shown(computer.name) << " (id " << computer.id << ", guid " << shown(computer.guid) << ")\n";
        for (const TaskView& task : computer.tasks)
            out << "    task " << shown(task.name) << " (guid " << shown(task.guid) << ") folder " << shown(task.folder) << "\n";
    }
    out << "pools: " << view.pools.size() << "\n";
    for (const PoolView& pool : view.pools) out << "  pool " << shown(pool.guid) << " folder " << shown(pool.folder) << "\n";
    out << "storage groups: " << view.storageGroups.size() << "\n";
    for (const StorageGroupDataObject& group : view.storageGroups)
        out << "  storage group " << shown(group.name) << " (id " << group.id << ")\n";
    out << "storage locations: " << view.storageLocations.size() << "\n";
    for (const StorageLocationDataObject& location : view.storageLocations)
        out << "  location " << shown(location.path) << " (group " << location.storageGroupId << ")\n";
    std::set<std::string> unique(view.notServed.begin(), view.notServed.end());
    if (!unique.empty()) {
        out << "not served by this plug-in:";
        for (const std::string& name : unique) out << " " << name;
        out << "\n";
    }
}

void printCatalogueJson(const CatalogueView& view, std::ostream& out) {
    using nlohmann::json;
    json root = json::object();
    root["plugin"] = view.plugin;
    root["vault"] = {{"id", view.vault.id}, {"guid", view.vault.guid}, {"name", view.vault.name}};
    root["nodes"] = json::array();
    for (const NodeDataObject& node : view.nodes)
        root["nodes"].push_back({{"id", node.id}, {"hostName", node.hostName}, {"address", node.address}});
    root["computers"] = json::array();
    for (const ComputerView& computer : view.computers) {
        json tasks = json::array();
        for (const TaskView& task : computer.tasks)
            tasks.push_back({{"id", task.id},
                             {"computerId", task.computerId},
                             {"guid", task.guid},
                             {"name", task.name},
                             {"folder", task.folder}});
        root["computers"].push_back(
            {{"id", computer.id}, {"guid", computer.guid}, {"name", computer.name}, {"tasks", std::move(tasks)}});
    }
    root["pools"] = json::array();
    for (const PoolView& pool : view.pools) root["pools"].push_back({{"guid", pool.guid}, {"folder", pool.folder}});
    root["storageGroups"] = json::array();
    for (const StorageGroupDataObject& group : view.storageGroups)
        root["storageGroups"].push_back({{"id", group.id}, {"name", group.name}});
    root["storageLocations"] = json::array();
    for (const StorageLocationDataObject& location : view.storageLocations)
        root["storageLocations"].push_back({{"path", location.path}, {"storageGroupId", location.storageGroupId}});
    const std::set<std::string> unique(view.notServed.begin(), view.notServed.end());
    root["notServed"] = json(std::vector<std::string>(unique.begin(), unique.end()));
    out << root.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
}

}  // namespace CatalogueQuery
