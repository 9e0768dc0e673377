// A temporary folder with its own node configuration (spool and log folders
// inside it) and vault log, for the tests of the maintenance services; and a
// task whose folder lies in it.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DataObjects/DataObjects.h"
#include "VaultLog.h"

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/services_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = std::string(pattern) + "/";
        writeFile(dir_ + "node.conf", "[node]\nSpoolFolder=" + dir_ + "spool\nLogFolder=" + dir_ + "logs\n");
        ::setenv("VAULT_NODE_CONFIG", (dir_ + "node.conf").c_str(), 1);
        batutil_LogOpen(dir_.c_str(), "Test", 0, 0, false);
        task_.id = 12;
        task_.name = "Daily";
        task_.guid = "TASK-G";
        task_.taskFolder = dir_ + "task";
        ::mkdir(task_.taskFolder.c_str(), 0755);
    }
    void TearDown() override {
        if (std::system(("rm -rf '" + dir_ + "'").c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
    }

    static void writeFile(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    // Vault log lines holding `part`.
    size_t logCount(const std::string& part) const {
        size_t count = 0;
        for (const auto& line : lines(readFile(dir_ + "Test.log"))) count += line.find(part) != std::string::npos;
        return count;
    }

    // Runs `work` in `processes` child processes at once and waits for them;
    // true when every child exited with 0.
    static bool inChildren(int processes, const std::function<int(int child)>& work) {
        std::vector<pid_t> children;
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) ::_exit(work(i));
            children.push_back(pid);
        }
        bool ok = true;
        for (const pid_t pid : children) {
            int status = 0;
            ok = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ok;
        }
        return ok;
    }

    // Starts `work` in a child and kills it with SIGKILL at a random point
    // after the child called `finishedOne` (which `work` calls once its first
    // write is complete), then reaps it. Nothing depends on how fast the
    // child runs: the parent waits for the report, never for a time. True
    // when the child reported; false when it ended before reporting.
    static bool killAfterFirstWrite(const std::function<void(const std::function<void()>& finishedOne)>& work,
                                    std::mt19937& random) {
        int report[2];
        if (::pipe(report) != 0) return false;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            bool reported = false;
            work([&] {
                if (reported) return;
                reported = true;
                const char byte = 1;
                while (::write(report[1], &byte, 1) < 0 && errno == EINTR) {
                }
                ::close(report[1]);
            });
            ::_exit(0);
        }
        ::close(report[1]);
        char byte = 0;
        ssize_t got;
        while ((got = ::read(report[0], &byte, 1)) < 0 && errno == EINTR) {
        }
        ::close(report[0]);
        // A random point after the report: anywhere in the next writes.
        const unsigned spins = std::uniform_int_distribution<unsigned>(0, 200000)(random);
        for (volatile unsigned i = 0; i < spins; ++i) {
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return got == 1;
    }

    // True when nobody holds the flock on `path` (tried without waiting).
    static bool lockIsFree(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return false;
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }

    // Names in `folder` that hold ".tmp." (temporaries of unfinished writes).
    static std::vector<std::string> temporaries(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(folder.c_str())) {
            while (const struct dirent* entry = ::readdir(d))
                if (std::string(entry->d_name).find(".tmp.") != std::string::npos) names.push_back(entry->d_name);
            ::closedir(d);
        }
        return names;
    }

    // The id of a process that has ended and been reaped.
    static pid_t endedProcess() {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(0);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return pid;
    }

    // A child that runs until this object is destroyed.
    class RunningProcess {
    public:
        RunningProcess() {
            if (::pipe(hold_) != 0) return;
            pid_ = ::fork();
            if (pid_ == 0) {
                ::close(hold_[1]);
                char byte;
                while (::read(hold_[0], &byte, 1) < 0 && errno == EINTR) {
                }
                ::_exit(0);
            }
            ::close(hold_[0]);
        }
        ~RunningProcess() {
            ::close(hold_[1]);  // the child's read ends and it exits
            int status = 0;
            if (pid_ > 0) ::waitpid(pid_, &status, 0);
        }
        pid_t pid() const { return pid_; }

    private:
        int hold_[2] = {-1, -1};
        pid_t pid_ = -1;
    };

    const std::string& dir() const { return dir_; }
    const DataObjects::TaskDataObject& task() const { return task_; }

private:
    std::string dir_;
    DataObjects::TaskDataObject task_;
};
