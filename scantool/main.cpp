// Trevalon: run on a vault node before a migration to find the backup tasks
// that are not safe to migrate. Takes no arguments; see ScanDriver.h.
#include "ScanDriver.h"

int main() { return Trevalon::runScan(); }
