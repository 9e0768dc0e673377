// Connections kept between interfaces: the pool on its own (one owner per
// connection, what it closes and when), and through the plug-in (a replaced
// or deleted SQLite file, a PostgreSQL session ended while it waited).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ConnectionPool.h"
#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "PgTestServer.h"
#include "TestVault.h"

namespace SqlCatalogueTest {
namespace {

using namespace std::chrono_literals;
using DatabaseInterfaces::DbInterfaceManager;
using SqlCatalogue::ConnectionPool;

// A stand-in connection that notices a second owner and counts its closes.
struct FakeConnection {
    explicit FakeConnection(std::atomic<int>& closed) : closed_(closed) {}
    ~FakeConnection() { ++closed_; }
    std::atomic<bool> inUse{false};
    int id = 0;
    std::atomic<int>& closed_;
};

using FakePool = ConnectionPool<FakeConnection>;

const auto kAlwaysGood = [](FakeConnection&) { return true; };

TEST(ConnectionPool, TwoThreadsNeverHoldOneConnection) {
    std::atomic<int> closed{0};
    std::atomic<int> opened{0};
    std::atomic<int> shared{0};
    FakePool pool(4, 10s);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                std::unique_ptr<FakeConnection> connection = pool.take("db", kAlwaysGood);
                if (!connection) {
                    connection = std::make_unique<FakeConnection>(closed);
                    ++opened;
                }
                if (connection->inUse.exchange(true)) ++shared;
                std::this_thread::yield();
                connection->inUse = false;
                pool.giveBack("db", std::move(connection));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.load(), 0);
    // Reused: far fewer opened than the 12,000 handed out (without reuse every
    // take opens one; how many more than 6 depends on the scheduling, since a
    // thread may find the pool empty while the others hold theirs, and a
    // fifth idle connection is closed);
    // bounded: at most 4 kept.
    EXPECT_LT(opened.load(), 6 * 2000 / 10);
    EXPECT_LE(pool.idleCount(), 4u);
    EXPECT_EQ(static_cast<size_t>(opened.load() - closed.load()), pool.idleCount());
}

TEST(ConnectionPool, KeepsWhatItMayAndClosesTheRest) {
    std::atomic<int> closed{0};
    auto make = [&](int id) {
        auto connection = std::make_unique<FakeConnection>(closed);
        connection->id = id;
        return connection;
    };
    auto idOf = [](const std::unique_ptr<FakeConnection>& connection) { return connection ? connection->id : 0; };

    FakePool pool(2, 10s);
    pool.giveBack("a", make(1));
    pool.giveBack("b", make(2));
    pool.giveBack("a", make(3));  // the oldest (1) goes
    EXPECT_EQ(closed.load(), 1);
    EXPECT_EQ(idOf(pool.take("c", kAlwaysGood)), 0) << "a key of its own";
    const auto three = pool.take("a", kAlwaysGood);
    EXPECT_EQ(idOf(three), 3);
    EXPECT_EQ(idOf(pool.take("a", kAlwaysGood)), 0);

    // A refused connection is closed before take() returns.
    pool.giveBack("b", make(4));
    const auto two = pool.take("b", [](FakeConnection& c) { return c.id != 4; });
    EXPECT_EQ(idOf(two), 2);
    EXPECT_EQ(closed.load(), 2);

    // close() closes the idle ones and keeps none until open().
    pool.giveBack("a", make(5));
    pool.close();
    EXPECT_EQ(closed.load(), 3);
    pool.giveBack("a", make(6));
    EXPECT_EQ(closed.load(), 4);
    EXPECT_EQ(pool.idleCount(), 0u);
    pool.open();
    pool.giveBack("a", make(7));
    EXPECT_EQ(pool.idleCount(), 1u);

    // A generation step tells owners to verify again.
    const uint64_t before = pool.verificationGeneration();
    pool.forgetVerifications();
    EXPECT_NE(pool.verificationGeneration(), before);
}

TEST(ConnectionPool, IdleConnectionsExpireWithoutFurtherCalls) {
    std::atomic<int> closed{0};
    FakePool pool(4, 50ms);
    pool.giveBack("a", std::make_unique<FakeConnection>(closed));
    pool.giveBack("a", std::make_unique<FakeConnection>(closed));
    for (int i = 0; i < 6000 && closed.load() < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(closed.load(), 2);
    EXPECT_EQ(pool.idleCount(), 0u);
}

TEST(ConnectionPool, AChildNeverUsesOrClosesTheParentsConnections) {
    std::atomic<int> closed{0};
    FakePool pool(4, 10s);
    pool.giveBack("a", std::make_unique<FakeConnection>(closed));
    pool.beforeFork();  // as the plug-in's pools do through pthread_atfork
    const pid_t child = ::fork();
    pool.afterFork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool taken = pool.take("a", kAlwaysGood) != nullptr;
        // The child's own connections are kept, without a thread of the pool.
        pool.giveBack("a", std::make_unique<FakeConnection>(closed));
        const bool kept = pool.idleCount() == 1;
        const auto threads = std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                           std::filesystem::directory_iterator());
        pool.close();
        ::_exit(taken ? 1 : !kept ? 2 : threads != 1 ? 3 : closed.load() != 1 ? 4 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_NE(pool.take("a", kAlwaysGood), nullptr);
}

// File descriptors of this process open on `path`.
int openDescriptorsOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
    }
    return count;
}

