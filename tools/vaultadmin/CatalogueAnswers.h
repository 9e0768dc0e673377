// Which catalogue plug-ins answer the commands that need customers and task
// ids. The SQL catalogue does; a plug-in that answers from the storage
// folders (Quenlith) serves neither, and raises "Not implemented" for the
// customer list or hands back an empty record for a task id. Commands that
// need those answers ask first, so the operator reads what is missing and
// which plug-in the node configuration selects instead of a bare error.
#pragma once

#include <stdexcept>
#include <string>

namespace DatabaseInterfaces {
class AdministratorInterface;
}

namespace VaultAdmin {

// The selected plug-in does not serve what the command needs.
struct CatalogueNotServed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The text of CatalogueNotServed for `command` ("tasks", "hold-lock", ...),
// naming the plug-in of the node configuration the process points at.
std::string notServedMessage(const std::string& command);

// Asks the plug-in for its customer list; throws CatalogueNotServed when it
// answers "Not implemented". Other errors propagate as they are.
void requireServingCatalogue(DatabaseInterfaces::AdministratorInterface& admin, const std::string& command);

}  // namespace VaultAdmin
