// Pool operation commands to and from their one-line text form.
//
//   "PoolCmd:Cmd=2;TaskId=17;Safesets=5,9;PoolGuid=G;Parameters=a,b"
//
// (the quotes belong to the text). Nothing inside is escaped, so a GUID or a
// parameter holding ';', ',', '=' or '"' does not survive a round trip, and
// an empty parameter vanishes on reading. Reading looks the task up in the
// vault catalogue and builds the pool descriptor through the pool library.
#pragma once

#include <string>

#include "Pool/PoolOperationCommand.h"
#include "Veshmoor/VeshmoorApi.h"

namespace DatabaseInterfaces {
class AdministratorInterface;
}

namespace Veshmoor {

class VESHMOOR_API PoolOperationCommandSerializer {
public:
    PoolOperationCommandSerializer() = default;
    PoolOperationCommandSerializer(const PoolOperationCommandSerializer&) = default;
    // Stateless: assignment has nothing to copy.
    PoolOperationCommandSerializer& operator=(const PoolOperationCommandSerializer&) { return *this; }

    // The text form. Throws std::runtime_error "PoolOperationCommand.task is
    // null" or "PoolOperationCommand.poolDescriptor is null" when either is
    // empty. The code is written as it is (2147483647 when not set).
    static std::string toString(const Pool::PoolOperationCommand& command);

    // Fills `command` from `text`, with or without the enclosing quotes:
    // sets the code to "not set" first, then for every "key=value" token in
    // order (keys ignoring case): PoolCmd:Cmd (signed), TaskId (unsigned;
    // the task is looked up by id through a database interface manager of
    // this call), Safesets (unsigned numbers split at ',' and blanks,
    // appended), PoolGuid, Parameters (split at ',' only, appended). The pool
    // descriptor is built from the last PoolGuid and the task the text ends
    // with (secondary when Pool::isSecondaryPool says so, else online).
    // Throws:
    //   boost::bad_lexical_cast       a number that does not convert
    //   VaultUtilities::Error (1, 0x1003) "task not found in
    //       PoolOperationCommandSerializer: (Id N)" for an unknown task
    //   std::runtime_error "PoolOperationCommand.task is null" for a PoolGuid
    //       met before any task, and after reading, in this order:
    //       "PoolOperationCommand.command is not set", "... .task is null",
    //       "... .poolDescriptor is null"
    //   whatever the database interfaces and the pool library throw.
    // On failure the command keeps what had been read so far.
    static void fromString(std::string text, Pool::PoolOperationCommand& command);

    // The same with the caller's administrator interface, for a caller that
    // reads many texts: no interface manager (and no database connection) is
    // set up per text.
    static void fromString(const std::string& text, Pool::PoolOperationCommand& command,
                           DatabaseInterfaces::AdministratorInterface& catalogue);
};

}  // namespace Veshmoor
