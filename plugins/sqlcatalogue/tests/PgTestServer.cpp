#include "PgTestServer.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <libpq-fe.h>

#ifndef PG_TEST_SERVER_SCRIPT
#error "PG_TEST_SERVER_SCRIPT must name pg-test-server.sh"
#endif

namespace SqlCatalogueTest {

namespace {

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool serverRuns(const std::string& folder) {
    return ::access((folder + "/.s.PGSQL.5432").c_str(), F_OK) == 0 &&
           ::access((folder + "/conninfo").c_str(), R_OK) == 0;
}

void runScript(const std::string& action, const std::string& folder) {
    const std::string command = std::string("'") + PG_TEST_SERVER_SCRIPT + "' " + action + " '" + folder + "' >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("pg-test-server.sh " + action + " " + folder + " failed");
}

}  // namespace

std::string pgServerFolder() {
    const char* folder = std::getenv("VAULT_PG_TEST_DIR");
    if (folder == nullptr || *folder == '\0')
        throw std::runtime_error("VAULT_PG_TEST_DIR is not set: run the tests through ctest, whose fixture "
                                 "pg_server starts the PostgreSQL test server");
    if (!serverRuns(folder))
        throw std::runtime_error(std::string("no PostgreSQL test server runs in ") + folder +
                                 ": run the tests through ctest (fixture pg_server), or start one with "
                                 "pg-test-server.sh start " + folder);
    return folder;
}

std::string pgServerConninfo() { return firstLine(pgServerFolder() + "/conninfo"); }

std::string pgServerPassword() { return firstLine(pgServerFolder() + "/password"); }

void runPgSql(const std::string& conninfo, const std::string& sql) {
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string reason = PQerrorMessage(connection);
        PQfinish(connection);
        throw std::runtime_error("test: cannot connect: " + reason);
    }
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string reason = PQresultErrorMessage(result);
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("test: \"" + sql + "\" failed: " + reason);
}

std::string createPgDatabase() {
    static std::atomic<int> counter{0};
    const std::string name = "test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    runPgSql(pgServerConninfo() + " dbname=postgres", "CREATE DATABASE " + name);
    return name;
}

void dropPgDatabase(const std::string& name) {
    runPgSql(pgServerConninfo() + " dbname=postgres", "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
}

PrivatePgServer::PrivatePgServer() {
    // Beside the fixture's server, whose cleanup stops this one too should
    // the test die before its destructor runs.
    const char* shared = std::getenv("VAULT_PG_TEST_DIR");
    std::string pattern = std::string(shared != nullptr && *shared != '\0' ? shared : "/tmp/vault-pg") + "-private-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    folder_ = pattern;
    runScript("start", folder_);
    running_ = true;
    runPgSql(firstLine(folder_ + "/conninfo") + " dbname=postgres", "CREATE DATABASE catalogue");
}

PrivatePgServer::~PrivatePgServer() {
    try {
        runScript("stop", folder_);
    } catch (...) {
        // The next start in this folder would stop it; nothing else to do.
    }
}

std::string PrivatePgServer::conninfo(const std::string& database) const {
    return firstLine(folder_ + "/conninfo") + " dbname=" + database;
}

void PrivatePgServer::stop() {
    if (!running_) return;
    const std::string command = "pid=$(head -n 1 '" + folder_ + "/data/postmaster.pid') && kill -INT \"$pid\" && "
                                "while kill -0 \"$pid\" 2>/dev/null; do sleep 0.05; done";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot stop the server in " + folder_);
    running_ = false;
}

void PrivatePgServer::restartImmediately() {
    if (!running_) throw std::runtime_error("the server in " + folder_ + " is stopped");
    runScript("restart-immediate", folder_);
}

}  // namespace SqlCatalogueTest
