// Fuzzer helper: a scratch folder for the whole run, and writing one input as
// a file at a path inside it (the readers under test read real files).
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "StorageCodec.h"
#include "VaultFiles.h"

namespace FuzzFile {

// The run's scratch folder, ending in '/'.
inline const std::string& folder() {
    static const std::string path = [] {
        char pattern[] = "/tmp/vault-storage-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        return std::string(pattern) + "/";
    }();
    // The scratch folder goes when the run ends (libFuzzer exits normally).
    static const bool cleanupRegistered = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder(), ignored);
    }) == 0;
    (void)cleanupRegistered;
    return path;
}

inline void write(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::fclose(f);
        throw std::runtime_error("cannot write " + path);
    }
    std::fclose(f);
}

}  // namespace FuzzFile
