// The real file system: FileSystem over POSIX calls.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "Announcer.h"
#include "VaultFiles.h"

namespace VaultFiles {
namespace {

// The one place errno becomes an error. A refused link comes back from
// open(O_NOFOLLOW) as ELOOP, whose text ("Too many levels of symbolic links")
// would mislead: say what it is. A folder opened for writing says so in the
// same words as one refused after opening.
[[noreturn]] void throwSystemError(const std::string& operation, const std::string& path, int error,
                                   Links links = Links::Follow) {
    if (error == ELOOP && links == Links::Refuse) throw FileError(operation, path, "it is a symbolic link", ELOOP);
    if (error == EISDIR) throw FileError(operation, path, "it is a folder, not a regular file", EISDIR);
    throw FileError(operation, path, error);
}

template <typename Call>
auto retryingInterrupts(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::Regular;
    if (S_ISDIR(mode)) return FileKind::Folder;
    if (S_ISLNK(mode)) return FileKind::Link;
    return FileKind::Other;
}

FileStatus statusOf(const struct stat& info) {
    FileStatus status;
    status.kind = kindOf(info.st_mode);
    status.size = static_cast<uint64_t>(info.st_size);
    status.permissions = static_cast<unsigned>(info.st_mode & 07777);
    status.device = static_cast<uint64_t>(info.st_dev);
    status.inode = static_cast<uint64_t>(info.st_ino);
    status.modifiedSeconds = info.st_mtim.tv_sec;
    status.modifiedNanoseconds = info.st_mtim.tv_nsec;
    return status;
}

const char* kindText(FileKind kind) {
    switch (kind) {
    case FileKind::Folder:
        return "it is a folder, not a regular file";
    case FileKind::Link:
        return "it is a symbolic link";
    default:
        return "it is not a regular file";
    }
}

// Opens without blocking (a FIFO without a writer would block an open for
// reading forever) and refuses anything but a regular file.
int openRegular(const std::string& operation, const std::string& path, int flags, Links links, mode_t permissions,
                FileStatus& status) {
    flags |= O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == Links::Refuse) flags |= O_NOFOLLOW;
    const int fd = retryingInterrupts([&] { return ::open(path.c_str(), flags, permissions); });
    if (fd < 0) throwSystemError(operation, path, errno, links);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throwSystemError("examine", path, error);
    }
    status = statusOf(info);
    if (status.kind != FileKind::Regular) {
        ::close(fd);
        throw FileError(operation, path, kindText(status.kind));
    }
    return fd;
}

class PosixReadableFile final : public ReadableFile {
public:
    // Owns `fd`: it is closed when the file and every piece of advice queued
    // for it are gone.
    PosixReadableFile(std::string path, int fd, const FileStatus& status)
        : path_(std::move(path)), descriptor_(std::make_shared<detail::SharedDescriptor>(fd)), fd_(fd),
          status_(status) {}

    const std::string& path() const override { return path_; }
    const FileStatus& status() const override { return status_; }

    void adviseSequential() const override { ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL); }
    void willNeed(uint64_t offset, uint64_t size) const override {
        detail::adviseWillNeed(descriptor_, offset, size);
    }

    size_t read(void* buffer, size_t size) override {
        const ssize_t got = retryingInterrupts([&] { return ::read(fd_, buffer, size); });
        if (got < 0) throwSystemError("read", path_, errno);
        return static_cast<size_t>(got);
    }

    size_t readAt(uint64_t offset, void* buffer, size_t size) const override {
        auto* out = static_cast<unsigned char*>(buffer);
        size_t done = 0;
        while (done < size) {
            const ssize_t got = retryingInterrupts(
                [&] { return ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done)); });
            if (got < 0) throwSystemError("read", path_, errno);
            if (got == 0) break;
            done += static_cast<size_t>(got);
        }
        return done;
    }

private:
    std::string path_;
    std::shared_ptr<const detail::SharedDescriptor> descriptor_;
    int fd_;
    FileStatus status_;
};

class PosixWritableFile final : public WritableFile {
public:
    static constexpr size_t kBufferSize = 64 * 1024;

    PosixWritableFile(std::string path, int fd, bool appending)
        : path_(std::move(path)), fd_(fd), appending_(appending) {}

    ~PosixWritableFile() override {
        if (fd_ < 0) return;
        try {
            flush();
        } catch (...) {
            // Documented: a caller that cares about the error calls close().
        }
        ::close(fd_);
    }

