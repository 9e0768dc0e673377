// Which database plug-in a built vault's node configuration names.
//
// A build always writes its catalogue through the SQL catalogue plug-in (the
// administrator interface's writes need a database); choosing another
// plug-in for the tools afterwards changes [database] Plugin only, so the
// same vault can be answered by either plug-in.
#pragma once

#include <string>

namespace VaultAdmin {

// "" when `name` can name a plug-in library (lib<name>.so: letters, digits,
// '_', '-' and '.', not "." or ".."), else the reason it cannot.
std::string pluginNameProblem(const std::string& name);

// Points [database] Plugin of the node configuration `nodeConfig` at
// `plugin`. Throws std::invalid_argument for a name pluginNameProblem
// refuses, std::runtime_error when the file cannot be written (it is then
// unchanged).
void selectCataloguePlugin(const std::string& nodeConfig, const std::string& plugin);

}  // namespace VaultAdmin
