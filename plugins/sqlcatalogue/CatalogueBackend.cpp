// The choice between the catalogue stores, read from the node configuration
// when an interface is created.
#include <stdexcept>
#include <string>

#include "CatalogueStore.h"
#include "VaultSettings.h"

namespace SqlCatalogue {

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

void controlConnectionPools(PoolAction action) {
    controlSqlitePool(action);
    controlPostgresPool(action);
}

std::unique_ptr<CatalogueStore> openConfiguredCatalogue(const std::string& databaseFile) {
    const std::string backend = lowerAscii(NodeConfig::get("database", "Backend", "sqlite"));
    if (backend == "sqlite") return openSqliteCatalogue(databaseFile);
    if (backend == "postgresql") return openPostgresCatalogue(NodeConfig::get("database", "Connection"));
    throw std::runtime_error("[database] Backend '" + backend + "' of the node configuration " + NodeConfig::path() +
                             " is not known (use sqlite or postgresql)");
}

}  // namespace SqlCatalogue