    const std::string& path() const override { return path_; }

    void append(const void* data, size_t size) override {
        requireOpen("write");
        const auto* bytes = static_cast<const char*>(data);
        if (buffer_.size() + size <= kBufferSize) {
            buffer_.append(bytes, size);
            return;
        }
        flush();
        if (size >= kBufferSize) {
            writeAll(bytes, size);  // large pieces skip the copy into the buffer
        } else {
            buffer_.assign(bytes, size);
        }
    }

    void writeAt(uint64_t offset, const void* data, size_t size) override {
        requireOpen("write");
        if (appending_) throw FileError("write at an offset in", path_, "it was opened for appending");
        flush();
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t put =
                retryingInterrupts([&] { return ::pwrite(fd_, bytes, size, static_cast<off_t>(offset)); });
            if (put < 0) throwSystemError("write", path_, errno);
            bytes += put;
            size -= static_cast<size_t>(put);
            offset += static_cast<uint64_t>(put);
        }
    }

    void flush() override {
        requireOpen("write");
        if (buffer_.empty()) return;
        // The buffer is dropped whether or not the write succeeds: after a
        // failed write the file's end is unknown, and retrying would repeat
        // whatever part did reach it.
        std::string pending;
        pending.swap(buffer_);
        writeAll(pending.data(), pending.size());
    }

    void resize(uint64_t size) override {
        flush();
        if (retryingInterrupts([&] { return ::ftruncate(fd_, static_cast<off_t>(size)); }) != 0)
            throwSystemError("resize", path_, errno);
    }

    void sync() override {
        flush();
        if (retryingInterrupts([&] { return ::fsync(fd_); }) != 0) throwSystemError("sync", path_, errno);
    }

    void close() override {
        if (fd_ < 0) return;
        std::string pending;
        pending.swap(buffer_);
        int writeError = 0;
        try {
            writeAll(pending.data(), pending.size());
        } catch (const FileError& error) {
            writeError = error.systemError();
        }
        const int fd = fd_;
        fd_ = -1;
        // No retry on EINTR: on Linux the descriptor is gone either way.
        const bool closed = ::close(fd) == 0 || errno == EINTR;
        const int closeError = errno;
        if (writeError != 0) throwSystemError("write", path_, writeError);
        if (!closed) throwSystemError("close", path_, closeError);
    }

private:
    void requireOpen(const char* operation) const {
        if (fd_ < 0) throw FileError(operation, path_, "it was closed already", EBADF);
    }

    void writeAll(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t put = retryingInterrupts([&] { return ::write(fd_, data, size); });
            if (put < 0) throwSystemError("write", path_, errno);
            data += put;
            size -= static_cast<size_t>(put);
        }
    }

    std::string path_;
    int fd_;
    bool appending_;
    std::string buffer_;
};

class PosixLockFile final : public LockFile {
public:
    PosixLockFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~PosixLockFile() override { ::close(fd_); }  // closing the last descriptor drops the lock

    const std::string& path() const override { return path_; }

    bool tryLock() override {
        if (retryingInterrupts([&] { return ::flock(fd_, LOCK_EX | LOCK_NB); }) == 0) return true;
        if (errno == EWOULDBLOCK) return false;
        throwSystemError("lock", path_, errno);
    }

    void unlock() override {
        if (retryingInterrupts([&] { return ::flock(fd_, LOCK_UN); }) != 0) throwSystemError("unlock", path_, errno);
    }

private:
    std::string path_;
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<ReadableFile> openReadable(const std::string& path, Links links) override {
        FileStatus status;
        const int fd = openRegular("open", path, O_RDONLY, links, 0, status);
        return std::unique_ptr<ReadableFile>(new PosixReadableFile(path, fd, status));
    }

