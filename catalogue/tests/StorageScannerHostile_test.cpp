// The scanner against a storage that changes under it or that no recursive
// walk could survive: folders swapped for links to other places while scans
// run, and trees deeper than a small thread stack allows.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Catalogue/StorageScanner.h"
#include "CatalogueTestSupport.h"
#include "VaultLog.h"

namespace CatalogueTest {
namespace {

using Catalogue::CatalogueTables;
using Catalogue::scanStorage;

// The storage lies in memory where it can: these tests make and change
// thousands of folders, and should not wait on a disk others are using.
class StorageScannerHostile : public StorageFixture {
protected:
    void SetUp() override {
        StorageFixture::SetUp();
        memory_ = std::make_unique<TempFolder>(memoryTempBase());
        makeFolders(storage());
    }
    void TearDown() override {
        memory_.reset();
        StorageFixture::TearDown();
    }
    std::string storage() const { return memory_->path() + "/storage"; }
    std::string beside() const { return memory_->path(); }

    std::unique_ptr<TempFolder> memory_;
};

// Swaps pairs of names in a loop until told to stop. The first finished
// round is reported, so the scans start only once swapping has begun.
class Swapper {
public:
    explicit Swapper(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Swapper() {
        stop_.store(true);
        thread_.join();
    }
    void waitForFirstRound() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return rounds_ > 0 || failed_; });
    }
    bool failed() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }
    unsigned long rounds() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return rounds_;
    }

private:
    void run() {
        while (!stop_.load()) {
            for (const auto& pair : pairs_) {
                if (::renameat2(AT_FDCWD, pair.first.c_str(), AT_FDCWD, pair.second.c_str(), RENAME_EXCHANGE) != 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    failed_ = true;
                    changed_.notify_all();
                    return;
                }
            }
            std::lock_guard<std::mutex> lock(mutex_);
            ++rounds_;
            changed_.notify_all();
        }
    }

    std::vector<std::pair<std::string, std::string>> pairs_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long rounds_ = 0;
    bool failed_ = false;
    std::thread thread_;
};

// Each storage folder "<n>/in" holds a label (and a folder below it with one
// more), and "<n>/out" is a link to a folder beside the storage whose labels
// must never be listed. A swapper exchanges the two names all the time, so a
// walk that checks an entry and then opens it again by path ends up outside.
TEST_F(StorageScannerHostile, FoldersSwappedForLinksNeverLeadOutsideTheRoot) {
    const std::string s = storage();
    const std::string outside = beside() + "/outside";
    const int pairs = 40;
    std::vector<std::pair<std::string, std::string>> swapped;
    for (int n = 0; n < pairs; ++n) {
        const std::string id = std::to_string(n);
        writeLabel(s + "/" + id + "/in/TaskLabel.cfg", fullLabel("C", "pc", "T-in-" + id, "In", "P-in-" + id));
        writeLabel(s + "/" + id + "/in/deeper/TaskLabel.cfg",
                   fullLabel("C", "pc", "T-in-deeper-" + id, "In", "P-in-deeper-" + id));
        writeLabel(outside + "/" + id + "/TaskLabel.cfg",
                   fullLabel("C", "pc", "T-outside-" + id, "Outside", "P-outside-" + id));
        writeLabel(outside + "/" + id + "/deeper/TaskLabel.cfg",
                   fullLabel("C", "pc", "T-outside-deeper-" + id, "Outside", "P-outside-deeper-" + id));
        ASSERT_EQ(::symlink((outside + "/" + id).c_str(), (s + "/" + id + "/out").c_str()), 0);
        swapped.emplace_back(s + "/" + id + "/in", s + "/" + id + "/out");
    }

    // Bounded by a count of scans, not by a time: on a walk that follows a
    // swapped link this shows the fault within a few dozen scans.
    const int scans = 200;
    unsigned long insideSeen = 0;
    Swapper swapper(swapped);
    swapper.waitForFirstRound();
    ASSERT_FALSE(swapper.failed()) << "renameat2(RENAME_EXCHANGE) is not supported here";
    // One reader beside each scan: it walks the swapped folders too.
    Catalogue::ScanOptions options;
    options.readers = 1;
    for (int scan = 0; scan < scans; ++scan) {
        const CatalogueTables tables = scanStorage({s}, options);
        for (const auto& entry : tables.taskFolderTable()) {
            ASSERT_EQ(entry.taskGuid.find("outside"), std::string::npos)
                << "scan " << scan << " listed " << entry.taskGuid << " in " << entry.taskFolder;
            ASSERT_EQ(entry.taskFolder.compare(0, s.size() + 1, s + "/"), 0) << entry.taskFolder;
            ++insideSeen;
        }
        for (const auto& pool : tables.poolTable()) ASSERT_EQ(pool.poolGuid.find("outside"), std::string::npos);
    }
    EXPECT_GT(swapper.rounds(), 0u);
    // The swapped folders are found under one name or the other, and only
    // lost when a swap falls in the middle of opening one.
    EXPECT_GT(insideSeen, 0u);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The scan's warning lines without their time stamps, in order.
std::vector<std::string> scanWarnings(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find("catalogue scan:");
        if (at != std::string::npos) lines.push_back(line.substr(at));
    }
    return lines;
}

