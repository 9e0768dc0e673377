#include "ResultFiles.h"
#include "TaskSafetyCheck.h"

#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FaultInjectingFileSystem.h"
#include "VaultLog.h"

namespace Trevalon {
namespace {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/trevalon-results-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Names in `folder` that start with '.', as temporary files do.
int temporaryFiles(const std::string& folder) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) return -1;
    int count = 0;
    while (const struct dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name[0] == '.') ++count;
    }
    closedir(listing);
    return count;
}

struct ListCase {
    const char* name;
    std::string text;
    UnknownTaskList expected;
};

TEST(UnknownTaskList, ParsesLinesAsTheNextRunReadsThem) {
    const ListCase cases[] = {
        {"empty file", "", {}},
        {"one empty line", "\n", {{"", ""}}},
        {"id and name", "17|Daily\n", {{"17", "Daily"}}},
        {"id only", "17", {{"17", "17"}}},
        {"bar inside the name", "17|a|b\n", {{"17", "a|b"}}},
        {"first of two keys wins", "17|first\n17|second\n", {{"17", "first"}}},
        {"CRLF line ends", "17\r\n18|x\r\n", {{"17", "17"}, {"18", "x"}}},
        {"last line without break", "1|a\n2|b", {{"1", "a"}, {"2", "b"}}},
        {"inner CR kept", "1\r2|x\n", {{"1\r2", "x"}}},
        {"binary junk", std::string("\0\xff|\x01\n", 5), {{std::string("\0\xff", 2), "\x01"}}},
    };
    TempFolder folder;
    for (const ListCase& c : cases) {
        EXPECT_EQ(parseUnknownTaskList(c.text), c.expected) << c.name;
        writeFile(folder.file("list"), c.text);
        EXPECT_EQ(loadUnknownTaskList(folder.file("list")), c.expected) << c.name << " (file)";
    }
}

TEST(UnknownTaskList, MissingFileIsEmptyAndHugeLinesAreBounded) {
    TempFolder folder;
    EXPECT_TRUE(loadUnknownTaskList(folder.file("absent")).empty());

    writeFile(folder.file("huge"), "5|" + std::string(10 * 1024 * 1024, 'n') + "\n6\n");
    UnknownTaskList list = loadUnknownTaskList(folder.file("huge"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list["5"].size(), kMaxFieldLength);
    EXPECT_EQ(list.count("6"), 1u);
}

TEST(ResultFiles, WritesRunAndTaskLinesVerbatim) {
    TempFolder folder;
    {
        ResultFiles results(folder.path(), false);
        results.writeRunLine("vault-guid", "node1", 2, "Mar-06-2026_09-05-07");
        results.writeTaskLine("vault-guid", "node1", "C-REF", "L-REF", "pc", "say \"hi\"", true, true);
        results.writeTaskLine("vault-guid", "node1", "C-REF", "L-REF", "pc", "t2", false, false);
        results.commitUnknownTasks();
    }
    EXPECT_EQ(readFile(folder.file(kReportFileName)),
              "\"vault-guid\",\"node1\",\"__NumberOfTasksInVault\",\"2\",\"Mar-06-2026_09-05-07\"\n"
              "\"vault-guid\",\"node1\",\"C-REF\",\"L-REF\",\"pc\",\"say \"hi\"\",\"Safe\",\"OfflineDataDetected\"\n"
              "\"vault-guid\",\"node1\",\"C-REF\",\"L-REF\",\"pc\",\"t2\",\"AtRisk\",\"\"\n");
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "");

    // A re-check pass appends to the report.
    {
        ResultFiles results(folder.path(), true);
        results.writeRunLine("vault-guid", "node1", 2, "stamp2");
    }
    EXPECT_NE(readFile(folder.file(kReportFileName)).find("\"stamp2\"\n"), std::string::npos);
    EXPECT_EQ(readFile(folder.file(kReportFileName)).rfind("\"vault-guid\",\"node1\",\"C-REF\"", 0), std::string::npos);
}

TEST(ResultFiles, OldListSurvivesUntilTheWalkEnds) {
    TempFolder folder;
    writeFile(folder.file(kUnknownTasksFileName), "4|old\n5|old2\n");

    // A run that dies before its end (never commits) leaves the old list.
    {
        ResultFiles results(folder.path(), true);
        results.writeUnknownTask(4, "old");
    }
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "4|old\n5|old2\n");

    // A walk that ends replaces it with the new list.
    {
        ResultFiles results(folder.path(), true);
        results.writeUnknownTask(5, "still locked");
        results.commitUnknownTasks();
    }
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "5|still locked\n");
    EXPECT_EQ(temporaryFiles(folder.path()), 0);

    // A walk-ending error leaves no list at all.
    {
        ResultFiles results(folder.path(), true);
        results.writeUnknownTask(5, "x");
        results.discardUnknownTasks();
    }
    EXPECT_NE(access(folder.file(kUnknownTasksFileName).c_str(), F_OK), 0);
    EXPECT_EQ(temporaryFiles(folder.path()), 0);
}

