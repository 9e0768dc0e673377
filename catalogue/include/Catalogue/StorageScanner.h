// The storage scanner: builds one catalogue generation from the task label
// files below the storage roots.
//
// A pass reads the storage roots from the global settings "Mount_0",
// "Mount_1", ... (the list ends at the first empty value), walks each root
// depth first in the order the file system lists entries, and reads every
// task label file it meets. Everything here is a plain function of the file
// system and the settings, safe to run on any thread; only the refresh
// thread runs it in the plug-in.
//
// What the walk refuses, each with one warning line naming the path:
// - a folder that cannot be searched (skipped; the walk goes on);
// - a folder that is its own ancestor (a bind mount or the like leading back
//   up the tree); links are never followed in the first place;
// - a label name that is not a regular file (a FIFO, a link, a device), a
//   label larger than kMaxLabelBytes, or one that cannot be read.
// - a folder that is swapped for a link while the walk runs: every folder
//   below a root is opened relative to its parent's descriptor without
//   following a link, and every label relative to its folder's, so nothing
//   outside the roots is read (a root itself may be a link);
// - a folder that moved away while the walk was below it (the rest of it).
// The walk keeps its place on the heap, not on the thread's stack, and holds
// a bounded number of folders open however deep the tree is.
// A writer's temporary file beside a label ("TaskLabel.cfg.tmp...") is
// neither read nor reported: it is a label being written, or one a killed
// writer left half-written.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "Catalogue/CatalogueTables.h"
#include "Catalogue/ScanProgress.h"
#include "VaultUtilities.h"

namespace Catalogue {

extern const char* const kLabelFileName;  // "TaskLabel.cfg"
constexpr size_t kMaxLabelBytes = 1024 * 1024;

// The storage roots: "Mount_%d" for 0, 1, 2, ... read with readGlobalSetting
// until the first empty value.
std::vector<std::string> readMountList();

// True when a directory entry called `name` is read as a label: `labelName`
// occurs in it (case-sensitive; "TaskLabel.cfg.bak" counts, "tasklabel.cfg"
// does not) and it is not a writer's temporary file (".tmp" after the label
// name).
bool isTaskLabelName(const std::string& name, const std::string& labelName = kLabelFileName);

// Reads one label file without following a link and without blocking on a
// special file. False, with the reason in `problem`, when it is not a
// regular file, is larger than kMaxLabelBytes or cannot be read; false with
// an empty `problem` when it vanished since it was listed.
bool readTaskLabelFile(const std::string& path, VaultUtilities::ConfigGroup& label, std::string& problem);
// The same for the file `name` of the open folder `folderFd` (AT_FDCWD: a path).
bool readTaskLabelAt(int folderFd, const char* name, VaultUtilities::ConfigGroup& label, std::string& problem);

// Adds what one label says about the folder it lies in to `tables`:
// TASK_GUID makes the folder (with a trailing separator) a task folder;
// COMPUTER_GUID with TASK_NAME lists the task under its computer (with an
// empty task GUID when there is none); COMPUTER_GUID with COMPUTER names the
// computer; POOL_GUID adds a pool kept in the folder (with the separator only
// when the label also has TASK_GUID). Values are taken as stored.
void applyTaskLabel(const VaultUtilities::ConfigGroup& label, const std::string& folder, CatalogueTables& tables);

// Reader threads that warm the folders and labels the walk reaches next
// (node configuration: [numbers] CatalogueReadersInFlight).
constexpr unsigned kDefaultReadersInFlight = 8;
constexpr unsigned kMaxReadersInFlight = 64;

struct ScanOptions {
    std::string labelFileName = kLabelFileName;
    // Read-ahead threads beside the walk; 0: none. They only warm the cache:
    // the walk's order, messages and result are the same with any number.
    unsigned readers = kDefaultReadersInFlight;
    // When set, counts the folders entered and the labels read.
    ScanProgress* progress = nullptr;
    // When set and it becomes true, the walk stops early (the caller throws
    // the result away); used when the process is ending.
    const std::atomic<bool>* abandon = nullptr;
};

// One full pass over `mounts`, in order: a finished generation whose mount
// list is `mounts`. The same folder reached through two mounts is listed
// twice. Errors reading one file or folder are logged and skipped; only a
// failure of the pass itself (memory) propagates.
CatalogueTables scanStorage(const std::vector<std::string>& mounts, const ScanOptions& options = ScanOptions());

}  // namespace Catalogue
