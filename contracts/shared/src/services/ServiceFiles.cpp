#include "ServiceFiles.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <vector>

#include <dirent.h>
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

namespace {

// The writer's process id of a temporary name ".<name>.tmp.<pid>.<n>" and its
// <name>; false for any other name.
bool parseTemporaryName(const std::string& entry, std::string& name, pid_t& pid) {
    if (entry.size() < 2 || entry[0] != '.') return false;
    const size_t tmp = entry.rfind(".tmp.");
    if (tmp == std::string::npos || tmp < 2) return false;
    const std::string rest = entry.substr(tmp + 5);  // "<pid>.<n>"
    const size_t dot = rest.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 9 || dot + 1 == rest.size()) return false;
    if (rest.find_first_not_of("0123456789.") != std::string::npos || rest.find('.', dot + 1) != std::string::npos)
        return false;
    const long value = std::stol(rest.substr(0, dot));
    if (value <= 0) return false;
    pid = static_cast<pid_t>(value);
    name = entry.substr(1, tmp - 1);
    return true;
}

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace

unsigned removeDeadWritersTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& ours) {
    unsigned removed = 0;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (dirFd < 0) return 0;
    std::vector<std::string> entries;
    const int listFd = ::dup(dirFd);
    if (listFd >= 0) {
        if (DIR* dir = ::fdopendir(listFd)) {
            while (const struct dirent* entry = ::readdir(dir)) entries.emplace_back(entry->d_name);
            ::closedir(dir);
        } else {
            ::close(listFd);
        }
    }
    for (const std::string& entry : entries) {
        std::string name;
        pid_t pid = 0;
        if (!parseTemporaryName(entry, name, pid) || pid == ::getpid() || !ours(name) || !processGone(pid)) continue;
        struct stat st;
        if (::fstatat(dirFd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlinkat(dirFd, entry.c_str(), 0) == 0) ++removed;
    }
    // Best effort, like the removals: a removal that is lost in a crash
    // leaves a temporary that the next write removes again.
    if (removed > 0) ::fsync(dirFd);
    ::close(dirFd);
    return removed;
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
