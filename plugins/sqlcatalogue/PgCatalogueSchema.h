// The catalogue's table layout on a PostgreSQL server and its migrations:
// the same tables, columns, orders and version numbers as the SQLite file
// (CatalogueSchema.h), in PostgreSQL's types.
//
// The layout's version is the one row of table catalogue_schema; a database
// without that table is at version 0. Migration runs in one transaction,
// under a session-level advisory lock taken before it begins, so nodes that
// connect at the same moment migrate one after the other and the second
// finds the work done. A database newer than this code knows, or with a version below 0, is
// refused.
#pragma once

namespace SqlCatalogue {

class PgConnection;

// Brings the database to kSchemaVersion. Throws std::runtime_error naming
// the database and the server when it is newer or a step fails.
void migratePgSchema(PgConnection& connection);

// The layout version the database holds (0 for none), without changing it.
// Throws the error of a newer version for any version outside 0 to
// kSchemaVersion, however the column stores it (a wider number, text).
int pgSchemaVersion(PgConnection& connection);

// Drops every table of the catalogue (and nothing else) in one transaction.
void dropPgSchema(PgConnection& connection);

}  // namespace SqlCatalogue
