// Decides whether a task's stored safesets may be migrated.
//
// A safeset is at risk when the version text of its sync-list entry lies from
// "8" up to and including "8.40" (compared as byte strings) and its file-list
// container holds a record whose marker byte is set. The first at-risk safeset
// makes the task not safe: two empty marker files are left in the task's
// synchronisation-files folder and the walk over its safesets stops.
// Unavailable safesets (peripheral bit 0x40000) are skipped and reported.
//
// The caller holds the task lock. Every error of the storage libraries leaves
// the check as an exception; the caller defers the task.
#pragma once

#include <string>

#include "Carrowen/Carrowen.h"
#include "DataObjects/DataObjects.h"

namespace Trevalon {

extern const char* const kAffectedVersionCeiling;  // "8.40"
extern const char* const kMarkerFileNames[2];      // "ombrik.exe.config", "sorvendel.exe.config"

// True when no available safeset of the task is at risk. Sets (never clears)
// `offlineDataDetected` when it meets an unavailable safeset. Throws when the
// task's synchronisation set cannot be opened: a task whose safesets cannot be
// listed is not known to be safe.
bool checkTaskSafety(const DataObjects::TaskDataObject& task, bool& offlineDataDetected);

// True when the safeset's entry in the open sync list is at risk.
bool isSafesetAffected(const Carrowen::SyncList& syncList, uint32_t safesetNumber);

// True when the file-list container holds a record whose marker byte is set:
// its records are looked at from the first position to the end position, each
// verified by the container against its chunk checksum first. Throws when the
// container cannot be opened or read (damaged, shortened, not a file).
bool containerHoldsMarkedRecord(const std::string& containerPath);

// True when a safeset written by `version` may hold marked records: its first
// byte is not below "8" and its first four bytes are not above "8.40".
bool isAffectedVersion(const std::string& version);

// Creates or truncates an empty file; a failure is ignored. A link, FIFO or
// anything else but a regular file at the name counts as a failure: it is
// neither followed nor blocked on.
void createMarkerFile(const std::string& path);

}  // namespace Trevalon
