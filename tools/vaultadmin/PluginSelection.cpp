#include "PluginSelection.h"

#include <cstdlib>
#include <stdexcept>

#include "VaultSettings.h"

namespace VaultAdmin {

std::string pluginNameProblem(const std::string& name) {
    if (name.empty()) return "the plug-in name is empty";
    if (name == "." || name == "..") return "'" + name + "' is not a plug-in name";
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                             c == '-' || c == '.';
        if (!allowed) return "a plug-in name holds only letters, digits, '_', '-' and '.'";
    }
    return std::string();
}

void selectCataloguePlugin(const std::string& nodeConfig, const std::string& plugin) {
    const std::string problem = pluginNameProblem(plugin);
    if (!problem.empty()) throw std::invalid_argument(problem);
    if (::setenv("VAULT_NODE_CONFIG", nodeConfig.c_str(), 1) != 0)
        throw std::runtime_error("cannot set VAULT_NODE_CONFIG");
    NodeConfig::set("database", "Plugin", plugin);
}

}  // namespace VaultAdmin
