#include "CatalogueDatabase.h"

#include <stdexcept>

#include <libpq-fe.h>

#include "CatalogueSchema.h"
#include "PgCatalogueSchema.h"
#include "PgConnection.h"
#include "VaultSettings.h"

namespace VaultAdmin {

using SqlCatalogue::PgConnection;
using SqlCatalogue::PgResult;

namespace {

int64_t count(PgConnection& db, const char* table) {
    PgResult result = db.run(std::string("SELECT count(*) FROM ") + table);
    return result.rows() == 1 ? result.i64(0, 0) : 0;
}

}  // namespace

void prepareCatalogueDatabase(const CatalogueServer& server, bool force) {
    PgConnection db(server.connection);
    const int version = SqlCatalogue::pgSchemaVersion(db);
    if (version == 0) return;
    const int64_t vaults = version == SqlCatalogue::kSchemaVersion ? count(db, "vault") : -1;
    if (vaults == 0) return;
    if (!force)
        throw std::runtime_error(db.name() + " holds a catalogue already (" +
                                 (vaults > 0 ? std::to_string(vaults) + " vault(s), " +
                                                   std::to_string(count(db, "task")) + " task(s)"
                                             : "schema version " + std::to_string(version)) +
                                 "); use --force to replace it");
    SqlCatalogue::dropPgSchema(db);
}

std::string catalogueLocation() {
    std::string backend = NodeConfig::get("database", "Backend", "sqlite");
    for (char& c : backend) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (backend == "postgresql") return SqlCatalogue::describePgDatabase(NodeConfig::get("database", "Connection"));
    return "catalogue database '" + DBConfig::Instance(false).getDatabaseFile() + "'";
}

bool connectionHoldsPassword(const std::string& connection) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &error);
    PQfreemem(error);
    if (options == nullptr) return false;
    bool found = false;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (std::string(option->keyword) == "password" && option->val != nullptr && *option->val != '\0') found = true;
    }
    PQconninfoFree(options);
    return found;
}

std::string createCatalogueSchema(const std::string& connection) {
    PgConnection db(connection);
    const int before = SqlCatalogue::pgSchemaVersion(db);
    SqlCatalogue::migratePgSchema(db);
    if (before == SqlCatalogue::kSchemaVersion)
        return db.name() + ": schema version " + std::to_string(before) + " is there already (" +
               std::to_string(count(db, "vault")) + " vault(s), " + std::to_string(count(db, "task")) + " task(s))";
    return db.name() + ": schema " + (before == 0 ? "created" : "migrated from version " + std::to_string(before)) +
           " at version " + std::to_string(SqlCatalogue::kSchemaVersion);
}

}  // namespace VaultAdmin
