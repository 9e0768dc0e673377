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

// Exit codes of a run.
const int kExitCompleted = 0;          // the walk ended normally and both result files are whole
const int kExitWalkFailed = -1;        // an error ended the walk (255 to the shell)
const int kExitFolderBusy = 3;         // another run holds the working folder; nothing was touched
const int kExitResultsIncomplete = 4;  // the walk ended, but a result file could not be written completely

// The run stamp of Output.csv's run line: local time as "%b-%d-%Y_%H-%M-%S".
std::string formatRunStamp(std::time_t startTime);

// What the command line may change about a run; the result files, the log
// and their contents are the same whatever is chosen.
struct ScanOptions {
    bool progress = true;         // the progress line on a terminal (--no-progress turns it off)
    std::string summaryJsonPath;  // --summary-json FILE ("" for none)
};

// One whole run in the process's current folder; returns one of the exit
// codes above. Only one run at a time works in a folder: a run holds an
// exclusive lock on the folder itself (flock on the folder, taken before any
// file is touched and dropped by the kernel when the run ends, however it
// ends), and a second run refuses with kExitFolderBusy.
int runScan(const ScanOptions& options = ScanOptions());

}  // namespace Trevalon
