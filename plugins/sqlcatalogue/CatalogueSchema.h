// The catalogue's table layout and its migrations.
//
// The layout's version is kept in the file's PRAGMA user_version: 0 for a new
// file, then one step per version. Each step runs inside the one write
// transaction that also sets the new version, so a file is always at a whole
// version. A file newer than this code knows is refused.
#pragma once

namespace SqlCatalogue {

class Connection;

// The layout version this code writes and reads.
constexpr int kSchemaVersion = 1;

// Brings the file to kSchemaVersion. Throws std::runtime_error naming the
// file when its version is not one this code knows (newer than
// kSchemaVersion, or negative), when a step fails, or when the file holds no
// catalogue yet (version 0) and `mayCreate` is false (a reader's open).
void migrateSchema(Connection& connection, bool mayCreate);

}  // namespace SqlCatalogue
