// Times the pool-management library on a vault of 10,000 tasks built by
// vaultadmin (one safeset each), beside plain tools doing the same reads:
//
//  1. 10,000 command texts read with PoolOperationCommandSerializer::fromString
//     (each looks its task up by id through the SQL catalogue plug-in) and
//     written back with toString -- once with an interface manager per text
//     (the library's default) and once with one administrator interface for
//     all texts -- beside the sqlite3 shell running the same 10,000 SELECTs by id.
//  2. VerifyManager::verifyTask over the 10,000 tasks (again per task and with
//     one interface), beside find + stat of their synchronisation files.
//
// Usage: poolmgmt_bench [work-folder]   (default /tmp/veshmoor-bench)
// The vault is built once in <work-folder>/vault and reused. Each figure is
// the best of three runs, warm cache.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <sqlite3.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "VaultCommandSession.h"
#include "VaultLog.h"
#include "Veshmoor/PoolOperationCommandSerializer.h"
#include "Veshmoor/VerifyManager.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTasks = 10000;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

template <typename Body>
double bestOfThree(Body body) {
    double best = 1e100;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        body();
        best = std::min(best, secondsSince(start));
    }
    return best;
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

struct TaskRow {
    uint32_t id;
    std::string poolGuid;
};

std::vector<TaskRow> readTasks(const std::string& database) {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    std::vector<TaskRow> rows;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT id, pool_guid FROM task ORDER BY id", -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("bench: ") + sqlite3_errmsg(db));
    while (sqlite3_step(statement) == SQLITE_ROW)
        rows.push_back({static_cast<uint32_t>(sqlite3_column_int64(statement, 0)),
                        reinterpret_cast<const char*>(sqlite3_column_text(statement, 1))});
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

void report(const char* what, double seconds, double plain) {
    std::printf("  %-58s %8.3f s  (%.2fx the plain tool)\n", what, seconds, seconds / plain);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string work = argc > 1 ? argv[1] : "/tmp/veshmoor-bench";
        const std::string vault = work + "/vault";
        const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
        if (!std::filesystem::exists(vault + "/node.conf") || std::filesystem::exists(vault + "/.incomplete")) {
            std::cout << "building a vault of " << kTasks << " tasks in " << vault << " (once)..." << std::endl;
            std::filesystem::create_directories(work);
            shell("'" + bin + "/vaultadmin' generate --root '" + vault + "' --force --tasks " + std::to_string(kTasks) +
                  " --safesets-per-task 1 --records-per-safeset 4 --affected-share 0 --marked-share 0 --nodes 1 > /dev/null");
        }
        ::setenv("VAULT_NODE_CONFIG", (vault + "/node.conf").c_str(), 1);
        batutil_LogOpen(work.c_str(), "bench", 0, 0, false);
        const std::string database = vault + "/catalogue.db";
        const std::vector<TaskRow> tasks = readTasks(database);
        if (tasks.size() != static_cast<size_t>(kTasks)) throw std::runtime_error("bench: unexpected task count");

        std::vector<std::string> texts;
        for (const TaskRow& task : tasks)
            texts.push_back("\"PoolCmd:Cmd=0;TaskId=" + std::to_string(task.id) + ";Safesets=1;PoolGuid=" + task.poolGuid +
                            ";Parameters=\"");
        const std::string script = work + "/lookups.sql";
        {
            std::ofstream out(script);
            for (const TaskRow& task : tasks) out << "SELECT * FROM task WHERE id = " << task.id << ";\n";
        }

        size_t mismatches = 0;
        const double perText = bestOfThree([&] {
            for (const std::string& text : texts) {
                Pool::PoolOperationCommand command;
                Veshmoor::PoolOperationCommandSerializer::fromString(text, command);
                mismatches += Veshmoor::PoolOperationCommandSerializer::toString(command) != text;
            }
        });
        const double oneInterface = bestOfThree([&] {
            DatabaseInterfaces::DbInterfaceManager manager;
            DatabaseInterfaces::AdministratorInterface& catalogue = *manager.administratorInterface(true);
            for (const std::string& text : texts) {
                Pool::PoolOperationCommand command;
                Veshmoor::PoolOperationCommandSerializer::fromString(text, command, catalogue);
                mismatches += Veshmoor::PoolOperationCommandSerializer::toString(command) != text;
            }
        });
        const double sqliteShell =
            bestOfThree([&] { shell("sqlite3 '" + database + "' < '" + script + "' > /dev/null"); });
        if (mismatches != 0) throw std::runtime_error("bench: a text did not survive its round trip");

        std::printf("10,000 command texts read (task look-up by id) and written back:\n");
        std::printf("  %-58s %8.3f s\n", "sqlite3 shell, the same 10,000 SELECTs by id", sqliteShell);
        report("fromString + toString, one interface manager per text", perText, sqliteShell);
        report("fromString + toString, one administrator interface", oneInterface, sqliteShell);

        // verifyTask over every task.
        std::vector<DataObjects::TaskDataObject> records;
        {
            DatabaseInterfaces::DbInterfaceManager manager;
            for (const TaskRow& task : tasks) {
                DataObjects::TaskDataObject record;
                manager.administratorInterface(true)->getTask(task.id, record);
                records.push_back(record);
            }
        }
        VaultCommandSession::Options options;
        options.toolName = "bench";
        options.folder = work;
        options.statusFile = false;
        boost::shared_ptr<VaultCommandSession> session(new VaultCommandSession(options));
        size_t listed = 0;
        const double verify = bestOfThree([&] {
            for (const DataObjects::TaskDataObject& record : records) {
                std::vector<std::string> files, pools;
                Veshmoor::VerifyManager::verifyTask(session, record, files, pools);
                listed += files.size();
            }
        });
        const double verifyOneInterface = bestOfThree([&] {
            DatabaseInterfaces::DbInterfaceManager manager;
            DatabaseInterfaces::AdministratorInterface& catalogue = *manager.administratorInterface(true);
            for (const DataObjects::TaskDataObject& record : records) {
                std::vector<std::string> files, pools;
                Veshmoor::VerifyManager::verifyTask(session, record, files, pools, catalogue);
                listed += files.size();
            }
        });
        const double findStat = bestOfThree(
            [&] { shell("find '" + vault + "/storage' -name '*.vss' -print0 | xargs -0 stat > /dev/null"); });
        std::printf("verifyTask over 10,000 tasks (%zu synchronisation files listed per pass):\n", listed / 6);
        std::printf("  %-58s %8.3f s\n", "find + stat of their synchronisation files", findStat);
        report("verifyTask, one interface manager per task", verify, findStat);
        report("verifyTask, one administrator interface", verifyOneInterface, findStat);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << std::endl;
        return 1;
    }
}
