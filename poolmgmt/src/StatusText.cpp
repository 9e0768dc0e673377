#include "StatusText.h"

namespace Veshmoor {
namespace detail {

std::string commandStatusText(const std::map<int32_t, std::string>& descriptions, int32_t code,
                              const std::string& hierarchy, const std::vector<uint32_t>& safesets,
                              const std::vector<std::string>& parameters) {
    const auto found = descriptions.find(code);
    std::string text = (found == descriptions.end() || found->second.empty()) ? "Processing" : found->second;
    text += " task ";
    text += hierarchy;
    if (!safesets.empty()) {
        text += " safesets( ";
        for (uint32_t safeset : safesets) text += std::to_string(safeset) + " ";
        text += ")";
    }
    if (!parameters.empty()) {
        text += " ( ";
        for (const std::string& parameter : parameters) text += parameter + " ";
        text += ")";
    }
    return text;
}

std::string taskLabel(const DataObjects::TaskDataObject& task) {
    return task.name + " (" + task.guid + ", #" + std::to_string(task.id) + ") ";
}

}  // namespace detail
}  // namespace Veshmoor