// A chain 40 folders deep (deeper than the folders the walk keeps open and
// than the read-ahead goes) with a labelled sibling beside every level, next
// to many small task folders and the hostile entries of a shared storage:
// every label is found whichever way the walk comes back up, and the tables
// and warnings are the same, in the same order, with any number of readers,
// resting on a warm cache or not.
TEST_F(StorageScannerHostile, ReadAheadChangesNothingAndEveryFolderIsFoundAgainOnTheWayBack) {
    const std::string s = storage();
    std::string level = s + "/chain";
    for (int i = 0; i < 40; ++i) {
        const std::string id = std::to_string(i);
        writeLabel(level + "/side" + id + "/TaskLabel.cfg", fullLabel("C-chain", "chain", "T-side-" + id, "Side", "P-side-" + id));
        writeLabel(level + "/TaskLabel.cfg.bak", {{"POOL_GUID", "P-level-" + id}});
        level += "/down";
    }
    for (int t = 0; t < 300; ++t) {
        const std::string id = std::to_string(t);
        writeLabel(s + "/c" + std::to_string(t % 7) + "/t" + id + "/TaskLabel.cfg",
                   fullLabel("C" + std::to_string(t % 7), "pc", "T" + id, "task " + id, "P" + id));
        makeFolders(s + "/c" + std::to_string(t % 7) + "/t" + id + "/sync");
    }
    makeFolders(s + "/odd");
    ASSERT_EQ(::mkfifo((s + "/odd/TaskLabel.cfg").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("..", (s + "/odd/up").c_str()), 0);
    writeLabel(beside() + "/outside/TaskLabel.cfg", fullLabel("C", "pc", "T-outside", "Outside", "PX"));
    ASSERT_EQ(::symlink((beside() + "/outside").c_str(), (s + "/odd/away").c_str()), 0);
    ASSERT_EQ(::symlink((beside() + "/outside/TaskLabel.cfg").c_str(), (s + "/c1/TaskLabel.cfg").c_str()), 0);

    std::vector<CatalogueTables> results;
    std::vector<std::vector<std::string>> warnings;
    // The labels are fresh, so the readers soon rest; the last run finds the
    // later half of them dropped from the cache, which sets them to work again.
    const struct {
        unsigned readers;
        bool dropLaterLabels;
    } runs[] = {{0, false}, {1, false}, {8, false}, {64, false}, {8, true}};
    for (const auto& run : runs) {
        if (run.dropLaterLabels) {
            for (int t = 150; t < 300; ++t) {
                const std::string label = s + "/c" + std::to_string(t % 7) + "/t" + std::to_string(t) + "/TaskLabel.cfg";
                const int fd = ::open(label.c_str(), O_RDONLY);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::fsync(fd), 0);
                ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
                ::close(fd);
            }
        }
        Catalogue::ScanOptions options;
        options.readers = run.readers;
        const std::string name = "scan-" + std::to_string(run.readers) + (run.dropLaterLabels ? "-dropped" : "");
        batutil_LogOpen(beside().c_str(), name.c_str(), 0, 0, false);
        results.push_back(scanStorage({s}, options));
        batutil_LogOpen(nullptr, "after-scan", 0, 0, false);
        warnings.push_back(scanWarnings(readWholeFile(beside() + "/" + name + ".log")));
    }
    const CatalogueTables& tables = results[0];
    EXPECT_EQ(tables.taskFolderTable().size(), 340u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(tables.getTaskNameByGuid("T-side-" + std::to_string(i)), "Side") << i;
        EXPECT_NE(tables.findPool("P-level-" + std::to_string(i)), nullptr) << i;
    }
    EXPECT_EQ(tables.getFirstTaskFolder("T-outside"), "");
    EXPECT_EQ(warnings[0].size(), 2u);  // the FIFO and the link named like a label
    for (size_t i = 1; i < results.size(); ++i) {
        EXPECT_TRUE(results[i] == tables) << "run " << i;
        EXPECT_EQ(warnings[i], warnings[0]) << "run " << i;
    }
}

