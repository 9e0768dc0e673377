#include "VaultRoot.h"

#include <filesystem>
#include <stdexcept>
#include <vector>

#include <unistd.h>

#include "VaultFiles.h"

namespace fs = std::filesystem;

namespace VaultAdmin {

const char* const kIncompleteMarker = ".incomplete";

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// True for the names a build leaves in DIR (node.conf and catalogue.db with
// their temporary and journal companions).
bool isBuildOutput(const std::string& name) {
    return startsWith(name, "node.conf") || startsWith(name, "catalogue.db") || name == "storage" ||
           name == "locks" || name == "spool" || name == "vault.json" || name == kIncompleteMarker;
}

std::string listOf(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size() && i < 5; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > 5) text += ", ...";
    return text;
}

}  // namespace

VaultPaths::VaultPaths(const std::string& folder) {
    if (folder.empty()) throw std::invalid_argument("the vault folder must not be empty");
    fs::path absolute = fs::absolute(folder).lexically_normal();
    root = absolute.string();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    nodeConfig = root + "/node.conf";
    catalogue = root + "/catalogue.db";
    storage = root + "/storage";
    locks = root + "/locks";
    description = root + "/vault.json";
    marker = root + "/" + kIncompleteMarker;
}

void beginBuild(const VaultPaths& paths, bool force) {
    std::error_code error;
    const fs::file_status status = fs::status(paths.root, error);
    if (fs::exists(status)) {
        if (!fs::is_directory(status)) throw std::runtime_error(paths.root + ": exists and is not a folder");
        std::vector<std::string> present, foreign;
        for (const fs::directory_entry& entry : fs::directory_iterator(paths.root)) {
            const std::string name = entry.path().filename().string();
            present.push_back(name);
            if (!isBuildOutput(name)) foreign.push_back(name);
        }
        if (!present.empty() && !force)
            throw std::runtime_error(paths.root + ": the folder is not empty (holds " + listOf(present) +
                                     "); use --force to rebuild a vault there");
        if (!foreign.empty())
            throw std::runtime_error(paths.root + ": holds files a vault build does not write (" + listOf(foreign) +
                                     "); refusing to replace it");
    } else {
        fs::create_directories(paths.root);
    }
    // The marker goes first, so that a build stopped anywhere after this point
    // is recognisable as incomplete.
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    std::unique_ptr<VaultFiles::WritableFile> marker =
        files.openWritable(paths.marker, VaultFiles::WriteMode::Truncate, VaultFiles::Links::Refuse);
    marker->append("vault build in progress (process " + std::to_string(::getpid()) +
                   "); a vault holding this file is incomplete\n");
    marker->sync();
    marker->close();
    files.syncFolder(paths.root);
    for (const fs::directory_entry& entry : fs::directory_iterator(paths.root)) {
        const std::string name = entry.path().filename().string();
        if (name != kIncompleteMarker && name != "locks") fs::remove_all(entry.path());
    }
    files.syncFolder(paths.root);
}

namespace {

// A file whose sync() only hands its bytes to the system.
class UnsyncedFile final : public VaultFiles::WritableFile {
public:
    explicit UnsyncedFile(std::unique_ptr<VaultFiles::WritableFile> file) : file_(std::move(file)) {}
    const std::string& path() const override { return file_->path(); }
    void append(const void* data, size_t size) override { file_->append(data, size); }
    void writeAt(uint64_t offset, const void* data, size_t size) override { file_->writeAt(offset, data, size); }
    void flush() override { file_->flush(); }
    void resize(uint64_t size) override { file_->resize(size); }
    void sync() override { file_->flush(); }
    void close() override { file_->close(); }

private:
    std::unique_ptr<VaultFiles::WritableFile> file_;
};

}  // namespace

std::unique_ptr<VaultFiles::WritableFile> BuildFileSystem::openWritable(const std::string& path,
                                                                        VaultFiles::WriteMode mode,
                                                                        VaultFiles::Links links, unsigned permissions) {
    return std::unique_ptr<VaultFiles::WritableFile>(
        new UnsyncedFile(target().openWritable(path, mode, links, permissions)));
}

void BuildFileSystem::syncFolder(const std::string& /*folder*/) {}

void finishBuild(const VaultPaths& paths) {
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    files.syncFileSystem(paths.root);
    files.remove(paths.marker);
    files.syncFolder(paths.root);
}

void requireCompleteVault(const std::string& nodeConfigPath) {
    if (nodeConfigPath.empty())
        throw std::runtime_error("no vault given: pass --config DIR/node.conf or set VAULT_NODE_CONFIG");
    std::error_code error;
    if (!fs::is_regular_file(nodeConfigPath, error))
        throw std::runtime_error(nodeConfigPath + ": no such node configuration file");
    const fs::path folder = fs::absolute(nodeConfigPath).parent_path();
    if (fs::exists(folder / kIncompleteMarker, error))
        throw std::runtime_error(folder.string() + ": the vault is incomplete (its build did not finish); rebuild it "
                                                   "with --force");
}

}  // namespace VaultAdmin
