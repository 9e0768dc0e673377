#include "ServiceFiles.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "VaultFiles.h"
#include "WinKernel.h"

namespace ServiceFiles {

FileLock::FileLock(const std::string& path) {
    VaultFiles::makeFolders(VaultFiles::folderOf(path));
    do {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) throw VaultFiles::FileError("open lock file", path, errno);
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw VaultFiles::FileError("open lock file", path, "it is not a regular file");
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw VaultFiles::FileError("lock", path, err);
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor releases the flock
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

std::string singleLine(const std::string& text) {
    std::string result(text.c_str());
    for (char& c : result)
        if (c == '\n' || c == '\r') c = ' ';
    return result;
}

}  // namespace ServiceFiles
