// Texts built from a command or a task for the logs and the progress display.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "DataObjects/DataObjects.h"

namespace Veshmoor {
namespace detail {

// The progress status of a command: its description from `descriptions`
// ("Processing" when it has none or an empty one), " task ", the hierarchy
// text, then " safesets( 5 9 )" and " ( a b )" when there are safesets and
// parameters. Never inserts into `descriptions`.
std::string commandStatusText(const std::map<int32_t, std::string>& descriptions, int32_t code,
                              const std::string& hierarchy, const std::vector<uint32_t>& safesets,
                              const std::vector<std::string>& parameters);

// The task label of the log lines: "name (guid, #id) " with the final blank.
std::string taskLabel(const DataObjects::TaskDataObject& task);

}  // namespace detail
}  // namespace Veshmoor
