// poolcommand's exit codes and JSON objects on a built vault: what a script
// relies on to tell "done", "look at the vault", "fix the command" and
// "retry later" apart.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LocalSettings.h"
#include "Pool/Layout.h"
#include "VaultFixture.h"

namespace {

using Trevalon::Testing::ChildProcess;
using Trevalon::Testing::ProcessResult;
using Trevalon::Testing::binDir;

class PoolCommandExitCodes : public Veshmoor::testing::VaultFixture {
protected:
    std::vector<std::string> toolArgv(std::vector<std::string> args, const std::string& config = std::string()) const {
        std::vector<std::string> argv = {binDir() + "/poolcommand"};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--config", config.empty() ? vault().nodeConfig() : config, "--log-folder",
                                 root() + "/logs"});
        return argv;
    }
    ProcessResult tool(std::vector<std::string> args, const std::string& config = std::string()) const {
        std::vector<std::string> argv = toolArgv(args, config);
        argv.push_back("--no-progress");
        return Trevalon::Testing::run(argv, root(), vault().environment());
    }
    static bool has(const ProcessResult& result, const std::string& text) {
        return result.output.find(text) != std::string::npos;
    }
    // The JSON objects among the output's lines (the lines for a person go
    // to standard error and never start with '{').
    static std::vector<nlohmann::json> jsonObjects(const ProcessResult& result) {
        std::vector<nlohmann::json> objects;
        size_t start = 0;
        while (start < result.output.size()) {
            size_t end = result.output.find('\n', start);
            if (end == std::string::npos) end = result.output.size();
            const std::string line = result.output.substr(start, end - start);
            if (!line.empty() && line[0] == '{') objects.push_back(nlohmann::json::parse(line));
            start = end + 1;
        }
        return objects;
    }
    std::string id(const std::string& name) const { return std::to_string(taskId(name)); }
    // A holder of the task's lock in another process, once it holds it.
    std::unique_ptr<ChildProcess> holdLock(const std::string& name) const {
        std::unique_ptr<ChildProcess> holder(new ChildProcess(
            {binDir() + "/vaultadmin", "hold-lock", "--config", vault().nodeConfig(), "--task-id", id(name),
             "--until-killed"},
            root(), vault().environment()));
        if (!holder->waitForOutput("holding", 120000)) throw std::runtime_error("hold-lock did not take the lock");
        return holder;
    }
};

