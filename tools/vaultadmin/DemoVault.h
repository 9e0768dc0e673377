// The built-in demo vault: a small, readable description that shows every
// outcome of a migration-safety scan (safe, at risk, offline data, bound to
// another node, a version above the affected range, and a task to be locked
// by `vaultadmin hold-lock` while a scan runs).
#pragma once

#include <string>

namespace VaultAdmin {

// The demo description as JSON text (written to DIR/vault.json by `demo`).
const std::string& demoDescriptionJson();

// The name of the demo task meant to be locked during a scan.
extern const char* const kDemoLockedTaskName;

}  // namespace VaultAdmin
