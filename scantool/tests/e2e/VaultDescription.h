// Builds the JSON description of a test vault, one task at a time.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Trevalon {
namespace Testing {

struct SafesetSpec {
    unsigned number;
    std::string version;
    unsigned records;
    std::vector<unsigned> marked;
    bool unavailable;
};

class VaultDescription {
public:
    // `thisNode` is the host name of the node that runs the scan;
    // `catalogueName` the same node's name in the catalogue (may differ in
    // letter case).
    explicit VaultDescription(const std::string& thisNode = "node1", const std::string& catalogueName = "");
    // Adds a node the vault knows (this node is always known).
    VaultDescription& node(const std::string& hostName);
    // Adds a task; customers, locations and computers are created on first use.
    VaultDescription& task(const std::string& customer, const std::string& computer, const std::string& name,
                           const std::vector<SafesetSpec>& safesets, const std::string& node = "");
    std::string json() const;

private:
    nlohmann::json& customer(const std::string& name);
    std::string thisNode_;
    nlohmann::json doc_;
};

}  // namespace Testing
}  // namespace Trevalon
