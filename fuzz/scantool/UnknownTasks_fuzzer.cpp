// Feeds arbitrary bytes to the unknown-task list readers: the file read in
// blocks (as a run reads it) and the text read at once must give the same
// list, and no key or value may pass the bounded field length.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ResultFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/unknowntasks-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    // Registered once `path` exists, so it runs before `path` is destroyed.
    static const bool cleanupRegistered = std::atexit([] { unlink(path.c_str()); }) == 0;
    (void)cleanupRegistered;
    const std::string text(reinterpret_cast<const char*>(data), size);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);

    const Trevalon::UnknownTaskList fromFile = Trevalon::loadUnknownTaskList(path);
    const Trevalon::UnknownTaskList fromText = Trevalon::parseUnknownTaskList(text);
    if (fromFile != fromText) std::abort();
    for (const auto& entry : fromFile) {
        if (entry.first.size() > Trevalon::kMaxFieldLength || entry.second.size() > Trevalon::kMaxFieldLength) {
            std::abort();
        }
    }
    return 0;
}
