// Feeds bytes as a file-list container, opens it and reads every record.
#include <cstdint>
#include <stdexcept>

#include "Carrowen/Carrowen.h"
#include "FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = FuzzFile::folder() + "container.vfl";
    FuzzFile::write(path, data, size);
    try {
        Carrowen::FileListContainer2 container;
        container.open(path, 1, 1);
        Carrowen::FileListRecord record;
        unsigned marked = 0;
        Carrowen::FileListPosition position = container.first(record);
        while (position != container.end()) {
            marked += record.markerFlag() != 0;
            if (++position.recordId == container.recordIdUpperBound()) break;
            container.reader().setPosition(position.recordId);
            if (container.reader().read(record) != 1) break;
        }
        // Reads outside the range must be refused, not served.
        if (container.readRecord(container.recordIdUpperBound(), record) != 0) __builtin_trap();
        if (container.recordIdLowerBound() > 0 && container.readRecord(container.recordIdLowerBound() - 1, record) != 0)
            __builtin_trap();
        (void)marked;
    } catch (const std::exception&) {
    }
    return 0;
}
