// The throw-away PostgreSQL server of the tests (started by the CTest
// fixture pg_server with pg-test-server.sh), and fresh databases on it.
#pragma once

#include <string>

namespace SqlCatalogueTest {

// The server's folder: $VAULT_PG_TEST_DIR. Throws, saying how to get a
// server, when it is not set or no server runs there.
std::string pgServerFolder();

// The connection string of the server, without a database name and without
// the password (which comes from the server's password file).
std::string pgServerConninfo();
// The server's password (for tests of what a wrong one does).
std::string pgServerPassword();

// Creates an empty database with a name unique to this process and returns
// its name; dropPgDatabase removes it again.
std::string createPgDatabase();
void dropPgDatabase(const std::string& name);

// Runs `sql` (one or more statements) in the database; throws on error.
void runPgSql(const std::string& conninfo, const std::string& sql);

// Starts and stops a server of its own in a folder of its own
// ($VAULT_PG_TEST_DIR-private-XXXXXX), for tests that stop the server on
// purpose. Its database "catalogue" is created empty.
class PrivatePgServer {
public:
    PrivatePgServer();
    ~PrivatePgServer();
    PrivatePgServer(const PrivatePgServer&) = delete;
    PrivatePgServer& operator=(const PrivatePgServer&) = delete;
    const std::string& folder() const { return folder_; }
    std::string conninfo(const std::string& database) const;
    void stop();
    // Restarts the server at once (pg_ctl restart -m immediate): every
    // session is cut; returns once the server accepts connections again.
    void restartImmediately();

private:
    std::string folder_;
    bool running_ = false;
};

}  // namespace SqlCatalogueTest
