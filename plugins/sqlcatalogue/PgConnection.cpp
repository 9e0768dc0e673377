#include "PgConnection.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <poll.h>

#include <libpq-fe.h>

#include "VaultLog.h"

namespace SqlCatalogue {

namespace {

constexpr int kNoticeFacility = 1;
constexpr unsigned kNoticeInformation = 4097;
constexpr unsigned kNoticeWarning = 4098;
constexpr unsigned kNoticeTrace = 16385;

// libpq's messages end in a line break and may span lines; one line reads
// better in a log.
std::string oneLine(const char* message) {
    std::string text = message != nullptr ? message : "";
    std::string line;
    bool gap = false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\t') {
            gap = true;
            continue;
        }
        if (gap && !line.empty()) line += c == ' ' ? "" : " ";
        gap = false;
        line += c;
    }
    return line.empty() ? "no reason given" : line;
}

std::string nameOf(const std::string& database, const std::string& host, const std::string& port) {
    const std::string server = host.empty() ? "the default socket" : host;
    return "catalogue database '" + database + "' on server '" + server + (port.empty() ? "" : ":" + port) + "'";
}

bool isUri(const std::string& conninfo) {
    return conninfo.rfind("postgresql://", 0) == 0 || conninfo.rfind("postgres://", 0) == 0;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

PgParams& PgParams::add(int64_t value) {
    values_.push_back(std::to_string(value));
    nulls_.push_back(false);
    return *this;
}

PgParams& PgParams::add(const std::string& value) {
    if (value.find('\0') != std::string::npos)
        throw std::runtime_error("a text holding a NUL byte cannot be stored in the catalogue");
    values_.push_back(value);
    nulls_.push_back(false);
    return *this;
}

PgParams& PgParams::addNull() {
    values_.emplace_back();
    nulls_.push_back(true);
    return *this;
}

const char* const* PgParams::values() const {
    pointers_.resize(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) pointers_[i] = nulls_[i] ? nullptr : values_[i].c_str();
    return pointers_.data();
}

PgResult::~PgResult() { PQclear(result_); }

int PgResult::rows() const { return PQntuples(result_); }

int64_t PgResult::changed() const {
    const char* count = PQcmdTuples(result_);
    return count != nullptr && *count != '\0' ? std::strtoll(count, nullptr, 10) : 0;
}

int64_t PgResult::i64(int row, int column) const {
    if (PQgetisnull(result_, row, column)) return 0;
    return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}

bool PgResult::isNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }

std::string PgResult::text(int row, int column) const {
    if (PQgetisnull(result_, row, column)) return std::string();
    return std::string(PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column)));
}

PgConnection::PgConnection(const std::string& conninfo) {
    // Later entries override earlier ones, and the connection string is
    // expanded where it stands: the time-outs are defaults the string may
    // change, the client encoding is not (texts are exchanged as UTF-8).
    const char* const keywords[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                                    "fallback_application_name", "dbname", "client_encoding", nullptr};
    const char* const values[] = {"10", "30", "10", "3", "vault-catalogue", conninfo.c_str(), "UTF8", nullptr};
    // A connection string libpq cannot parse is reported without libpq's
    // message, which quotes pieces of the string (a password among them).
    // A text without '=' that is no URI is a plain database name.
    if (conninfo.find('=') != std::string::npos || isUri(conninfo)) {
        char* parseError = nullptr;
        PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), &parseError);
        PQfreemem(parseError);
        if (parsed == nullptr)
            throw std::runtime_error("the [database] Connection text of the node configuration is not a valid "
                                     "PostgreSQL connection string (keyword=value pairs or a postgresql:// URI)");
        PQconninfoFree(parsed);
    }

    connection_ = PQconnectdbParams(keywords, values, 1);
    if (connection_ == nullptr) throw std::runtime_error(describePgDatabase(conninfo) + ": cannot connect: out of memory");
    name_ = nameOf(PQdb(connection_) ? PQdb(connection_) : "", PQhost(connection_) ? PQhost(connection_) : "",
                   PQport(connection_) ? PQport(connection_) : "");
    if (PQstatus(connection_) != CONNECTION_OK) {
        const std::string reason = oneLine(PQerrorMessage(connection_));
        PQfinish(connection_);
        connection_ = nullptr;
        throw std::runtime_error(name_ + ": cannot connect: " + reason);
    }
    // What the server says beside the answers (notices, warnings, that it
    // ends the session) goes to the log, not to standard error.
    PQsetNoticeReceiver(connection_, &PgConnection::receiveNotice, this);
}

void PgConnection::receiveNotice(void* self, const pg_result* notice) {
    const auto* connection = static_cast<const PgConnection*>(self);
    const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
    const std::string level = severity != nullptr ? severity : "";
    std::string text = oneLine(PQresultErrorMessage(notice));
    // Debugging chatter is a trace line; notices and information are
    // information; warnings, and the errors the server sends to an idle
    // session (that it ends it), are warnings.
    unsigned messageId = kNoticeInformation;
    if (level.rfind("DEBUG", 0) == 0) messageId = kNoticeTrace;
    else if (level != "NOTICE" && level != "INFO" && level != "LOG") messageId = kNoticeWarning;
    if (messageId == kNoticeTrace && !logCheckTraceLevel(messageId)) return;
    log_show(nullptr, kNoticeFacility, messageId, (connection->name_ + ": the server says: " + text).c_str());
}

