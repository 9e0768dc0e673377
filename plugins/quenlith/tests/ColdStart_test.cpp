// A cold start: several threads load the plug-in through managers of their
// own and query at once. There is one catalogue and one first pass, and
// every thread gets the same answers (also run under ThreadSanitizer).
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DatabaseInterfaces/AdministratorInterface.h"
#include "DatabaseInterfaces/ApplicationInterface.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"
#include "PluginFixture.h"

namespace QuenlithTest {
namespace {

using namespace DataObjects;
using namespace DatabaseInterfaces;

class ColdStart : public PluginFixture {};

std::string answers(ApplicationInterface& app) {
    std::string text;
    std::vector<ComputerDataObject> computers;
    app.getLocationComputers(0, computers);
    for (const ComputerDataObject& computer : computers) {
        text += std::to_string(computer.id) + " " + computer.guid + " " + computer.name + "\n";
        std::vector<TaskDataObject> tasks;
        app.getComputerTasks(computer.id, tasks);
        for (const TaskDataObject& task : tasks) text += "  " + task.guid + " " + task.name + " " + task.taskFolder + "\n";
    }
    std::vector<PoolDataObject> pools;
    app.getTaskPools(0, pools);
    for (const PoolDataObject& pool : pools) text += pool.guid + " " + pool.folders[0] + "\n";
    return text;
}

TEST_F(ColdStart, ThreadsCreatingInterfacesAtOnceShareOneCatalogueAndOneFirstPass) {
    const int kThreads = 8;
    std::vector<std::string> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&seen, t] {
            DbInterfaceManager manager;
            if (t % 2 == 0) seen[t] = answers(*manager.applicationInterface(true));
            else seen[t] = answers(*manager.administratorInterface(true));
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]) << t;
    EXPECT_NE(seen[0].find("C-2 laptop"), std::string::npos) << seen[0];
    const std::string log = logText();
    size_t passes = 0;
    for (size_t at = log.find("catalogue scan 1 ended"); at != std::string::npos; at = log.find("catalogue scan", at + 1))
        ++passes;
    EXPECT_EQ(passes, 1u) << log;
}

}  // namespace
}  // namespace QuenlithTest
