#include "VaultFixture.h"

#include <stdexcept>

#include <sqlite3.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "VaultDescription.h"

namespace Veshmoor {
namespace testing {

using Trevalon::Testing::SafesetSpec;

std::vector<std::string> unstampedLines(const std::string& path) {
    std::vector<std::string> lines;
    for (const std::string& line : Trevalon::Testing::readLines(path)) lines.push_back(line.size() > 24 ? line.substr(24) : line);
    return lines;
}

void VaultFixture::SetUp() {
    Trevalon::Testing::VaultDescription description("node1");
    description.task("Customer A", "pc-1", "Daily", {{1, "8.50", 4, {}, false}, {2, "8.50", 4, {}, false}});
    description.task("Customer A", "pc-1", "Weekly", {{1, "8.50", 4, {}, false}});
    description.task("Customer B", "pc-2", "Archive", {{7, "8.40", 4, {}, false}});
    vault_.reset(new Trevalon::Testing::TestVault(description.json()));
    ::setenv("VAULT_NODE_CONFIG", vault_->nodeConfig().c_str(), 1);
    setConfig("node", "SpoolFolder", root() + "/spool");
    setConfig("node", "TraceLevel", "1");
    batutil_LogOpen((root() + "/logs").c_str(), "Test", 0, 0, false);
    VaultCommandSession::Options options;
    options.toolName = "Test";
    options.folder = root() + "/logs";
    options.globalTag = "tag-1";
    session_.reset(new VaultCommandSession(options));
}

void VaultFixture::TearDown() {
    // The vault log stays open on the removed folder until the next test
    // opens its own.
    session_.reset();
    vault_.reset();
}

DataObjects::TaskDataObject VaultFixture::task(const std::string& name) const {
    DatabaseInterfaces::DbInterfaceManager manager;
    DataObjects::TaskDataObject record;
    if (!manager.administratorInterface(true)->getTask(taskId(name), record))
        throw std::runtime_error("no task " + name);
    return record;
}

uint32_t VaultFixture::taskId(const std::string& name) const {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    uint32_t id = 0;
    if (sqlite3_open_v2((vaultFolder() + "/catalogue.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT id FROM task WHERE name = ?1", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW) id = static_cast<uint32_t>(sqlite3_column_int64(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (id == 0) throw std::runtime_error("no task named " + name);
    return id;
}

void VaultFixture::setConfig(const std::string& section, const std::string& key, const std::string& value) const {
    NodeConfig::set(section, key, value);
}

std::vector<std::string> VaultFixture::logLines() const { return unstampedLines(root() + "/logs/Test.log"); }

std::vector<std::string> VaultFixture::maintenanceLines() const {
    return unstampedLines(root() + "/logs/Test-maintenance.log");
}

std::vector<std::string> VaultFixture::logLinesWith(const std::string& part) const {
    std::vector<std::string> found;
    for (const std::string& line : logLines())
        if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
}

void VaultFixture::sql(const std::string& statements) const {
    sqlite3* db = nullptr;
    if (sqlite3_open((vaultFolder() + "/catalogue.db").c_str(), &db) != SQLITE_OK) throw std::runtime_error("open");
    char* error = nullptr;
    const int result = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (result != SQLITE_OK) throw std::runtime_error("sql: " + message);
}

}  // namespace testing
}  // namespace Veshmoor
