// Trevalon: run on a vault node before a migration to find the backup tasks
// that are not safe to migrate. Takes no arguments; see ScanDriver.h.
#include <iostream>

#include "CommandLine.h"
#include "ScanDriver.h"

int main(int argc, char** argv) {
    if (const auto answered = Trevalon::answerCommandLine(argc, argv, std::cout, std::cerr)) return *answered;
    return Trevalon::runScan();
}
