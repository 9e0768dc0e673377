#include "VaultDescription.h"

#include <cmath>
#include <utility>

namespace VaultAdmin {

MarkedRecords MarkedRecords::atIndices(std::vector<uint32_t> indices) {
    MarkedRecords marked;
    marked.indices_ = std::move(indices);
    return marked;
}

MarkedRecords MarkedRecords::byShare(double share) {
    MarkedRecords marked;
    marked.usesShare_ = true;
    marked.share_ = share;
    return marked;
}

uint64_t MarkedRecords::count(uint64_t records) const {
    if (!usesShare_) return indices_.size();
    return static_cast<uint64_t>(std::llround(static_cast<double>(records) * share_));
}

bool MarkedRecords::isMarked(uint64_t index, uint64_t records) const {
    if (index >= records) return false;
    if (!usesShare_) {
        // Indices are sorted; containers are written in increasing order, so a
        // binary search keeps this cheap for long lists.
        size_t low = 0, high = indices_.size();
        while (low < high) {
            size_t middle = (low + high) / 2;
            if (indices_[middle] < index) low = middle + 1; else high = middle;
        }
        return low < indices_.size() && indices_[low] == index;
    }
    // Position i is marked when the running share count steps up at it; this
    // marks exactly count(records) positions, evenly spread. Both products stay
    // below 2^64 because records and the count are 32-bit.
    const uint64_t marks = count(records);
    return ((index + 1) * marks) / records > (index * marks) / records;
}

size_t VaultDescription::taskCount() const {
    size_t tasks = 0;
    for (const auto& customer : customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers) tasks += computer.tasks.size();
    return tasks;
}

size_t VaultDescription::safesetCount() const {
    size_t safesets = 0;
    for (const auto& customer : customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers)
                for (const auto& task : computer.tasks) safesets += task.safesets.size();
    return safesets;
}

uint64_t VaultDescription::containerBytes() const {
    uint64_t bytes = 0;
    for (const auto& customer : customers)
        for (const auto& location : customer.locations)
            for (const auto& computer : location.computers)
                for (const auto& task : computer.tasks)
                    for (const auto& safeset : task.safesets) bytes += uint64_t(safeset.records) * 128u;
    return bytes;
}

}  // namespace VaultAdmin
