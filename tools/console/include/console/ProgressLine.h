// One status line on a terminal for long work: what is being done, done of
// total, rate and time left, rewritten in place. It is written only when its
// descriptor is a terminal and progress was not turned off (--no-progress),
// so it never reaches a log file, a result file or a pipe.
//
// Cost: update() reads the monotonic clock and returns unless a quarter of a
// second (VAULT_PROGRESS_INTERVAL_MS, if set) has passed since the last
// drawing; drawing is one write(2).
// Not thread-safe: one thread owns a line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace VaultConsole {

class ProgressLine {
public:
    enum class Unit { Items, Bytes };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `what` says what is being done ("Checking tasks"); `itemName` names the
    // items counted ("tasks"), unused for bytes. `wanted` is false after
    // --no-progress. `fd` is the descriptor written to (standard error).
    ProgressLine(std::string what, Unit unit, std::string itemName, bool wanted, int fd = 2);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine();  // clears the line

    // Whether anything is drawn: wanted and the descriptor is a terminal.
    bool active() const { return active_; }

    // The total may be unknown (0) or learnt late; the line then shows done and rate.
    void setTotal(std::uint64_t total) { total_ = total; }
    void setWhat(std::string what) { what_ = std::move(what); }

    // Records progress and redraws at most four times a second.
    void update(std::uint64_t done);
    void add(std::uint64_t more) { update(done_ + more); }

    // Removes the line (before other output to the same terminal, and at the end).
    void clear();

    // The text a drawing would show now, without the terminal controls.
    std::string render() const;

    // For tests: a clock to use instead of the steady clock, and a width
    // instead of asking the terminal. `force` makes a non-terminal active.
    void setClockForTest(Clock clock);
    void forceActiveForTest(int width);

    static std::string formatBytes(double bytes);
    static std::string formatDuration(double seconds);

private:
    void draw();
    std::chrono::steady_clock::time_point now() const;

    std::string what_;
    Unit unit_;
    std::string itemName_;
    int fd_;
    bool active_;
    std::chrono::milliseconds interval_;
    int width_ = 0;  // 0: ask the terminal at each drawing
    bool shown_ = false;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    Clock clock_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace VaultConsole
