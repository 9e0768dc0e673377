// The scan tool's run: start-up, the choice of pass, the walk over the vault's
// customers, locations, computers and tasks, and the exit code.
//
// A run checks every task of this node that it can lock (an initial pass), or,
// when the previous run left a list of tasks it could not check, only those (a
// re-check pass). Results go to the working folder (see ResultFiles.h).
#pragma once

#include <ctime>
#include <string>

namespace Trevalon {

extern const char* const kToolVersion;  // "8.00.7416"

// The run stamp of Output.csv's run line: local time as "%b-%d-%Y_%H-%M-%S".
std::string formatRunStamp(std::time_t startTime);

// One whole run in the process's current folder. Returns 0 when the walk ended
// normally, -1 when an error ended it.
int runScan();

}  // namespace Trevalon
