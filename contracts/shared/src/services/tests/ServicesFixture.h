// A temporary folder with its own node configuration (spool and log folders
// inside it) and vault log, for the tests of the maintenance services; and a
// task whose folder lies in it.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
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

    // Starts `work` in a child, kills it with SIGKILL after `delayMicroseconds`
    // and reaps it.
    static void killDuring(const std::function<void()>& work, unsigned delayMicroseconds) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            work();
            ::_exit(0);
        }
        ::usleep(delayMicroseconds);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }

    const std::string& dir() const { return dir_; }
    const DataObjects::TaskDataObject& task() const { return task_; }

private:
    std::string dir_;
    DataObjects::TaskDataObject task_;
};
