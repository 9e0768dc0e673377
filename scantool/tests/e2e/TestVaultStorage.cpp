// TestVault's look-ups of tasks and their files.
#include <sstream>
#include <stdexcept>

#include "Harness.h"
#include "Pool/Layout.h"
#include "VSynchSet.h"

namespace Trevalon {
namespace Testing {
namespace {

struct TaskRow {
    unsigned id = 0;
    DataObjects::TaskDataObject record;
};

// Reads "vaultadmin tasks": id, name, node, folder, separated by tabs.
TaskRow findTask(const TestVault& vault, const std::string& taskName) {
    ProcessResult listing = run({binDir() + "/vaultadmin", "tasks", "--config", vault.nodeConfig()}, vault.root(),
                                vault.environment());
    if (listing.exitCode != 0) throw std::runtime_error("vaultadmin tasks failed: " + listing.output);
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() < 4 || fields[1] != taskName) continue;
        TaskRow row;
        row.id = static_cast<unsigned>(std::stoul(fields[0]));
        row.record.id = row.id;
        row.record.name = fields[1];
        row.record.taskFolder = fields[3];
        return row;
    }
    throw std::runtime_error("no task named '" + taskName + "' in: " + listing.output);
}

}  // namespace

unsigned TestVault::taskId(const std::string& taskName) const { return findTask(*this, taskName).id; }

std::string TestVault::syncFolder(const std::string& taskName) const {
    return Pool::Layout::synchFolder(findTask(*this, taskName).record);
}

std::vector<std::string> TestVault::syncSetFiles(const std::string& taskName) const {
    const std::string folder = syncFolder(taskName);
    return {folder + VSynchSet::MAIN_FILE_NAME, folder + VSynchSet::MIRROR_FILE_NAME};
}

std::string TestVault::syncListFile(const std::string& taskName) const {
    return Pool::Layout::syncListPath(findTask(*this, taskName).record);
}

std::string TestVault::containerFile(const std::string& taskName, unsigned safeset) const {
    return Pool::Layout::containerPath(findTask(*this, taskName).record, safeset);
}

void TestVault::damage(const std::vector<std::string>& files, const std::vector<std::string>& how) const {
    std::vector<std::string> args = {"damage"};
    for (const std::string& file : files) {
        args.push_back("--file");
        args.push_back(file);
    }
    args.insert(args.end(), how.begin(), how.end());
    admin(args);
}

namespace {
// The configuration text with every line that starts with `key=` replaced.
std::string replaceKey(const std::string& text, const std::string& key, const std::string& value) {
    std::istringstream lines(text);
    std::string copy;
    for (std::string line; std::getline(lines, line);) {
        copy += line.rfind(key + "=", 0) == 0 ? key + "=" + value : line;
        copy += '\n';
    }
    return copy;
}
}  // namespace

void TestVault::setHostName(const std::string& hostName) const {
    writeFile(nodeConfig(), replaceKey(readFile(nodeConfig()), "HostName", hostName));
}

std::string TestVault::nodeConfigWithPlugin(const std::string& plugin) const {
    const std::string copy = replaceKey(readFile(nodeConfig()), "Plugin", plugin);
    const std::string path = root() + "/node-" + plugin + ".conf";
    writeFile(path, copy);
    return path;
}

std::string TestVault::nodeConfigForHost(const std::string& hostName) const {
    const std::string path = root() + "/node-" + hostName + ".conf";
    writeFile(path, replaceKey(readFile(nodeConfig()), "HostName", hostName));
    return path;
}

std::string TestVault::nodeConfigWithConnection(const std::string& connection, const std::string& tag) const {
    const std::string path = root() + "/node-" + tag + ".conf";
    writeFile(path, replaceKey(readFile(nodeConfig()), "Connection", connection));
    return path;
}

}  // namespace Testing
}  // namespace Trevalon
