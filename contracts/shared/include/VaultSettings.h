// Node settings: the node configuration file and what the vault reads from it.
//
// The node configuration is one INI-style text file, found through the
// environment variable VAULT_NODE_CONFIG (default /etc/vault/node.conf). It
// holds sections of KEY=VALUE lines:
//   [node]      HostName, VaultVersion, TraceLevel, LogFolder, LockFolder
//   [database]  VaultID, Plugin, PluginFolder, File
//   [local]     node-local global settings (Mount_0, VaultUser, ...)
//   [numbers]   configuration numbers (PoolVersion, OptimizeLockTimeout, ...)
// The line format is described in NodeConfigParser.h. A missing file means
// every default, with no message. Every read sees the file as it is now: it
// is stat'ed on each read and parsed again only when its inode, size or
// modification time changed. Lines that cannot be parsed are skipped and
// reported once per version of the file, at 4098 naming the file and line.
// All functions are safe to call from several threads.
#pragma once

#include <cstdint>
#include <string>

#include "SharedApi.h"

namespace NodeConfig {

// The configuration file's path: $VAULT_NODE_CONFIG, else /etc/vault/node.conf.
SHARED_API std::string path();
// True when the section holds the key.
SHARED_API bool has(const std::string& section, const std::string& key);
// The key's value in the section, or `defaultValue` when absent.
SHARED_API std::string get(const std::string& section, const std::string& key,
                           const std::string& defaultValue = std::string());
// Sets one value and rewrites the file atomically (temporary file, sync,
// rename), keeping every other line as it stands; creates the file and its
// folder when missing. The value replaces the key's first line in the
// section, or is added at the end of the section's first block, or in a new
// section at the end. Throws std::invalid_argument for an unknown section, a
// key that the format cannot hold (empty, '=', line break, starting with '#',
// ';' or '[') or a value with a line break or NUL; std::runtime_error naming
// the file when it cannot be written (the old file is then unchanged).
// Concurrent calls within one process are serialised; separate processes
// must not edit the same file at once.
SHARED_API void set(const std::string& section, const std::string& key, const std::string& value);
// Removes every line of the key in the section; false when there was none.
// Same rules and errors as set.
SHARED_API bool remove(const std::string& section, const std::string& key);

}  // namespace NodeConfig

// Which global settings are kept node-locally (in the [local] section) rather
// than in the vault database.
class SHARED_API GlobalConfig {
public:
    static GlobalConfig& instance();
    // True when the key is present in [local] or is a storage root "Mount_<n>".
    bool isNodeLocalConfig(std::string key) const;
};

// The configuration number `name` from [numbers], else `defaultValue`. Stores
// the result in *value (when not null) and returns it. A value that is not an
// unsigned decimal number counts as absent (and is reported once in the log).
SHARED_API unsigned long sys_getconfignum(const char* name, unsigned long* value, unsigned long defaultValue);

// Process-wide counters of work done (type 4: database setting reads).
class SHARED_API PerformanceCountersManager {
public:
    static bool instanceExists();
    static PerformanceCountersManager& instance();
    void incrementCounter(int type);
    uint64_t counter(int type) const;
};

// The database configuration ([database] section).
class SHARED_API DBConfig {
public:
    // The one configuration object; `reload` is accepted for compatibility.
    static DBConfig& Instance(bool reload);
    // The vault ID text ([database] VaultID; default "vault").
    std::string getVaultID() const;
    // Name of the database plug-in ([database] Plugin; default "SqlCatalogue").
    std::string getPluginName() const;
    // The catalogue database file ([database] File; default
    // "/var/lib/vault/catalogue.db").
    std::string getDatabaseFile() const;
};

// This node's host name: [node] HostName when set, else the system's.
SHARED_API std::string getNodeHostName();

namespace Version {
// The installed vault version: [node] VaultVersion, default "8.50.0000".
SHARED_API std::string local();
}  // namespace Version