// One vault, one row after another: each row prepares its situation (on a
// task the earlier rows leave alone where it matters) and runs the program
// once for a person and once with --json.
TEST_F(PoolCommandExitCodes, EachCodeOnARealVault) {
    std::unique_ptr<ChildProcess> holder;
    const std::string shortFile = root() + "/short.vix";
    Trevalon::Testing::writeFile(shortFile, std::string(100, 'x'));
    const struct Row {
        const char* what;
        std::function<void()> prepare;
        std::vector<std::string> args;
        int code;
        const char* says;
    } rows[] = {
        {"done", [] {}, {"run", "--task-id", id("Weekly"), "--operation", "verify"}, 0, "done, 0 follow-up command(s)"},
        {"bad text", [] {}, {"run", "--text", "PoolCmd:Cmd=x;TaskId=1"}, 2, "cannot read the command text"},
        {"damage found",
         [&] { vault().damage({vault().containerFile("Daily", 1)}, {"--flip", "100"}); },
         {"run", "--task-id", id("Daily"), "--operation", "verify"},
         5,
         "pool error Carrowen CRC Error (0x320000)"},
        {"refused by the task's settings",
         [&] { LocalSettings::setValue(task("Weekly"), "Ombrikate.Migrate_Delete", "0"); },
         {"run", "--task-id", id("Weekly"), "--operation", "delete", "--safesets", "1"},
         6,
         "refused by the task's local settings"},
        {"task locked",
         [&] {
             setConfig("numbers", "OptimizeLockTimeout", "20");
             holder = holdLock("Archive");
         },
         {"run", "--task-id", id("Archive"), "--operation", "verify"},
         7,
         "is locked by another process (waited 20 ms)"},
        {"settings not written",
         [&] {
             holder.reset();
             // The settings' own lock file cannot be opened: no mark can be written.
             const std::string lock = LocalSettings::settingsPath(task("Archive")) + ".lock";
             ::unlink(lock.c_str());
             if (::mkdir(lock.c_str(), 0700) != 0) throw std::runtime_error("mkdir " + lock);
         },
         {"verify-file", "--task-id", id("Archive"), "--file", shortFile},
         4,
         "could not be marked suspect"},
        {"catalogue unreachable",
         [&] {
             const std::string db = vaultFolder() + "/catalogue.db";
             if (std::rename(db.c_str(), (db + ".away").c_str()) != 0) throw std::runtime_error("rename");
         },
         {"run", "--task-id", id("Weekly"), "--operation", "verify"},
         8,
         "catalogue.db"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.prepare();
        const ProcessResult plain = tool(row.args);
        EXPECT_EQ(plain.exitCode, row.code) << plain.output;
        EXPECT_TRUE(has(plain, row.says)) << plain.output;
        std::vector<std::string> jsonArgs = row.args;
        jsonArgs.push_back("--json");
        const ProcessResult json = tool(jsonArgs);
        EXPECT_EQ(json.exitCode, row.code) << json.output;
        const std::vector<nlohmann::json> objects = jsonObjects(json);
        ASSERT_EQ(objects.size(), 1u) << json.output;
        EXPECT_EQ(objects[0].at("exit_code"), row.code) << json.output;
        EXPECT_EQ(objects[0].at("command"), row.args[0]) << json.output;
    }
}

TEST_F(PoolCommandExitCodes, JsonSaysWhatTheCommandsDid) {
    const DataObjects::TaskDataObject daily = task("Daily");
    ProcessResult result =
        tool({"run", "--task-id", id("Daily"), "--operation", "delete", "--safesets", "2", "--follow", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::vector<nlohmann::json> objects = jsonObjects(result);
    ASSERT_EQ(objects.size(), 2u) << result.output;
    EXPECT_EQ(objects[0].at("outcome"), "done");
    EXPECT_EQ(objects[0].at("text").get<std::string>().rfind("\"PoolCmd:Cmd=3;TaskId=" + id("Daily"), 0), 0u);
    ASSERT_EQ(objects[0].at("follow_ups").size(), 1u);
    EXPECT_EQ(objects[1].at("text"), objects[0].at("follow_ups")[0]) << "the follow-up is the second command";
    EXPECT_TRUE(objects[1].at("pool_error").is_null());
    EXPECT_TRUE(objects[1].at("message").is_null());

    vault().damage({vault().containerFile("Daily", 1)}, {"--flip", "100"});
    result = tool({"run", "--task-id", id("Daily"), "--operation", "verify", "--json"});
    ASSERT_EQ(result.exitCode, 5) << result.output;
    objects = jsonObjects(result);
    ASSERT_EQ(objects.size(), 1u) << result.output;
    const nlohmann::json& damage = objects[0];
    EXPECT_EQ(damage.at("outcome"), "damage-found");
    EXPECT_EQ(damage.at("pool_error").at("number"), 0x320000);
    EXPECT_EQ(damage.at("pool_error").at("hex"), "0x320000");
    EXPECT_EQ(damage.at("pool_error").at("name"), "Carrowen CRC Error");
    EXPECT_FALSE(damage.at("pool_error").at("text").get<std::string>().empty());
    ASSERT_EQ(damage.at("jobs_queued").size(), 1u);
    EXPECT_EQ(damage.at("jobs_queued")[0].at("command"), "pellatrix ssirepaircrcall task " + id("Daily"));
    ASSERT_EQ(damage.at("marked_suspect").size(), 1u);
    EXPECT_EQ(damage.at("marked_suspect")[0].at("task_id"), daily.id);
    EXPECT_EQ(damage.at("marked_suspect")[0].at("guid"), daily.guid);
}

// A link planted at the task's lock file is no lock held by another process,
// and nothing was waited for.
TEST_F(PoolCommandExitCodes, ALockFileThatIsALinkIsSaidAsSuch) {
    const DataObjects::TaskDataObject weekly = task("Weekly");
    const std::string lockFolder = Pool::Layout::lockFolder();
    ::mkdir(lockFolder.c_str(), 0755);
    const std::string lockFile = lockFolder + Pool::Layout::lockFileName(weekly);
    ::unlink(lockFile.c_str());
    ASSERT_EQ(::symlink((root() + "/elsewhere").c_str(), lockFile.c_str()), 0) << lockFile;
    const ProcessResult result = tool({"run", "--task-id", id("Weekly"), "--operation", "verify"});
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_TRUE(has(result, "cannot be locked: cannot open the lock file " + lockFile)) << result.output;
    EXPECT_FALSE(has(result, "waited")) << result.output;
    EXPECT_FALSE(has(result, "another process")) << result.output;
}

// A catalogue server nobody answers at: a port no one listens on.
TEST_F(PoolCommandExitCodes, AnUnreachableServerIsNoBadCommandLine) {
    int port = 0;
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port = ntohs(address.sin_port);
        ::close(s);  // bound, never listened on, now closed
    }
    // The vault's configuration, its catalogue moved to that server.
    std::string config = Trevalon::Testing::readFile(vault().nodeConfig());
    for (const char* key : {"\nBackend=", "\nConnection="}) {
        const size_t at = config.find(key);
        if (at != std::string::npos) config.erase(at + 1, config.find('\n', at + 1) - at);
    }
    const size_t database = config.find("[database]\n");
    ASSERT_NE(database, std::string::npos) << config;
    config.insert(database + 11, "Backend=postgresql\nConnection=host=127.0.0.1 port=" + std::to_string(port) +
                                     " dbname=catalogue user=vault connect_timeout=10\n");
    const std::string path = root() + "/node-unreachable.conf";
    Trevalon::Testing::writeFile(path, config);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run", "--text", "\"PoolCmd:Cmd=0;TaskId=1;PoolGuid=G\""},
          std::vector<std::string>{"run", "--task-id", "1", "--operation", "verify"},
          std::vector<std::string>{"verify-task", "--task-id", "1"}}) {
        const ProcessResult result = tool(args, path);
        EXPECT_EQ(result.exitCode, 8) << result.output;
        EXPECT_TRUE(has(result, "127.0.0.1")) << result.output;
        EXPECT_TRUE(has(result, std::to_string(port))) << result.output;
    }
}

