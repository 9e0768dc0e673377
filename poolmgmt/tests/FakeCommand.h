// A command record of Pool::PoolOperationCommand's shape and a small task
// catalogue, for checking the text rules without a database.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "CommandText.h"
#include "DataObjects/DataObjects.h"

namespace Veshmoor {
namespace testing {

struct FakeDescriptor {
    std::string guid;
    uint32_t builtForTask;
};

struct FakeCommand {
    int32_t command = 0;
    boost::shared_ptr<DataObjects::TaskDataObject> task;
    std::vector<uint32_t> safesets;
    boost::shared_ptr<FakeDescriptor> poolDescriptor;
    std::vector<std::string> parameters;
};

// Knows the tasks 1 to 20 and 4294967295; counts look-ups.
struct FakeLookups {
    int taskLookups = 0;
    int descriptorsBuilt = 0;
    bool failDescriptor = false;
    bool findTask(uint32_t id, DataObjects::TaskDataObject& task) {
        ++taskLookups;
        if ((id < 1 || id > 20) && id != 4294967295u) return false;
        task.id = id;
        task.name = "task-" + std::to_string(id);
        return true;
    }
    boost::shared_ptr<FakeDescriptor> poolDescriptor(const std::string& guid, const DataObjects::TaskDataObject& task) {
        ++descriptorsBuilt;
        if (failDescriptor) throw std::logic_error("pool library failed");
        return boost::shared_ptr<FakeDescriptor>(new FakeDescriptor{guid, task.id});
    }
};

inline std::string toText(const FakeCommand& command) {
    return detail::writeCommandText(command.command, command.task->id, command.safesets, command.poolDescriptor->guid,
                                    command.parameters);
}

// True when the text survives a round trip: no separator or quote.
inline bool survivesRoundTrip(const std::string& text) { return text.find_first_of(";,=\"") == std::string::npos; }

}  // namespace testing
}  // namespace Veshmoor
