#include "console/ProgressLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>

using VaultConsole::ProgressLine;
using namespace std::chrono_literals;

namespace {

// Reads what is waiting on a descriptor without blocking.
std::string drain(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return out;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

struct FakeClock {
    std::chrono::steady_clock::time_point t{};
    ProgressLine::Clock clock() {
        return [this] { return t; };
    }
};

}  // namespace

TEST(ProgressLine, DrawsOnATerminalOnlyAndNeverWhenTurnedOff) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);

    struct Case {
        int fd;
        bool wanted;
        bool expectActive;
    } cases[] = {{slave, true, true}, {slave, false, false}, {pipeFds[1], true, false}};
    for (const Case& c : cases) {
        FakeClock fake;
        ProgressLine line("Checking tasks", ProgressLine::Unit::Items, "tasks", c.wanted, c.fd);
        line.setClockForTest(fake.clock());
        line.setTotal(10);
        EXPECT_EQ(line.active(), c.expectActive);
        fake.t += 1s;
        line.update(5);
        line.clear();
    }
    ::close(slave);
    ::close(pipeFds[1]);
    const std::string onTerminal = drain(master);
    EXPECT_NE(onTerminal.find("Checking tasks: 5 of 10 tasks (50%)"), std::string::npos) << onTerminal;
    EXPECT_NE(onTerminal.find("\r\x1b[K"), std::string::npos) << "the line is cleared at the end";
    EXPECT_EQ(drain(pipeFds[0]), "") << "nothing may reach a pipe";
    ::close(master);
    ::close(pipeFds[0]);
}

TEST(ProgressLine, RedrawsAtMostFourTimesASecond) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FakeClock fake;
    {
        ProgressLine line("Verifying", ProgressLine::Unit::Bytes, "", true, fds[1]);
        line.setClockForTest(fake.clock());
        line.forceActiveForTest(200);
        line.update(1);  // under a quarter second after the start: nothing yet
        fake.t += 300ms;
        line.update(2);  // drawn
        for (int i = 0; i < 1000; ++i) line.update(3 + i);  // same instant: not drawn
        fake.t += 260ms;
        line.update(5000);  // drawn
    }
    ::close(fds[1]);
    const std::string out = drain(fds[0]);
    std::size_t drawings = 0;
    for (std::size_t at = out.find('\r'); at != std::string::npos; at = out.find('\r', at + 1))
        if (out.compare(at, 4, "\r\x1b[K") != 0) ++drawings;
    EXPECT_EQ(drawings, 2u) << out;
    ::close(fds[0]);
}

TEST(ProgressLine, RendersCountsRateAndTimeLeft) {
    FakeClock fake;
    struct Case {
        ProgressLine::Unit unit;
        std::uint64_t total, done;
        std::chrono::seconds after;
        std::string expected;
    } cases[] = {
        {ProgressLine::Unit::Items, 20000, 5000, 10s,
         "Checking: 5,000 of 20,000 tasks (25%), 500.0/s, 0:30 left, 0:10 elapsed"},
        {ProgressLine::Unit::Items, 0, 42, 2s, "Checking: 42 tasks, 21.0/s, 0:02 elapsed"},
        {ProgressLine::Unit::Bytes, 1024ull * 1024 * 1024, 512ull * 1024 * 1024, 4s,
         "Checking: 512.0 MiB of 1.0 GiB (50%), 128.0 MiB/s, 0:04 left, 0:04 elapsed"},
        {ProgressLine::Unit::Items, 7200, 1, 1s, "Checking: 1 of 7,200 tasks (0%), 1.0/s, 1:59:59 left, 0:01 elapsed"},
        {ProgressLine::Unit::Items, 10, 0, 0s, "Checking: 0 of 10 tasks (0%), 0:00 elapsed"},
    };
    for (const Case& c : cases) {
        fake.t = {};
        ProgressLine line("Checking", c.unit, "tasks", false, -1);
        line.setClockForTest(fake.clock());
        line.setTotal(c.total);
        line.update(c.done);
        fake.t += c.after;
        EXPECT_EQ(line.render(), c.expected);
    }
}

TEST(ProgressLine, ANarrowTerminalGetsAShortenedLineThatCannotWrap) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FakeClock fake;
    {
        ProgressLine line("Checking a rather long description of the work", ProgressLine::Unit::Items, "tasks",
                          true, fds[1]);
        line.setClockForTest(fake.clock());
        line.forceActiveForTest(20);
        fake.t += 1s;
        line.update(1);
    }
    ::close(fds[1]);
    const std::string out = drain(fds[0]);
    const std::string first = out.substr(0, out.find("\x1b[K"));
    EXPECT_EQ(first, "\rChecking a rather l");
    ::close(fds[0]);
}
