#include "CatalogueTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace CatalogueTest {

Label fullLabel(const std::string& computerGuid, const std::string& computerName, const std::string& taskGuid,
                const std::string& taskName, const std::string& poolGuid) {
    return {{"TASK_GUID", taskGuid},
            {"TASK_NAME", taskName},
            {"COMPUTER_GUID", computerGuid},
            {"COMPUTER", computerName},
            {"POOL_GUID", poolGuid}};
}

std::string memoryTempBase() {
    const char* const shm = "/dev/shm";
    return ::access(shm, W_OK | X_OK) == 0 ? std::string(shm) : std::string();
}

TempFolder::TempFolder(const std::string& base) {
    const std::filesystem::path folder = base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
    std::string pattern = (folder / "catalogue-test-XXXXXX").string();
    if (::mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Unreadable folders left by a test must still go.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

void makeFolders(const std::string& folder) { std::filesystem::create_directories(folder); }

void writeFile(const std::string& path, const std::string& content) {
    makeFolders(std::filesystem::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void writeLabel(const std::string& path, const Label& label) {
    std::string text;
    for (const auto& entry : label) text += entry.first + "=" + entry.second + "\n";
    writeFile(path, text);
}

void StorageFixture::SetUp() {
    folder_ = std::make_unique<TempFolder>();
    configFile_ = folder_->path() + "/node.conf";
    makeFolders(storage());
    configureMounts({storage()});
    ::setenv("VAULT_NODE_CONFIG", configFile_.c_str(), 1);
}

void StorageFixture::TearDown() {
    ::unsetenv("VAULT_NODE_CONFIG");
    folder_.reset();
}

void StorageFixture::configureMounts(const std::vector<std::string>& mounts, const std::string& extra) {
    std::string text = "[node]\nHostName=catalogue-node\n[database]\nPlugin=NoSuchPlugin\n[local]\n";
    for (size_t i = 0; i < mounts.size(); ++i) text += "Mount_" + std::to_string(i) + "=" + mounts[i] + "\n";
    text += extra;
    writeFile(configFile_, text);
}

}  // namespace CatalogueTest
