// The catalogue database of a vault whose catalogue lives on a PostgreSQL
// server (the [database] Backend=postgresql of its node configuration):
// preparing it for a build, and creating its schema in an empty database.
//
// SQLite vaults need none of this: their catalogue file lives in the vault's
// folder and goes with it.
#pragma once

#include <string>

namespace VaultAdmin {

// What a build of a vault writes into a PostgreSQL catalogue: the connection
// string goes into the node configuration as it is given, so it should name
// a password file (passfile=...) or rely on ~/.pgpass or PGPASSWORD rather
// than hold the password.
struct CatalogueServer {
    std::string connection;  // libpq connection string; empty: SQLite file
};

// Makes the database ready for a new catalogue: an empty database, or one
// with the schema and no vault, is taken as it is; one that holds a vault is
// refused unless `force`, and with `force` the catalogue's tables are
// dropped (nothing else in the database is touched). Throws
// std::runtime_error naming the database and the server.
void prepareCatalogueDatabase(const CatalogueServer& server, bool force);

// True when the connection string carries a password (which a build would
// then write into node.conf).
bool connectionHoldsPassword(const std::string& connection);

// Where the node configuration the process points at keeps the catalogue:
// "catalogue database '<file>'", or "catalogue database 'D' on server 'H:P'"
// (never the password). Makes no connection.
std::string catalogueLocation();

// Creates the catalogue's tables in the database, or brings them to the
// current schema version; returns a line saying what it found and did.
std::string createCatalogueSchema(const std::string& connection);

}  // namespace VaultAdmin
