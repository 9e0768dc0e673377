// The scan's progress line on a terminal: "Checking tasks", tasks met of the
// vault's tasks, rate and time left (VaultConsole::ProgressLine), on standard
// error, only when that is a terminal and progress was not turned off.
//
// The run's log lines are echoed to standard output. When standard output is
// the same terminal as standard error, a log line written while the progress
// line stands would run into it; so then standard output is led through a
// pipe to one relay thread, which owns the terminal: it removes the progress
// line, writes the lines that came, and draws the line again (at most four
// times a second, and only at the start of a line). It takes what gathered in
// the pipe at most every 20 ms, so a fast scan's lines cost a few system
// calls per batch, not per line. The scan thread only
// counts. In every other case no thread is started and the scan thread draws
// the line itself.
//
// The relay never changes what is written, nor its order: the log file is
// written by the scan thread as before; standard output gets the same bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "console/ProgressLine.h"

namespace Trevalon {

class ScanProgress {
public:
    // `wanted` is false after --no-progress. Nothing is drawn or started yet.
    explicit ScanProgress(bool wanted, int errorFd = 2, int outputFd = 1);
    ~ScanProgress();  // finish()
    ScanProgress(const ScanProgress&) = delete;
    ScanProgress& operator=(const ScanProgress&) = delete;

    bool active() const { return line_.active(); }
    // True while standard output runs through the relay.
    bool relaying() const { return relay_.joinable(); }

    // The walk begins: `total` tasks in the vault. Starts the relay when needed.
    void start(uint64_t total);
    // One more task met by the walk.
    void taskMet() {
        const uint64_t done = done_.fetch_add(1, std::memory_order_relaxed) + 1;
        if (drawsHere_) line_.update(done);
    }
    // Ends the relay (every byte written so far reaches standard output) and
    // removes the line. Safe to call more than once.
    void finish();

private:
    void relayLoop();

    VaultConsole::ProgressLine line_;
    int outputFd_;
    bool drawsHere_ = false;
    std::atomic<uint64_t> done_{0};
    int savedOutput_ = -1;  // the terminal, while the relay holds outputFd_
    int pipeRead_ = -1;
    std::thread relay_;
};

// True when both descriptors are terminals and the same one.
bool sameTerminal(int a, int b);

}  // namespace Trevalon
