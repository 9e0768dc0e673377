// A thin RAII layer over one SQLite connection: prepared statements cached
// per connection, scoped statement use, write transactions, and every SQLite
// failure turned into a std::runtime_error that names the database file.
//
// A Connection is not thread-safe; its owner serialises calls. A Statement
// borrows a cached prepared statement and resets it when it goes out of
// scope, so one SQL text must not be in use twice at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace SqlCatalogue {

class Connection;

class Statement final {
public:
    Statement(Connection& connection, sqlite3_stmt* statement) : connection_(connection), statement_(statement) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are numbered from 1.
    Statement& bind(int index, int64_t value);
    Statement& bind(int index, const std::string& value);
    Statement& bindNull(int index);

    // Advances to the next row: true for a row, false when done.
    bool step();
    // Runs a statement that yields no rows of interest.
    void run();

    // Columns are numbered from 0; NULL reads as 0 or "".
    int64_t i64(int column) const;
    uint32_t u32(int column) const { return static_cast<uint32_t>(i64(column)); }
    bool flag(int column) const { return i64(column) != 0; }
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    Connection& connection_;
    sqlite3_stmt* statement_;
};

class Connection final {
public:
    // Opens `path`. With `create`, a missing file is created. Sets foreign
    // keys on, WAL journal, synchronous NORMAL and a 10 s busy time-out.
    Connection(const std::string& path, bool create);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // A statement for `sql`, prepared on first use and cached by its text.
    Statement prepare(const std::string& sql);
    // Runs one or more statements without results (schema changes).
    void execute(const std::string& sql);
    int64_t lastInsertId() const;
    int changes() const;
    const std::string& path() const { return path_; }
    // True when no transaction is open and no statement is running: what a
    // connection must be before another owner may use it.
    bool idle() const;

    // Raises std::runtime_error "catalogue database '<path>': <what>: <reason>".
    [[noreturn]] void fail(const std::string& what) const;

private:
    std::string path_;
    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

// BEGIN IMMEDIATE on construction; rolls back on destruction unless
// committed. Immediate, so that two writers queue on the busy time-out
// rather than fail on lock upgrade.
class WriteTransaction final {
public:
    explicit WriteTransaction(Connection& connection);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit();

private:
    Connection& connection_;
    bool done_ = false;
};

}  // namespace SqlCatalogue
