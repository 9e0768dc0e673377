// Builds a vault from a VaultDescription: the node configuration, the SQL
// catalogue (through the database-interface manager and the administrator
// interface) and the storage (task folders with their label files, file-list
// containers, sync lists and synchronisation sets, through the storage
// writers).
//
// Rules for the whole build:
// - The description is complete and valid (DescriptionParser or the synthetic
//   generator made it); the builder only checks what depends on the disk.
// - DIR/.incomplete exists from the first write to the last (VaultRoot.h):
//   a build that fails or is killed leaves a vault every command refuses.
// - Inside a task, the data files go first and the files that list them
//   (sync list, synchronisation set, then the label file) after, so nothing
//   on the storage ever names a file that is not there yet.
// - Tasks' storage is written by several threads, each task by one thread;
//   the first failure stops the others and is the one reported.
// - The process's VAULT_NODE_CONFIG is pointed at DIR/node.conf, since the
//   shared library reads every setting from there.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "VaultDescription.h"
#include "VaultRoot.h"

namespace VaultAdmin {

// Identifier range of every container the builder writes: record
// identifiers start at this value, so a record's identifier is this plus its
// position.
constexpr uint32_t kFirstRecordId = 1;

// File name of a task's label file in its task folder.
extern const char* const kTaskLabelFileName;  // "TaskLabel.cfg"

struct BuildOptions {
    bool force = false;         // rebuild over an earlier vault in DIR
    std::ostream* progress = nullptr;  // progress lines (none when null)
    // Called from the building thread with (what, done, total) after each
    // task's catalogue records and, while the storage is written, a few
    // times a second (for a terminal's progress line); may be empty.
    std::function<void(const char* what, uint64_t done, uint64_t total)> onProgress;
    // Tasks whose storage is written at the same time. Each file is flushed
    // to disk on its own, so the storage phase waits on the disk rather than
    // the processor; several writers keep the disk's queue full.
    unsigned storageWriters = 4;
    // A libpq connection string: the catalogue goes into that PostgreSQL
    // database ([database] Backend=postgresql) instead of DIR/catalogue.db.
    // The text is written into DIR/node.conf as given (CatalogueDatabase.h).
    std::string databaseConnection;
};

struct BuildReport {
    std::string nodeConfig;
    size_t tasks = 0;
    size_t safesets = 0;
    uint64_t containerBytes = 0;
    double catalogueSeconds = 0;
    double storageSeconds = 0;
};

// The task folder of a task: DIR/storage/<computer GUID>/<task GUID>/.
std::string taskFolderOf(const VaultPaths& paths, const ComputerDescription& computer, const TaskDescription& task);

// Builds the vault under `root`. Throws std::runtime_error (naming what
// failed) and leaves the marker when anything goes wrong.
BuildReport buildVault(const VaultDescription& vault, const std::string& root, const BuildOptions& options);

// Adds the customers of `more` (with their locations, computers and tasks) to
// the built vault whose node configuration the process points at, while the
// tools may be running on it: every task's storage is written first, then its
// catalogue records, so a tool never meets a task whose files are missing.
// `more` must name the same vault ID; its nodes are registered when new. A
// task whose folder exists already is refused before anything is written.
BuildReport addToVault(const VaultDescription& more, const BuildOptions& options);

}  // namespace VaultAdmin
