#include "ResultFiles.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

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
    EXPECT_NE(access(folder.file(kUnknownTasksTempName).c_str(), F_OK), 0);

    // A walk-ending error leaves no list at all.
    {
        ResultFiles results(folder.path(), true);
        results.writeUnknownTask(5, "x");
        results.discardUnknownTasks();
    }
    EXPECT_NE(access(folder.file(kUnknownTasksFileName).c_str(), F_OK), 0);
    EXPECT_NE(access(folder.file(kUnknownTasksTempName).c_str(), F_OK), 0);
}

}  // namespace
}  // namespace Trevalon
