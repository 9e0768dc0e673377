// Trevalon's command line: --help and --version answer on standard output,
// every other argument is refused on standard error with exit code 2, and no
// case touches a file of the working folder, even with a vault configured and
// the result files of an earlier run lying there.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CommandLine.h"
#include "Harness.h"
#include "ScanDriver.h"
#include "VaultDescription.h"

namespace Trevalon {
namespace Testing {
namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string expected;  // a text the answer must hold
};

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {{"--help"}, 0, "Usage: Trevalon [--help | --version]"},
        {{"-h"}, 0, "Exit codes:"},
        {{"--version"}, 0, std::string("Trevalon ") + kToolVersion},
        {{"--verbose"}, 2, "unexpected argument '--verbose'"},
        {{"scan"}, 2, "unexpected argument 'scan'"},
        {{""}, 2, "unexpected argument ''"},
        {{"-"}, 2, "unexpected argument '-'"},
        {{"--"}, 2, "unexpected argument '--'"},
        {{"--help=yes"}, 2, "unexpected argument '--help=yes'"},
        {{"--help", "extra"}, 2, "unexpected argument 'extra'"},
        {{"--version", "--help"}, 2, "unexpected argument '--help'"},
    };
    return table;
}

std::string describe(const std::vector<std::string>& args) {
    std::string text = "Trevalon";
    for (const std::string& arg : args) text += " '" + arg + "'";
    return text;
}

// Everything that tells whether a folder's entries changed: names, types,
// sizes, modification times and contents.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        std::ostringstream facts;
        facts << info.st_mode << ' ' << info.st_size << ' ' << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec;
        if (S_ISREG(info.st_mode)) facts << ' ' << readFile(entry.path());
        entries[entry.path().string()] = facts.str();
    }
    return entries;
}

TEST(TrevalonCommandLine, AnswersAndRefusalsTouchNoFile) {
    VaultDescription description;
    description.task("Acme", "pc", "Payroll", {});
    TestVault vault(description.json());
    for (const Case& c : cases()) {
        TempFolder work;
        writeFile(work.file("Output.csv"), "earlier run line\n");
        writeFile(work.file("UnknownTasks.txt"), "1|Payroll\n");
        writeFile(work.file("Trevalon.log"), "earlier log\n");
        const auto before = snapshot(work.path());

        std::vector<std::string> argv = {binDir() + "/Trevalon"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult result = run(argv, work.path(), vault.environment());

        EXPECT_EQ(result.exitCode, c.exitCode) << describe(c.args) << "\n" << result.output;
        EXPECT_TRUE(contains(result.output, c.expected)) << describe(c.args) << "\n" << result.output;
        EXPECT_EQ(snapshot(work.path()), before) << describe(c.args) << " changed the working folder";
    }
}

// The same cases through the function: answers go to standard output only,
// refusals to standard error only.
TEST(TrevalonCommandLine, AnswersGoToOutputAndRefusalsToErrors) {
    for (const Case& c : cases()) {
        std::vector<const char*> argv = {"Trevalon"};
        for (const std::string& arg : c.args) argv.push_back(arg.c_str());
        std::ostringstream out, err;
        const auto answer = answerCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
        ASSERT_TRUE(answer.has_value()) << describe(c.args);
        EXPECT_EQ(*answer, c.exitCode) << describe(c.args);
        const std::string& used = c.exitCode == 0 ? out.str() : err.str();
        const std::string& unused = c.exitCode == 0 ? err.str() : out.str();
        EXPECT_TRUE(contains(used, c.expected)) << describe(c.args) << "\n" << used;
        EXPECT_EQ(unused, "") << describe(c.args);
    }
    std::ostringstream out, err;
    const char* const bare[] = {"Trevalon"};
    EXPECT_FALSE(answerCommandLine(1, bare, out, err).has_value()) << "no arguments is a scan";
    EXPECT_EQ(out.str() + err.str(), "");
}

// The scan options: accepted ones reach the scan, malformed or repeated ones
// are refused like any unknown argument (2, on standard error only).
TEST(TrevalonCommandLine, ScanOptionsAreParsedOrRefused) {
    const struct {
        std::vector<std::string> args;
        int exitCode;  // -1: no answer, the scan runs
        bool progress;
        std::string summary;
        std::string refusal;
    } table[] = {
        {{"--no-progress"}, -1, false, "", ""},
        {{"--summary-json", "s.json"}, -1, true, "s.json", ""},
        {{"--summary-json=/tmp/a b.json", "--no-progress"}, -1, false, "/tmp/a b.json", ""},
        {{"--summary-json", "--no-progress"}, -1, true, "--no-progress", ""},  // a value, as given
        {{"--summary-json"}, 2, true, "", "a file name must follow '--summary-json'"},
        {{"--summary-json="}, 2, true, "", "an empty file name after '--summary-json='"},
        {{"--summary-json", ""}, 2, true, "", "an empty file name after '--summary-json'"},
        {{"--no-progress", "--no-progress"}, 2, true, "", "unexpected argument '--no-progress'"},
        {{"--summary-json", "a", "--summary-json", "b"}, 2, true, "", "unexpected argument '--summary-json'"},
        {{"--no-progress", "--help"}, 2, true, "", "unexpected argument '--help'"},
        {{"--progress"}, 2, true, "", "unexpected argument '--progress'"},
    };
    for (const auto& c : table) {
        std::vector<const char*> argv = {"Trevalon"};
        for (const std::string& arg : c.args) argv.push_back(arg.c_str());
        std::ostringstream out, err;
        ScanOptions options;
        const auto answer = answerCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, &options);
        EXPECT_EQ(out.str(), "") << describe(c.args);
        if (c.exitCode < 0) {
            EXPECT_FALSE(answer.has_value()) << describe(c.args) << err.str();
            EXPECT_EQ(options.progress, c.progress) << describe(c.args);
            EXPECT_EQ(options.summaryJsonPath, c.summary) << describe(c.args);
            EXPECT_EQ(err.str(), "") << describe(c.args);
        } else {
            ASSERT_TRUE(answer.has_value()) << describe(c.args);
            EXPECT_EQ(*answer, c.exitCode) << describe(c.args);
            EXPECT_TRUE(contains(err.str(), c.refusal)) << describe(c.args) << "\n" << err.str();
        }
    }
}

}  // namespace
}  // namespace Testing
}  // namespace Trevalon
