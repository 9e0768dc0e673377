// The scrub record and journal readers on any bytes: never a crash, and a
// record that reads is written back to a text that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "PoolScrub/ScrubRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    PoolScrub::Record record;
    try {
        record = PoolScrub::parseRecord(text);
        const std::string again = PoolScrub::formatRecord(record);
        if (PoolScrub::formatRecord(PoolScrub::parseRecord(again)) != again) std::abort();
    } catch (const std::runtime_error&) {
        // Refused: the scrub then verifies every pool again.
    }
    // The same bytes as a journal of the record's generation.
    const std::string journal = PoolScrub::formatJournalHeader(record.generation) + text;
    std::string problem;
    const size_t applied = PoolScrub::applyJournal(journal, record, problem);
    if (applied > size) std::abort();
    return 0;
}
