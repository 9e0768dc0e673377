#include "VaultFiles.h"

#include <dirent.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FaultInjectingFileSystem.h"

namespace {

using namespace VaultFiles;
using VaultFilesTesting::FaultInjectingFileSystem;
using VaultFilesTesting::Fault;

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vault-files-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// How many names in `folder` start with '.' (temporary files), . and .. aside.
int hiddenEntries(const std::string& folder) {
    int count = 0;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return -1;
    while (const struct dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name[0] == '.') ++count;
    }
    closedir(listing);
    return count;
}

// A FIFO, a folder and links where a regular file is expected: every way of
// opening refuses them without blocking, and nothing behind a refused link
// changes.
TEST(VaultFiles, RefusesWhatIsNotARegularFileWithoutBlocking) {
    TempFolder folder;
    writeBytes(folder / "target", "precious");
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder / "dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink((folder / "target").c_str(), (folder / "link").c_str()), 0);
    ASSERT_EQ(symlink((folder / "nowhere").c_str(), (folder / "dangling").c_str()), 0);

    struct Case {
        const char* name;
        Links links;
        const char* reason;  // part of the error text
    };
    const Case refused[] = {
        {"fifo", Links::Follow, "not a regular file"},
        {"dir", Links::Follow, "a folder"},
        {"link", Links::Refuse, "symbolic link"},
    };
    FileSystem& files = FileSystem::real();
    for (const Case& c : refused) {
        const std::string path = folder / c.name;
        const std::function<void()> opens[] = {
            [&] { files.openReadable(path, c.links); },
            [&] { files.openWritable(path, WriteMode::Truncate, c.links); },
            [&] { files.openWritable(path, WriteMode::Append, c.links); },
        };
        for (const auto& open : opens) {
            try {
                open();
                ADD_FAILURE() << c.name << " was opened";
            } catch (const FileError& error) {
                EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
                // A FIFO without a reader refuses a non-blocking writer (ENXIO) before fstat.
                if (std::string(c.name) != "fifo" || error.systemError() != ENXIO) {
                    EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
                }
            }
        }
    }
    EXPECT_EQ(readBytes(folder / "target"), "precious");

    // CreateNew refuses any existing name, a dangling link included, and
    // creates nothing where the link points.
    for (const char* name : {"target", "link", "dangling", "fifo"}) {
        try {
            files.openWritable(folder / name, WriteMode::CreateNew, Links::Refuse);
            ADD_FAILURE() << name << " was created";
        } catch (const FileError& error) {
            EXPECT_EQ(error.systemError(), EEXIST) << name;
        }
    }
    EXPECT_NE(access((folder / "nowhere").c_str(), F_OK), 0);

    // Followed, a link to a regular file is that file.
    std::string contents;
    ASSERT_TRUE(readWholeFile(folder / "link", 100, contents, Links::Follow));
    EXPECT_EQ(contents, "precious");
}

TEST(VaultFiles, WritesAppendsAndTruncates) {
    TempFolder folder;
    FileSystem& files = FileSystem::real();
    const std::string path = folder / "f";
    {
        auto file = files.openWritable(path, WriteMode::Truncate, Links::Refuse);
        file->append("head");
        file->append(std::string(200 * 1024, 'x'));  // larger than the buffer
        file->append("tail");
        file->writeAt(0, "HEAD", 4);
        file->close();
        file->close();  // twice is harmless
    }
    std::string contents = readBytes(path);
    EXPECT_EQ(contents.size(), 4u + 200 * 1024 + 4);
    EXPECT_EQ(contents.substr(0, 4), "HEAD");
    EXPECT_EQ(contents.substr(contents.size() - 4), "tail");

    {
        auto file = files.openWritable(path, WriteMode::Truncate, Links::Refuse);
        file->append("one\n");
    }  // the destructor flushes
    {
        auto file = files.openWritable(path, WriteMode::Append, Links::Refuse);
        file->append("two\n");
        file->flush();
        EXPECT_EQ(readBytes(path), "one\ntwo\n");  // flushed bytes are in the file
        EXPECT_THROW(file->writeAt(0, "x", 1), FileError);
        file->sync();
    }
    EXPECT_EQ(readBytes(path), "one\ntwo\n");
}

