// Fixtures for the catalogue tests: a temporary folder with a node
// configuration of its own (VAULT_NODE_CONFIG points at it) and helpers that
// lay out hand-made storage trees.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace CatalogueTest {

// The keys of one label file, written as KEY=VALUE lines in this order.
using Label = std::vector<std::pair<std::string, std::string>>;

// A label of a task with every key.
Label fullLabel(const std::string& computerGuid, const std::string& computerName, const std::string& taskGuid,
                const std::string& taskName, const std::string& poolGuid);

class TempFolder {
public:
    // Below `base`, or the system's temporary folder when it is empty.
    explicit TempFolder(const std::string& base = std::string());
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A memory-backed temporary folder (/dev/shm) when there is one, else the
// system's: for tests that make or change many folders and must not wait on
// a busy disk.
std::string memoryTempBase();

// Creates the folder and its parents.
void makeFolders(const std::string& folder);
void writeFile(const std::string& path, const std::string& content);
void writeLabel(const std::string& path, const Label& label);

// A temporary folder whose node.conf becomes the process's node
// configuration, with `storage/` below it as Mount_0.
class StorageFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Rewrites node.conf: [local] Mount_<i> = mounts[i], plus extra lines.
    void configureMounts(const std::vector<std::string>& mounts, const std::string& extra = std::string());
    std::string storage() const { return folder_->path() + "/storage"; }

    std::unique_ptr<TempFolder> folder_;
    std::string configFile_;
};

}  // namespace CatalogueTest
