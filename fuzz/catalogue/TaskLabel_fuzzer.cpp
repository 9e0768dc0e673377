// Any bytes as task label files: the reader must agree with the parser, and
// the tables the labels fill must answer every look-up as a walk through
// them in order would. The input is one label file as read from disk, then
// split at "\n--\n" into the labels of consecutive task folders.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "Catalogue/CatalogueTables.h"
#include "Catalogue/StorageScanner.h"
#include "VaultUtilities.h"

namespace {

using Catalogue::CatalogueTables;

const std::string& scratchFile() {
    static const std::string path = [] {
        char pattern[] = "/tmp/task-label-fuzzer-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd < 0) std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(scratchFile().c_str()); });
        return std::string(pattern);
    }();
    return path;
}

void checkReaderAgreesWithParser(const std::string& text) {
    const int fd = ::open(scratchFile().c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0) std::abort();
        done += static_cast<size_t>(wrote);
    }
    ::close(fd);
    VaultUtilities::ConfigGroup label;
    std::string problem;
    const bool read = Catalogue::readTaskLabelFile(scratchFile(), label, problem);
    if (text.size() > Catalogue::kMaxLabelBytes) {
        if (read || problem.empty()) std::abort();
        return;
    }
    if (!read || label.entries() != VaultUtilities::ConfigFilePersistManager::parse(text).entries()) std::abort();
}

void checkLookUps(const CatalogueTables& t, const std::string& g) {
    uint32_t computerId = 0, byTask = 0;
    std::string taskName, folder;
    for (size_t c = 0; c < t.computerTable().size(); ++c) {
        if (computerId == 0 && t.computerTable()[c].computerGuid == g) computerId = static_cast<uint32_t>(c + 1);
        for (const auto& ref : t.computerTable()[c].tasks) {
            if (byTask == 0 && ref.taskGuid == g) {
                byTask = static_cast<uint32_t>(c + 1);
                taskName = ref.taskName;
            }
        }
    }
    for (const auto& entry : t.taskFolderTable())
        if (folder.empty() && entry.taskGuid == g) folder = entry.taskFolder;
    std::string name = g;
    for (const auto& entry : t.computerNameTable())
        if (entry.computerGuid == g) {
            name = entry.computerName;
            break;
        }
    const Catalogue::PoolEntry* pool = nullptr;
    for (const auto& entry : t.poolTable())
        if (Catalogue::upperCased(entry.poolGuid) == Catalogue::upperCased(g)) {
            pool = &entry;
            break;
        }
    if (t.getComputerIdByGuid(g) != computerId || t.getComputerIdByTaskGuid(g) != byTask ||
        t.getTaskNameByGuid(g) != taskName || t.getFirstTaskFolder(g) != folder || t.getComputerNameByGuid(g) != name ||
        t.findPool(g) != pool)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkReaderAgreesWithParser(text);

    CatalogueTables tables;
    std::vector<std::string> guids;
    size_t start = 0;
    for (int folder = 0; start <= text.size(); ++folder) {
        size_t end = text.find("\n--\n", start);
        if (end == std::string::npos) end = text.size();
        const auto label = VaultUtilities::ConfigFilePersistManager::parse(text.substr(start, end - start));
        Catalogue::applyTaskLabel(label, "/m/" + std::to_string(folder), tables);
        for (const auto& entry : label.entries()) guids.push_back(entry.second);
        start = end + 4;
    }
    tables.finish();
    guids.push_back("");
    for (const std::string& g : guids) checkLookUps(tables, g);
    for (const auto& entry : tables.taskFolderTable())
        if (entry.taskFolder.empty() || entry.taskFolder.back() != '/') std::abort();
    for (size_t c = 0; c < tables.computerTable().size(); ++c)
        if (tables.getComputerIdByGuid(tables.computerTable()[c].computerGuid) != c + 1) std::abort();
    return 0;
}
