#include "SqliteConnection.h"

#include <stdexcept>

#include <sqlite3.h>

namespace SqlCatalogue {

namespace {

const int kBusyTimeoutMs = 10000;

std::string databaseText(const std::string& path) { return "catalogue database '" + path + "'"; }

}  // namespace

Statement::~Statement() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Statement& Statement::bind(int index, int64_t value) {
    if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) connection_.fail("cannot bind a parameter");
    return *this;
}

Statement& Statement::bind(int index, const std::string& value) {
    if (sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        connection_.fail("cannot bind a parameter");
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (sqlite3_bind_null(statement_, index) != SQLITE_OK) connection_.fail("cannot bind a parameter");
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    connection_.fail(std::string("cannot run \"") + sqlite3_sql(statement_) + "\"");
}

void Statement::run() {
    while (step()) {
    }
}

int64_t Statement::i64(int column) const { return sqlite3_column_int64(statement_, column); }

bool Statement::isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

std::string Statement::text(int column) const {
    const unsigned char* data = sqlite3_column_text(statement_, column);
    if (data == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

Connection::Connection(const std::string& path, bool create) : path_(path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error(databaseText(path) + ": cannot open: " + reason);
    }
    try {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        // The first statement reads the file header, so a file that is not a
        // database is reported here, before anything else is attempted.
        prepare("PRAGMA user_version").run();
        execute("PRAGMA foreign_keys=ON");
        prepare("PRAGMA journal_mode=WAL").run();
        execute("PRAGMA synchronous=NORMAL");
    } catch (...) {
        for (auto& entry : statements_) sqlite3_finalize(entry.second);
        statements_.clear();
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

Connection::~Connection() {
    for (auto& entry : statements_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
}

Statement Connection::prepare(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return Statement(*this, found->second);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                           nullptr) != SQLITE_OK)
        fail("cannot prepare \"" + sql + "\"");
    statements_.emplace(sql, statement);
    return Statement(*this, statement);
}

void Connection::execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message != nullptr ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        throw std::runtime_error(databaseText(path_) + ": cannot run \"" + sql + "\": " + reason);
    }
}

int64_t Connection::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Connection::changes() const { return sqlite3_changes(db_); }

bool Connection::idle() const {
    if (sqlite3_get_autocommit(db_) == 0) return false;
    for (sqlite3_stmt* statement = sqlite3_next_stmt(db_, nullptr); statement != nullptr;
         statement = sqlite3_next_stmt(db_, statement)) {
        if (sqlite3_stmt_busy(statement)) return false;
    }
    return true;
}

void Connection::fail(const std::string& what) const {
    throw std::runtime_error(databaseText(path_) + ": " + what + ": " + sqlite3_errmsg(db_));
}

WriteTransaction::WriteTransaction(Connection& connection) : connection_(connection) {
    connection_.prepare("BEGIN IMMEDIATE").run();
}

WriteTransaction::~WriteTransaction() {
    if (done_) return;
    try {
        connection_.prepare("ROLLBACK").run();
    } catch (...) {
        // A failed rollback leaves SQLite to roll back when the connection
        // closes; nothing better can be done in a destructor.
    }
}

void WriteTransaction::commit() {
    connection_.prepare("COMMIT").run();
    done_ = true;
}

}  // namespace SqlCatalogue
