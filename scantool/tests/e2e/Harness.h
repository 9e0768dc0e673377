// Helpers for tests that run the real programs: temporary folders, child
// processes with their own working folder and node configuration, and vaults
// built with the administration tool from description files.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace Trevalon {
namespace Testing {

std::string binDir();  // $VAULT_BIN_DIR
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);
std::vector<std::string> readLines(const std::string& path);

class TempFolder {
public:
    explicit TempFolder(const char* tag = "trevalon");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct ProcessResult {
    int exitCode = -1000;  // exit status, or -signal when killed by a signal
    std::string output;    // standard output and standard error
};

// A child process started with its own working folder and extra environment.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& workingFolder,
                 const std::map<std::string, std::string>& environment, bool captureOutput = true);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Reads output until `text` appears or `timeoutMs` passes; true when seen.
    bool waitForOutput(const std::string& text, int timeoutMs);
    // The same, until `text` has appeared `count` times.
    bool waitForOutputCount(const std::string& text, size_t count, int timeoutMs);
    void kill(int signal);
    ProcessResult wait();

private:
    void drain(int timeoutMs);
    pid_t pid_ = -1;
    int outputFd_ = -1;
    bool waited_ = false;
    ProcessResult result_;
};

ProcessResult run(const std::vector<std::string>& argv, const std::string& workingFolder,
                  const std::map<std::string, std::string>& environment);

// A vault built under a temporary folder from a JSON description.
class TestVault {
public:
    // With `databaseConnection`, the catalogue goes into that PostgreSQL
    // database (vaultadmin build --database-connection).
    explicit TestVault(const std::string& descriptionJson, const std::string& databaseConnection = std::string());
    const std::string& root() const { return root_.path(); }
    std::string nodeConfig() const { return root_.path() + "/vault/node.conf"; }
    std::map<std::string, std::string> environment() const { return {{"VAULT_NODE_CONFIG", nodeConfig()}}; }
    // Runs vaultadmin with `args` against this vault; fails the test on error.
    ProcessResult admin(const std::vector<std::string>& args) const;
    // Facts about a task (by its unique name), read from the catalogue and
    // the storage layout.
    unsigned taskId(const std::string& taskName) const;
    std::string syncFolder(const std::string& taskName) const;  // ends in '/'
    std::vector<std::string> syncSetFiles(const std::string& taskName) const;  // main and mirror
    std::string syncListFile(const std::string& taskName) const;
    std::string containerFile(const std::string& taskName, unsigned safeset) const;
    // Damages files with "vaultadmin damage" (e.g. {"--flip", "20"}).
    void damage(const std::vector<std::string>& files, const std::vector<std::string>& how) const;
    // Sets this node's host name ([node] HostName) in the node configuration.
    void setHostName(const std::string& hostName) const;
    // A copy of the node configuration that loads another database plug-in.
    std::string nodeConfigWithPlugin(const std::string& plugin) const;
    // A copy of the node configuration for another node of the vault: the
    // same catalogue and storage, [node] HostName `hostName`.
    std::string nodeConfigForHost(const std::string& hostName) const;
    // A copy of the node configuration whose [database] Connection is
    // `connection`.
    std::string nodeConfigWithConnection(const std::string& connection, const std::string& tag) const;

private:
    TempFolder root_;
};

// One run of the scan tool in `workingFolder` against `vault`.
ProcessResult runTrevalon(const TestVault& vault, const std::string& workingFolder);

}  // namespace Testing
}  // namespace Trevalon
