// Helpers for the storage tests: a temporary folder removed afterwards, whole
// file reads and writes, a node configuration of the test's own, a task
// record whose files lie in a temporary folder, and the damaged-file checks
// every reader's test shares.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "DataObjects/DataObjects.h"

namespace StorageTest {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vault-storage-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path_ = std::string(pattern) + "/";
    }
    ~TempFolder() {
        nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Ends in '/'.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Points VAULT_NODE_CONFIG at a file in `folder` holding `contents`.
inline void useNodeConfig(const TempFolder& folder, const std::string& contents) {
    const std::string path = folder.path() + "node.conf";
    writeBytes(path, contents);
    setenv("VAULT_NODE_CONFIG", path.c_str(), 1);
}

inline DataObjects::TaskDataObject makeTask(const std::string& taskFolder, const std::string& guid = "task-guid-1",
                                            uint32_t id = 7) {
    DataObjects::TaskDataObject task;
    task.id = id;
    task.name = "nightly";
    task.guid = guid;
    task.poolGuid = "pool-guid-1";
    task.taskFolder = taskFolder;
    return task;
}

// One damaged file for a reader: its bytes and a text the error must hold.
struct DamageCase {
    const char* name;
    std::string bytes;
    const char* expectedText;
};

// `bytes` with the bits of `mask` inverted in the byte at `offset`.
inline std::string withFlippedBits(std::string bytes, size_t offset, unsigned char mask) {
    bytes[offset] = static_cast<char>(bytes[offset] ^ mask);
    return bytes;
}

// Expects `read` to raise a std::runtime_error whose text starts with `path`
// and holds `expectedText`.
template <typename Read>
void expectRejectedNamingFile(const std::string& caseName, const std::string& path, const std::string& expectedText,
                              Read read) {
    try {
        read();
        ADD_FAILURE() << caseName << ": read";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_EQ(0u, text.find(path)) << caseName << ": " << text;
        EXPECT_NE(std::string::npos, text.find(expectedText)) << caseName << ": " << text;
    }
}

}  // namespace StorageTest