// Creates `depth` folders "d" below `root` by descriptor (the whole path is
// longer than PATH_MAX) with a label at the bottom.
void makeDeepTree(const std::string& root, int depth, const std::string& label) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0700), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int file = ::openat(fd, "TaskLabel.cfg", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::close(fd);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, label.data(), label.size()), static_cast<ssize_t>(label.size()));
    ::close(file);
}

// Removes what makeDeepTree made, by descriptor.
void removeDeepTree(const std::string& root, int depth) {
    std::vector<int> fds{::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    for (int i = 0; i < depth && fds.back() >= 0; ++i)
        fds.push_back(::openat(fds.back(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fds.back() >= 0) ::unlinkat(fds.back(), "TaskLabel.cfg", 0);
    for (size_t i = fds.size() - 1; i > 0; --i) {
        if (fds[i] >= 0) ::close(fds[i]);
        if (fds[i - 1] >= 0) ::unlinkat(fds[i - 1], "d", AT_REMOVEDIR);
    }
    if (fds[0] >= 0) ::close(fds[0]);
}

int highestOpenDescriptor() {
    int highest = -1;
    DIR* fds = ::opendir("/proc/self/fd");
    if (fds == nullptr) return 1023;
    while (const struct dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.') continue;
        highest = std::max(highest, std::atoi(entry->d_name));
    }
    ::closedir(fds);
    return highest;
}

struct DeepScan {
    std::string root;
    CatalogueTables tables;
};

void* scanDeep(void* argument) {
    auto* scan = static_cast<DeepScan*>(argument);
    scan->tables = scanStorage({scan->root});
    return nullptr;
}

// 2,200 folders deep, walked on a thread with a 256 KiB stack and with only a
// few dozen descriptors to spare: the label at the bottom is found, with
// its whole folder name. A walk that recurses per folder overflows the stack;
// one that keeps every folder open runs out of descriptors.
TEST_F(StorageScannerHostile, TreeDeeperThanASmallStackIsWalkedToTheBottomWithFewDescriptors) {
    const int depth = 2200;
    const std::string s = storage();
    makeDeepTree(s, depth, "TASK_GUID=T-deep\nTASK_NAME=Deep\nCOMPUTER_GUID=C\nPOOL_GUID=P-deep\n");
    std::string bottom = s;
    for (int i = 0; i < depth; ++i) bottom += "/d";

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    struct rlimit few = saved;
    few.rlim_cur = static_cast<rlim_t>(highestOpenDescriptor() + 64);
    if (few.rlim_cur > saved.rlim_cur) few.rlim_cur = saved.rlim_cur;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);

    DeepScan scan{s, CatalogueTables()};
    pthread_attr_t attributes;
    ASSERT_EQ(::pthread_attr_init(&attributes), 0);
    ASSERT_EQ(::pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    const int started = ::pthread_create(&thread, &attributes, scanDeep, &scan);
    ::pthread_attr_destroy(&attributes);
    if (started == 0) ::pthread_join(thread, nullptr);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(started, 0);

    EXPECT_EQ(scan.tables.getFirstTaskFolder("T-deep"), bottom + "/");
    ASSERT_NE(scan.tables.findPool("P-deep"), nullptr);
    EXPECT_EQ(scan.tables.findPool("P-deep")->poolFolder, bottom + "/");
    removeDeepTree(s, depth);
}

}  // namespace
}  // namespace CatalogueTest
