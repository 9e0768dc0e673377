// Trevalon: run on a vault node before a migration to find the backup tasks
// that are not safe to migrate. See ScanDriver.h and CommandLine.h.
#include <iostream>

#include "CommandLine.h"
#include "ScanDriver.h"

int main(int argc, char** argv) {
    Trevalon::ScanOptions options;
    if (const auto answered = Trevalon::answerCommandLine(argc, argv, std::cout, std::cerr, &options))
        return *answered;
    return Trevalon::runScan(options);
}
