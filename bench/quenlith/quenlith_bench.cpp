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
// With --cold (root only; it says so and stops otherwise): the 20,000-task
// tree with the page cache dropped before every run, the scan with no
// read-ahead, with the default number of readers and with twice that, beside
// `find | xargs cat`, interleaved, over several rounds (medians); each run
// also prints the reads the work folder's block device did and how many
// were in flight on average (from its /sys/dev/block/<major:minor>/stat).
// The warm figures follow (the scan with and without read-ahead beside find).
//
// With --query N: a tree of N task folders (labels only, 10 to a computer)
// and the time of `cataloguequery` on it beside the first pass plus a walk
// through the interface in this process (best of three each).
//
// Usage: quenlith_bench [--cold] [--rounds N] [--query TASKS] [work-folder]
//        (default /tmp/quenlith-bench; 3 rounds)
#include <algorithm>
#include <chrono>
#include <iostream>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// Builds <root>/storage with `tasks` task folders once (a marker says it is
// complete); `labelsOnly` leaves out the sync/ and pool/ folders.
std::string buildTree(const std::string& root, int tasks, bool labelsOnly = false) {
    const std::string storage = root + "/storage";
    if (fs::exists(root + "/complete")) return storage;
    fs::remove_all(root);
    std::printf("building %d task folders in %s ...\n", tasks, storage.c_str());
    std::fflush(stdout);
    for (int t = 0; t < tasks; ++t) {
        const int c = t / 10;
        const std::string folder = storage + "/" + guid("c", c) + "/" + guid("t", t);
        fs::create_directories(labelsOnly ? folder : folder + "/sync");
        if (!labelsOnly) fs::create_directories(folder + "/pool");
        writeFile(folder + "/TaskLabel.cfg", "TASK_GUID=" + guid("t", t) + "\nTASK_NAME=task " + std::to_string(t) +
                                                 "\nCOMPUTER_GUID=" + guid("c", c) + "\nCOMPUTER=computer " +
                                                 std::to_string(c) + "\nPOOL_GUID=" + guid("p", t) + "\n");
        if (labelsOnly) continue;
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

// The block device holding `path`, as counted in /sys/dev/block/M:m/stat:
// reads completed, sectors read and milliseconds spent by reads (summed over
// the reads in flight).
struct DeviceReads {
    unsigned long long reads = 0, sectors = 0, readMs = 0;
};

std::string statFileOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::string();
    return "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)) + "/stat";
}

DeviceReads readDevice(const std::string& statFile) {
    DeviceReads now;
    std::ifstream in(statFile);
    unsigned long long merges = 0;
    in >> now.reads >> merges >> now.sectors >> now.readMs;
    return now;
}

struct ColdRun {
    double seconds = 0;
    double reads = 0, mib = 0, inFlight = 0;
};

bool dropCache() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    return static_cast<bool>(drop.flush());
}

