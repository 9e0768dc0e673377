// Feeds bytes as a synchronisation file and reads every entry.
#include <cstdint>
#include <stdexcept>

#include "FuzzFile.h"
#include "VSynchSetWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = FuzzFile::folder() + "synchset.vss";
    FuzzFile::write(path, data, size);
    try {
        const VSynchFiles::FileContents contents = VSynchFiles::readFile(path);
        size_t total = 0;
        for (const VSynchEntry& e : contents.entries) total += e.fileName.GetName().size() + e.peripheral;
        (void)total;
    } catch (const std::runtime_error&) {
        // a clear error is the expected answer to bad bytes
    }
    return 0;
}
