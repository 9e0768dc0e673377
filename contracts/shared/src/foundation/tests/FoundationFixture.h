// A temporary folder with its own node configuration and log, for the tests
// of the foundation services. The log is process-wide, so each test opens it
// in its own folder and reads back what it wrote.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "VaultLog.h"

class FoundationTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/foundation_test_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        configPath_ = dir_ + "/etc/node.conf";
        ::setenv("VAULT_NODE_CONFIG", configPath_.c_str(), 1);
        batutil_LogOpen(dir_.c_str(), "Test", 0, 0, false);
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        if (std::system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
    }

    const std::string& dir() const { return dir_; }
    const std::string& configPath() const { return configPath_; }

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
    void writeConfig(const std::string& text) {
        ::mkdir((dir_ + "/etc").c_str(), 0755);
        // Written beside and renamed, so the cache sees a new file each time.
        writeFile(configPath_ + ".new", text);
        ASSERT_EQ(::rename((configPath_ + ".new").c_str(), configPath_.c_str()), 0);
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::istringstream in(readFile(dir_ + "/Test.log"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Log lines that contain `part`.
    size_t logCount(const std::string& part) const {
        size_t count = 0;
        for (const auto& line : logLines()) count += line.find(part) != std::string::npos;
        return count;
    }

private:
    std::string dir_;
    std::string configPath_;
};
