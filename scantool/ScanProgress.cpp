#include "ScanProgress.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace Trevalon {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);
constexpr auto kGatherInterval = std::chrono::milliseconds(20);

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // the terminal is gone: the log file has every line
        data += put;
        size -= static_cast<size_t>(put);
    }
}

}  // namespace

bool sameTerminal(int a, int b) {
    if (::isatty(a) != 1 || ::isatty(b) != 1) return false;
    struct stat first {}, second {};
    if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
    return first.st_rdev == second.st_rdev;
}

ScanProgress::ScanProgress(bool wanted, int errorFd, int outputFd)
    : line_("Checking tasks", VaultConsole::ProgressLine::Unit::Items, "tasks", wanted, errorFd),
      outputFd_(outputFd) {}

ScanProgress::~ScanProgress() { finish(); }

void ScanProgress::start(uint64_t total) {
    line_.setTotal(total);
    if (!line_.active()) return;
    if (!sameTerminal(outputFd_, 2)) {
        drawsHere_ = true;
        return;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;  // no relay, no line: lines must not mix
    const int saved = ::fcntl(outputFd_, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || ::dup2(ends[1], outputFd_) < 0) {
        if (saved >= 0) ::close(saved);
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    ::close(ends[1]);
    savedOutput_ = saved;
    pipeRead_ = ends[0];
    try {
        relay_ = std::thread(&ScanProgress::relayLoop, this);
    } catch (...) {
        ::dup2(savedOutput_, outputFd_);
        ::close(savedOutput_);
        ::close(pipeRead_);
        savedOutput_ = pipeRead_ = -1;
    }
}

void ScanProgress::relayLoop() {
    char buffer[65536];
    bool atLineStart = true;
    auto lastDraw = std::chrono::steady_clock::now();
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kRedrawInterval - (now - lastDraw));
        pollfd request{pipeRead_, POLLIN, 0};
        const int ready = ::poll(&request, 1, wait.count() > 0 ? static_cast<int>(wait.count()) : 0);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            const ssize_t got = ::read(pipeRead_, buffer, sizeof buffer);
            if (got == 0) break;  // every writer is gone: finish() put the terminal back
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                break;
            }
            line_.clear();
            writeAll(savedOutput_, buffer, static_cast<size_t>(got));
            atLineStart = buffer[got - 1] == '\n';
            // Let lines gather in the pipe rather than waking for each one:
            // a scan logs thousands of lines a second, and a relay that
            // handled them one by one would cost more than the line is worth.
            // The pipe holds far more than a pause's worth of lines.
            std::this_thread::sleep_for(kGatherInterval);
        }
        if (atLineStart && std::chrono::steady_clock::now() - lastDraw >= kRedrawInterval) {
            line_.update(done_.load(std::memory_order_relaxed));
            lastDraw = std::chrono::steady_clock::now();
        }
    }
    line_.clear();
}

void ScanProgress::finish() {
    if (relay_.joinable()) {
        // Putting the terminal back closes the pipe's last write end: the
        // relay drains what is left, then sees its end.
        ::dup2(savedOutput_, outputFd_);
        relay_.join();
        ::close(savedOutput_);
        ::close(pipeRead_);
        savedOutput_ = pipeRead_ = -1;
    }
    drawsHere_ = false;
    line_.clear();
}

}  // namespace Trevalon
