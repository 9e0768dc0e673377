// One process writes while another reads through the manager: neither fails,
// and the reader sees each transaction whole or not at all.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "TestVault.h"

namespace SqlCatalogueTest {
namespace {

using DatabaseInterfaces::DbInterfaceManager;

constexpr int kPairs = 300;

// The SQL of pair i: a customer "pair-<i>" and its one location
// "location-of-<i>", in one transaction, in SQL both stores accept.
std::string pairSql(int i, const char* begin) {
    const std::string n = std::to_string(i);
    return std::string(begin) +
           ";INSERT INTO customer(id, name, short_name, reference, contact, status) VALUES "
           "((SELECT COALESCE(MAX(id), 0) + 1 FROM customer), 'pair-" + n + "', '', 'ref-" + n + "', '', 0);"
           "INSERT INTO location(id, customer_id, name, reference, address, status) VALUES "
           "((SELECT COALESCE(MAX(id), 0) + 1 FROM location), (SELECT MAX(id) FROM customer), 'location-of-" + n +
           "', '', '', 0);COMMIT;";
}

// The writer: every pair is one transaction on a connection of its own;
// between them, a customer written through the plug-in. Returns the process
// exit code.
int writeMany(Backend backend, const std::string& target) {
    try {
        sqlite3* db = nullptr;
        PGconn* pg = nullptr;
        if (backend == Backend::Sqlite) {
            if (sqlite3_open(target.c_str(), &db) != SQLITE_OK) return 2;
            sqlite3_busy_timeout(db, 10000);
        } else {
            pg = PQconnectdb(target.c_str());
            if (PQstatus(pg) != CONNECTION_OK) return 2;
        }
        DbInterfaceManager manager;
        for (int i = 0; i < kPairs; ++i) {
            if (db != nullptr) {
                if (sqlite3_exec(db, pairSql(i, "BEGIN IMMEDIATE").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                    std::fprintf(stderr, "writer: %s\n", sqlite3_errmsg(db));
                    sqlite3_close(db);
                    return 3;
                }
            } else {
                PGresult* result = PQexec(pg, pairSql(i, "BEGIN").c_str());
                const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
                if (!ok) std::fprintf(stderr, "writer: %s\n", PQresultErrorMessage(result));
                PQclear(result);
                if (!ok) {
                    PQfinish(pg);
                    return 3;
                }
            }
            DataObjects::CustomerDataObject solo;
            solo.name = "solo-" + std::to_string(i);
            manager.administratorInterface(true)->addCustomer(solo);
        }
        sqlite3_close(db);
        PQfinish(pg);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "writer: %s\n", error.what());
        return 4;
    }
}

// Reads every customer and the locations of every pair customer; counts the
// pairs that are whole and records the first fault.
int readPairs(DbInterfaceManager& manager, std::string& fault) {
    std::vector<DataObjects::CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    int pairs = 0;
    for (const DataObjects::CustomerDataObject& customer : customers) {
        if (customer.name.compare(0, 5, "pair-") != 0) continue;
        std::vector<DataObjects::LocationDataObject> locations;
        manager.administratorInterface(true)->getCustomerLocations(customer.id, locations);
        const std::string n = customer.name.substr(5);
        if (locations.size() != 1 || locations[0].name != "location-of-" + n || customer.reference != "ref-" + n) {
            if (fault.empty()) fault = "customer " + customer.name + " seen without its location";
            continue;
        }
        ++pairs;
    }
    return pairs;
}

class ConcurrentProcesses : public StoreFixture {};

TEST_P(ConcurrentProcesses, ReaderSeesWholeTransactionsWhileAnotherProcessWrites) {
    {
        DbInterfaceManager creator;
        creator.administratorInterface(true)->addVault(DataObjects::VaultDataObject());
    }
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) ::_exit(writeMany(backend(), backend() == Backend::Sqlite ? databaseFile_ : pgConninfo_));

    DbInterfaceManager manager;
    std::string fault;
    int reads = 0;
    int status = 0;
    int lastSeen = 0;
    for (;;) {
        const pid_t done = ::waitpid(writer, &status, WNOHANG);
        try {
            const int seen = readPairs(manager, fault);
            if (seen < lastSeen && fault.empty()) fault = "pairs went from " + std::to_string(lastSeen) + " to " +
                                                          std::to_string(seen);
            lastSeen = seen;
        } catch (const std::exception& error) {
            if (fault.empty()) fault = std::string("reader: ") + error.what();
        }
        ++reads;
        if (done == writer) break;
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fault, "");
    EXPECT_GT(reads, 1);
    EXPECT_EQ(readPairs(manager, fault), kPairs);

    std::vector<DataObjects::CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    EXPECT_EQ(customers.size(), 2u * kPairs);
}

// Two processes (two nodes) writing through the plug-in at once: every write
// succeeds, IDs are handed out once each, and a host name both register is
// one node.
TEST_P(ConcurrentProcesses, TwoWritersGetDistinctIdsAndOneNodePerHostName) {
    constexpr int kPerWriter = 100;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            int code = 0;
            try {
                DbInterfaceManager manager;
                DatabaseInterfaces::AdministratorInterface* admin = manager.administratorInterface(true);
                for (int i = 0; i < kPerWriter; ++i) {
                    DataObjects::CustomerDataObject customer;
                    customer.name = "writer" + std::to_string(w) + "-" + std::to_string(i);
                    admin->addCustomer(customer);
                    if (i % 10 == 0) {
                        DataObjects::NodeDataObject node;
                        node.hostName = i % 20 == 0 ? "Shared-Node" : "shared-node";
                        admin->registerNodeToCluster(node);
                    }
                }
            } catch (const std::exception& error) {
                std::fprintf(stderr, "writer %d: %s\n", w, error.what());
                code = 3;
            }
            ::_exit(code);
        }
    }
    for (pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    DbInterfaceManager manager;
    std::vector<DataObjects::CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    ASSERT_EQ(customers.size(), 2u * kPerWriter);
    std::set<std::string> names;
    for (size_t i = 0; i < customers.size(); ++i) {
        EXPECT_EQ(customers[i].id, i + 1);
        names.insert(customers[i].name);
    }
    EXPECT_EQ(names.size(), 2u * kPerWriter);
    std::vector<DataObjects::NodeDataObject> nodes;
    manager.administratorInterface(true)->getAllNodes(nodes);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].id, 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, ConcurrentProcesses, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

}  // namespace
}  // namespace SqlCatalogueTest
