#include "FileDamage.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "VaultFiles.h"

namespace VaultAdmin {

void truncateFile(const std::string& path, uint64_t size) {
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    std::unique_ptr<VaultFiles::WritableFile> file =
        files.openWritable(path, VaultFiles::WriteMode::Existing, VaultFiles::Links::Follow);
    const uint64_t length = files.status(path, VaultFiles::Links::Follow).size;
    if (size > length)
        throw std::runtime_error(path + ": cannot truncate to " + std::to_string(size) + " bytes, the file has only " +
                                 std::to_string(length));
    file->resize(size);
    file->sync();
    file->close();
}

void flipBytes(const std::string& path, uint64_t offset, uint64_t count) {
    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real();
    std::unique_ptr<VaultFiles::ReadableFile> in = files.openReadable(path, VaultFiles::Links::Follow);
    std::unique_ptr<VaultFiles::WritableFile> out =
        files.openWritable(path, VaultFiles::WriteMode::Existing, VaultFiles::Links::Follow);
    const uint64_t size = in->status().size;
    if (count == 0) throw std::runtime_error(path + ": nothing to flip (count 0)");
    if (offset >= size || count > size - offset)
        throw std::runtime_error(path + ": bytes " + std::to_string(offset) + " to " +
                                 std::to_string(offset + count - 1) + " lie beyond the end of the file (" +
                                 std::to_string(size) + " bytes)");
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(count, 1 << 20)));
    for (uint64_t done = 0; done < count;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(buffer.size(), count - done));
        if (in->readAt(offset + done, buffer.data(), chunk) != chunk)
            throw std::runtime_error(path + ": the file shrank while it was being changed");
        for (size_t i = 0; i < chunk; ++i) buffer[i] = static_cast<char>(~buffer[i]);
        out->writeAt(offset + done, buffer.data(), chunk);
        done += chunk;
    }
    out->sync();
    out->close();
}

}  // namespace VaultAdmin
