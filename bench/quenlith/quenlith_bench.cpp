// Times the Quenlith catalogue on storage trees of 20,000 and 40,000 task
// folders (warm cache, best of three):
// - the first pass of a new catalogue (start to loaded), beside
//   `find <storage> -type f -name '*TaskLabel.cfg*' -print0 | xargs -0 cat`,
//   which opens the same label files;
// - a full walk through the application interface after the pass: every
//   computer, its tasks, each task by GUID, each pool by GUID.
// Goals: the pass within 1.5x of find; 40,000 tasks at most 2.2x of 20,000;
// the walk at most the pass time again. Nothing fails on a timing.
//
// Each tree has the shape vaultadmin writes: <storage>/<computer>/<task>/
// with TaskLabel.cfg, sync/ (two files) and pool/ (one file); 10 tasks per
// computer. Trees are built once in the work folder and reused.
//
// Usage: quenlith_bench [work-folder]   (default /tmp/quenlith-bench)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Catalogue/CShMDBHelper.h"
#include "Catalogue/StorageScanner.h"
#include "DbInterfaces/CShMApplicationInterfaceImpl.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("bench: cannot write " + path);
}

std::string guid(const char* kind, int n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%08x-0000-4000-8000-%012x", kind, static_cast<unsigned>(n), static_cast<unsigned>(n * 7));
    return text;
}

// Builds <root>/storage with `tasks` task folders once (a marker says it is complete).
std::string buildTree(const std::string& root, int tasks) {
    const std::string storage = root + "/storage";
    if (fs::exists(root + "/complete")) return storage;
    fs::remove_all(root);
    std::printf("building %d task folders in %s ...\n", tasks, storage.c_str());
    std::fflush(stdout);
    for (int t = 0; t < tasks; ++t) {
        const int c = t / 10;
        const std::string folder = storage + "/" + guid("c", c) + "/" + guid("t", t);
        fs::create_directories(folder + "/sync");
        fs::create_directories(folder + "/pool");
        writeFile(folder + "/TaskLabel.cfg", "TASK_GUID=" + guid("t", t) + "\nTASK_NAME=task " + std::to_string(t) +
                                                 "\nCOMPUTER_GUID=" + guid("c", c) + "\nCOMPUTER=computer " +
                                                 std::to_string(c) + "\nPOOL_GUID=" + guid("p", t) + "\n");
        writeFile(folder + "/sync/main.vss", std::string(64, 's'));
        writeFile(folder + "/sync/mirror.vss", std::string(64, 's'));
        writeFile(folder + "/pool/00000001.vfl", std::string(256, 'r'));
    }
    writeFile(root + "/complete", "");
    return storage;
}

template <class F>
double bestOfThree(F work) {
    double best = 1e100;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, secondsSince(start));
    }
    return best;
}

double firstPass(const std::string& storage, size_t& folders) {
    return bestOfThree([&] {
        CShMDBHelper catalogue([&](const std::atomic<bool>& abandon) {
            Catalogue::ScanOptions options;
            options.abandon = &abandon;
            return Catalogue::scanStorage({storage}, options);
        });
        folders = catalogue.snapshot()->taskFolderTable().size();
    });
}

double findAndCat(const std::string& storage) {
    const std::string command =
        "find '" + storage + "' -type f -name '*TaskLabel.cfg*' -print0 | xargs -0 cat > /dev/null";
    return bestOfThree([&] {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("bench: find failed");
    });
}

// Every computer, its tasks, each task by GUID, each pool by GUID.
double walk(size_t& records) {
    CShMApplicationInterfaceImpl app;
    return bestOfThree([&] {
        records = 0;
        std::vector<DataObjects::ComputerDataObject> computers;
        app.getLocationComputers(0, computers);
        for (const auto& computer : computers) {
            std::vector<DataObjects::TaskDataObject> tasks;
            app.getComputerTasks(computer.id, tasks);
            for (const auto& task : tasks) {
                DataObjects::TaskDataObject again;
                app.getTask(task.guid, again);
                ++records;
            }
        }
        std::vector<DataObjects::PoolDataObject> pools;
        app.getTaskPools(0, pools);
        for (const auto& pool : pools) {
            DataObjects::PoolDataObject found;
            if (!app.getPoolByGuid(pool.guid, found)) throw std::runtime_error("bench: pool not found");
            ++records;
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp/quenlith-bench";
    try {
        fs::create_directories(work);
        const std::string config = work + "/node.conf";
        std::vector<double> passes;
        for (const int tasks : {20000, 40000}) {
            const std::string storage = buildTree(work + "/tasks" + std::to_string(tasks), tasks);
            writeFile(config, "[node]\nHostName=bench\n[database]\nPlugin=Quenlith\n[local]\nMount_0=" + storage + "\n");
            ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1);
            findAndCat(storage);  // warm the cache

            size_t folders = 0, records = 0;
            const double pass = firstPass(storage, folders);
            const double find = findAndCat(storage);
            passes.push_back(pass);
            if (CShMDBHelper* existing = CShMDBHelper::existingInstance()) {
                const uint64_t next = existing->passCount() + 1;
                existing->requestRefresh();
                existing->waitForPassCount(next, 600000);
            }
            const double walked = walk(records);
            std::printf("%d tasks (%zu task folders): first pass %.3f s   find|xargs cat %.3f s   ratio %.2fx (goal 1.5x)\n",
                        tasks, folders, pass, find, pass / find);
            std::printf("%d tasks: walk of %zu tasks and pools through the interface %.3f s = %.2fx the pass (goal 1x)\n",
                        tasks, records, walked, walked / pass);
        }
        std::printf("40,000 / 20,000 tasks: first pass %.2fx (goal 2.2x)\n", passes[1] / passes[0]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenlith_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
