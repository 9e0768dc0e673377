// Running pool operation commands for a maintenance tool.
//
// execute logs the command to the session's maintenance log (a trace line),
// shows "<description> task <hierarchy>[ safesets( n ... )][ ( p ... )]" as
// the session's progress status, asks the task's local settings whether the
// command's program and feature may run (a refusal is a warning 0x1185 in
// the vault log and a normal return without follow-ups), looks the pool up
// by GUID, and has the pool factory of the pool's version run the operation.
// Failures leave as:
//   Pool::JobInterruptedException  rethrown, logged as information
//   Pool::PoolError                rethrown unchanged, logged as an error
//   any other standard exception   logged as an error, thrown as
//                                  VeshmoorException with the same text
// Every operation is static and may be called from several threads at once;
// the two tables are filled when the library loads and never change.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Pool/PoolOperationCommand.h"
#include "Veshmoor/VeshmoorApi.h"
#include "Veshmoor/VeshmoorException.h"

class VaultCommandSession;

namespace Veshmoor {

class VESHMOOR_API PoolCommandManager {
public:
    PoolCommandManager() = default;
    PoolCommandManager(const PoolCommandManager&) = default;
    // Stateless: assignment has nothing to copy.
    PoolCommandManager& operator=(const PoolCommandManager&) { return *this; }

    // Runs the command given as text (PoolOperationCommandSerializer) with the
    // session's global tag, and appends the text form of every follow-up
    // command to `followUps` (never clears it). Errors of reading the text
    // leave unlogged; others as above.
    static void execute(boost::shared_ptr<VaultCommandSession> session, const std::string& commandText,
                        std::vector<std::string>& followUps);

    // Runs the command; the operation appends its follow-up commands.
    static void execute(boost::shared_ptr<VaultCommandSession> session, const Pool::PoolOperationCommand& command,
                        std::vector<Pool::PoolOperationCommand>& followUps);

    // Command code -> the word that opens the progress status.
    static const std::map<int32_t, std::string> commandDescriptions_;
    // Command code -> (program, feature) asked of the task's local settings.
    static const std::map<int32_t, std::pair<std::string, std::string>> executionSettings_;

protected:
    // REQUIRES: command.task is set.
    static void updateProgress(boost::shared_ptr<VaultCommandSession> session, const Pool::PoolOperationCommand& command);
    // REQUIRES: command.task is set. Codes without an entry in
    // executionSettings_ are runnable.
    static bool isRunnable(const Pool::PoolOperationCommand& command);
};

}  // namespace Veshmoor
