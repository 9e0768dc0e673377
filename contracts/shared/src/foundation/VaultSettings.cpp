// What the vault reads from the node configuration: node-local settings,
// configuration numbers, the database section, host name and version.
#include "VaultSettings.h"

#include <array>
#include <atomic>

#include <limits.h>
#include <unistd.h>

#include "NodeConfigCache.h"
#include "VaultLog.h"

namespace {

constexpr unsigned kWarningId = 4098;

bool isMountKey(const std::string& key) {
    static const std::string prefix = "Mount_";
    if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t i = prefix.size(); i < key.size(); ++i)
        if (key[i] < '0' || key[i] > '9') return false;
    return true;
}

}  // namespace

GlobalConfig& GlobalConfig::instance() {
    static GlobalConfig config;
    return config;
}

bool GlobalConfig::isNodeLocalConfig(std::string key) const {
    return isMountKey(key) || NodeConfig::has("local", key);
}

unsigned long sys_getconfignum(const char* name, unsigned long* value, unsigned long defaultValue) {
    unsigned long result = defaultValue;
    if (name != nullptr) {
        const auto snapshot = foundation::nodeConfigSnapshot();
        if (const std::string* text = snapshot->find("numbers", name)) {
            unsigned long parsed = 0;
            if (foundation::parseUnsigned(*text, parsed)) {
                result = parsed;
            } else if (snapshot->firstReport(std::string("numbers/") + name)) {
                log_show(0, kWarningId, "configuration number %s in %s is not an unsigned number ('%s'); using %lu",
                         name, snapshot->path().c_str(), text->c_str(), defaultValue);
            }
        }
    }
    if (value != nullptr) *value = result;
    return result;
}

namespace {

constexpr size_t kCounterTypes = 16;

// Kept beside the class so its layout stays private; set once instance() ran.
std::atomic<bool> g_countersExist{false};

std::array<std::atomic<uint64_t>, kCounterTypes>& counters() {
    static std::array<std::atomic<uint64_t>, kCounterTypes> table{};
    return table;
}

}  // namespace

bool PerformanceCountersManager::instanceExists() { return g_countersExist.load(std::memory_order_acquire); }

PerformanceCountersManager& PerformanceCountersManager::instance() {
    static PerformanceCountersManager manager;
    counters();
    g_countersExist.store(true, std::memory_order_release);
    return manager;
}

void PerformanceCountersManager::incrementCounter(int type) {
    if (type >= 0 && static_cast<size_t>(type) < kCounterTypes)
        counters()[static_cast<size_t>(type)].fetch_add(1, std::memory_order_relaxed);
}

uint64_t PerformanceCountersManager::counter(int type) const {
    if (type < 0 || static_cast<size_t>(type) >= kCounterTypes) return 0;
    return counters()[static_cast<size_t>(type)].load(std::memory_order_relaxed);
}

DBConfig& DBConfig::Instance(bool /*reload*/) {
    static DBConfig config;
    return config;
}

std::string DBConfig::getVaultID() const { return NodeConfig::get("database", "VaultID", "vault"); }

std::string DBConfig::getPluginName() const { return NodeConfig::get("database", "Plugin", "SqlCatalogue"); }

std::string DBConfig::getDatabaseFile() const {
    return NodeConfig::get("database", "File", "/var/lib/vault/catalogue.db");
}

std::string getNodeHostName() {
    const std::string configured = NodeConfig::get("node", "HostName");
    if (!configured.empty()) return configured;
    char name[HOST_NAME_MAX + 1] = {0};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

namespace Version {
std::string local() { return NodeConfig::get("node", "VaultVersion", "8.50.0000"); }
}  // namespace Version
