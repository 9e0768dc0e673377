// Feeds bytes as a file-list container, opens it, reads every record and
// checks that the block search for a marked record agrees with the walk.
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
        uint32_t firstMarked = container.recordIdUpperBound();
        Carrowen::FileListPosition position = container.first(record);
        while (position != container.end()) {
            marked += record.markerFlag() != 0;
            if (record.markerFlag() != 0 && firstMarked == container.recordIdUpperBound())
                firstMarked = position.recordId;
            if (++position.recordId == container.recordIdUpperBound()) break;
            container.reader().setPosition(position.recordId);
            if (container.reader().read(record) != 1) break;
        }
        // Reads outside the range must be refused, not served.
        if (container.readRecord(container.recordIdUpperBound(), record) != 0) __builtin_trap();
        if (container.recordIdLowerBound() > 0 && container.readRecord(container.recordIdLowerBound() - 1, record) != 0)
            __builtin_trap();
        (void)marked;
        // The block search must answer what the walk saw.
        if (container.findMarkedRecord(container.recordIdLowerBound()) != firstMarked) __builtin_trap();
    } catch (const std::exception&) {
    }
    return 0;
}