template <class F>
ColdRun coldRun(const std::string& statFile, F work) {
    if (!dropCache()) throw std::runtime_error("bench: cannot drop the page cache");
    const DeviceReads before = readDevice(statFile);
    const auto start = Clock::now();
    work();
    ColdRun run;
    run.seconds = secondsSince(start);
    const DeviceReads after = readDevice(statFile);
    run.reads = static_cast<double>(after.reads - before.reads);
    run.mib = static_cast<double>(after.sectors - before.sectors) * 512.0 / (1024.0 * 1024.0);
    run.inFlight = static_cast<double>(after.readMs - before.readMs) / (run.seconds * 1000.0);
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

size_t scanOnce(const std::string& storage, unsigned readers) {
    Catalogue::ScanOptions options;
    options.readers = readers;
    return Catalogue::scanStorage({storage}, options).taskFolderTable().size();
}

void runFind(const std::string& storage) {
    const std::string command =
        "find '" + storage + "' -type f -name '*TaskLabel.cfg*' -print0 | xargs -0 cat > /dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("bench: find failed");
}

void coldSeries(const std::string& work, int rounds) {
    const std::string storage = buildTree(work + "/tasks20000", 20000);
    const std::string statFile = statFileOf(storage);
    if (statFile.empty() || !std::ifstream(statFile)) throw std::runtime_error("bench: no block device statistics for " + storage);
    const unsigned readerCounts[] = {0, Catalogue::kDefaultReadersInFlight, 2 * Catalogue::kDefaultReadersInFlight};
    struct Series {
        std::string name;
        std::vector<ColdRun> runs;
    };
    std::vector<Series> series;
    for (const unsigned readers : readerCounts) series.push_back(Series{"scan, " + std::to_string(readers) + " readers", {}});
    series.push_back(Series{"find | xargs cat", {}});
    std::printf("cold cache, 20,000 task folders, %d rounds interleaved, device statistics %s\n", rounds,
                statFile.c_str());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < series.size(); ++i) {
            ColdRun run;
            if (i < 3) {
                size_t folders = 0;
                run = coldRun(statFile, [&] { folders = scanOnce(storage, readerCounts[i]); });
                if (folders != 20000) throw std::runtime_error("bench: the scan found " + std::to_string(folders) + " task folders");
            } else {
                run = coldRun(statFile, [&] { runFind(storage); });
            }
            std::printf("  round %d  %-18s %7.3f s  %8.0f reads  %7.1f MiB  %5.2f reads in flight\n", round + 1,
                        series[i].name.c_str(), run.seconds, run.reads, run.mib, run.inFlight);
            std::fflush(stdout);
            series[i].runs.push_back(run);
        }
    }
    auto medianOf = [](const Series& s, double ColdRun::*field) {
        std::vector<double> values;
        for (const ColdRun& run : s.runs) values.push_back(run.*field);
        return median(values);
    };
    const double find = medianOf(series.back(), &ColdRun::seconds);
    std::printf("medians (cold):\n");
    for (const Series& s : series)
        std::printf("  %-18s %7.3f s  %5.2f in flight  %.2fx find|xargs cat (goal for the default: 0.5x)\n",
                    s.name.c_str(), medianOf(s, &ColdRun::seconds), medianOf(s, &ColdRun::inFlight),
                    medianOf(s, &ColdRun::seconds) / find);

    runFind(storage);  // warm the cache
    std::printf("warm cache, best of 3:\n");
    const double warmFind = bestOfThree([&] { runFind(storage); });
    for (const unsigned readers : readerCounts) {
        const double scan = bestOfThree([&] { scanOnce(storage, readers); });
        std::printf("  scan, %2u readers  %7.3f s   find|xargs cat %.3f s   %.2fx\n", readers, scan, warmFind,
                    scan / warmFind);
    }
}

// cataloguequery over `tasks` task folders beside the pass plus the walk.
void querySeries(const std::string& work, int tasks, const std::string& binFolder) {
    const std::string storage = buildTree(work + "/labels" + std::to_string(tasks), tasks, true);
    const std::string config = work + "/node.conf";
    writeFile(config, "[node]\nHostName=bench\n[database]\nPlugin=Quenlith\n[local]\nMount_0=" + storage + "\n");
    ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1);
    if (::getenv("VAULT_PLUGIN_DIR") == nullptr) ::setenv("VAULT_PLUGIN_DIR", (binFolder + "/../lib").c_str(), 1);
    findAndCat(storage);  // warm the cache
    size_t folders = 0, records = 0;
    const double pass = firstPass(storage, folders);
    const double walked = walk(records);
    const std::string command = "'" + binFolder + "/cataloguequery' --no-progress > /dev/null";
    const double query = bestOfThree([&] {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("bench: cataloguequery failed");
    });
    std::printf("%d tasks (%zu task folders): cataloguequery %.3f s   first pass %.3f s + walk %.3f s = %.3f s   "
                "ratio %.2fx (goal 1.5x)\n",
                tasks, folders, query, pass, walked, pass + walked, query / (pass + walked));
}

}  // namespace

int main(int argc, char** argv) {
    std::string work = "/tmp/quenlith-bench";
    bool cold = false;
    int rounds = 3;
    int queryTasks = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cold") {
            cold = true;
        } else if (arg == "--query" && i + 1 < argc) {
            queryTasks = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--help" || arg == "-h") {
            std::cout << "usage: quenlith_bench [--cold] [--rounds N] [--query TASKS] [work-folder]\n"
                         "  (default work folder /tmp/quenlith-bench; 3 rounds; --cold needs root)\n";
            return 0;
        } else if (!arg.empty() && arg[0] != '-') {
            work = arg;
        } else {
            std::cerr << "quenlith_bench: unknown option " << arg << " (--help lists them)\n";
            return 2;
        }
    }
    try {
        fs::create_directories(work);
        if (queryTasks > 0) {
            const std::string self = fs::read_symlink("/proc/self/exe").parent_path().string();
            querySeries(work, queryTasks, self);
            return 0;
        }
        if (cold) {
            if (::geteuid() != 0) {
                std::printf("quenlith_bench --cold: dropping the page cache needs root; skipped\n");
                return 0;
            }
            coldSeries(work, rounds);
            return 0;
        }
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
