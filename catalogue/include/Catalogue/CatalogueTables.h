// One generation of the catalogue: the five tables a scan pass builds from
// the storage, and the look-ups the database interfaces answer from.
//
// The tables hold text only (GUIDs, names and folders exactly as the label
// files spell them) in scan order. A computer's ID is its 1-based position
// in the computer table (0: no such computer); a task-folder position is
// 0-based. Task and computer GUIDs are compared byte for byte; pool GUIDs
// ignoring letter case (findPool).
//
// A generation is built by one thread (add*, then finish) and is read-only
// afterwards, so any number of threads may read a finished generation at
// once. finish() builds indexes so that every look-up costs O(1) or the size
// of its answer, with the answers of a walk through the tables in order.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace Catalogue {

struct TaskRef {
    std::string taskName;
    std::string taskGuid;
    bool operator==(const TaskRef& other) const { return taskName == other.taskName && taskGuid == other.taskGuid; }
};

struct ComputerEntry {
    std::string computerGuid;
    std::vector<TaskRef> tasks;
    bool operator==(const ComputerEntry& other) const {
        return computerGuid == other.computerGuid && tasks == other.tasks;
    }
};

struct PoolEntry {
    std::string poolGuid;
    std::string poolFolder;
    bool operator==(const PoolEntry& other) const {
        return poolGuid == other.poolGuid && poolFolder == other.poolFolder;
    }
};

struct TaskFolderEntry {
    std::string taskGuid;
    std::string taskFolder;  // ends in a separator
    bool operator==(const TaskFolderEntry& other) const {
        return taskGuid == other.taskGuid && taskFolder == other.taskFolder;
    }
};

struct ComputerNameEntry {
    std::string computerGuid;
    std::string computerName;
    bool operator==(const ComputerNameEntry& other) const {
        return computerGuid == other.computerGuid && computerName == other.computerName;
    }
};

// Upper-cases every byte through the global locale's character
// classification; defined for every byte value, 0x80 and above included.
std::string upperCased(const std::string& text);

class CatalogueTables {
public:
    // --- Building (one thread, before finish) ---
    void addMount(const std::string& folder) { mountList_.push_back(folder); }
    void addTaskFolder(const std::string& taskGuid, const std::string& taskFolder);
    // Appends the task to the first computer with that GUID, or adds the
    // computer at the end. Duplicates stay.
    void addComputerTask(const std::string& computerGuid, const std::string& taskName, const std::string& taskGuid);
    // The first name met for a computer GUID wins.
    void addComputerName(const std::string& computerName, const std::string& computerGuid);
    void addPool(const std::string& poolGuid, const std::string& poolFolder);
    // Builds the look-up indexes; call once, after the last add.
    void finish();

    // --- The tables, in scan order ---
    const std::vector<std::string>& mountList() const { return mountList_; }
    const std::vector<ComputerEntry>& computerTable() const { return computerTable_; }
    const std::vector<PoolEntry>& poolTable() const { return poolTable_; }
    const std::vector<TaskFolderEntry>& taskFolderTable() const { return taskFolderTable_; }
    const std::vector<ComputerNameEntry>& computerNameTable() const { return computerNameTable_; }

    // --- Look-ups (after finish) ---
    // Clears both vectors, then gives every task folder's GUID and position.
    void listTaskFolders(std::vector<std::string>& taskGuids, std::vector<int32_t>& positions) const;
    // "" when the position is negative or past the end.
    std::string getTaskFolderPath(int32_t position) const;
    std::vector<std::string> listComputerGuids() const;
    uint32_t getComputerIdByGuid(const std::string& computerGuid) const;
    // The first computer, in table order, that lists the task; 0 when none.
    uint32_t getComputerIdByTaskGuid(const std::string& taskGuid) const;
    // The computer's first-scanned name; the GUID itself when none is known.
    std::string getComputerNameByGuid(const std::string& computerGuid) const;
    // Empty for ID 0 and IDs past the last computer.
    std::vector<std::string> getComputerTaskGuids(uint32_t computerId) const;
    // The name of the first TaskRef with that GUID (computers in order, then
    // their tasks in order); "" when none.
    std::string getTaskNameByGuid(const std::string& taskGuid) const;
    // The folder of the first task-folder entry with that GUID whose folder
    // is not empty; "" when none.
    std::string getFirstTaskFolder(const std::string& taskGuid) const;
    // The first pool whose GUID equals `poolGuid` ignoring letter case; null
    // when none.
    const PoolEntry* findPool(const std::string& poolGuid) const;

    // Same tables, same order (indexes are derived and not compared).
    bool operator==(const CatalogueTables& other) const;
    bool operator!=(const CatalogueTables& other) const { return !(*this == other); }

private:
    std::vector<std::string> mountList_;
    std::vector<ComputerEntry> computerTable_;
    std::vector<PoolEntry> poolTable_;
    std::vector<TaskFolderEntry> taskFolderTable_;
    std::vector<ComputerNameEntry> computerNameTable_;

    // Position of the first entry with a key; built as the tables grow
    // (computers, names) or by finish (the rest).
    std::unordered_map<std::string, size_t> computerByGuid_;
    std::unordered_map<std::string, size_t> nameByComputerGuid_;
    std::unordered_map<std::string, size_t> computerByTaskGuid_;
    std::unordered_map<std::string, std::pair<size_t, size_t>> taskRefByTaskGuid_;
    std::unordered_map<std::string, size_t> folderByTaskGuid_;
    std::unordered_map<std::string, size_t> poolByUpperGuid_;
};

}  // namespace Catalogue