TEST(VaultFiles, ReadsWholeFilesWithinTheirBound) {
    TempFolder folder;
    writeBytes(folder / "f", "0123456789");
    std::string contents = "stale";
    EXPECT_FALSE(readWholeFile(folder / "absent", 100, contents));
    EXPECT_EQ(contents, "");
    EXPECT_FALSE(readWholeFile(folder / "no-folder/f", 100, contents));
    ASSERT_TRUE(readWholeFile(folder / "f", 10, contents));
    EXPECT_EQ(contents, "0123456789");
    try {
        readWholeFile(folder / "f", 9, contents);
        FAIL() << "a file over the bound was read";
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot read " + (folder / "f") + ": it is larger than the 9 bytes such a file may have");
    }
    // A file that ends early (shortened while read) gives what it held.
    FaultInjectingFileSystem faulty;
    faulty.inject(Fault::ShortRead, "/f", 0, 4);
    ASSERT_TRUE(readWholeFile(faulty, folder / "f", 100, contents));
    EXPECT_EQ(contents, "0123");
}

TEST(VaultFiles, MakesFoldersAndRefusesFilesInTheWay) {
    TempFolder folder;
    makeFolders(folder / "a/b/c/");
    EXPECT_EQ(FileSystem::real().status(folder / "a/b/c", Links::Refuse).kind, FileKind::Folder);
    makeFolders(folder / "a/b");  // exists: fine
    writeBytes(folder / "file", "");
    EXPECT_THROW(makeFolders(folder / "file/sub"), FileError);
    try {
        makeFolders(folder / "file");
        FAIL();
    } catch (const FileError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot create folder " + (folder / "file") + ": a file of that name exists");
    }
}

TEST(ReplacementFile, ReplacesOnlyWhenComplete) {
    TempFolder folder;
    const std::string path = folder / "state";
    writeBytes(path, "old");
    chmod(path.c_str(), 0600);
    {
        ReplacementFile file(path);
        file.append("new");
        EXPECT_EQ(readBytes(path), "old");
    }  // never committed
    EXPECT_EQ(readBytes(path), "old");
    EXPECT_EQ(hiddenEntries(folder.path()), 0);

    ReplacementFile::Options keep;
    keep.keepPermissions = true;
    replaceFile(FileSystem::real(), path, "new", keep);
    EXPECT_EQ(readBytes(path), "new");
    EXPECT_EQ(FileSystem::real().status(path, Links::Refuse).permissions, 0600u);
    EXPECT_EQ(hiddenEntries(folder.path()), 0);

    // A bare name lands in the current folder.
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    const std::string before = buffer;
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    replaceFile("bare", "b");
    ASSERT_EQ(chdir(before.c_str()), 0);
    EXPECT_EQ(readBytes(folder / "bare"), "b");
}

