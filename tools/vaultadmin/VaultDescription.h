// The declarative model of a vault that vaultadmin builds: the vault, its
// nodes, and the customer / location / computer / task tree with every task's
// safesets.
//
// Rules that hold for every value of these types once the parser or the
// synthetic generator has produced it:
// - every GUID is filled in (given, or derived from names) and is a canonical
//   lower- or upper-case 8-4-4-4-12 hex text, so it can be used as a folder name;
// - task GUIDs and computer GUIDs are unique in the vault;
// - every task's `node` is the exact host name of one entry of `nodes`;
// - safeset numbers are unique within their task and lie in 1..2^32-1;
// - names hold no control characters (they go into line-based files).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VaultAdmin {

// Which records of a safeset's container carry the marker byte. Indices are
// 0-based positions in the container (record identifier = lower bound + index).
class MarkedRecords {
public:
    // No record marked.
    MarkedRecords() = default;
    // Exactly these positions (sorted, unique, each below the record count).
    static MarkedRecords atIndices(std::vector<uint32_t> indices);
    // round(records * share) records, spread evenly over the container.
    static MarkedRecords byShare(double share);

    // The number of marked records in a container of `records` records.
    uint64_t count(uint64_t records) const;
    // True when position `index` of a container of `records` records is marked.
    bool isMarked(uint64_t index, uint64_t records) const;

    bool usesShare() const { return usesShare_; }
    double share() const { return share_; }
    const std::vector<uint32_t>& indices() const { return indices_; }

private:
    bool usesShare_ = false;
    double share_ = 0.0;
    std::vector<uint32_t> indices_;
};

struct SafesetDescription {
    uint32_t number = 0;
    std::string version;  // version text of the vault that wrote the safeset
    uint32_t records = 0;
    MarkedRecords marked;
    bool unavailable = false;
};

struct TaskDescription {
    std::string name;
    std::string guid;
    std::string poolGuid;  // always derived from the task GUID
    std::string node;      // host name of the node the task is bound to
    std::vector<SafesetDescription> safesets;
};

struct ComputerDescription {
    std::string name;
    std::string guid;
    std::vector<TaskDescription> tasks;
};

struct LocationDescription {
    std::string name;
    std::string reference;
    std::vector<ComputerDescription> computers;
};

struct CustomerDescription {
    std::string name;
    std::string reference;
    std::vector<LocationDescription> locations;
};

struct VaultDescription {
    std::string id;       // the vault ID text ([database] VaultID)
    std::string guid;     // derived from the ID
    std::string version;  // the installed vault version ([node] VaultVersion)
    std::vector<std::string> nodes;  // host names; unique ignoring case
    std::string thisNode;            // the node that runs the tools; one of `nodes`
    std::vector<CustomerDescription> customers;

    size_t taskCount() const;
    size_t safesetCount() const;
    // Bytes of container records the vault's safesets hold (records * 128).
    uint64_t containerBytes() const;
};

}  // namespace VaultAdmin