std::vector<std::string> customerNames() {
    DbInterfaceManager manager;
    std::vector<DataObjects::CustomerDataObject> customers;
    manager.administratorInterface(true)->getCustomers(customers);
    std::vector<std::string> names;
    for (const auto& customer : customers) names.push_back(customer.name);
    return names;
}

void addCustomer(const std::string& name) {
    DbInterfaceManager manager;
    DataObjects::CustomerDataObject customer;
    customer.name = name;
    manager.administratorInterface(true)->addCustomer(customer);
}

class SqliteReuse : public CatalogueFixture {};

TEST_F(SqliteReuse, ManyShortInterfacesShareOneOpenFile) {
    addCustomer("first");
    for (int i = 0; i < 50; ++i) EXPECT_EQ(customerNames(), std::vector<std::string>{"first"});
    EXPECT_EQ(openDescriptorsOn(databaseFile_), 1);
}

// Whatever happened to the file while its connection waited, the next
// interface answers from the file the path names now, as a fresh open would.
TEST_F(SqliteReuse, AReplacedOrDeletedFileIsNeverReadThroughAnOldConnection) {
    struct Case {
        const char* label;
        std::function<void()> change;
        std::vector<std::string> expected;  // customers seen afterwards
        std::string error;                  // or the error a reader gets
    };
    const std::string copy = folder_ + "/copy.db";
    const std::vector<Case> cases = {
        {"replaced by a changed copy",
         [&] {
             runSql(databaseFile_, "VACUUM INTO '" + copy + "'");
             runSql(copy, "UPDATE customer SET name = 'in the copy'");
             std::filesystem::rename(copy, databaseFile_);
         },
         {"in the copy"}, ""},
        {"replaced by an empty file",
         [&] {
             std::ofstream(copy).close();
             std::filesystem::rename(copy, databaseFile_);
         },
         {}, ""},
        {"deleted", [&] { std::filesystem::remove(databaseFile_); }, {}, "does not exist"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(databaseFile_);
        addCustomer("original");
        ASSERT_EQ(customerNames(), std::vector<std::string>{"original"}) << c.label;
        c.change();
        try {
            EXPECT_EQ(customerNames(), c.expected) << c.label;
            EXPECT_EQ(c.error, "") << c.label << ": no error";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(storeName_ + " " + c.error), std::string::npos)
                << c.label << ": " << error.what();
        }
        // The old file's connection was closed, not kept beside the new one.
        EXPECT_LE(openDescriptorsOn(databaseFile_), 1) << c.label;
    }
}

