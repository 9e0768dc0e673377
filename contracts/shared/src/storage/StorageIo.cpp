// Durable file replacement and whole-file reads over POSIX calls.
#include "StorageIo.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string systemErrorText(int err) {
    char buffer[256];
    // The GNU strerror_r returns the text (possibly not in buffer).
    return std::string(strerror_r(err, buffer, sizeof buffer));
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void closeQuietly(int fd) {
    if (fd >= 0) ::close(fd);  // no retry on EINTR: the descriptor is gone either way on Linux
}

// Flushes the folder so a rename inside it survives a crash.
void syncFolder(const std::string& folder, const std::string& forPath) {
    const int fd = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw StorageIo::fileError(forPath, "cannot open its folder to flush it", errno);
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    const int err = errno;
    closeQuietly(fd);
    if (rc != 0) throw StorageIo::fileError(forPath, "cannot flush its folder", err);
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

namespace StorageIo {

std::runtime_error fileError(const std::string& path, const std::string& what, int errnoValue) {
    return std::runtime_error(path + ": " + what + ": " + systemErrorText(errnoValue));
}

void makeFolders(const std::string& folder) {
    if (folder.empty()) throw std::runtime_error("makeFolders: empty folder name");
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        const std::string part = folder.substr(0, pos);
        if (part.empty()) continue;
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) throw fileError(part, "cannot create folder", errno);
    }
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) throw fileError(folder, "cannot create folder", errno);
    if (!S_ISDIR(st.st_mode)) throw std::runtime_error(folder + ": exists and is not a folder");
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool readWholeFile(const std::string& path, size_t maxSize, std::string& contents) {
    contents.clear();
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        throw fileError(path, "cannot open", errno);
    }
    struct Closer {
        int fd;
        ~Closer() { closeQuietly(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) throw fileError(path, "cannot read its size", errno);
    if (!S_ISREG(st.st_mode)) throw std::runtime_error(path + ": not a regular file");
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        throw std::runtime_error(path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
                                 std::to_string(maxSize) + " such a file may have");
    contents.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::read(fd, &contents[done], contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileError(path, "cannot read", errno);
        }
        if (n == 0) break;  // shrank while we read: what we have is what the file holds
        done += static_cast<size_t>(n);
    }
    contents.resize(done);
    return true;
}

AtomicFile::AtomicFile(const std::string& path) : path_(path) {
    if (path.empty() || path.back() == '/') throw std::invalid_argument("AtomicFile: not a file path: '" + path + "'");
    const std::string folder = folderOf(path);
    tempPath_ = (folder == "/" ? std::string() : folder) + "/." + baseNameOf(path) + ".tmp." +
                std::to_string(::getpid()) + "." + std::to_string(temporaryCounter.fetch_add(1));
    fd_ = openRetrying(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) throw fileError(path_, "cannot create temporary file " + tempPath_, errno);
}

AtomicFile::~AtomicFile() {
    if (committed_) return;
    closeQuietly(fd_);
    ::unlink(tempPath_.c_str());
}

void AtomicFile::append(const void* data, size_t size) {
    writeAt(size_, data, size);
}

void AtomicFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (committed_) throw std::logic_error(path_ + ": written after commit");
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileError(path_, "cannot write", errno);
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    if (offset > size_) size_ = offset;
}

void AtomicFile::commit() {
    if (committed_) return;
    int rc;
    do {
        rc = ::fsync(fd_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) throw fileError(path_, "cannot flush to disk", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throw fileError(path_, "cannot close", errno);
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) throw fileError(path_, "cannot rename " + tempPath_ + " to it", errno);
    committed_ = true;
    syncFolder(folderOf(path_), path_);
}

}  // namespace StorageIo
