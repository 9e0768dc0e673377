// The file layer's announcer: read-ahead advice handed to the system by a
// background thread. What must hold: a file closed while advice about it is
// queued loses no descriptor and misdirects nothing, a flood of advice never
// blocks the reader, and the child of a fork can still read and announce.
#include "VaultFiles.h"

#include <dirent.h>
#include <stdlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace VaultFiles;

size_t openDescriptors() {
    size_t count = 0;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) return 0;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(folder);
    return count;
}

class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/announcer-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~Folder() {
        for (const std::string& file : files_) ::unlink(file.c_str());
        ::rmdir(path_.c_str());
    }
    // A file of `bytes` bytes, each the low byte of its offset plus `seed`.
    std::string file(const std::string& name, size_t bytes, unsigned seed) {
        const std::string path = path_ + "/" + name;
        std::string content(bytes, '\0');
        for (size_t i = 0; i < bytes; ++i) content[i] = static_cast<char>((i + seed) & 0xFF);
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(content.data(), 1, bytes, out) != bytes || std::fclose(out) != 0)
            throw std::runtime_error("cannot write " + path);
        files_.push_back(path);
        return path;
    }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// Many threads open, announce, read and close files at once, far more advice
// than the queue holds. Every read returns its own file's bytes, and once the
// announcements are done every descriptor they held is closed.
TEST(Announcer, FilesClosedWithAdviceQueuedKeepTheirBytesAndLeaveNoDescriptor) {
    Folder folder;
    std::vector<std::string> paths;
    for (unsigned i = 0; i < 8; ++i) paths.push_back(folder.file("f" + std::to_string(i), 256 * 1024, i));
    waitForAnnouncements();
    const size_t before = openDescriptors();

    std::vector<std::thread> readers;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const unsigned which = static_cast<unsigned>((t + round) % paths.size());
                auto file = FileSystem::real().openReadable(paths[which], Links::Refuse);
                ReadAhead ahead;
                ahead.start(*file, 0, file->status().size, 64 * 1024, 4096);  // 16 pieces of advice at once
                announceFile(paths[(which + 1) % paths.size()], 0, 1 << 20);
                unsigned char byte = 0;
                for (uint64_t at = 0; at < file->status().size; at += 8191) {
                    ahead.reached(at);
                    if (file->readAt(at, &byte, 1) != 1 || byte != ((at + which) & 0xFF)) ++mismatches[t];
                }
            }  // closed here, often with advice still queued
        });
    }
    for (auto& reader : readers) reader.join();
    waitForAnnouncements();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(0, mismatches[t]) << "reader " << t;
    EXPECT_EQ(before, openDescriptors());
}

// Waits for `child` to end, for at most `seconds` (a stuck child is killed):
// true when it exited with 0.
bool endsWithZero(pid_t child, int seconds) {
    int status = 0;
    for (int tenths = 0; tenths < seconds * 10; ++tenths) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0) return false;
        ::usleep(100 * 1000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

// Forks taken while the announcer is busy: the child has no announcer
// thread, yet reads, announces, waits and ends normally, through exit() and
// its handlers as well as through _exit(). A child that joined the parent's
// thread, or inherited its lock held, would never end.
TEST(Announcer, TheChildOfAForkAnnouncesAndExitsWithoutTheThread) {
    Folder folder;
    const std::string path = folder.file("big", 4 << 20, 7);
    auto file = FileSystem::real().openReadable(path, Links::Refuse);
    for (const bool throughExit : {false, true}) {
        for (int round = 0; round < 20; ++round) {
            for (uint64_t at = 0; at < file->status().size; at += 4096) file->willNeed(at, 4096);  // keeps it busy
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                int status = 0;
                try {
                    auto own = FileSystem::real().openReadable(path, Links::Refuse);
                    ReadAhead ahead;
                    ahead.start(*own, 0, own->status().size);
                    announceFile(path, 0, 1 << 20);
                    waitForAnnouncements();
                    unsigned char byte = 0;
                    if (own->readAt(12345, &byte, 1) != 1 || byte != ((12345 + 7) & 0xFF)) status = 2;
                } catch (...) {
                    status = 3;
                }
                if (throughExit) std::exit(status);
                ::_exit(status);
            }
            ASSERT_TRUE(endsWithZero(child, 120)) << (throughExit ? "exit()" : "_exit()") << ", round " << round;
        }
    }
    waitForAnnouncements();
}

}  // namespace
