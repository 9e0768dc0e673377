// The node's scrub: verifies every pool of the tasks bound to this node, in
// the order that finds damage soonest, within a time budget, and remembers
// what it verified (ScrubRecord.h) so that the next run goes on from there.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace PoolScrub {

struct ScrubSettings {
    std::string logFolder;  // "" : [node] LogFolder
    std::string globalTag;
    bool verbose = false;
    int64_t maxAgeSeconds = -1;       // -1: no limit
    int64_t maxDurationSeconds = -1;  // -1: no budget
    double rateMiBPerSecond = 0;      // 0: no cap
    bool idle = false;
    bool progress = true;
    bool json = false;
};

// "90", "90s", "15m", "2h", "7d", "1h30m": seconds. Throws
// std::invalid_argument for anything else (a sign, a fraction, no number,
// an unknown unit, an overflow).
int64_t parseDuration(const std::string& text);

// The state folder of this node: [node] StateFolder, default /var/lib/vault.
std::string stateFolder();

// One run; returns the exit code (VaultConsole::ExitCode). Results go to
// `out`, problems to `err`.
int runScrub(const ScrubSettings& settings, std::ostream& out, std::ostream& err);

// The `scrub` subcommand of poolcommand: adds it to `app` and runs it when
// chosen. Usage in main():
//     PoolScrub::ScrubCommand scrub(app);
//     ... app.parse(argc, argv) ...
//     if (scrub.chosen()) return scrub.run();
class ScrubCommand {
public:
    explicit ScrubCommand(CLI::App& app);
    bool chosen() const;
    int run();

private:
    CLI::App* command_;
    ScrubSettings settings_;
    std::string config_;
    std::string maxAge_, maxDuration_;
    bool noProgress_ = false;
};

}  // namespace PoolScrub
