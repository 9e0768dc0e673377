// The exit codes every maintenance program shares, so a script can tell
// "fix the command", "retry later" and "look at the vault" apart without
// knowing which program it ran. A program uses the subset that applies to it
// and lists that subset in its --help and manual page; docs/conventions.md
// holds the whole table. Trevalon keeps the codes it always had (0, 255, 2, 3, 4).
#pragma once

namespace VaultConsole {

enum ExitCode : int {
    kExitDone = 0,              // the work was done
    kExitFailed = 1,            // the work failed for a reason not listed below
    kExitUsage = 2,             // a bad command line: fix it, retrying will not help
    kExitBusy = 3,              // another run holds the working folder or node: retry later
    kExitStateNotWritten = 4,   // a result or state file was not written completely (old one kept)
    kExitDamageFound = 5,       // the work ran and found damage or a difference (it was handled or listed)
    kExitRefusedBySettings = 6, // the task's local settings refuse the command
    kExitTaskLocked = 7,        // the task's lock could not be had: retry later
    kExitCatalogueUnreachable = 8, // the catalogue or its server could not be reached: retry later
    kExitInterrupted = 130,     // stopped by Ctrl-C (SIGINT) or SIGTERM; what was done is kept
};

// True for the codes after which the same command may well succeed later.
constexpr bool retryLater(int code) {
    return code == kExitBusy || code == kExitTaskLocked || code == kExitCatalogueUnreachable ||
           code == kExitInterrupted;
}

}  // namespace VaultConsole
