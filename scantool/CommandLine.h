// Trevalon's command line. A scan needs no arguments; it takes two options
// that change nothing in its result files (--no-progress, --summary-json
// FILE), and the program answers the requests for its help and its version.
// Anything else is refused before any file is opened, so that a mistyped call
// never starts a scan that rewrites the result files of the folder it is
// typed in.
#pragma once

#include <iosfwd>
#include <optional>

#include "ScanDriver.h"

namespace Trevalon {

constexpr int kUsageExitCode = 2;  // an argument was refused

// Answers a command line that is not a scan, writing nothing but to `out` and
// `err`: "--help" or "-h" prints the help and "--version" the version to
// `out` and give 0; a command line of scan options only (or none) answers
// nothing (std::nullopt): the options go to `options` (when given) and the
// caller runs the scan; any other command line gets a short usage text on
// `err` and kUsageExitCode.
std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                                     ScanOptions* options = nullptr);

}  // namespace Trevalon