PgConnection::~PgConnection() { PQfinish(connection_); }

bool PgConnection::usable() const { return !broken_ && PQstatus(connection_) == CONNECTION_OK; }

bool PgConnection::reusable() const {
    if (unfit_ || !usable() || PQtransactionStatus(connection_) != PQTRANS_IDLE) return false;
    // An idle session expects nothing from the server: readable data or a
    // closed socket means the session ended (or is ending).
    pollfd socket{};
    socket.fd = PQsocket(connection_);
    socket.events = POLLIN;
    if (socket.fd < 0) return false;
    int ready;
    do {
        ready = ::poll(&socket, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
}

void PgConnection::fail(const std::string& what) const {
    throw std::runtime_error(name_ + ": " + what + ": " + oneLine(PQerrorMessage(connection_)));
}

PgResult PgConnection::check(pg_result* result, const std::string& sql) {
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return PgResult(result);
    const std::string reason =
        oneLine(result != nullptr && *PQresultErrorMessage(result) != '\0' ? PQresultErrorMessage(result)
                                                                          : PQerrorMessage(connection_));
    // A server that shuts down or ends the session sends a FATAL error
    // before it closes the socket; libpq may not have seen the close yet.
    const char* severity = result != nullptr ? PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED) : nullptr;
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string sqlState = state != nullptr ? state : "";
    // An error that libpq raised itself carries no SQLSTATE: the server did
    // not answer (it closed the socket, or the link broke). libpq may still
    // call the connection fine, but the session is gone: counted as lost at
    // once, so that only this call fails and the next one connects again.
    if ((severity != nullptr && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0)) ||
        sqlState.empty() || sqlState.rfind("08", 0) == 0 || sqlState.rfind("57P", 0) == 0 ||
        PQsocket(connection_) < 0)
        broken_ = true;
    PQclear(result);
    if (!usable()) throw std::runtime_error(name_ + ": lost the connection to the server: " + reason);
    throw std::runtime_error(name_ + ": cannot run \"" + sql + "\": " + reason);
}

namespace {
std::atomic<size_t> nextStatementNumber{0};
}  // namespace

PgStatement::PgStatement(std::string sql) : sql_(std::move(sql)), number_(nextStatementNumber++) {}

const std::string& PgConnection::prepare(const std::string& sql) {
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        const std::string statementName = "s" + std::to_string(prepared_.size() + 1);
        check(PQprepare(connection_, statementName.c_str(), sql.c_str(), 0, nullptr), sql);
        found = prepared_.emplace(sql, statementName).first;
    }
    return found->second;
}

PgResult PgConnection::runPrepared(const std::string& statementName, const std::string& sql, const PgParams& params) {
    return check(PQexecPrepared(connection_, statementName.c_str(), static_cast<int>(params.size()), params.values(),
                                nullptr, nullptr, 0),
                 sql);
}

PgResult PgConnection::run(const std::string& sql, const PgParams& params) {
    return runPrepared(prepare(sql), sql, params);
}

PgResult PgConnection::run(const PgStatement& statement, const PgParams& params) {
    if (statement.number() >= byNumber_.size()) byNumber_.resize(statement.number() + 1, nullptr);
    const std::string*& name = byNumber_[statement.number()];
    // Names live in prepared_, whose nodes never move.
    if (name == nullptr) name = &prepare(statement.sql());
    return runPrepared(*name, statement.sql(), params);
}

void PgConnection::execute(const std::string& sql) { check(PQexec(connection_, sql.c_str()), sql); }

PgTransaction::PgTransaction(PgConnection& connection, const std::string& firstStatements) : connection_(connection) {
    try {
        connection_.execute(firstStatements.empty() ? std::string("BEGIN") : "BEGIN; " + firstStatements);
    } catch (...) {
        // BEGIN may have opened the transaction before a first statement
        // failed; left open, it would refuse every later statement.
        if (connection_.usable()) {
            try {
                connection_.execute("ROLLBACK");
            } catch (...) {
            }
        }
        throw;
    }
}

PgTransaction::~PgTransaction() {
    if (done_ || !connection_.usable()) return;
    try {
        connection_.execute("ROLLBACK");
    } catch (...) {
        // The server rolls the transaction back when the session ends;
        // nothing better can be done in a destructor.
    }
}

void PgTransaction::commit() {
    connection_.execute("COMMIT");
    done_ = true;
}

std::string describePgDatabase(const std::string& conninfo) {
    std::string database, host, port, user;
    char* parseError = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &parseError)) {
        for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
            if (option->val == nullptr) continue;
            const std::string keyword = option->keyword;
            if (keyword == "dbname") database = option->val;
            else if (keyword == "host") host = option->val;
            else if (keyword == "hostaddr" && host.empty()) host = option->val;
            else if (keyword == "port") port = option->val;
            else if (keyword == "user") user = option->val;
        }
        PQconninfoFree(options);
    }
    PQfreemem(parseError);
    if (conninfo.find('=') == std::string::npos && !isUri(conninfo)) database = conninfo;
    if (database.empty()) database = environment("PGDATABASE");
    if (user.empty()) user = environment("PGUSER");
    if (database.empty()) database = user;
    if (host.empty()) host = environment("PGHOST");
    if (port.empty()) port = environment("PGPORT");
    return nameOf(database, host, port.empty() ? "5432" : port);
}

}  // namespace SqlCatalogue
