// Where a task's files lie, all derived from the task record's `taskFolder`
// (see docs/storage.md):
//   <taskFolder>/sync/            main and mirror synchronisation files
//   <taskFolder>/pool/            the pool folder:
//   <taskFolder>/pool/synclist.vsl    the pool's sync list
//   <taskFolder>/pool/NNNNNNNN.vfl    a safeset's file-list container
//                                     (safeset number, eight decimal digits)
//   <taskFolder>/secondary/<GUID>/    a secondary pool folder (same files as
//                                     the pool folder)
//   <LockFolder>/task-<name>.lock the task's lock file ([node] LockFolder of
//                                 the node configuration, default /var/lock/vault)
//
// Rules for every function: paths use '/'; folder paths end in '/'; a task
// whose taskFolder is empty has no folders and gives "" (never a path relative
// to the current directory). The functions only compute paths; they touch no
// file.
#pragma once

#include <cstdint>
#include <string>

#include "DataObjects/DataObjects.h"
#include "Pool/PoolApi.h"

namespace Pool {
namespace Layout {

// File name of a pool's sync list inside the pool folder.
POOL_API extern const char* const SYNC_LIST_FILE_NAME;  // "synclist.vsl"
// Default folder of the lock files when [node] LockFolder is not set.
POOL_API extern const char* const DEFAULT_LOCK_FOLDER;  // "/var/lock/vault"

// The task's synchronisation-files folder, "<taskFolder>/sync/"; "" when
// taskFolder is empty.
POOL_API std::string synchFolder(const DataObjects::TaskDataObject& task);
// The task's pool folder, "<taskFolder>/pool/"; "" when taskFolder is empty.
POOL_API std::string poolFolder(const DataObjects::TaskDataObject& task);
// The pool's sync list, "<taskFolder>/pool/synclist.vsl"; "" when taskFolder is empty.
POOL_API std::string syncListPath(const DataObjects::TaskDataObject& task);
// The file name (no folder) of a safeset's container: "00000042.vfl".
POOL_API std::string containerFileName(uint32_t safesetNumber);
// The full path of a safeset's container in the task's pool folder; "" when
// taskFolder is empty.
POOL_API std::string containerPath(const DataObjects::TaskDataObject& task, uint32_t safesetNumber);

// A secondary pool's folder, "<taskFolder>/secondary/<GUID>/", the GUID
// escaped as for lock files (so it never names a folder elsewhere); "" when
// taskFolder or the GUID is empty.
POOL_API std::string secondaryPoolFolder(const DataObjects::TaskDataObject& task, const std::string& poolGuid);

// The lock folder: [node] LockFolder, else DEFAULT_LOCK_FOLDER; ends in '/'.
POOL_API std::string lockFolder();
// The task's lock file in lockFolder(): "task-<guid>.lock" from the task GUID,
// or "task-id-<id>.lock" when the GUID is empty. Every byte of the GUID other
// than letters, digits, '-', '_' and '.'-not-leading is written as "%XX", so a
// GUID text can never name a file outside the folder.
POOL_API std::string lockFilePath(const DataObjects::TaskDataObject& task);
// The file name alone (no folder) of lockFilePath(task).
POOL_API std::string lockFileName(const DataObjects::TaskDataObject& task);

}  // namespace Layout
}  // namespace Pool
