// Helpers of the vaultadmin tests: temporary folders and running the
// vaultadmin program as a child process.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace VaultAdmin {
namespace Testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool exists(const std::string& path);

// $VAULT_BIN_DIR/vaultadmin.
std::string vaultadminPath();

struct Outcome {
    int exitCode = -1;   // exit status, or -signal
    std::string output;  // standard output and error together
};

// A running child whose output is collected.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // True once `text` has appeared in the output, false after `timeoutMs`.
    bool waitFor(const std::string& text, int timeoutMs);
    void kill(int signal);
    Outcome wait();

private:
    bool readSome(int timeoutMs);
    pid_t pid_ = -1;
    int fd_ = -1;
    bool done_ = false;
    Outcome outcome_;
};

// Runs vaultadmin with `args` to its end.
Outcome vaultadmin(const std::vector<std::string>& args, const std::map<std::string, std::string>& environment = {});

}  // namespace Testing
}  // namespace VaultAdmin
