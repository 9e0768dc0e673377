// Writes the seed corpora of the storage fuzzers with the storage writers:
//   write_seeds <fuzz/corpus folder>
#include <cstdio>
#include <string>

#include "Carrowen/Writers.h"
#include "StorageCodec.h"
#include "VaultFiles.h"
#include "VSynchSetWriter.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::string root = std::string(argv[1]) + "/";
    try {
        const std::string synch = root + "synch_file_fuzzer/";
        VaultFiles::makeFolders(synch);
        const std::vector<VSynchEntry> entries = {{1, 0, VFileName("00000001.vfl")},
                                                  {5, 0x40000, VFileName("00000005.vfl")},
                                                  {9, 0x3, VFileName("")}};
        VSynchFiles::writeFile(synch + "current.vss", entries, VSynchFiles::Format::Current);
        VSynchFiles::writeFile(synch + "older.vss", entries, VSynchFiles::Format::Older);
        VSynchFiles::writeFile(synch + "empty.vss", {}, VSynchFiles::Format::Current);

        const std::string list = root + "sync_list_fuzzer/";
        VaultFiles::makeFolders(list);
        Carrowen::writeSyncList(list + "three.vsl",
                                {{1, "8.31", "00000001.vfl"}, {2, "8.40", "00000002.vfl"}, {3, "", "00000003.vfl"}});
        Carrowen::writeSyncList(list + "empty.vsl", {});

        const std::string container = root + "file_list_container_fuzzer/";
        VaultFiles::makeFolders(container);
        Carrowen::writeFileListContainer(container + "empty.vfl", 0, 0, nullptr);
        Carrowen::writeFileListContainer(container + "one.vfl", 7, 1, [](uint32_t) { return true; });
        Carrowen::writeFileListContainer(container + "some-marked.vfl", 100, 20,
                                         [](uint32_t id) { return id % 5 == 0; });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "write_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