// Whichever step of a replacement fails, the old file stays whole, the
// temporary file goes, and the error names the file and the reason.
TEST(ReplacementFile, AnyFailedStepKeepsTheOldFile) {
    struct Case {
        Fault fault;
        int error;
        uint64_t afterBytes;
        const char* expected;  // in the error text
    };
    const Case cases[] = {
        {Fault::Write, ENOSPC, 10, "cannot write "},
        {Fault::Write, ENOSPC, 0, "No space left on device"},
        {Fault::Sync, EIO, 0, "cannot sync "},
        {Fault::Close, EIO, 0, "cannot close "},
        {Fault::Rename, EISDIR, 0, "cannot rename "},
        {Fault::Open, ENOSPC, 0, "cannot create "},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string path = folder / "state";
        writeBytes(path, "old contents\n");
        FaultInjectingFileSystem faulty;
        faulty.inject(c.fault, "", c.error, c.afterBytes);
        try {
            ReplacementFile file(faulty, path);
            file.append(std::string(100, 'n'));
            file.append(std::string(100 * 1024, 'm'));
            file.commit();
            ADD_FAILURE() << c.expected << ": the replacement succeeded";
        } catch (const FileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
            EXPECT_NE(std::string(error.what()).find(folder.path()), std::string::npos) << error.what();
            EXPECT_EQ(error.systemError(), c.error);
        }
        EXPECT_EQ(faulty.hits(c.fault), 1) << c.expected;
        EXPECT_EQ(readBytes(path), "old contents\n") << c.expected;
        EXPECT_EQ(hiddenEntries(folder.path()), 0) << c.expected;
    }

    // A folder sync that fails comes after the rename: the new file is in
    // place, but the caller still hears that it may not be durable.
    TempFolder folder;
    FaultInjectingFileSystem faulty;
    faulty.inject(Fault::SyncFolder, "", EIO);
    EXPECT_THROW(replaceFile(faulty, folder / "state", "new"), FileError);
    EXPECT_EQ(readBytes(folder / "state"), "new");
}

}  // namespace

// What a reader announces lies ahead of it, inside the range, in whole steps
// but for the range's last piece, each byte once per pass; a reader that
// goes back starts a new pass.
TEST(VaultFiles, ReadAheadAnnouncesWhatLiesAheadOfTheReaderAndNothingElse) {
    struct Recorder final : VaultFiles::ReadableFile {
        mutable std::vector<std::pair<uint64_t, uint64_t>> announced;
        mutable int sequential = 0;
        std::string name = "recorder";
        VaultFiles::FileStatus fileStatus;
        const std::string& path() const override { return name; }
        const VaultFiles::FileStatus& status() const override { return fileStatus; }
        size_t read(void*, size_t) override { return 0; }
        size_t readAt(uint64_t, void*, size_t) const override { return 0; }
        void adviseSequential() const override { ++sequential; }
        void willNeed(uint64_t offset, uint64_t size) const override { announced.push_back({offset, size}); }
        // Bytes announced, after checking that no byte is announced twice.
        uint64_t upTo() const {
            uint64_t end = announced.empty() ? 0 : announced.front().first;
            for (const auto& a : announced) {
                EXPECT_EQ(end, a.first);
                end = a.first + a.second;
            }
            return end;
        }
    };
    Recorder file;
    VaultFiles::ReadAhead ahead;
    ahead.start(file, 64, 64 + 100, 40, 8);  // 100 bytes from 64, 40 ahead, steps of 8
    EXPECT_EQ(1, file.sequential);
    EXPECT_EQ(64u + 40, file.upTo());
    ahead.reached(64 + 3);  // less than a step more is due: nothing yet
    EXPECT_EQ(64u + 40, file.upTo());
    ahead.reached(64 + 20);
    EXPECT_EQ(64u + 56, file.upTo());
    for (const auto& a : file.announced) EXPECT_EQ(8u, a.second);
    ahead.reached(64 + 56);
    EXPECT_EQ(64u + 96, file.upTo());
    ahead.reached(64 + 61);  // the end is in sight: the last piece, shorter than a step, follows
    EXPECT_EQ(64u + 100, file.upTo());
    EXPECT_EQ(4u, file.announced.back().second);
    const size_t calls = file.announced.size();
    ahead.reached(64 + 100);
    ahead.reached(1000);  // past the range: nothing more
    EXPECT_EQ(calls, file.announced.size());

    file.announced.clear();
    ahead.start(file, 0, 1000, 100, 50);
    ahead.reached(500);  // jumped ahead: announces from where the reader is
    EXPECT_EQ(500u, file.announced.back().first + file.announced.back().second - 100);
    file.announced.clear();
    ahead.reached(10);  // went back: a second pass is announced again
    ASSERT_FALSE(file.announced.empty());
    EXPECT_EQ(10u, file.announced.front().first);
    EXPECT_EQ(110u, file.upTo());
    ahead.stop();
    file.announced.clear();
    ahead.reached(400);
    EXPECT_TRUE(file.announced.empty());
}
