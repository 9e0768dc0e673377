#include "ServiceFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StorageIo.h"
#include "WinKernel.h"

namespace ServiceFiles {

namespace {

std::string systemText(int err) {
    char buffer[256];
    return std::string(strerror_r(err, buffer, sizeof buffer));
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

std::runtime_error error(const std::string& path, const std::string& what, int errnoValue) {
    return std::runtime_error(path + ": " + what + ": " + systemText(errnoValue));
}

int openRegularForReading(const std::string& path) {
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return -1;
        if (errno == ELOOP) throw std::runtime_error(path + ": is a symbolic link, refused");
        throw error(path, "cannot open", errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw error(path, "cannot read its status", err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw std::runtime_error(path + ": not a regular file, refused");
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

bool readRegularFile(const std::string& path, size_t maxSize, std::string& contents) {
    contents.clear();
    const int fd = openRegularForReading(path);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) throw error(path, "cannot read its size", errno);
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        throw std::runtime_error(path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
                                 std::to_string(maxSize) + " such a file may have");
    // One byte more than allowed, so a file that grew since fstat is noticed.
    contents.resize(static_cast<size_t>(st.st_size) + 1);
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::read(fd, &contents[done], contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw error(path, "cannot read", errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (done > maxSize) throw std::runtime_error(path + ": more than the " + std::to_string(maxSize) + " bytes such a file may have");
    contents.resize(done);
    return true;
}

void replaceFile(const std::string& path, const std::string& contents, bool durable) {
    if (durable) {
        StorageIo::AtomicFile file(path);
        file.append(contents.data(), contents.size());
        file.commit();
        return;
    }
    const size_t slash = path.rfind('/');
    const std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
                                  path.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp." +
                                  std::to_string(::getpid()) + "." + std::to_string(temporaryCounter.fetch_add(1));
    const int fd = openRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw error(path, "cannot create temporary file " + temporary, errno);
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            throw error(path, "cannot write " + temporary, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && errno != EINTR) {
        const int err = errno;
        ::unlink(temporary.c_str());
        throw error(path, "cannot close " + temporary, err);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        throw error(path, "cannot rename " + temporary + " to it", err);
    }
}

void makeFolders(const std::string& folder) { StorageIo::makeFolders(folder); }

FileLock::FileLock(const std::string& path) {
    makeFolders(folderOf(path));
    fd_ = openRetrying(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd_ < 0) {
        if (errno == ELOOP) throw std::runtime_error(path + ": lock file is a symbolic link, refused");
        throw error(path, "cannot open lock file", errno);
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error(path + ": lock file is not a regular file, refused");
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw error(path, "cannot lock", err);
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the flock
}

bool appendLine(int fd, const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string localTimestamp(bool milliseconds) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local {};
    if (!GetLocalTm(now.tv_sec, &local)) return milliseconds ? "0000-00-00 00:00:00.000" : "0000-00-00 00:00:00";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string result = text;
    if (milliseconds) {
        std::snprintf(text, sizeof text, ".%03d", static_cast<int>(now.tv_nsec / 1000000) % 1000);
        result += text;
    }
    return result;
}

std::string singleLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace ServiceFiles