// On a catalogue that answers a look-up by id without a record.
TEST_F(PoolCommandExitCodes, ACatalogueWithoutTaskIdsIsNamed) {
    const std::string config = vault().nodeConfigWithPlugin("Quenlith");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run", "--task-id", id("Daily"), "--operation", "verify"},
          std::vector<std::string>{"run", "--text", "\"PoolCmd:Cmd=0;TaskId=" + id("Daily") + ";PoolGuid=G\""}}) {
        const ProcessResult result = tool(args, config);
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_TRUE(has(result, "this command needs a catalogue that answers task ids")) << result.output;
        EXPECT_FALSE(has(result, "poolDescriptor is null")) << result.output;
    }
}

// Ctrl-C while the command waits for a lock another process holds (for up to
// the default five minutes): the wait ends, and so does the program, with 130.
TEST_F(PoolCommandExitCodes, CtrlCWhileWaitingForTheLockEndsWith130) {
    const std::unique_ptr<ChildProcess> holder = holdLock("Archive");
    ChildProcess command(toolArgv({"run", "--task-id", id("Archive"), "--operation", "verify", "--json"}), root(),
                         vault().environment());
    ASSERT_TRUE(command.waitForOutput("running: ", 120000));
    command.kill(SIGINT);
    const ProcessResult result = command.wait();
    EXPECT_EQ(result.exitCode, 130) << result.output;
    EXPECT_TRUE(has(result, "\"outcome\":\"interrupted\"")) << result.output;
    EXPECT_FALSE(has(result, "waited")) << result.output;
}

// The progress line reaches a terminal, never a pipe. The held lock keeps
// the command waiting; VAULT_PROGRESS_INTERVAL_MS=0 draws the line at the
// first update, so the test does not race the quarter second before it.
TEST_F(PoolCommandExitCodes, TheProgressLineIsForATerminalOnly) {
    setConfig("numbers", "OptimizeLockTimeout", "1500");
    const std::unique_ptr<ChildProcess> holder = holdLock("Archive");
    const std::vector<std::string> argv = toolArgv({"run", "--task-id", id("Archive"), "--operation", "verify"});
    std::string line;
    for (const std::string& arg : argv) line += "'" + arg + "' ";
    std::map<std::string, std::string> environment = vault().environment();
    environment["VAULT_PROGRESS_INTERVAL_MS"] = "0";
    const ProcessResult onTerminal =
        Trevalon::Testing::run({"/usr/bin/script", "-qec", line, "/dev/null"}, root(), environment);
    EXPECT_EQ(onTerminal.exitCode, 7) << onTerminal.output;
    EXPECT_TRUE(has(onTerminal, "Running pool commands: 0 of 1 commands")) << onTerminal.output;
    const ProcessResult inAPipe = Trevalon::Testing::run(argv, root(), environment);
    EXPECT_EQ(inAPipe.exitCode, 7) << inAPipe.output;
    EXPECT_FALSE(has(inAPipe, "Running pool commands")) << inAPipe.output;
}

TEST_F(PoolCommandExitCodes, CommandLineConventions) {
    const auto bare = [&](std::vector<std::string> args) {
        std::vector<std::string> argv = {binDir() + "/poolcommand"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Trevalon::Testing::run(argv, root(), vault().environment());
    };
    const struct {
        std::vector<std::string> args;
        int code;
        std::vector<std::string> says;
    } cases[] = {
        {{"--help"}, 0, {"Exit codes:", "  6    the task's local settings refuse the command", "  130  interrupted"}},
        {{"--version"}, 0, {"poolcommand "}},
        {{"jbos"}, 2, {"unknown subcommand 'jbos'", "run, verify-task, verify-file, jobs"}},
        {{}, 2, {"A subcommand is required"}},
    };
    for (const auto& c : cases) {
        const ProcessResult result = bare(c.args);
        EXPECT_EQ(result.exitCode, c.code) << result.output;
        for (const std::string& text : c.says) EXPECT_TRUE(has(result, text)) << text << "\n" << result.output;
    }
}

}  // namespace
