#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {

VaultDescription::VaultDescription(const std::string& thisNode, const std::string& catalogueName)
    : thisNode_(thisNode) {
    doc_["vault"] = {{"id", "test-vault"}, {"version", "8.50.0000"}};
    doc_["thisNode"] = thisNode;
    doc_["nodes"] = nlohmann::json::array({{{"hostName", catalogueName.empty() ? thisNode : catalogueName}}});
    doc_["customers"] = nlohmann::json::array();
}

VaultDescription& VaultDescription::node(const std::string& hostName) {
    doc_["nodes"].push_back({{"hostName", hostName}});
    return *this;
}

nlohmann::json& VaultDescription::customer(const std::string& name) {
    for (auto& c : doc_["customers"]) {
        if (c["name"] == name) return c;
    }
    doc_["customers"].push_back({{"name", name},
                                 {"reference", name + "-REF"},
                                 {"locations", nlohmann::json::array({{{"name", name + " HQ"},
                                                                       {"reference", name + "-LOC"},
                                                                       {"computers", nlohmann::json::array()}}})}});
    return doc_["customers"].back();
}

VaultDescription& VaultDescription::task(const std::string& customerName, const std::string& computerName,
                                         const std::string& name, const std::vector<SafesetSpec>& safesets,
                                         const std::string& node) {
    nlohmann::json& computers = customer(customerName)["locations"][0]["computers"];
    nlohmann::json* computer = nullptr;
    for (auto& c : computers) {
        if (c["name"] == computerName) computer = &c;
    }
    if (!computer) {
        computers.push_back({{"name", computerName}, {"tasks", nlohmann::json::array()}});
        computer = &computers.back();
    }
    nlohmann::json sets = nlohmann::json::array();
    for (const SafesetSpec& s : safesets) {
        sets.push_back({{"number", s.number},
                        {"version", s.version},
                        {"records", s.records},
                        {"marked", s.marked},
                        {"unavailable", s.unavailable}});
    }
    (*computer)["tasks"].push_back({{"name", name}, {"node", node.empty() ? thisNode_ : node}, {"safesets", sets}});
    return *this;
}

std::string VaultDescription::json() const { return doc_.dump(2); }

}  // namespace Testing
}  // namespace Trevalon
