// Loading of database plug-ins: one shared library per path, loaded once per
// process and never unloaded (a plug-in may run threads of its own).
//
// Safe to call from several threads; a failed load is not remembered, so a
// later call tries again.
#pragma once

#include <string>

#include "DatabaseInterfaces/Factories.h"

namespace DatabaseInterfaces {
namespace detail {

// The C entry points of a loaded plug-in that the manager calls.
struct PluginEntryPoints {
    std::string path;
    DatabaseInterfaces::VaultInfoFactory* (*getDatabaseFactory)(const char*, const char*, const char*, const char*,
                                                                 const char*) = nullptr;
};

// The plug-in at `path`, loaded (RTLD_NOW | RTLD_LOCAL) and its initLibrary
// called on first use. Throws std::runtime_error naming the plug-in, the path
// and, when the library cannot be loaded, the loader's message; or naming
// the entry point that is missing.
const PluginEntryPoints& loadPlugin(const std::string& pluginName, const std::string& path);

// Where lib<pluginName>.so is looked for: $VAULT_PLUGIN_DIR, else [database]
// PluginFolder, else the installed plug-in folder ("../plugins" from this
// library's folder, e.g. /usr/lib/vault/plugins) when it holds the plug-in, else
// "<folder of the running program>/../lib" (a build folder) when it holds
// it, else the installed plug-in folder.
std::string pluginFolder(const std::string& pluginName);

}  // namespace detail
}  // namespace DatabaseInterfaces
