// cataloguequery: what it prints for hostile names, and the program's exit
// codes on a hand-made node with the Quenlith plug-in.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "CatalogueWalk.h"

namespace {

using CatalogueQuery::CatalogueView;

TEST(CatalogueQueryOutput, ControlCharactersAndBackslashesNeverReachTheTerminalRaw) {
    const struct {
        const char* name;
        const char* printed;
    } cases[] = {
        {"plain name", "plain name"},
        {"two\nlines", "two\\x0alines"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"back\\slash", "back\\x5cslash"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},  // bytes of 0x80 and above are text
    };
    for (const auto& c : cases) {
        CatalogueView view;
        CatalogueQuery::ComputerView computer;
        computer.id = 1;
        computer.name = c.name;
        view.computers.push_back(computer);
        std::ostringstream out;
        CatalogueQuery::printCatalogue(view, out);
        EXPECT_NE(out.str().find(std::string("  computer ") + c.printed + " (id 1"), std::string::npos) << out.str();
    }
}

struct QueryRun {
    int exitCode;
    std::string output;
};

QueryRun runQuery(const std::string& arguments, const std::string& folder) {
    const char* bin = std::getenv("VAULT_BIN_DIR");
    const std::string command = std::string("'") + (bin ? bin : ".") + "/cataloguequery' " + arguments + " > '" +
                                folder + "/out' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(folder + "/out");
    std::stringstream text;
    text << in.rdbuf();
    return QueryRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

TEST(CatalogueQueryProgram, ExitCodesAndWhatItPrints) {
    std::string pattern = (std::filesystem::temp_directory_path() / "cataloguequery-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    const std::string folder = pattern;
    std::filesystem::create_directories(folder + "/storage/t");
    std::ofstream(folder + "/storage/t/TaskLabel.cfg")
        << "TASK_GUID=T1\nTASK_NAME=Docs\nCOMPUTER_GUID=C1\nCOMPUTER=desk\nPOOL_GUID=P1\n";
    std::ofstream(folder + "/node.conf") << "[node]\nHostName=query-node\n[database]\nPlugin=Quenlith\n[local]\nMount_0="
                                         << folder << "/storage\n";
    std::ofstream(folder + "/missing.conf") << "[database]\nPlugin=NoSuchPlugin\n";

    const QueryRun good = runQuery("--config '" + folder + "/node.conf'", folder);
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_NE(good.output.find("  computer desk (id 1, guid C1)\n    task Docs (guid T1) folder " + folder +
                               "/storage/t/\n"),
              std::string::npos)
        << good.output;
    EXPECT_NE(good.output.find("  pool P1 folder " + folder + "/storage/t/\n"), std::string::npos);
    EXPECT_NE(good.output.find("storage group SSG01"), std::string::npos);
    EXPECT_NE(good.output.find("not served by this plug-in: getCustomers"), std::string::npos);

    const QueryRun missing = runQuery("--config '" + folder + "/missing.conf'", folder);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("NoSuchPlugin"), std::string::npos) << missing.output;

    EXPECT_EQ(runQuery("--no-such-option", folder).exitCode, 2);

    // Output that cannot be written is a failure, not a silent success.
    const char* bin = std::getenv("VAULT_BIN_DIR");
    const std::string full = std::string("'") + (bin ? bin : ".") + "/cataloguequery' --config '" + folder +
                             "/node.conf' > /dev/full 2>/dev/null";
    const int status = std::system(full.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4) << status;

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
