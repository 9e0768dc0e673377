// A file system for tests that fails chosen calls of the real one: a disk
// that fills after N bytes, an fsync or rename that fails, a file that ends
// earlier than its size said. Everything not armed is passed through.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "VaultFiles.h"

namespace VaultFilesTesting {

enum class Fault {
    Open,        // openReadable / openWritable fail
    Write,       // writes fail once the file would pass `afterBytes` bytes
    Sync,        // WritableFile::sync fails
    Close,       // WritableFile::close closes, then reports the failure
    Rename,      // rename fails (matched on either name)
    Remove,      // remove fails
    SyncFolder,  // syncFolder fails
    MakeFolder,  // makeFolder fails
    ShortRead,   // reads see the file end at `afterBytes`
};

class FaultInjectingFileSystem final : public VaultFiles::FileSystemWrapper {
public:
    explicit FaultInjectingFileSystem(VaultFiles::FileSystem& target = VaultFiles::FileSystem::real())
        : FileSystemWrapper(target) {}

    // Arms `fault` for every path that contains `pathPart` ("" matches every
    // path); the failing call reports `error` (an errno value).
    void inject(Fault fault, const std::string& pathPart, int error, uint64_t afterBytes = 0);
    void clear();
    // How often `fault` fired.
    int hits(Fault fault) const;

    // Used by the wrapped files.
    bool armed(Fault fault, const std::string& path, int& error, uint64_t& afterBytes);
    void fired(Fault fault);

    std::unique_ptr<VaultFiles::ReadableFile> openReadable(const std::string& path, VaultFiles::Links links) override;
    std::unique_ptr<VaultFiles::WritableFile> openWritable(const std::string& path, VaultFiles::WriteMode mode,
                                                           VaultFiles::Links links,
                                                           unsigned permissions = 0644) override;
    void rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
    void syncFolder(const std::string& folder) override;
    bool makeFolder(const std::string& folder) override;

private:
    struct Armed {
        Fault fault;
        std::string pathPart;
        int error;
        uint64_t afterBytes;
    };
    void failIfArmed(Fault fault, const std::string& operation, const std::string& path);

    mutable std::mutex mutex_;
    std::vector<Armed> armed_;
    std::map<Fault, int> hits_;
};

}  // namespace VaultFilesTesting
