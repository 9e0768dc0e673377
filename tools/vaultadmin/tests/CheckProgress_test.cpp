// The progress line of check-catalogue: drawn on a terminal, never with
// --no-progress and never into a pipe. The check is held still by a lock on
// the catalogue's task table (a PostgreSQL catalogue), so every run waits in
// the same place for as long as the test wants, and the test waits for
// events (the server reporting the runs as waiting, the line appearing on
// the terminal), never for a time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include "PgTestServer.h"
#include "ChildExec.h"
#include "TestSupport.h"

namespace VaultAdmin {
namespace {

using namespace Testing;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// vaultadmin with standard error on a pseudo-terminal of its own and
// standard output thrown away.
class TerminalChild {
public:
    TerminalChild(const std::vector<std::string>& args, const std::map<std::string, std::string>& environment) {
        int slave = -1;
        if (::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
        std::vector<std::string> argv = {vaultadminPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        const TestSupport::ChildExec program(argv, environment);
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(slave, 2);
            program.exec();
        }
        ::close(slave);
    }
    ~TerminalChild() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (master_ >= 0) ::close(master_);
    }

    // True once `text` has appeared on the terminal; false after `timeoutMs`.
    bool waitFor(const std::string& text, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!contains(output_, text)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0 || !readSome(static_cast<int>(left))) return contains(output_, text);
        }
        return true;
    }

    // Reads what is left and returns the exit code.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        while (readSome(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& output() const { return output_; }

private:
    bool readSome(int timeoutMs) {
        pollfd ready = {master_, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0) return false;
        char buffer[4096];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) return false;  // EIO once the child has closed the terminal
        output_.append(buffer, static_cast<size_t>(got));
        return true;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string output_;
};

class Connection {
public:
    explicit Connection(const std::string& conninfo) : db_(PQconnectdb(conninfo.c_str())) {
        if (PQstatus(db_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(db_));
    }
    ~Connection() { PQfinish(db_); }
    std::string run(const std::string& sql) {
        PGresult* result = PQexec(db_, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        std::string value;
        if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) value = PQgetvalue(result, 0, 0);
        const std::string error = PQresultErrorMessage(result);
        PQclear(result);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) throw std::runtime_error(sql + ": " + error);
        return value;
    }

private:
    PGconn* db_;
};

TEST(CheckProgress, ALineOnATerminalOnlyAndNotWithNoProgress) {
    const std::string database = SqlCatalogueTest::createPgDatabase();
    const std::string connection = SqlCatalogueTest::pgServerConninfo() + " dbname=" + database;
    {
        TempFolder temp;
        const std::string root = temp / "demo";
        const Outcome demo = vaultadmin({"demo", "--root", root, "--database-connection", connection});
        ASSERT_EQ(demo.exitCode, 0) << demo.output;
        const std::map<std::string, std::string> env = {{"VAULT_NODE_CONFIG", root + "/node.conf"}};

        Connection holder(connection);
        holder.run("BEGIN");
        holder.run("LOCK TABLE task IN ACCESS EXCLUSIVE MODE");
        TerminalChild quiet({"check-catalogue", "--no-progress"}, env);
        Child piped({vaultadminPath(), "check-catalogue"}, env);
        // Both wait for the task table before the line below is started.
        // (Asked on a connection of its own: a transaction sees the server's
        // activity as it was when it first looked.)
        Connection watcher(connection);
        bool bothWaiting = false;
        for (int i = 0; i < 1200 && !bothWaiting; ++i) {
            bothWaiting = watcher.run("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                     "AND wait_event_type = 'Lock'") == "2";
            if (!bothWaiting) ::usleep(50 * 1000);
        }
        ASSERT_TRUE(bothWaiting) << "the checks never reached the locked table";
        TerminalChild shown({"check-catalogue"}, env);
        // The line of the run that shows it: it has waited at least as long
        // as the line needs before it is drawn, and the other two longer.
        EXPECT_TRUE(shown.waitFor("Reading the catalogue", 120000)) << shown.output();
        holder.run("COMMIT");

        EXPECT_EQ(shown.wait(), 0) << shown.output();
        EXPECT_EQ(quiet.wait(), 0) << quiet.output();
        const Outcome pipedOutcome = piped.wait();
        EXPECT_EQ(pipedOutcome.exitCode, 0) << pipedOutcome.output;
        EXPECT_TRUE(contains(shown.output(), "\r\x1b[K")) << "the line was not removed at the end";
        EXPECT_FALSE(contains(quiet.output(), "Reading the catalogue")) << quiet.output();
        EXPECT_FALSE(contains(quiet.output(), "\x1b[K")) << quiet.output();
        EXPECT_FALSE(contains(pipedOutcome.output, "Reading the catalogue")) << pipedOutcome.output;
        EXPECT_FALSE(contains(pipedOutcome.output, "\x1b[K")) << pipedOutcome.output;
        EXPECT_TRUE(contains(pipedOutcome.output, "the catalogue and the storage agree\n")) << pipedOutcome.output;
    }
    SqlCatalogueTest::dropPgDatabase(database);
}

// generate on a terminal draws its line (every update of the catalogue
// phase, with the interval set to 0, so even a small vault shows it) and
// removes it at the end; --no-progress draws nothing.
TEST(GenerateProgress, ALineOnATerminalOnlyAndNotWithNoProgress) {
    TempFolder temp;
    const std::map<std::string, std::string> env = {{"VAULT_PROGRESS_INTERVAL_MS", "0"}};
    const std::vector<std::string> common = {"--tasks", "40", "--safesets-per-task", "2", "--records-per-safeset", "8",
                                             "--nodes", "1", "--seed", "5"};
    auto generate = [&](const std::string& name, bool progress) {
        std::vector<std::string> args = {"generate", "--root", temp / name};
        args.insert(args.end(), common.begin(), common.end());
        if (!progress) args.push_back("--no-progress");
        TerminalChild child(args, env);
        const int code = child.wait();
        return std::make_pair(code, child.output());
    };
    const auto shown = generate("shown", true);
    EXPECT_EQ(shown.first, 0) << shown.second;
    EXPECT_TRUE(contains(shown.second, "Writing the catalogue")) << shown.second;
    EXPECT_TRUE(contains(shown.second, "\r\x1b[K")) << "the line was not removed at the end";
    const auto quiet = generate("quiet", false);
    EXPECT_EQ(quiet.first, 0) << quiet.second;
    EXPECT_FALSE(contains(quiet.second, "Writing the")) << quiet.second;
    EXPECT_FALSE(contains(quiet.second, "\x1b[K")) << quiet.second;
}

}  // namespace
}  // namespace VaultAdmin
