#include "Catalogue/StorageScanner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileServices.h"
#include "ReadGlobalSetting.h"
#include "VaultLog.h"

namespace Catalogue {

const char* const kLabelFileName = "TaskLabel.cfg";

namespace {

const int kFacility = 64;
const unsigned kWarning = 4098;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct FolderIdentity {
    dev_t device;
    ino_t inode;
};

class Walk {
public:
    Walk(CatalogueTables& tables, const ScanOptions& options) : tables_(tables), options_(options) {}

    void scanFolder(const std::string& folder) {
        if (abandoned()) return;
        struct stat info {};
        const bool identified = ::stat(folder.c_str(), &info) == 0;
        if (identified) {
            for (const FolderIdentity& ancestor : ancestors_) {
                if (ancestor.device == info.st_dev && ancestor.inode == info.st_ino) {
                    log_show(kFacility, kWarning, "catalogue scan: folder %s leads back to one of its parents; skipped",
                             folder.c_str());
                    return;
                }
            }
        }
        WIN32_FIND_DATAA entry;
        const std::string pattern = folder + "/*.*";
        errno = 0;
        const FileServicesHandle search = FileServices::__FindFirstFile(pattern.c_str(), &entry);
        if (search == INVALID_FILE_SERVICES_HANDLE) {
            log_show(kFacility, kWarning, "catalogue scan: cannot search folder %s (%s); skipped", folder.c_str(),
                     errno != 0 ? std::strerror(errno) : "no entries");
            return;
        }
        // A folder that cannot be identified is searched but cannot be
        // recognised again below itself.
        if (identified) ancestors_.push_back(FolderIdentity{info.st_dev, info.st_ino});
        try {
            do {
                visit(folder, entry);
            } while (!abandoned() && FileServices::__FindNextFile(search, &entry));
        } catch (...) {
            if (identified) ancestors_.pop_back();
            FileServices::__FindClose(search);
            throw;
        }
        if (identified) ancestors_.pop_back();
        FileServices::__FindClose(search);
    }

private:
    bool abandoned() const { return options_.abandon != nullptr && options_.abandon->load(std::memory_order_relaxed); }

    void visit(const std::string& folder, const WIN32_FIND_DATAA& entry) {
        const char* name = entry.cFileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
        if (IsDir(entry.dwFileAttributes)) {
            scanFolder(folder + "/" + name);
            return;
        }
        if (isTaskLabelName(name, options_.labelFileName)) loadTaskLabel(folder + "/" + name, folder);
    }

    void loadTaskLabel(const std::string& file, const std::string& folder) {
        VaultUtilities::ConfigGroup label;
        std::string problem;
        if (!readTaskLabelFile(file, label, problem)) {
            if (!problem.empty()) log_show(kFacility, kWarning, "catalogue scan: label %s skipped: %s", file.c_str(),
                                           problem.c_str());
            return;
        }
        applyTaskLabel(label, folder, tables_);
    }

    CatalogueTables& tables_;
    const ScanOptions& options_;
    std::vector<FolderIdentity> ancestors_;
};

}  // namespace

std::vector<std::string> readMountList() {
    std::vector<std::string> mounts;
    for (unsigned n = 0;; ++n) {
        char key[100];
        std::snprintf(key, sizeof key, "Mount_%u", n);
        std::string value;
        readGlobalSetting(key, value, std::string());
        if (value.empty()) break;
        mounts.push_back(value);
    }
    return mounts;
}

bool isTaskLabelName(const std::string& name, const std::string& labelName) {
    if (labelName.empty()) return false;
    const size_t at = name.find(labelName);
    if (at == std::string::npos) return false;
    // The shared configuration writer replaces a file through "<name>.tmp.<pid>.<n>".
    const size_t tmp = name.find(".tmp", at + labelName.size());
    if (tmp == std::string::npos) return true;
    const size_t after = tmp + 4;
    return !(after == name.size() || name[after] == '.');
}

bool readTaskLabelFile(const std::string& path, VaultUtilities::ConfigGroup& label, std::string& problem) {
    problem.clear();
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        problem = errno == ELOOP ? std::string("it is a symbolic link") : std::string(std::strerror(errno));
        return false;
    }
    const FileDescriptor guard(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxLabelBytes) {
        problem = "larger than " + std::to_string(kMaxLabelBytes) + " bytes";
        return false;
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    for (;;) {
        if (done == text.size()) text.resize(done + 4096);  // the file may have grown since fstat
        const ssize_t got = ::read(fd, &text[done], text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            problem = std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
        if (done > kMaxLabelBytes) {
            problem = "larger than " + std::to_string(kMaxLabelBytes) + " bytes";
            return false;
        }
    }
    text.resize(done);
    label = VaultUtilities::ConfigFilePersistManager::parse(text);
    return true;
}

void applyTaskLabel(const VaultUtilities::ConfigGroup& label, const std::string& folder, CatalogueTables& tables) {
    std::string taskGuid;
    std::string workingFolder = folder;
    if (label.valueExists("TASK_GUID")) {
        taskGuid = label.value("TASK_GUID").svalue();
        workingFolder = AddTrailingSlash(workingFolder);
        tables.addTaskFolder(taskGuid, workingFolder);
    }
    const bool hasComputer = label.valueExists("COMPUTER_GUID");
    if (hasComputer && label.valueExists("TASK_NAME"))
        tables.addComputerTask(label.value("COMPUTER_GUID").svalue(), label.value("TASK_NAME").svalue(), taskGuid);
    if (hasComputer && label.valueExists("COMPUTER"))
        tables.addComputerName(label.value("COMPUTER").svalue(), label.value("COMPUTER_GUID").svalue());
    if (label.valueExists("POOL_GUID")) tables.addPool(label.value("POOL_GUID").svalue(), workingFolder);
}

CatalogueTables scanStorage(const std::vector<std::string>& mounts, const ScanOptions& options) {
    CatalogueTables tables;
    for (const std::string& mount : mounts) tables.addMount(mount);
    Walk walk(tables, options);
    for (const std::string& mount : mounts) {
        // A root given with a trailing separator is searched as it stands,
        // so its task folders read "<root>/<...>" as the label's folder.
        std::string root = mount;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        walk.scanFolder(root);
    }
    tables.finish();
    return tables;
}

}  // namespace Catalogue
