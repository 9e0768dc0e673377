#include "VaultInspector.h"

#include <map>
#include <stdexcept>

#include <boost/shared_ptr.hpp>

#include "Carrowen/Carrowen.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "DataObjects/DataObjects.h"
#include "Pool/PoolStorage.h"
#include "VSynchSet.h"
#include "VaultSettings.h"

namespace VaultAdmin {
namespace {

using DatabaseInterfaces::AdministratorInterface;

// Reads one safeset through the calls the scan tool makes; the marker of
// every record is looked at, so a damaged record area shows up here. The
// data of an unavailable safeset is read too when it is there (the pool
// library refuses a descriptor for it, so the task's pool storage is used).
void readSafeset(const DataObjects::TaskDataObject& task, const VSynchEntry& entry, InspectedSafeset& out) {
    boost::shared_ptr<Pool::PoolStorageDescriptor> descriptor =
        (entry.peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE)
            ? Pool::createPoolDescriptorForTask(task)
            : Pool::createPoolDescriptorForPeripheral(entry.peripheral, entry.fileName.GetName(), task);
    Carrowen::SyncList list;
    list.openReadOnly(task, descriptor, false, true, true);
    boost::shared_ptr<Carrowen::SyncEntry> syncEntry = list.getEntryForSafeset(entry.safesetNumber);
    out.version = syncEntry->getVersion();
    Carrowen::FileListContainer2 container;
    container.open(syncEntry->getFileName().GetName(), 1, 1);
    out.recordIdLowerBound = container.recordIdLowerBound();
    out.recordIdUpperBound = container.recordIdUpperBound();
    Carrowen::FileListRecord record;
    for (uint32_t id = out.recordIdLowerBound; id < out.recordIdUpperBound; ++id) {
        if (container.readRecord(id, record) != 1)
            throw std::runtime_error("record " + std::to_string(id) + " of " + syncEntry->getFileName().GetName() +
                                     " cannot be read");
        ++out.records;
        if (record.markerFlag() != 0) out.markedIds.push_back(id);
    }
}

void readTaskStorage(const DataObjects::TaskDataObject& task, InspectedTask& out) {
    VSynchSet set(0, false, 0);
    if (set.Open(task, false) < 1) {
        out.error = "the synchronisation set of task " + std::to_string(task.id) + " cannot be read";
        return;
    }
    std::map<uint32_t, VSynchEntry> entries;
    set.getEntries(entries);
    for (const auto& item : entries) {
        InspectedSafeset safeset;
        safeset.number = item.first;
        safeset.peripheral = item.second.peripheral;
        safeset.unavailable = (item.second.peripheral & VSYNCH_PERIPHERAL_UNAVAILABLE) != 0;
        try {
            readSafeset(task, item.second, safeset);
        } catch (const std::exception& error) {
            safeset.error = error.what();
        }
        out.safesets.push_back(std::move(safeset));
    }
    set.endUse();
}

}  // namespace

size_t InspectedVault::problemCount() const {
    size_t problems = 0;
    for (const auto& customer : customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers)
                for (const auto& task : computer.tasks) {
                    if (!task.error.empty()) ++problems;
                    // Offline data that cannot be read is what "unavailable" means.
                    for (const auto& safeset : task.safesets)
                        if (!safeset.error.empty() && !safeset.unavailable) ++problems;
                }
    return problems;
}

InspectedVault inspectVault(const InspectOptions& options) {
    DatabaseInterfaces::DbInterfaceManager manager;
    AdministratorInterface* admin = manager.administratorInterface(true);
    if (!admin) throw std::runtime_error("the database plug-in gave no administrator interface");

    InspectedVault vault;
    vault.version = Version::local();
    vault.thisNode = getNodeHostName();
    DataObjects::VaultDataObject vaultRecord;
    admin->getVault(DBConfig::Instance(false).getVaultID(), vaultRecord);
    vault.id = vaultRecord.id;
    vault.name = vaultRecord.name;
    vault.guid = vaultRecord.guid;
    std::vector<DataObjects::NodeDataObject> nodes;
    admin->getAllNodes(nodes);
    for (const auto& node : nodes) vault.nodes.push_back(node.hostName);

    std::vector<DataObjects::CustomerDataObject> customers;
    admin->getCustomers(customers);
    for (const auto& customer : customers) {
        InspectedCustomer customerOut{customer.id, customer.name, customer.reference, {}};
        std::vector<DataObjects::LocationDataObject> locations;
        admin->getCustomerLocations(customer.id, locations);
        for (const auto& location : locations) {
            InspectedLocation locationOut{location.id, location.name, location.reference, {}};
            std::vector<DataObjects::ComputerDataObject> computers;
            admin->getLocationComputers(location.id, computers);
            for (const auto& computer : computers) {
                InspectedComputer computerOut{computer.id, computer.name, computer.guid, {}};
                std::vector<DataObjects::TaskDataObject> tasks;
                admin->getComputerTasks(computer.id, tasks);
                for (const auto& task : tasks) {
                    InspectedTask taskOut;
                    taskOut.id = task.id;
                    taskOut.name = task.name;
                    taskOut.guid = task.guid;
                    taskOut.poolGuid = task.poolGuid;
                    taskOut.folder = task.taskFolder;
                    DataObjects::NodeDataObject node;
                    admin->getNodeByTaskId(task.id, node);
                    taskOut.node = node.hostName;
                    if (options.readStorage) readTaskStorage(task, taskOut);
                    computerOut.tasks.push_back(std::move(taskOut));
                }
                locationOut.computers.push_back(std::move(computerOut));
            }
            customerOut.locations.push_back(std::move(locationOut));
        }
        vault.customers.push_back(std::move(customerOut));
    }
    return vault;
}

void printVault(const InspectedVault& vault, std::ostream& out) {
    out << "vault " << vault.id << " '" << vault.name << "' guid " << vault.guid << ", version " << vault.version
        << ", this node " << vault.thisNode << "\n";
    out << "nodes:";
    for (const std::string& node : vault.nodes) out << " " << node;
    out << "\n";
    for (const auto& customer : vault.customers) {
        out << "customer " << customer.id << " '" << customer.name << "' reference '" << customer.reference << "'\n";
        for (const auto& location : customer.locations) {
            out << "  location " << location.id << " '" << location.name << "' reference '" << location.reference
                << "'\n";
            for (const auto& computer : location.computers) {
                out << "    computer " << computer.id << " '" << computer.name << "' guid " << computer.guid << "\n";
                for (const auto& task : computer.tasks) {
                    out << "      task " << task.id << " '" << task.name << "' node " << task.node << " guid "
                        << task.guid << "\n        folder " << task.folder << "\n";
                    if (!task.error.empty()) out << "        ERROR " << task.error << "\n";
                    for (const auto& safeset : task.safesets) {
                        out << "        safeset " << safeset.number;
                        if (safeset.error.empty()) {
                            out << " version '" << safeset.version << "' records " << safeset.records << " marked "
                                << safeset.markedIds.size();
                        }
                        if (safeset.unavailable) out << " unavailable";
                        if (!safeset.error.empty())
                            out << (safeset.unavailable ? ", data offline: " : " ERROR ") << safeset.error;
                        out << "\n";
                    }
                }
            }
        }
    }
}

void printTasks(const InspectedVault& vault, std::ostream& out) {
    for (const auto& customer : vault.customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers)
                for (const auto& task : computer.tasks)
                    out << task.id << "\t" << task.name << "\t" << task.node << "\t" << task.folder << "\n";
}

}  // namespace VaultAdmin
