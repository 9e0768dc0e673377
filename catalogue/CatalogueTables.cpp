#include "Catalogue/CatalogueTables.h"

#include <locale>

namespace Catalogue {

std::string upperCased(const std::string& text) {
    // The ctype<char> facet takes a char, not an int, so bytes of 0x80 and
    // above are well defined (they stay as they are in the "C" locale).
    const std::locale global;
    const auto& ctype = std::use_facet<std::ctype<char>>(global);
    std::string upper = text;
    ctype.toupper(&upper[0], &upper[0] + upper.size());
    return upper;
}

void CatalogueTables::addTaskFolder(const std::string& taskGuid, const std::string& taskFolder) {
    taskFolderTable_.push_back(TaskFolderEntry{taskGuid, taskFolder});
}

void CatalogueTables::addComputerTask(const std::string& computerGuid, const std::string& taskName,
                                      const std::string& taskGuid) {
    const auto found = computerByGuid_.find(computerGuid);
    if (found != computerByGuid_.end()) {
        computerTable_[found->second].tasks.push_back(TaskRef{taskName, taskGuid});
        return;
    }
    computerByGuid_.emplace(computerGuid, computerTable_.size());
    computerTable_.push_back(ComputerEntry{computerGuid, {TaskRef{taskName, taskGuid}}});
}

void CatalogueTables::addComputerName(const std::string& computerName, const std::string& computerGuid) {
    if (nameByComputerGuid_.emplace(computerGuid, computerNameTable_.size()).second)
        computerNameTable_.push_back(ComputerNameEntry{computerGuid, computerName});
}

void CatalogueTables::addPool(const std::string& poolGuid, const std::string& poolFolder) {
    poolTable_.push_back(PoolEntry{poolGuid, poolFolder});
}

void CatalogueTables::finish() {
    computerByTaskGuid_.clear();
    taskRefByTaskGuid_.clear();
    folderByTaskGuid_.clear();
    poolByUpperGuid_.clear();
    // emplace keeps the first entry of a key, which is what a walk in table
    // order would find first.
    for (size_t c = 0; c < computerTable_.size(); ++c) {
        const auto& tasks = computerTable_[c].tasks;
        for (size_t t = 0; t < tasks.size(); ++t) {
            computerByTaskGuid_.emplace(tasks[t].taskGuid, c);
            taskRefByTaskGuid_.emplace(tasks[t].taskGuid, std::make_pair(c, t));
        }
    }
    for (size_t f = 0; f < taskFolderTable_.size(); ++f) {
        if (!taskFolderTable_[f].taskFolder.empty()) folderByTaskGuid_.emplace(taskFolderTable_[f].taskGuid, f);
    }
    for (size_t p = 0; p < poolTable_.size(); ++p) poolByUpperGuid_.emplace(upperCased(poolTable_[p].poolGuid), p);
}

void CatalogueTables::listTaskFolders(std::vector<std::string>& taskGuids, std::vector<int32_t>& positions) const {
    taskGuids.clear();
    positions.clear();
    taskGuids.reserve(taskFolderTable_.size());
    positions.reserve(taskFolderTable_.size());
    for (size_t f = 0; f < taskFolderTable_.size(); ++f) {
        taskGuids.push_back(taskFolderTable_[f].taskGuid);
        positions.push_back(static_cast<int32_t>(f));
    }
}

std::string CatalogueTables::getTaskFolderPath(int32_t position) const {
    if (position < 0 || static_cast<size_t>(position) >= taskFolderTable_.size()) return std::string();
    return taskFolderTable_[static_cast<size_t>(position)].taskFolder;
}

std::vector<std::string> CatalogueTables::listComputerGuids() const {
    std::vector<std::string> guids;
    guids.reserve(computerTable_.size());
    for (const auto& computer : computerTable_) guids.push_back(computer.computerGuid);
    return guids;
}

uint32_t CatalogueTables::getComputerIdByGuid(const std::string& computerGuid) const {
    const auto found = computerByGuid_.find(computerGuid);
    return found == computerByGuid_.end() ? 0 : static_cast<uint32_t>(found->second + 1);
}

uint32_t CatalogueTables::getComputerIdByTaskGuid(const std::string& taskGuid) const {
    const auto found = computerByTaskGuid_.find(taskGuid);
    return found == computerByTaskGuid_.end() ? 0 : static_cast<uint32_t>(found->second + 1);
}

std::string CatalogueTables::getComputerNameByGuid(const std::string& computerGuid) const {
    const auto found = nameByComputerGuid_.find(computerGuid);
    return found == nameByComputerGuid_.end() ? computerGuid : computerNameTable_[found->second].computerName;
}

std::vector<std::string> CatalogueTables::getComputerTaskGuids(uint32_t computerId) const {
    std::vector<std::string> guids;
    if (computerId == 0 || computerId > computerTable_.size()) return guids;
    const auto& tasks = computerTable_[computerId - 1].tasks;
    guids.reserve(tasks.size());
    for (const auto& task : tasks) guids.push_back(task.taskGuid);
    return guids;
}

std::string CatalogueTables::getTaskNameByGuid(const std::string& taskGuid) const {
    const auto found = taskRefByTaskGuid_.find(taskGuid);
    if (found == taskRefByTaskGuid_.end()) return std::string();
    return computerTable_[found->second.first].tasks[found->second.second].taskName;
}

std::string CatalogueTables::getFirstTaskFolder(const std::string& taskGuid) const {
    const auto found = folderByTaskGuid_.find(taskGuid);
    return found == folderByTaskGuid_.end() ? std::string() : taskFolderTable_[found->second].taskFolder;
}

const PoolEntry* CatalogueTables::findPool(const std::string& poolGuid) const {
    const auto found = poolByUpperGuid_.find(upperCased(poolGuid));
    return found == poolByUpperGuid_.end() ? nullptr : &poolTable_[found->second];
}

bool CatalogueTables::operator==(const CatalogueTables& other) const {
    return mountList_ == other.mountList_ && computerTable_ == other.computerTable_ &&
           poolTable_ == other.poolTable_ && taskFolderTable_ == other.taskFolderTable_ &&
           computerNameTable_ == other.computerNameTable_;
}

}  // namespace Catalogue
