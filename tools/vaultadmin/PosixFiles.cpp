#include "PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace VaultAdmin {
namespace PosixFiles {
namespace {

[[noreturn]] void throwErrno(const std::string& what, const std::string& path) {
    const int error = errno;
    throw std::runtime_error(path + ": " + what + " failed: " + std::strerror(error));
}

// An open descriptor, closed on every way out.
class FileDescriptor final {
public:
    FileDescriptor(const std::string& path, int flags, mode_t mode = 0) : path_(path) {
        do {
            fd_ = ::open(path.c_str(), flags | O_CLOEXEC, mode);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throwErrno("open", path);
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void sync() const {
        if (::fsync(fd_) != 0) throwErrno("fsync", path_);
    }
    void closeChecked() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) throwErrno("close", path_);
    }

private:
    std::string path_;
    int fd_ = -1;
};

void writeAll(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throwErrno("write", path);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void requireRegularFile(const FileDescriptor& file, const std::string& path, struct stat& info) {
    if (::fstat(file.get(), &info) != 0) throwErrno("stat", path);
    if (!S_ISREG(info.st_mode)) throw std::runtime_error(path + ": not a regular file");
}

}  // namespace

void writeFileDurably(const std::string& path, const std::string& text) {
    FileDescriptor file(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    writeAll(file.get(), text.data(), text.size(), path);
    file.sync();
    file.closeChecked();
}

void syncFolder(const std::string& folder) {
    FileDescriptor directory(folder, O_RDONLY | O_DIRECTORY);
    directory.sync();
}

void syncFileSystem(const std::string& path) {
    FileDescriptor any(path, O_RDONLY);
    if (::syncfs(any.get()) != 0) throwErrno("syncfs", path);
}

uint64_t fileSize(const std::string& path) {
    FileDescriptor file(path, O_RDONLY);
    struct stat info;
    requireRegularFile(file, path, info);
    return static_cast<uint64_t>(info.st_size);
}

void truncateFile(const std::string& path, uint64_t size) {
    FileDescriptor file(path, O_WRONLY);
    struct stat info;
    requireRegularFile(file, path, info);
    if (size > static_cast<uint64_t>(info.st_size))
        throw std::runtime_error(path + ": cannot truncate to " + std::to_string(size) + " bytes, the file has only " +
                                 std::to_string(info.st_size));
    int result;
    do {
        result = ::ftruncate(file.get(), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) throwErrno("truncate", path);
    file.sync();
}

void flipBytes(const std::string& path, uint64_t offset, uint64_t count) {
    FileDescriptor file(path, O_RDWR);
    struct stat info;
    requireRegularFile(file, path, info);
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (count == 0) throw std::runtime_error(path + ": nothing to flip (count 0)");
    if (offset >= size || count > size - offset)
        throw std::runtime_error(path + ": bytes " + std::to_string(offset) + " to " +
                                 std::to_string(offset + count - 1) + " lie beyond the end of the file (" +
                                 std::to_string(size) + " bytes)");
    std::vector<char> buffer(static_cast<size_t>(std::min<uint64_t>(count, 1 << 20)));
    for (uint64_t done = 0; done < count;) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(buffer.size(), count - done));
        const off_t at = static_cast<off_t>(offset + done);
        size_t got = 0;
        while (got < chunk) {
            const ssize_t n = ::pread(file.get(), buffer.data() + got, chunk - got, at + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throwErrno("read", path);
            if (n == 0) throw std::runtime_error(path + ": the file shrank while it was being changed");
            got += static_cast<size_t>(n);
        }
        for (size_t i = 0; i < chunk; ++i) buffer[i] = static_cast<char>(~buffer[i]);
        size_t put = 0;
        while (put < chunk) {
            const ssize_t n = ::pwrite(file.get(), buffer.data() + put, chunk - put, at + static_cast<off_t>(put));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throwErrno("write", path);
            put += static_cast<size_t>(n);
        }
        done += chunk;
    }
    file.sync();
}

uint64_t availableBytes(const std::string& path) {
    std::filesystem::path existing = std::filesystem::absolute(path);
    std::error_code ignored;
    while (!std::filesystem::exists(existing, ignored) && existing.has_parent_path() &&
           existing != existing.parent_path())
        existing = existing.parent_path();
    struct statvfs info;
    if (::statvfs(existing.c_str(), &info) != 0) throwErrno("statvfs", existing.string());
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace PosixFiles
}  // namespace VaultAdmin
