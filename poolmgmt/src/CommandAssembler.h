// Filling a pool operation command from its text form, with the look-ups
// behind a small interface so the rules can be checked without a database or
// a pool library.
//
// `Command` has the fields of Pool::PoolOperationCommand: command, task
// (shared pointer to a TaskDataObject), safesets, poolDescriptor (shared
// pointer), parameters. `Lookups` provides
//   bool findTask(uint32_t id, DataObjects::TaskDataObject& task);
//   <descriptor pointer> poolDescriptor(const std::string& guid, const DataObjects::TaskDataObject& task);
// and throws what its services throw.
#pragma once

#include <stdexcept>
#include <string>

#include "CommandText.h"
#include "DataObjects/DataObjects.h"
#include "VaultUtilities.h"

namespace Veshmoor {
namespace detail {

constexpr unsigned kMessageIdError = 0x1003;

inline const char* taskIsNullText() { return "PoolOperationCommand.task is null"; }
inline const char* descriptorIsNullText() { return "PoolOperationCommand.poolDescriptor is null"; }
inline const char* commandNotSetText() { return "PoolOperationCommand.command is not set"; }

template <typename Command, typename Lookups>
class CommandAssembler final : public CommandTextSink {
public:
    CommandAssembler(Command& command, Lookups& lookups) : command_(command), lookups_(lookups) {}

    void onCommand(int32_t code) override { command_.command = code; }

    void onTaskId(uint32_t taskId) override {
        using TaskPointer = decltype(command_.task);
        command_.task = TaskPointer(new DataObjects::TaskDataObject());
        if (!lookups_.findTask(taskId, *command_.task)) {
            command_.task->id = taskId;
            throw VaultUtilities::Error(1, kMessageIdError, "task not found in PoolOperationCommandSerializer: (Id %u)",
                                        taskId);
        }
    }

    void onSafeset(uint32_t safeset) override { command_.safesets.push_back(safeset); }

    // The descriptor is built once the text has been read, from the task the
    // command ends with, so a later "TaskId" can never leave a descriptor of
    // another task's storage behind. A pool GUID before any task is refused
    // here, as the task it needs does not exist.
    void onPoolGuid(const std::string& guid) override {
        if (!command_.task) throw std::runtime_error(taskIsNullText());
        poolGuid_ = guid;
        havePoolGuid_ = true;
    }

    void onParameter(const std::string& parameter) override { command_.parameters.push_back(parameter); }

    void finish() {
        if (havePoolGuid_) command_.poolDescriptor = lookups_.poolDescriptor(poolGuid_, *command_.task);
        if (command_.command == kCommandNotSet) throw std::runtime_error(commandNotSetText());
        if (!command_.task) throw std::runtime_error(taskIsNullText());
        if (!command_.poolDescriptor) throw std::runtime_error(descriptorIsNullText());
    }

private:
    Command& command_;
    Lookups& lookups_;
    std::string poolGuid_;
    bool havePoolGuid_ = false;
};

// Sets the command code to "not set", reads `text` into `command` (appending
// to its safesets and parameters) and checks the result. On failure the
// command keeps what it had been given so far.
template <typename Command, typename Lookups>
void assembleCommand(std::string_view text, Command& command, Lookups& lookups) {
    command.command = kCommandNotSet;
    CommandAssembler<Command, Lookups> assembler(command, lookups);
    readCommandText(text, assembler);
    assembler.finish();
}

}  // namespace detail
}  // namespace Veshmoor