// The scan's log lines while `body` runs, from a log of the test's own.
std::string logOf(const TempFolder& folder, const std::function<void()>& body) {
    batutil_LogOpen(folder.path().c_str(), "results-test", 0, 0, false);
    body();
    batutil_LogOpen(folder.path().c_str(), "results-test-after", 0, 0, false);
    return readFile(folder.file("results-test.log"));
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A full disk, a failed fsync, close or rename, or a temporary file that
// cannot be created: the list of the previous run stays whole, one error line
// names the file and the reason, and the run is not complete.
TEST(ResultFiles, AFailedStepOfTheNewListKeepsTheOldOne) {
    using VaultFilesTesting::Fault;
    const struct {
        Fault fault;
        int error;
        uint64_t afterBytes;
        const char* reason;
    } cases[] = {
        {Fault::Write, ENOSPC, 5, "No space left on device"},
        {Fault::Sync, EIO, 0, "Input/output error"},
        {Fault::Close, EIO, 0, "Input/output error"},
        {Fault::Rename, EISDIR, 0, "Is a directory"},
        {Fault::Open, ENOSPC, 0, "No space left on device"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        writeFile(folder.file(kUnknownTasksFileName), "4|deferred\n5|deferred too\n");
        VaultFilesTesting::FaultInjectingFileSystem files;
        files.inject(c.fault, kUnknownTasksFileName, c.error, c.afterBytes);
        bool complete = true;
        const std::string log = logOf(folder, [&] {
            ResultFiles results(folder.path(), true, files);
            results.writeRunLine("v", "h", 2, "stamp");
            results.writeUnknownTask(4, "deferred");
            results.writeUnknownTask(5, "deferred too");
            results.commitUnknownTasks();
            complete = results.complete();
        });
        EXPECT_FALSE(complete) << c.reason;
        EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "4|deferred\n5|deferred too\n") << c.reason;
        EXPECT_EQ(temporaryFiles(folder.path()), 0) << c.reason;
        EXPECT_EQ(occurrences(log, "-E-0003 UnknownTasks.txt was not replaced; the list of the previous run is kept: "
                                   "cannot "),
                  1u)
            << log;
        EXPECT_EQ(occurrences(log, c.reason), 1u) << log;
        EXPECT_GE(occurrences(log, folder.path()), 1u) << log;  // the path of the failing file
    }
}

// Lines of the report that cannot be written are reported once; nothing is
// written after the failure, so the report ends early rather than with holes.
TEST(ResultFiles, ALostReportLineIsReportedOnceAndEndsTheReport) {
    TempFolder folder;
    writeFile(folder.file(kUnknownTasksFileName), "2|t2\n");
    VaultFilesTesting::FaultInjectingFileSystem files;
    const std::string runLine = "\"v\",\"h\",\"__NumberOfTasksInVault\",\"3\",\"stamp\"\n";
    files.inject(VaultFilesTesting::Fault::Write, kReportFileName, ENOSPC, runLine.size() + 10);
    bool complete = true;
    const std::string log = logOf(folder, [&] {
        ResultFiles results(folder.path(), true, files);
        results.writeRunLine("v", "h", 3, "stamp");
        for (const char* task : {"t1", "t2", "t3"}) results.writeTaskLine("v", "h", "C", "L", "pc", task, true, false);
        results.writeUnknownTask(9, "locked");
        results.commitUnknownTasks();
        complete = results.complete();
    });
    EXPECT_FALSE(complete);
    EXPECT_EQ(readFile(folder.file(kReportFileName)), runLine + "\"v\",\"h\",\"C");
    EXPECT_EQ(occurrences(log, "-E-0003 Output.csv is incomplete: cannot write " + folder.file(kReportFileName) +
                                   ": No space left on device"),
              1u)
        << log;
    // The old list stays: the task whose line was lost is not forgotten.
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "2|t2\n");
    EXPECT_EQ(occurrences(log, "-E-0003 UnknownTasks.txt was not replaced; the list of the previous run is kept: "
                               "the report Output.csv is incomplete"),
              1u)
        << log;
}

