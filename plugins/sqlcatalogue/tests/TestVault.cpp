#include "TestVault.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sqlite3.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "PgTestServer.h"

namespace SqlCatalogueTest {

std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

void PrintTo(Backend backend, std::ostream* out) { *out << (backend == Backend::Sqlite ? "SQLite" : "PostgreSQL"); }

void CatalogueFixture::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sqlcatalogue-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    databaseFile_ = folder_ + "/catalogue.db";
    configFile_ = folder_ + "/node.conf";
    storeName_ = "catalogue database '" + databaseFile_ + "'";
    if (backend() == Backend::Postgres) {
        pgDatabase_ = createPgDatabase();
        pgConninfo_ = pgServerConninfo() + " dbname=" + pgDatabase_;
        storeName_ = "catalogue database '" + pgDatabase_ + "' on server '" + pgServerFolder() + ":5432'";
    }
    ::setenv("VAULT_NODE_CONFIG", configFile_.c_str(), 1);
    writeConfig(storeLines());
}

void CatalogueFixture::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    if (!pgDatabase_.empty()) {
        try {
            dropPgDatabase(pgDatabase_);
        } catch (...) {
            // The server and its databases go when the fixture stops it.
        }
    }
}

std::string CatalogueFixture::storeLines() const {
    const std::string common = "Plugin=SqlCatalogue\nVaultID=vault-one\n";
    if (backend() == Backend::Postgres) return common + "Backend=postgresql\nConnection=" + pgConninfo_ + "\n";
    return common + "File=" + databaseFile_ + "\n";
}

void CatalogueFixture::runStoreSql(const std::string& sql) const {
    if (backend() == Backend::Postgres) runPgSql(pgConninfo_, sql);
    else runSql(databaseFile_, sql);
}

void CatalogueFixture::writeConfig(const std::string& databaseLines, const std::string& extraSections) {
    std::ofstream out(configFile_, std::ios::trunc);
    out << "[node]\nHostName=node-a.example\n[database]\n" << databaseLines << extraSections;
}

DataObjects::TaskDataObject sampleTask(unsigned c, unsigned n, uint32_t nodeId) {
    const std::string tag = std::to_string(c) + "-" + std::to_string(n);
    DataObjects::TaskDataObject task;
    task.typeId = 3 + n;
    task.name = "task " + tag;
    task.storagePolicyId = 7;
    task.billingCodeId = 9;
    task.description = "backs up " + tag;
    task.guid = "TASK-GUID-" + tag;
    task.status = 2;
    task.enabled = true;
    task.visible = n == 0;
    task.nodeId = nodeId;
    task.suspect = n == 1;
    task.poolGuid = "Pool-Guid-" + tag;
    task.taskFolder = "/storage/" + tag + "/";
    task.storageGroupType = 5;
    task.aliasGuid = "alias-" + tag;
    task.originalSize = 5000000000ULL + n;  // beyond 32 bits
    task.revision = 11;
    return task;
}

SmallVault buildSmallVault(DatabaseInterfaces::AdministratorInterface& admin) {
    SmallVault ids;
    DataObjects::VaultDataObject vault;
    vault.name = "vault-one";
    vault.guid = "a69171a3-953c-4c4d-a02e-dd329993dab0";
    vault.version = "8.50.0000";
    ids.vaultId = admin.addVault(vault);

    for (const char* host : {"node-a.example", "node-b.example"}) {
        DataObjects::NodeDataObject node;
        node.hostName = host;
        node.address = std::string("10.0.0.") + (host[5] == 'a' ? "1" : "2");
        ids.nodeIds.push_back(admin.registerNodeToCluster(node));
    }

    const unsigned locationsPerCustomer[] = {2, 1};
    unsigned computerCount = 0;
    for (unsigned c = 0; c < 2; ++c) {
        DataObjects::CustomerDataObject customer;
        customer.name = "Customer " + std::to_string(c);
        customer.shortName = "C" + std::to_string(c);
        customer.reference = "REF-C" + std::to_string(c);
        customer.contact = "contact " + std::to_string(c);
        customer.status = c;
        ids.customerIds.push_back(admin.addCustomer(customer));
        for (unsigned l = 0; l < locationsPerCustomer[c]; ++l) {
            DataObjects::LocationDataObject location;
            location.name = "Location " + std::to_string(c) + "." + std::to_string(l);
            location.reference = "REF-L" + std::to_string(c) + std::to_string(l);
            location.address = "street " + std::to_string(l);
            ids.locationIds.push_back(admin.addLocation(ids.customerIds.back(), location));
            const unsigned computersHere = ids.locationIds.size() == 1 ? 2 : 1;
            for (unsigned m = 0; m < computersHere; ++m, ++computerCount) {
                DataObjects::ComputerDataObject computer;
                computer.name = "computer " + std::to_string(computerCount);
                computer.hostName = "host" + std::to_string(computerCount);
                computer.operatingSystem = "linux";
                computer.guid = "COMPUTER-GUID-" + std::to_string(computerCount);
                computer.active = true;
                computer.licenceCount = 3;
                ids.computerIds.push_back(admin.addComputer(ids.locationIds.back(), 42, computer));
                for (unsigned n = 0; n < 2; ++n) {
                    const bool unbound = computerCount == 3 && n == 1;
                    const uint32_t nodeId = unbound ? 0 : ids.nodeIds[n];
                    const DataObjects::TaskDataObject task = sampleTask(computerCount, n, nodeId);
                    ids.taskIds.push_back(admin.addTask(ids.computerIds.back(), task));
                    DataObjects::PoolDataObject pool;
                    pool.guid = task.poolGuid;
                    pool.folders[0] = pool.folders[1] = task.taskFolder + "pool/";
                    pool.poolVersion = 60;
                    admin.addPool(pool);
                    admin.associateTaskAndPool(ids.taskIds.back(), task.poolGuid);
                }
            }
        }
    }
    return ids;
}

void runSql(const std::string& databaseFile, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(databaseFile.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + databaseFile);
    }
    sqlite3_busy_timeout(db, 10000);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string reason = message != nullptr ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("sql failed: " + reason);
}

}  // namespace SqlCatalogueTest
