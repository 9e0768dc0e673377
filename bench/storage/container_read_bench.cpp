// Reads every record of a set of file-list containers the way the scan tool
// does (Trevalon::containerHoldsMarkedRecord: first, then setPosition/read
// until the end position, looking at each record's marker byte, every record
// verified against its chunk checksum before it is delivered) and times it
// against `cat <files> > /dev/null` over the same files, both with a warm page
// cache. Reading every record one by one (readRecord, as a caller that needs
// whole records does) is timed too.
//
// usage: container_read_bench <folder> [total MiB = 1024] [containers = 8] [rounds = 3]
// Containers "bench-N.vfl" in <folder> are written when missing or of another
// size, and reused otherwise.
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Carrowen/Carrowen.h"
#include "Carrowen/Writers.h"
#include "TaskSafetyCheck.h"
#include "VaultFiles.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool hasRecords(const std::string& path, uint64_t records) {
    try {
        Carrowen::FileListContainer2 container;
        container.open(path, 1, 1);
        return container.recordIdUpperBound() - container.recordIdLowerBound() == records;
    } catch (const std::exception&) {
        return false;
    }
}

// The scan's own walk over every container; returns how many hold a marked
// record, so the work cannot be optimised away.
uint64_t scanAll(const std::vector<std::string>& files) {
    uint64_t holding = 0;
    for (const std::string& path : files) holding += Trevalon::containerHoldsMarkedRecord(path) ? 1 : 0;
    return holding;
}

// Every record copied out with readRecord, looking at its marker byte.
uint64_t readEveryRecord(const std::vector<std::string>& files, uint64_t& recordsRead) {
    uint64_t marked = 0;
    recordsRead = 0;
    for (const std::string& path : files) {
        Carrowen::FileListContainer2 container;
        container.open(path, 1, 1);
        Carrowen::FileListRecord record;
        const uint32_t upper = container.recordIdUpperBound();
        for (uint32_t id = container.recordIdLowerBound(); id < upper; ++id) {
            if (container.readRecord(id, record) != 1) throw std::runtime_error(path + ": read failed");
            marked += record.markerFlag() != 0;
            ++recordsRead;
        }
    }
    return marked;
}

double timeCat(const std::vector<std::string>& files) {
    std::string command = "cat";
    for (const std::string& f : files) command += " '" + f + "'";
    command += " > /dev/null";
    const Clock::time_point start = Clock::now();
    const int rc = std::system(command.c_str());
    const double seconds = secondsSince(start);
    if (rc != 0) throw std::runtime_error("cat failed");
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [total MiB] [containers] [rounds]\n", argv[0]);
        return 2;
    }
    try {
        const std::string folder = std::string(argv[1]) + "/";
        const uint64_t totalMiB = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
        const unsigned containers = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 8;
        const int rounds = argc > 4 ? std::atoi(argv[4]) : 3;
        if (totalMiB == 0 || containers == 0 || rounds <= 0) throw std::invalid_argument("sizes must be positive");
        const uint64_t recordsEach = (totalMiB << 20) / containers / Carrowen::FileListRecord::SIZE;

        VaultFiles::makeFolders(folder);
        std::vector<std::string> files;
        for (unsigned i = 0; i < containers; ++i) {
            const std::string path = folder + "bench-" + std::to_string(i) + ".vfl";
            if (!hasRecords(path, recordsEach)) {
                std::printf("writing %s (%llu records)\n", path.c_str(), static_cast<unsigned long long>(recordsEach));
                Carrowen::writeFileListContainer(path, 1, recordsEach, nullptr);
            }
            files.push_back(path);
        }
        uint64_t bytes = 0;
        for (const std::string& f : files) {
            struct stat st;
            if (::stat(f.c_str(), &st) == 0) bytes += static_cast<uint64_t>(st.st_size);
        }

        timeCat(files);  // warm the page cache
        uint64_t records = 0;
        scanAll(files);
        double bestCat = 1e9, bestScan = 1e9, bestTouch = 1e9;
        uint64_t marked = 0, holding = 0;
        for (int r = 0; r < rounds; ++r) {
            bestCat = std::min(bestCat, timeCat(files));
            Clock::time_point start = Clock::now();
            holding = scanAll(files);
            bestScan = std::min(bestScan, secondsSince(start));
            start = Clock::now();
            marked = readEveryRecord(files, records);
            bestTouch = std::min(bestTouch, secondsSince(start));
        }
        const double mib = static_cast<double>(bytes) / (1 << 20);
        std::printf("files: %u containers, %.1f MiB, %llu records (%llu marked, %llu containers holding one)\n",
                    containers, mib, static_cast<unsigned long long>(records), static_cast<unsigned long long>(marked),
                    static_cast<unsigned long long>(holding));
        std::printf("cat:                     %.3f s  (%.0f MiB/s)\n", bestCat, mib / bestCat);
        std::printf("scan's container walk:   %.3f s  (%.0f MiB/s)  ratio to cat %.2f\n", bestScan, mib / bestScan,
                    bestScan / bestCat);
        std::printf("every record, readRecord: %.3f s  (%.0f MiB/s)  ratio to cat %.2f\n", bestTouch, mib / bestTouch,
                    bestTouch / bestCat);
        std::printf("(best of %d rounds, warm cache)\n", rounds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "container_read_bench: %s\n", e.what());
        return 1;
    }
}
