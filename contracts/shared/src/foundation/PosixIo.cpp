#include "PosixIo.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace foundation {
namespace {

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Closes a descriptor when the scope ends unless released.
class FdGuard final {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

FileIdentity identityOf(const struct stat& info) {
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = static_cast<unsigned long long>(info.st_size);
    identity.modifiedSeconds = info.st_mtim.tv_sec;
    identity.modifiedNanoseconds = info.st_mtim.tv_nsec;
    return identity;
}

}  // namespace

bool fileIdentity(const std::string& path, FileIdentity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    identity = identityOf(info);
    return true;
}

std::string errnoText(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

ReadStatus readSmallFile(const std::string& path, size_t maxSize, std::string& content, std::string& error,
                         FileIdentity* identity) {
    content.clear();
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return ReadStatus::Missing;
        error = errnoText("cannot open", path, errno);
        return ReadStatus::Failed;
    }
    FdGuard guard(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = errnoText("cannot stat", path, errno);
        return ReadStatus::Failed;
    }
    if (identity != nullptr) *identity = identityOf(info);
    if (!S_ISREG(info.st_mode)) return ReadStatus::NotRegular;
    if (static_cast<unsigned long long>(info.st_size) > maxSize) return ReadStatus::TooLarge;
    // Read one byte past the limit so a file that grew since fstat is caught too.
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errnoText("cannot read", path, errno);
            content.clear();
            return ReadStatus::Failed;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<size_t>(got));
        if (content.size() > maxSize) {
            content.clear();
            return ReadStatus::TooLarge;
        }
    }
    return ReadStatus::Ok;
}

void makeFolders(const std::string& folder) {
    if (folder.empty()) return;
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return;
        throw std::runtime_error("cannot create folder " + folder + ": a file of that name exists");
    }
    const std::string parent = parentOf(folder);
    if (parent != folder) makeFolders(parent);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        throw std::runtime_error(errnoText("cannot create folder", folder, errno));
}

void writeFileAtomically(const std::string& path, const std::string& content) {
    if (path.empty()) throw std::runtime_error("cannot write a file with an empty path");
    const std::string folder = parentOf(path);
    makeFolders(folder);

    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    FdGuard out(openRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (out.get() < 0) throw std::runtime_error(errnoText("cannot create", temporary, errno));

    const auto fail = [&](const char* what, int error) {
        ::unlink(temporary.c_str());
        throw std::runtime_error(errnoText(what, path, error));
    };
    if (::fchmod(out.get(), mode) != 0) fail("cannot set permissions of", errno);
    if (!writeAll(out.get(), content.data(), content.size())) fail("cannot write", errno);
    if (::fsync(out.get()) != 0) fail("cannot sync", errno);
    if (::close(out.release()) != 0) fail("cannot close", errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail("cannot replace", errno);

    // The rename is durable only once the folder itself is synced.
    const int dir = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace foundation
