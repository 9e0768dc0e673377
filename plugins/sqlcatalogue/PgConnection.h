// A thin RAII layer over one libpq connection to a PostgreSQL server:
// statements prepared once per connection and run with bound parameters,
// write transactions, and every failure turned into a std::runtime_error
// that names the database and the server (never the password).
//
// A PgConnection is not thread-safe; its owner serialises calls.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace SqlCatalogue {

// Parameters of one statement, numbered $1, $2, ... in the order added.
// Every value goes to the server separately from the SQL text.
class PgParams final {
public:
    PgParams& add(int64_t value);
    PgParams& add(uint32_t value) { return add(int64_t{value}); }
    PgParams& add(bool value) { return add(int64_t{value ? 1 : 0}); }
    // Texts holding a NUL byte cannot be stored and are refused.
    PgParams& add(const std::string& value);
    PgParams& addNull();

    size_t size() const { return values_.size(); }
    // The values as libpq takes them (null for NULL); valid until the
    // parameters change. Taken afresh on every call, so that copies and
    // moves of the parameters never hand out pointers into another object.
    const char* const* values() const;

private:
    std::vector<std::string> values_;
    std::vector<bool> nulls_;
    mutable std::vector<const char*> pointers_;
};

// The rows of one statement. Columns are numbered from 0; NULL reads as 0
// or "".
class PgResult final {
public:
    explicit PgResult(pg_result* result) : result_(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    PgResult& operator=(PgResult&&) = delete;

    int rows() const;
    // Rows changed by an INSERT, UPDATE or DELETE.
    int64_t changed() const;
    int64_t i64(int row, int column) const;
    uint32_t u32(int row, int column) const { return static_cast<uint32_t>(i64(row, column)); }
    bool flag(int row, int column) const { return i64(row, column) != 0; }
    std::string text(int row, int column) const;
    bool isNull(int row, int column) const;

private:
    pg_result* result_;
};

// A statement text of the program's own, made once (a static object): a
// connection finds its prepared form by the statement's number, without
// building or hashing the text again on every call.
class PgStatement final {
public:
    explicit PgStatement(std::string sql);
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;
    const std::string& sql() const { return sql_; }
    size_t number() const { return number_; }

private:
    std::string sql_;
    size_t number_;
};

class PgConnection final {
public:
    // Connects with the libpq connection string `conninfo` (keyword=value
    // pairs or a postgresql:// URI). Unless the string says otherwise, gives
    // up on a connection after 10 s and probes an idle TCP connection every
    // 30 s, so a lost server becomes an error rather than a wait. Throws
    // "catalogue database 'D' on server 'H:P': cannot connect: <reason>".
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs `sql` (prepared on first use, cached by its text) with `params`.
    PgResult run(const std::string& sql, const PgParams& params = PgParams());
    // Runs `statement` (prepared on first use, found by its number).
    PgResult run(const PgStatement& statement, const PgParams& params = PgParams());
    // Runs SQL without parameters through the simple protocol (schema
    // changes, transaction control); several statements are allowed.
    void execute(const std::string& sql);

    // False once the connection to the server is lost; the owner then
    // drops it and connects again for the next call.
    bool usable() const;
    // True when another owner may take the connection over: usable, no
    // transaction open, not marked unfit, and nothing arrived from the
    // server since the last statement (a server that ends an idle session
    // says so, or closes the socket).
    bool reusable() const;
    // Keeps the connection from reuse: its session holds state that must
    // not outlive its owner (a lock that could not be released).
    void markUnfitForReuse() { unfit_ = true; }
    // "catalogue database 'D' on server 'H:P'".
    const std::string& name() const { return name_; }

    [[noreturn]] void fail(const std::string& what) const;

private:
    PgResult check(pg_result* result, const std::string& sql);
    // Writes a notice of the server to the vault log (libpq's notice receiver).
    static void receiveNotice(void* self, const pg_result* notice);

    pg_conn* connection_ = nullptr;
    bool broken_ = false;  // the server ended the session (a FATAL error)
    bool unfit_ = false;   // see markUnfitForReuse
    std::string name_;
    PgResult runPrepared(const std::string& statementName, const std::string& sql, const PgParams& params);
    const std::string& prepare(const std::string& sql);

    std::unordered_map<std::string, std::string> prepared_;  // SQL text -> statement name
    std::vector<const std::string*> byNumber_;               // PgStatement number -> statement name
};

// BEGIN on construction (with `firstStatements` in the same round trip to
// the server); ROLLBACK on destruction unless committed.
class PgTransaction final {
public:
    explicit PgTransaction(PgConnection& connection, const std::string& firstStatements = std::string());
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    void commit();

private:
    PgConnection& connection_;
    bool done_ = false;
};

// "catalogue database 'D' on server 'H:P'" for a connection string, without
// connecting: what error messages name before a connection exists.
std::string describePgDatabase(const std::string& conninfo);

}  // namespace SqlCatalogue
