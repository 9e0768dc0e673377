// A task's synchronisation set: the list of its safesets, kept as a main file
// and a mirror file in the task's synchronisation-files folder.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "DataObjects/DataObjects.h"
#include "FileServices.h"
#include "SharedApi.h"

// Bit of the peripheral word that marks a safeset's data as offline.
#define VSYNCH_PERIPHERAL_UNAVAILABLE 0x40000u

struct VSynchEntry {
    uint32_t safesetNumber = 0;
    uint32_t peripheral = 0;   // storage word; bit 0x40000: unavailable
    VFileName fileName;        // the safeset's file name on its storage
};

class SHARED_API VSynchSet {
public:
    static const char* const MAIN_FILE_NAME;
    static const char* const MIRROR_FILE_NAME;

    // partialEntryMode 0: read the set as it is; 1: open for repair.
    // allowWrite: whether Close may write files.
    VSynchSet(int partialEntryMode, bool allowWrite, int replicationDirection);
    virtual ~VSynchSet();
    VSynchSet(const VSynchSet&) = delete;
    VSynchSet& operator=(const VSynchSet&) = delete;
    // Ends the use of an opened set (releases what Open read).
    virtual void endUse();

    // Reads the set of `task`. Returns 1 or more on success, less than 1 when
    // the files are missing, unreadable or corrupt. Never throws for bad files.
    // The result is the number of good files (2: main and mirror, 1: one of
    // them, the other missing or bad; a bad one is logged). With both good the
    // main file's entries are used.
    virtual int Open(const DataObjects::TaskDataObject& task, bool forRepair);
    // Closes the set; with `writeMissing` (and allowWrite) re-creates a
    // missing main or mirror file from the other. A damaged file is never
    // overwritten. Throws std::runtime_error naming the file when the
    // re-creation fails. Entries stay readable until endUse.
    virtual void Close(bool writeMissing, void* callback = nullptr);

    // The entries read by Open, by safeset number.
    void getEntries(std::map<uint32_t, VSynchEntry>& entries) const;
    // True when the files are in the older format (read, but not verified).
    bool isOldFileFormat() const;

private:
    struct State;
    State* state_;
};
