#include "console/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace VaultConsole {

namespace {

constexpr auto kDefaultRedrawInterval = std::chrono::milliseconds(250);

// VAULT_PROGRESS_INTERVAL_MS overrides the quarter second (0: draw at every
// update), for recording a session and for tests that must see a line
// without depending on how long the work takes.
std::chrono::milliseconds redrawIntervalFromEnvironment() {
    const char* text = std::getenv("VAULT_PROGRESS_INTERVAL_MS");
    if (text == nullptr || *text == '\0') return kDefaultRedrawInterval;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 60000) return kDefaultRedrawInterval;
    return std::chrono::milliseconds(value);
}

std::string withThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    std::string out;
    const std::size_t lead = digits.size() % 3;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (i + 3 - lead) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

void writeAll(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a status line is not worth failing for
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace

ProgressLine::ProgressLine(std::string what, Unit unit, std::string itemName, bool wanted, int fd)
    : what_(std::move(what)), unit_(unit), itemName_(std::move(itemName)), fd_(fd),
      active_(wanted && ::isatty(fd) == 1), interval_(redrawIntervalFromEnvironment()) {
    start_ = lastDraw_ = now();
}

ProgressLine::~ProgressLine() { clear(); }

std::chrono::steady_clock::time_point ProgressLine::now() const {
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void ProgressLine::setClockForTest(Clock clock) {
    clock_ = std::move(clock);
    start_ = lastDraw_ = now();
}

void ProgressLine::forceActiveForTest(int width) {
    active_ = true;
    width_ = width;
}

void ProgressLine::update(std::uint64_t done) {
    done_ = done;
    if (!active_) return;
    const auto t = now();
    if (shown_ && t - lastDraw_ < interval_) return;
    if (!shown_ && t - start_ < interval_) return;  // short work shows nothing
    lastDraw_ = t;
    draw();
}

void ProgressLine::clear() {
    if (!active_ || !shown_) return;
    writeAll(fd_, "\r\x1b[K");
    shown_ = false;
}

std::string ProgressLine::formatBytes(double bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 5) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string ProgressLine::formatDuration(double seconds) {
    if (seconds < 0) seconds = 0;
    const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
    const std::uint64_t h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    char text[48];
    if (h > 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                      static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(m),
                      static_cast<unsigned long long>(s));
    return text;
}

std::string ProgressLine::render() const {
    const double elapsed = std::chrono::duration<double>(now() - start_).count();
    const double rate = elapsed > 0 ? static_cast<double>(done_) / elapsed : 0.0;
    std::string text = what_ + ": ";
    if (unit_ == Unit::Bytes) {
        text += formatBytes(static_cast<double>(done_));
        if (total_ > 0) text += " of " + formatBytes(static_cast<double>(total_));
    } else {
        text += withThousands(done_);
        if (total_ > 0) text += " of " + withThousands(total_);
        text += " " + itemName_;
    }
    if (total_ > 0) {
        const std::uint64_t shown = done_ > total_ ? total_ : done_;
        text += " (" + std::to_string(shown * 100 / total_) + "%)";
    }
    if (rate > 0) {
        char perSecond[48];
        if (unit_ == Unit::Bytes)
            std::snprintf(perSecond, sizeof perSecond, ", %s/s", formatBytes(rate).c_str());
        else
            std::snprintf(perSecond, sizeof perSecond, ", %.1f/s", rate);
        text += perSecond;
        if (total_ > done_) text += ", " + formatDuration(static_cast<double>(total_ - done_) / rate) + " left";
    }
    text += ", " + formatDuration(elapsed) + " elapsed";
    return text;
}

void ProgressLine::draw() {
    int width = width_;
    if (width == 0) {
        winsize size{};
        width = ::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    }
    std::string text = render();
    // A line as wide as the terminal wraps, and "\r" then rewrites only its last part.
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 1;
    if (text.size() > room) text.resize(room);
    writeAll(fd_, "\r" + text + "\x1b[K");
    shown_ = true;
}

}  // namespace VaultConsole
