// Trevalon's command line. A scan takes no arguments; the only arguments the
// program answers are the requests for its help and its version. Anything
// else is refused before any file is opened, so that a mistyped call never
// starts a scan that rewrites the result files of the folder it is typed in.
#pragma once

#include <iosfwd>
#include <optional>

namespace Trevalon {

constexpr int kUsageExitCode = 2;  // an argument was refused

// Answers a command line that is not a scan, writing nothing but to `out` and
// `err`: "--help" or "-h" prints the help and "--version" the version to
// `out` and give 0; any other command line that has arguments gets a short
// usage text on `err` and kUsageExitCode. With no arguments it answers
// nothing (std::nullopt): the caller runs the scan.
std::optional<int> answerCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace Trevalon
