// Per-task settings kept in the task's folder: which maintenance features may
// run on the task, and whether the task is marked suspect.
//
// The settings file is "<taskFolder>/tasksettings.cfg", one KEY=VALUE per line
// (format and keys in docs/task-settings.md). Its key rules:
//   <Program>.<Feature>=0|1   a feature of a program disabled (0) or enabled (1)
//   <Program>=0|1             every feature of the program, unless the
//                             feature's own key says otherwise
//   SUSPECT=0|1, SUSPECT_REASON=text, SUSPECT_COUNT=n, SUSPECT_MANUAL=0|1,
//   SUSPECT_TIME=YYYY-MM-DD HH:MM:SS   the suspect mark
// Program and feature names compare without regard to ASCII case. A missing
// file means every feature enabled and no mark.
//
// Every change is a read-modify-write under an advisory lock of its own
// ("<taskFolder>/tasksettings.cfg.lock", never the task lock, which callers
// may hold), written to a temporary file, flushed and renamed over the old
// file: two processes changing one task's settings at once lose neither
// change, and a crash leaves the old file or the new one. Reading takes no
// lock. Files are opened without following links and without blocking; a
// settings file that is a link or not a regular file, is larger than 64 KiB,
// or holds a line that is not KEY=VALUE (or a key twice, or a NUL byte) is
// refused with a std::runtime_error that names the file (and the line).
#pragma once

#include <map>
#include <string>

#include "DataObjects/DataObjects.h"
#include "SharedApi.h"

class SHARED_API LocalSettings {
public:
    // Reads the task's settings file now. Throws std::runtime_error naming
    // the file when it is damaged (see above). A task without taskFolder has
    // no settings file: every feature is enabled.
    explicit LocalSettings(const DataObjects::TaskDataObject& task);
    virtual ~LocalSettings();

    // Whether `feature` of `program` may run on the task: the value of
    // "<program>.<feature>" when set, else of "<program>", else true.
    virtual bool isRunnable(const std::string& program, const std::string& feature) const;

    // Marks `task` suspect: SUSPECT=1, SUSPECT_REASON=`reason` (line breaks
    // written as blanks), SUSPECT_COUNT one more than before, SUSPECT_TIME
    // now, and SUSPECT_MANUAL=1 when `needsAdministrator` is true. The flag
    // says who clears the mark: true, an administrator (the error is not
    // repaired automatically); false, the repair job that was or will be
    // submitted for it. Once set, SUSPECT_MANUAL stays 1 until the mark is
    // cleared. Throws std::runtime_error naming the file when the settings
    // cannot be read, locked or written (the old file is then unchanged), or
    // naming the task when it has no taskFolder.
    static void markTaskAsSuspect(const DataObjects::TaskDataObject& task, const std::string& reason,
                                  bool needsAdministrator);

    // Clears the suspect mark (removes the SUSPECT keys). Same rules.
    static void clearSuspect(const DataObjects::TaskDataObject& task);

    // Sets one key (a feature key or any other KEY the format can hold) under
    // the same lock. Throws std::invalid_argument for a key or value the
    // format cannot hold (empty key, '=', line break, leading '#', NUL).
    static void setValue(const DataObjects::TaskDataObject& task, const std::string& key, const std::string& value);
    // Removes one key; false when it was not set.
    static bool removeValue(const DataObjects::TaskDataObject& task, const std::string& key);

    // The settings file of a task ("" when taskFolder is empty).
    static std::string settingsPath(const DataObjects::TaskDataObject& task);

    // The settings as read at construction, by key.
    const std::map<std::string, std::string>& values() const { return values_; }
    bool isSuspect() const;

private:
    std::map<std::string, std::string> values_;
    std::string path_;
};
