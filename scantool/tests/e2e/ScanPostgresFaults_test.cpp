// Trevalon against a PostgreSQL catalogue that fails: the server stopped in
// the middle of a walk, a wrong password, a server that is not there. Each
// ends the walk with a clear error naming the database and the server (never
// the password), exit code 255 and the list of unchecked tasks deleted.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <libpq-fe.h>

#include <gtest/gtest.h>

#include "Harness.h"
#include "PgTestServer.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<SafesetSpec> safeSafesets() { return {{1, "8.50", 4, {}, false}}; }

// One statement on `connection`; false when it failed.
bool exec(PGconn* connection, const std::string& sql, std::string* firstValue = nullptr) {
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    if (firstValue != nullptr && status == PGRES_TUPLES_OK && PQntuples(result) > 0)
        *firstValue = PQgetvalue(result, 0, 0);
    PQclear(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

TEST(ScanPostgresFaults, ServerStoppedInTheMiddleOfTheWalkEndsIt) {
    SqlCatalogueTest::PrivatePgServer server;
    VaultDescription d;
    d.task("Acme", "pc", "First", safeSafesets());
    d.task("Acme", "pc", "Second", safeSafesets());
    d.task("Bolt", "pc", "Third", safeSafesets());
    TestVault vault(d.json(), server.conninfo("catalogue"));
    const std::string name = "catalogue database 'catalogue' on server '" + server.folder() + ":5432'";

    // The walk reaches the node table first when it lists the first
    // computer's tasks (with each task's node): held here, it makes the scan
    // wait there, in the middle of its walk.
    PGconn* holder = PQconnectdb(server.conninfo("catalogue").c_str());
    ASSERT_EQ(PQstatus(holder), CONNECTION_OK) << PQerrorMessage(holder);
    ASSERT_TRUE(exec(holder, "BEGIN")) << PQerrorMessage(holder);
    ASSERT_TRUE(exec(holder, "LOCK TABLE node IN ACCESS EXCLUSIVE MODE")) << PQerrorMessage(holder);

    TempFolder work;
    writeFile(work.file("Output.csv"), "earlier line\n");
    ChildProcess scan({binDir() + "/Trevalon"}, work.path(), vault.environment());
    bool waiting = false;
    for (int i = 0; i < 2400 && !waiting; ++i) {  // up to a minute: room for a loaded machine
        std::string count;
        ASSERT_TRUE(exec(holder, "SELECT count(*) FROM pg_locks WHERE NOT granted", &count));
        waiting = count != "0";
        if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_TRUE(waiting) << "the scan never waited on the node table: " << scan.wait().output;
    server.stop();
    PQfinish(holder);

    const ProcessResult result = scan.wait();
    EXPECT_EQ(result.exitCode, 255) << result.output;
    const std::string log = readFile(work.file("Trevalon.log"));
    // The listing that waited fails, and a failed listing ends the walk.
    EXPECT_TRUE(contains(log, "-I-0001 Unhandled exception caught: " + name + ": lost the connection to the server: "))
        << log;
    EXPECT_FALSE(contains(log, "Checking task First")) << log;
    EXPECT_FALSE(contains(log, "Finished checking")) << log;
    EXPECT_FALSE(contains(log, "Checking task Third")) << log;
    // The run line stays; the list of unchecked tasks goes, so the next run
    // checks every task again.
    const std::vector<std::string> report = readLines(work.file("Output.csv"));
    ASSERT_EQ(report.size(), 1u) << readFile(work.file("Output.csv"));
    EXPECT_TRUE(contains(report[0], "__NumberOfTasksInVault")) << report[0];
    EXPECT_FALSE(fileExists(work.file("UnknownTasks.txt")));
}

TEST(ScanPostgresFaults, RefusedConnectionEndsTheWalkAtTheFirstCall) {
    const std::string database = SqlCatalogueTest::createPgDatabase();
    const std::string serverFolder = SqlCatalogueTest::pgServerFolder();
    VaultDescription d;
    d.task("Acme", "pc", "Only", safeSafesets());
    TestVault vault(d.json(), SqlCatalogueTest::pgServerConninfo() + " dbname=" + database);
    const std::string password = "Wrong-Secret-9";
    const struct {
        const char* tag;
        std::string connection;
        std::string server;
        std::string reason;
    } cases[] = {
        {"password", "host=" + serverFolder + " user=vault password=" + password + " dbname=" + database,
         serverFolder, "password authentication failed for user \"vault\""},
        {"unreachable", "host=" + vault.root() + "/gone dbname=" + database, vault.root() + "/gone",
         "No such file or directory"},
    };
    for (const auto& c : cases) {
        TempFolder work;
        writeFile(work.file("Output.csv"), "earlier line\n");
        writeFile(work.file("UnknownTasks.txt"), "1|Only\n");
        const std::string config = vault.nodeConfigWithConnection(c.connection, c.tag);
        const ProcessResult result = run({binDir() + "/Trevalon"}, work.path(), {{"VAULT_NODE_CONFIG", config}});
        EXPECT_EQ(result.exitCode, 255) << c.tag << ": " << result.output;
        const std::string log = readFile(work.file("Trevalon.log"));
        EXPECT_TRUE(contains(log, "-I-0001 Unhandled exception caught: catalogue database '" + database +
                                      "' on server '" + c.server + ":5432': cannot connect: "))
            << c.tag << ": " << log;
        EXPECT_TRUE(contains(log, c.reason)) << c.tag << ": " << log;
        EXPECT_FALSE(contains(log, password)) << c.tag;
        EXPECT_EQ(readFile(work.file("Output.csv")), "earlier line\n") << c.tag;
        EXPECT_FALSE(fileExists(work.file("UnknownTasks.txt"))) << c.tag;
    }
    SqlCatalogueTest::dropPgDatabase(database);
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