// Two threads, each with interfaces of its own, writing at once: a shared
// connection would nest one thread's transaction in the other's and fail.
TEST_F(SqliteReuse, ConcurrentWritersEachHoldAConnectionOfTheirOwn) {
    addCustomer("seed");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&failures, t] {
            for (int i = 0; i < 40; ++i) {
                try {
                    addCustomer("writer" + std::to_string(t) + "-" + std::to_string(i));
                } catch (const std::exception& error) {
                    if (failures++ == 0) ADD_FAILURE() << error.what();
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(customerNames().size(), 121u);
}

class PostgresReuse : public CatalogueFixture {
protected:
    Backend backend() const override { return Backend::Postgres; }

    // Sessions of the plug-in on the fixture's database, as the server sees them.
    int pluginSessions() const {
        PGconn* other = PQconnectdb(pgConninfo_.c_str());
        PGresult* result = PQexec(other, "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                                         " AND application_name = 'vault-catalogue'");
        const int count = PQresultStatus(result) == PGRES_TUPLES_OK ? std::atoi(PQgetvalue(result, 0, 0)) : -1;
        PQclear(result);
        PQfinish(other);
        return count;
    }
    // The count once it is `expected` (a session ends on the server shortly
    // after the client closes it), or as it is after a minute (room for a
    // loaded machine; the loop ends as soon as the count is reached).
    int pluginSessionsOnce(int expected) const {
        int count = pluginSessions();
        for (int i = 0; i < 6000 && count != expected; ++i) {
            std::this_thread::sleep_for(10ms);
            count = pluginSessions();
        }
        return count;
    }
};

TEST_F(PostgresReuse, ShortInterfacesShareASessionAndThreadsHoldTheirOwn) {
    addCustomer("first");
    for (int i = 0; i < 20; ++i) EXPECT_EQ(customerNames(), std::vector<std::string>{"first"});
    EXPECT_EQ(pluginSessionsOnce(1), 1);

    // Three interfaces in use at once, one per thread, have three sessions.
    constexpr int kThreads = 3;
    std::atomic<int> ready{0};
    std::atomic<bool> release{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            try {
                DbInterfaceManager manager;
                std::vector<DataObjects::CustomerDataObject> customers;
                manager.administratorInterface(true)->getCustomers(customers);
                ++ready;
                while (!release) std::this_thread::sleep_for(1ms);
                manager.administratorInterface(true)->getCustomers(customers);
            } catch (...) {
                ++failures;
                ++ready;
            }
        });
    }
    while (ready < kThreads) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(pluginSessionsOnce(kThreads), kThreads);
    release = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// A session the server ends while it waits in the pool is not handed out:
// the next interface connects afresh and its first call succeeds.
TEST_F(PostgresReuse, ASessionEndedWhileIdleIsNotReused) {
    addCustomer("first");
    ASSERT_EQ(pluginSessionsOnce(1), 1);
    runPgSql(pgConninfo_, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database()"
                          " AND application_name = 'vault-catalogue'");
    ASSERT_EQ(pluginSessionsOnce(0), 0);
    EXPECT_EQ(customerNames(), std::vector<std::string>{"first"});
}

// termLibrary ends the idle sessions; the plug-in keeps working afterwards.
TEST_F(PostgresReuse, TermLibraryLeavesNoIdleSession) {
    addCustomer("first");
    ASSERT_EQ(pluginSessionsOnce(1), 1);
    void* handle = ::dlopen((std::string(std::getenv("VAULT_PLUGIN_DIR")) + "/libSqlCatalogue.so").c_str(),
                            RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto termLibrary = reinterpret_cast<void (*)()>(::dlsym(handle, "termLibrary"));
    auto initLibrary = reinterpret_cast<void (*)()>(::dlsym(handle, "initLibrary"));
    ASSERT_TRUE(termLibrary && initLibrary);
    termLibrary();
    EXPECT_EQ(pluginSessionsOnce(0), 0);
    EXPECT_EQ(customerNames(), std::vector<std::string>{"first"});
    EXPECT_EQ(pluginSessionsOnce(0), 0) << "kept after termLibrary";
    initLibrary();
    EXPECT_EQ(customerNames(), std::vector<std::string>{"first"});
    EXPECT_EQ(pluginSessionsOnce(1), 1);
    ::dlclose(handle);
}

}  // namespace
}  // namespace SqlCatalogueTest
