#include "ReadAhead.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace Trevalon {
namespace {

class TaskFolders {
public:
    TaskFolders() {
        char pattern[] = "/var/tmp/scan-readahead-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        ::mkdir((root_ + "/sync").c_str(), 0755);
        ::mkdir((root_ + "/pool").c_str(), 0755);
        write("sync/synchset.vss");
        write("sync/synchset-mirror.vss");
        write("pool/synclist.vsl");
    }
    ~TaskFolders() { std::system(("rm -rf '" + root_ + "'").c_str()); }
    std::string syncFolder() const { return root_ + "/sync/"; }
    std::string path(const std::string& name) const { return root_ + "/" + name; }

    // Drops the file's pages from the cache (it is written back first, so
    // its clean pages can go without privileges).
    void evict(const std::string& name) const {
        const int fd = ::open(path(name).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(0, ::fsync(fd));
        ASSERT_EQ(0, ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED));
        ::close(fd);
    }
    void read(const std::string& name) const {
        char buffer[4096];
        const int fd = ::open(path(name).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_GT(::read(fd, buffer, sizeof buffer), 0);
        ::close(fd);
    }
    // Whether the file's first page is in the cache (mincore: looking does
    // not start a read, as a refused RWF_NOWAIT read may).
    bool resident(const std::string& name) const {
        const int fd = ::open(path(name).c_str(), O_RDONLY);
        void* map = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        unsigned char page = 0;
        const bool in = map != MAP_FAILED && ::mincore(map, 4096, &page) == 0 && (page & 1) != 0;
        if (map != MAP_FAILED) ::munmap(map, 4096);
        return in;
    }
    // Whether this file system answers a read that must not wait
    // (RWF_NOWAIT) of a file in the cache.
    bool answersNoWaitReads(const std::string& name) const {
        read(name);
        char byte;
        iovec piece{&byte, 1};
        const int fd = ::open(path(name).c_str(), O_RDONLY);
        const bool answered = ::preadv2(fd, &piece, 1, 0, RWF_NOWAIT) == 1;
        ::close(fd);
        return answered;
    }

private:
    void write(const std::string& name) {
        FILE* out = std::fopen(path(name).c_str(), "wb");
        ASSERT_NE(out, nullptr);
        const std::string content(8192, 'x');
        ASSERT_EQ(content.size(), std::fwrite(content.data(), 1, content.size(), out));
        ASSERT_EQ(0, std::fclose(out));
    }
    std::string root_;
};

// The readers rest on a warm cache only when a task's first synchronisation
// file was really in the cache: a file whose pages were dropped says no (so a
// cold vault always gets its read-ahead), one just read says yes where the
// file system can tell, and a task without files says no.
TEST(ScanReadAheadCache, WarmTaskSaysWhetherTheTaskWasCachedAlready) {
    TaskFolders task;
    task.evict("sync/synchset.vss");
    if (!task.resident("sync/synchset.vss")) {  // a memory file system keeps its pages
        EXPECT_FALSE(ReadAhead::warmTask(task.syncFolder())) << "pages dropped";
    }
    task.read("sync/synchset.vss");
    EXPECT_EQ(task.answersNoWaitReads("pool/synclist.vsl"), ReadAhead::warmTask(task.syncFolder())) << "just read";
    EXPECT_FALSE(ReadAhead::warmTask(task.path("missing/")));
}

}  // namespace
}  // namespace Trevalon