    std::unique_ptr<WritableFile> openWritable(const std::string& path, WriteMode mode, Links links,
                                               unsigned permissions) override {
        int flags = O_WRONLY | O_CREAT;
        if (mode == WriteMode::Append) flags |= O_APPEND;
        // O_EXCL also refuses a link at the name, dangling or not.
        if (mode == WriteMode::CreateNew) flags |= O_EXCL;
        if (mode == WriteMode::Existing) flags &= ~O_CREAT;
        // Not O_TRUNC: the file is emptied only once it is known to be a
        // regular file.
        FileStatus status;
        const int fd = openRegular(mode == WriteMode::CreateNew ? "create" : "open", path, flags, links,
                                   static_cast<mode_t>(permissions), status);
        if (mode == WriteMode::Truncate && status.size != 0 &&
            retryingInterrupts([&] { return ::ftruncate(fd, 0); }) != 0) {
            const int error = errno;
            ::close(fd);
            throwSystemError("empty", path, error);
        }
        return std::unique_ptr<WritableFile>(new PosixWritableFile(path, fd, mode == WriteMode::Append));
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) throwSystemError("rename " + from + " to", to, errno);
    }

    bool remove(const std::string& path) override {
        if (::unlink(path.c_str()) == 0) return true;
        if (errno == ENOENT) return false;
        throwSystemError("remove", path, errno);
    }

    void syncFolder(const std::string& folder) override {
        const std::string name = folder.empty() ? "." : folder;
        const int fd =
            retryingInterrupts([&] { return ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (fd < 0) throwSystemError("open folder", name, errno);
        const int synced = retryingInterrupts([&] { return ::fsync(fd); });
        const int error = errno;
        ::close(fd);
        if (synced != 0) throwSystemError("sync folder", name, error);
    }

    bool makeFolder(const std::string& folder) override {
        if (::mkdir(folder.c_str(), 0755) == 0) return true;
        if (errno == EEXIST) return false;
        throwSystemError("create folder", folder, errno);
    }

    std::unique_ptr<LockFile> openLockFile(const std::string& path, LockTarget target) override {
        int fd = -1;
        if (target == LockTarget::Folder) {
            fd = retryingInterrupts([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
            if (fd < 0) throwSystemError("open folder", path, errno);
        } else {
            FileStatus status;
            try {
                fd = openRegular("open lock file", path, O_RDWR | O_CREAT, Links::Refuse, 0644, status);
            } catch (const FileError& error) {
                if (error.systemError() != EACCES) throw;
                fd = openRegular("open lock file", path, O_RDONLY, Links::Refuse, 0, status);
            }
        }
        return std::unique_ptr<LockFile>(new PosixLockFile(path, fd));
    }

    void syncFileSystem(const std::string& path) override {
        const int fd = retryingInterrupts([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
        if (fd < 0) throwSystemError("open", path, errno);
        const int synced = ::syncfs(fd);
        const int error = errno;
        ::close(fd);
        if (synced != 0) throwSystemError("sync the file system of", path, error);
    }

    uint64_t availableBytes(const std::string& path) override {
        std::string existing = path.empty() ? "." : path;
        while (status(existing, Links::Follow).kind == FileKind::Missing && existing != "." && existing != "/")
            existing = folderOf(existing);
        struct statvfs info {};
        if (::statvfs(existing.c_str(), &info) != 0) throwSystemError("examine the file system of", existing, errno);
        return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    }

    FileStatus status(const std::string& path, Links links) override {
        struct stat info {};
        const int result = links == Links::Refuse ? ::lstat(path.c_str(), &info) : ::stat(path.c_str(), &info);
        if (result != 0) return FileStatus();
        return statusOf(info);
    }
};

}  // namespace

void ReadAhead::start(const ReadableFile& file, uint64_t begin, uint64_t end, uint64_t ahead, uint64_t step) {
    file_ = &file;
    announced_ = begin;
    end_ = end;
    ahead_ = ahead;
    step_ = step == 0 ? kDefaultStep : step;
    file.adviseSequential();
    reached(begin);
}

void ReadAhead::reached(uint64_t offset) {
    if (file_ == nullptr) return;
    if (offset > announced_) announced_ = offset;  // the reader went past what was announced
    if (offset + ahead_ < announced_) announced_ = offset;  // it went back: a second pass
    const uint64_t target = offset >= end_ || end_ - offset <= ahead_ ? end_ : offset + ahead_;
    // Whole steps only, except for the last piece of the range.
    while (announced_ < target && (target - announced_ >= step_ || target == end_)) {
        const uint64_t size = std::min(step_, end_ - announced_);
        file_->willNeed(announced_, size);
        announced_ += size;
    }
}

void announceFile(const std::string& path, uint64_t offset, uint64_t size) {
    detail::adviseWillNeed(path, offset, size);
}

FileSystem& FileSystem::real() {
    static PosixFileSystem* files = new PosixFileSystem;  // never destroyed: usable until the very end
    return *files;
}

}  // namespace VaultFiles
