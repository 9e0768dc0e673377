#include "TestSupport.h"

#include "ChildExec.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace VaultAdmin {
namespace Testing {

TempFolder::TempFolder() {
    char pattern[] = "/tmp/vaultadmin-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

std::string vaultadminPath() {
    const char* bin = std::getenv("VAULT_BIN_DIR");
    if (!bin) throw std::runtime_error("VAULT_BIN_DIR is not set (run the tests through ctest)");
    return std::string(bin) + "/vaultadmin";
}

Child::Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const TestSupport::ChildExec program(argv, environment);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        program.exec();
    }
    ::close(fds[1]);
    fd_ = fds[0];
}

Child::~Child() {
    if (!done_) {
        kill(SIGKILL);
        wait();
    }
}

bool Child::readSome(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd ready = {fd_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0) return true;
    char buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got > 0) {
        outcome_.output.append(buffer, static_cast<size_t>(got));
        return true;
    }
    if (got < 0 && errno == EINTR) return true;
    ::close(fd_);
    fd_ = -1;
    return false;
}

bool Child::waitFor(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (outcome_.output.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline || !readSome(50)) return false;
    }
    return true;
}

void Child::kill(int signal) {
    if (!done_ && pid_ > 0) ::kill(pid_, signal);
}

Outcome Child::wait() {
    if (done_) return outcome_;
    while (readSome(1000)) {
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    done_ = true;
    outcome_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return outcome_;
}

Outcome vaultadmin(const std::vector<std::string>& args, const std::map<std::string, std::string>& environment) {
    std::vector<std::string> argv{vaultadminPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    Child child(argv, environment);
    return child.wait();
}

}  // namespace Testing
}  // namespace VaultAdmin
