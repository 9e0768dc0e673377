#include "CatalogueAnswers.h"

#include <cstring>
#include <vector>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DataObjects/DataObjects.h"
#include "VaultSettings.h"

namespace VaultAdmin {

std::string notServedMessage(const std::string& command) {
    return "vaultadmin " + command + " needs a catalogue that answers customers and task ids, such as the SQL catalogue "
                     "([database] Plugin=SqlCatalogue); the node configuration " +
           NodeConfig::path() + " selects the plug-in '" + DBConfig::Instance(false).getPluginName() +
           "', which does not serve them (docs/quenlith.md lists what it answers)";
}

void requireServingCatalogue(DatabaseInterfaces::AdministratorInterface& admin, const std::string& command) {
    std::vector<DataObjects::CustomerDataObject> customers;
    try {
        admin.getCustomers(customers);
    } catch (const std::runtime_error& error) {
        if (std::strcmp(error.what(), "Not implemented") == 0) throw CatalogueNotServed(notServedMessage(command));
        throw;
    }
}

}  // namespace VaultAdmin
