#include "PluginFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "VaultLog.h"

namespace QuenlithTest {
namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void PluginFixture::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenlith-plugin-XXXXXX").string();
    ASSERT_NE(::mkdtemp(&pattern[0]), nullptr);
    root_ = pattern;
    std::string config = "[node]\nHostName=plugin-node\nTraceLevel=1\n[database]\nPlugin=Quenlith\nVaultID=plugin-vault\n[local]\n";
    for (int i = 0; i < 3; ++i) config += "Mount_" + std::to_string(i) + "=" + root_ + "/storage/m" + std::to_string(i) + "\n";
    writeFile(root_ + "/node.conf", config);
    ::setenv("VAULT_NODE_CONFIG", (root_ + "/node.conf").c_str(), 1);
    writeFile(labelPath(1), "TASK_GUID=T-1\nTASK_NAME=Docs\nCOMPUTER_GUID=C-1\nCOMPUTER=desk\nPOOL_GUID=P-1\n");
    writeFile(labelPath(2), "TASK_GUID=T-2\nTASK_NAME=Mail\nCOMPUTER_GUID=C-1\nPOOL_GUID=P-2\n");
    writeFile(labelPath(3), "TASK_GUID=T-3\nTASK_NAME=Photos\nCOMPUTER_GUID=C-2\nCOMPUTER=laptop\nPOOL_GUID=P-3\n");
    batutil_LogOpen(root_.c_str(), "plugin-test", 0, 0, false);
}

void PluginFixture::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string PluginFixture::taskFolder(int n) const {
    return root_ + "/storage/m" + std::to_string(n - 1) + "/task/";
}

std::string PluginFixture::labelPath(int n) const { return taskFolder(n) + "TaskLabel.cfg"; }

std::string PluginFixture::logText() const {
    std::ifstream in(root_ + "/plugin-test.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string PluginFixture::pluginPath() const {
    const char* folder = std::getenv("VAULT_PLUGIN_DIR");
    return std::string(folder != nullptr ? folder : ".") + "/libQuenlith.so";
}

}  // namespace QuenlithTest
