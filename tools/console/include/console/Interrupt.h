// Ctrl-C and SIGTERM for long runs: the first one sets a flag the work checks
// between items (a task, a pool, a block), so the run stops at a clean point,
// writes what it has and ends with kExitInterrupted; a second one ends the
// process at once with the default action.
#pragma once

namespace VaultConsole {

// Installs the handlers for SIGINT and SIGTERM. Call once, early in main.
void installInterruptHandlers();

// True once SIGINT or SIGTERM arrived after installInterruptHandlers().
bool interrupted();

// For tests: clears the flag.
void resetInterrupted();

}  // namespace VaultConsole
