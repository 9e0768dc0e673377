// A program to start in a forked child, prepared in full before the fork.
//
// A test process may have threads of its own (the file layer's announcer,
// a connection pool's reaper), and one of them may be inside the allocator
// at the moment of the fork. The child's copy of that allocator can then
// never be used: a sanitizer's allocator is not reset at fork, and the
// child waits forever at its first allocation. So the child must not
// allocate between fork() and exec(): everything exec() needs, the
// environment included, is built here beforehand, and `exec` only calls
// execve() and, should that fail, _exit().
#pragma once

#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace TestSupport {

class ChildExec {
public:
    // `argv[0]` is the program's path. `environment` is laid over this
    // process's environment; an empty value removes the variable.
    ChildExec(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment)
        : arguments_(argv) {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            const std::string item(*entry);
            const std::string name = item.substr(0, item.find('='));
            if (environment.count(name) == 0) variables_.push_back(item);
        }
        for (const auto& [name, value] : environment)
            if (!value.empty()) variables_.push_back(name + "=" + value);
        for (std::string& arg : arguments_) argumentPointers_.push_back(arg.data());
        argumentPointers_.push_back(nullptr);
        for (std::string& variable : variables_) variablePointers_.push_back(variable.data());
        variablePointers_.push_back(nullptr);
    }

    // In the child: replaces the process, or ends it with 127. Allocates nothing.
    [[noreturn]] void exec() const {
        ::execve(argumentPointers_[0], argumentPointers_.data(), variablePointers_.data());
        ::_exit(127);
    }

private:
    std::vector<std::string> arguments_;
    std::vector<std::string> variables_;
    std::vector<char*> argumentPointers_;
    std::vector<char*> variablePointers_;
};

}  // namespace TestSupport