// Links planted where the tool writes: at the report, at the temporary name
// the list used to have, and at a marker file. None of their targets is
// touched; a FIFO in a marker's place does not block.
TEST(ResultFiles, PlantedLinksAndFifosAreNeverWrittenThrough) {
    TempFolder folder;
    const std::string victim = folder.file("victim");
    writeFile(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), folder.file("UnknownTasks.txt.tmp").c_str()), 0);
    {
        ResultFiles results(folder.path(), false);
        results.writeRunLine("v", "h", 1, "stamp");
        results.writeUnknownTask(3, "x");
        results.commitUnknownTasks();
        EXPECT_TRUE(results.complete());
    }
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "3|x\n");

    ASSERT_EQ(unlink(folder.file(kReportFileName).c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), folder.file(kReportFileName).c_str()), 0);
    bool complete = true;
    const std::string log = logOf(folder, [&] {
        ResultFiles results(folder.path(), false);
        results.writeRunLine("v", "h", 1, "stamp");
        results.commitUnknownTasks();
        complete = results.complete();
    });
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(complete);  // the report could not be opened
    EXPECT_EQ(occurrences(log, "-E-0003 Output.csv is incomplete: cannot open " + folder.file(kReportFileName) +
                                   ": it is a symbolic link"),
              1u)
        << log;
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "3|x\n");  // kept

    const std::string marker = folder.file("ombrik.exe.config");
    ASSERT_EQ(symlink(victim.c_str(), marker.c_str()), 0);
    createMarkerFile(marker);
    EXPECT_EQ(readFile(victim), "precious");
    const std::string fifo = folder.file("sorvendel.exe.config");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    createMarkerFile(fifo);  // returns at once
    const std::string existing = folder.file("other.config");
    writeFile(existing, "old");
    createMarkerFile(existing);
    EXPECT_EQ(readFile(existing), "");
}

// A killed run leaves its temporary list; the next run removes it (only
// regular files of that name: a planted link is not followed or touched).
TEST(ResultFiles, TemporaryListsOfKilledRunsAreRemoved) {
    TempFolder folder;
    writeFile(folder.file(".UnknownTasks.txt.tmp.999.0"), "4|half a li");
    writeFile(folder.file("victim"), "precious");
    ASSERT_EQ(symlink(folder.file("victim").c_str(), folder.file(".UnknownTasks.txt.tmp.999.1").c_str()), 0);
    {
        ResultFiles results(folder.path(), false);
        results.commitUnknownTasks();
    }
    EXPECT_NE(access(folder.file(".UnknownTasks.txt.tmp.999.0").c_str(), F_OK), 0);
    EXPECT_EQ(readFile(folder.file("victim")), "precious");
    EXPECT_EQ(temporaryFiles(folder.path()), 1);  // the link
}

// A name holding line breaks cannot forge lines: each value is one line's
// part, control characters are blanks, quotes stay as they are.
TEST(ResultFiles, ValuesNeverCarryLineBreaks) {
    TempFolder folder;
    const std::string forged = "x\"\r\n\"v\",\"h\",\"C\",\"L\",\"pc\",\"never checked\",\"Safe\",\"";
    {
        ResultFiles results(folder.path(), false);
        results.writeTaskLine("v", "h", "C\n", "L", "pc", forged, false, false);
        results.writeUnknownTask(5, "a\n17|b");
        results.commitUnknownTasks();
        EXPECT_TRUE(results.complete());
    }
    EXPECT_EQ(readFile(folder.file(kReportFileName)),
              "\"v\",\"h\",\"C \",\"L\",\"pc\",\"x\"  \"v\",\"h\",\"C\",\"L\",\"pc\",\"never checked\",\"Safe\",\"\","
              "\"AtRisk\",\"\"\n");
    EXPECT_EQ(readFile(folder.file(kUnknownTasksFileName)), "5|a 17|b\n");
    EXPECT_EQ(lineSafe(std::string("a\0b\x7f\t\xc3\xa9", 7)), "a b  \xc3\xa9");
}

// A list that is not a regular file (here a FIFO, which used to block the
// tool forever) is not read: the run is an initial pass.
TEST(UnknownTaskList, AFifoIsNotReadAndDoesNotBlock) {
    TempFolder folder;
    ASSERT_EQ(mkfifo(folder.file(kUnknownTasksFileName).c_str(), 0644), 0);
    EXPECT_TRUE(loadUnknownTaskList(folder.file(kUnknownTasksFileName)).empty());
}

}  // namespace
}  // namespace Trevalon
