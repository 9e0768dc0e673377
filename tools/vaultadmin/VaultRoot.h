// The vault folder DIR that `build`, `demo` and `generate` fill, and the
// marker that keeps a half-built vault from looking complete.
//
// A build writes DIR/.incomplete first (flushed to disk) and removes it last,
// after everything else is on disk. Every command that acts on a vault refuses
// one whose folder still holds the marker. A build refuses an existing
// non-empty DIR unless forced; even when forced it only replaces a folder that
// holds nothing but what a build writes, so it never deletes a user's files.
// Lock files in DIR/locks are kept across a forced rebuild: a process may be
// holding one, and replacing the file would let a second holder in.
#pragma once

#include <string>

#include "VaultFiles.h"

namespace VaultAdmin {

extern const char* const kIncompleteMarker;  // ".incomplete"

// The folder names a build writes below DIR.
struct VaultPaths {
    explicit VaultPaths(const std::string& root);
    std::string root;        // absolute, no trailing '/'
    std::string nodeConfig;  // DIR/node.conf
    std::string catalogue;   // DIR/catalogue.db
    std::string storage;     // DIR/storage (the storage root, Mount_0)
    std::string locks;       // DIR/locks
    std::string description; // DIR/vault.json (written by demo)
    std::string marker;      // DIR/.incomplete
};

// Makes DIR ready for a build and writes the marker. Creates DIR (and its
// parents) when missing. An existing non-empty DIR is refused unless `force`;
// with `force` DIR must hold only what a build writes (else refused, listing
// what is in the way) and the earlier vault's files are removed.
void beginBuild(const VaultPaths& paths, bool force);

// The file system a build writes the vault's storage through: the real one,
// except that a file's or folder's own flush to disk is left out. Files are
// still replaced only when complete (unique temporary name, rename); the
// marker keeps the half-built vault from being used, and finishBuild flushes
// the whole file system once before the marker goes.
class BuildFileSystem final : public VaultFiles::FileSystemWrapper {
public:
    BuildFileSystem() : FileSystemWrapper(VaultFiles::FileSystem::real()) {}
    std::unique_ptr<VaultFiles::WritableFile> openWritable(const std::string& path, VaultFiles::WriteMode mode,
                                                           VaultFiles::Links links,
                                                           unsigned permissions = 0644) override;
    void syncFolder(const std::string& folder) override;
};

// Flushes the whole vault to disk (one sync of its file system) and removes
// the marker.
void finishBuild(const VaultPaths& paths);

// Throws when the vault whose node configuration is `nodeConfigPath` is
// missing or still marked incomplete.
void requireCompleteVault(const std::string& nodeConfigPath);

}  // namespace VaultAdmin
