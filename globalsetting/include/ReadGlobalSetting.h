// Reading one global setting, wherever the vault keeps it.
//
// A key that the node configuration holds in [local] (or a storage root
// "Mount_<n>") is read there. Every other key is read from the vault
// database through the configured database plug-in; a database that cannot be
// reached yields the default, and the failure is written as a trace line
// "Database error calling getGlobalSetting: <reason>." when tracing is on.
#pragma once

#include <string>

// Sets `value` to the setting `key`, or to `defaultValue` when it has none.
// Errors of the node-local read propagate; database errors do not.
void readGlobalSetting(const std::string& key, std::string& value, const std::string& defaultValue);
