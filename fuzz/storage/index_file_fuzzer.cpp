// Feeds bytes as a pool index file, verifies it in full and reads its entries.
#include <cstdint>
#include <stdexcept>

#include "FuzzFile.h"
#include "IndexFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = FuzzFile::folder() + "pool.vix";
    FuzzFile::write(path, data, size);
    try {
        IndexFileBase file;
        file.open(path, 1, 1);
        if (file.getPhysicalSize() != size) __builtin_trap();
        file.verify(true);
        // A verified file holds exactly what its header declares.
        const uint64_t count = file.entryCount();
        if (512 + 32 * count + 4 * ((count + 2047) / 2048) != size) __builtin_trap();
        const auto entries = file.readEntries(0, static_cast<size_t>(count));
        for (size_t i = 1; i < entries.size(); ++i) {
            const bool ordered = entries[i - 1].safesetNumber < entries[i].safesetNumber ||
                                 (entries[i - 1].safesetNumber == entries[i].safesetNumber &&
                                  entries[i - 1].recordId < entries[i].recordId);
            if (!ordered) __builtin_trap();
        }
        file.close(true);
    } catch (const std::exception&) {
    }
    return 0;
}
