// Reading a whole sync list for a read-modify-write.
#include "Carrowen/Writers.h"

#include <stdexcept>

#include "PoolFileFormats.h"
#include "VaultFiles.h"

namespace Carrowen {

std::vector<SyncListEntryData> readSyncList(const std::string& path) {
    std::string bytes;
    if (!VaultFiles::readWholeFile(path, Format::kSyncListMaximumFileSize, bytes, VaultFiles::Links::Refuse))
        throw std::runtime_error(path + ": sync list not found");
    return Format::decodeSyncList(bytes, path);
}

}  // namespace Carrowen
