#include "InterfaceFixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "Catalogue/CShMDBHelper.h"

namespace InterfaceTest {

const char* const kHostName = "interface-node";

namespace {

std::string root;
std::string account = "Acme-Corp";

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void writeConfig() {
    std::string text = std::string("[node]\nHostName=") + kHostName + "\n[database]\nPlugin=NoSuchPlugin\n[local]\n";
    for (int i = 0; i < 5; ++i) text += "Mount_" + std::to_string(i) + "=" + root + "/storage/m" + std::to_string(i) + "\n";
    text += "VaultUser=alice\nVaultPassword=secret\n";
    if (!account.empty()) text += "VaultAccount=" + account + "\n";
    writeFile(root + "/node.conf", text);
}

void label(int mount, const std::string& lines) {
    writeFile(root + "/storage/m" + std::to_string(mount) + "/task/TaskLabel.cfg", lines);
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenlith-interfaces-XXXXXX").string();
        if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
        root = pattern;
        writeConfig();
        ::setenv("VAULT_NODE_CONFIG", (root + "/node.conf").c_str(), 1);
        label(0, "TASK_GUID=T1\nTASK_NAME=Docs\nCOMPUTER_GUID=C-one\nCOMPUTER=one\nPOOL_GUID=Pool-A\n");
        label(1, "TASK_GUID=T2\nTASK_NAME=Mail\nCOMPUTER_GUID=C-one\nCOMPUTER=other\n");
        label(2, "TASK_GUID=T3\nTASK_NAME=Photos\nCOMPUTER_GUID=C-two\n");
        label(3, "TASK_GUID=T4\nTASK_NAME=Ledger\nCOMPUTER_GUID=C-three\nCOMPUTER=three\nPOOL_GUID=pool-b\n");
        label(4, "TASK_GUID=T5\nTASK_NAME=Loose\n");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new Environment);

}  // namespace

std::string storageRoot() { return root + "/storage"; }

std::string taskFolder(int n) { return root + "/storage/m" + std::to_string(n - 1) + "/task/"; }

void setVaultAccount(const std::string& value) {
    account = value;
    writeConfig();
}

void refreshCatalogue() {
    CShMDBHelper& catalogue = CShMDBHelper::instance();
    const uint64_t next = catalogue.passCount() + 1;
    catalogue.requestRefresh();
    if (!catalogue.waitForPassCount(next, 30000)) throw std::runtime_error("the catalogue did not refresh");
}

}  // namespace InterfaceTest
