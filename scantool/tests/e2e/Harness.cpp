#include "Harness.h"

#include "ChildExec.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace Trevalon {
namespace Testing {

std::string binDir() {
    const char* dir = std::getenv("VAULT_BIN_DIR");
    if (!dir) throw std::runtime_error("VAULT_BIN_DIR is not set (run the tests through ctest)");
    return dir;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TempFolder::TempFolder(const char* tag) {
    std::string pattern = std::string("/tmp/") + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempFolder::~TempFolder() {
    if (!path_.empty() && std::getenv("KEEP_TEST_FOLDERS") == nullptr) {
        std::string command = "rm -rf '" + path_ + "'";
        if (std::system(command.c_str()) != 0) {
            // best effort
        }
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& workingFolder,
                           const std::map<std::string, std::string>& environment, bool captureOutput) {
    int pipeFds[2] = {-1, -1};
    if (captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const TestSupport::ChildExec program(argv, environment);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        if (captureOutput) {
            dup2(pipeFds[1], 1);
            dup2(pipeFds[1], 2);
        } else {
            int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, 1);
            dup2(devNull, 2);
        }
        if (!workingFolder.empty() && chdir(workingFolder.c_str()) != 0) _exit(126);
        program.exec();
    }
    if (captureOutput) {
        close(pipeFds[1]);
        outputFd_ = pipeFds[0];
    }
}

ChildProcess::~ChildProcess() {
    if (!waited_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        wait();
    }
    if (outputFd_ >= 0) close(outputFd_);
}

void ChildProcess::drain(int timeoutMs) {
    if (outputFd_ < 0) return;
    pollfd fd = {outputFd_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return;
    char buffer[65536];
    ssize_t got = read(outputFd_, buffer, sizeof buffer);
    if (got > 0) {
        result_.output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
        close(outputFd_);
        outputFd_ = -1;
    }
}

bool ChildProcess::waitForOutput(const std::string& text, int timeoutMs) {
    return waitForOutputCount(text, 1, timeoutMs);
}

bool ChildProcess::waitForOutputCount(const std::string& text, size_t count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto seen = [&] {
        size_t found = 0;
        for (size_t at = result_.output.find(text); at != std::string::npos && found < count;
             at = result_.output.find(text, at + text.size()))
            ++found;
        return found >= count;
    };
    while (!seen()) {
        if (outputFd_ < 0 || std::chrono::steady_clock::now() > deadline) return false;
        drain(50);
    }
    return true;
}

void ChildProcess::kill(int signal) {
    if (pid_ > 0 && !waited_) ::kill(pid_, signal);
}

ProcessResult ChildProcess::wait() {
    if (waited_) return result_;
    while (outputFd_ >= 0) drain(1000);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.exitCode = -WTERMSIG(status);
    return result_;
}

ProcessResult run(const std::vector<std::string>& argv, const std::string& workingFolder,
                  const std::map<std::string, std::string>& environment) {
    ChildProcess child(argv, workingFolder, environment);
    return child.wait();
}

TestVault::TestVault(const std::string& descriptionJson, const std::string& databaseConnection)
    : root_("trevalon-vault") {
    writeFile(root_.file("vault.json"), descriptionJson);
    std::vector<std::string> argv = {binDir() + "/vaultadmin", "build", "--description", root_.file("vault.json"),
                                     "--root", root_.file("vault")};
    if (!databaseConnection.empty()) {
        argv.push_back("--database-connection");
        argv.push_back(databaseConnection);
    }
    ProcessResult result = run(argv, root_.path(), {});
    if (result.exitCode != 0) throw std::runtime_error("vaultadmin build failed: " + result.output);
}

ProcessResult TestVault::admin(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {binDir() + "/vaultadmin"};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = run(argv, root(), environment());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result;
}

ProcessResult runTrevalon(const TestVault& vault, const std::string& workingFolder) {
    return run({binDir() + "/Trevalon"}, workingFolder, vault.environment());
}

}  // namespace Testing
}  // namespace Trevalon
