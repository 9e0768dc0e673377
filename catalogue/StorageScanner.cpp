#include "Catalogue/StorageScanner.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileServices.h"  // MAX_PATH
#include "ReadAhead.h"
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

// What a folder listed: its entries in the order the file system gave them.
struct ListedEntry {
    std::string name;
    unsigned char type;  // DT_DIR, DT_REG, ... or DT_UNKNOWN
};

// Reads the whole listing of the open folder `fd` (which the listing then
// owns and closes). Entries that cannot be named in a search result (longer
// than a search's name field) are left out, as the file services do.
bool listFolder(int fd, std::vector<ListedEntry>& entries, int& error) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        error = errno;
        ::close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) break;  // the end, or an error: what was read is kept
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (std::strlen(entry->d_name) >= MAX_PATH) continue;
        entries.push_back(ListedEntry{entry->d_name, entry->d_type});
    }
    ::closedir(dir);
    return true;
}

// One folder on the walk's stack. Its listing is read when it is entered;
// its descriptor is kept while it is among the deepest kOpenFolders folders
// (and always for the root) and opened again, and checked to be the same
// folder, when the walk comes back to it.
struct Frame {
    std::string path;  // as shown in messages and task folders
    std::string name;  // its name in its parent (empty for a root)
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<ListedEntry> entries;
    size_t next = 0;
};

constexpr size_t kOpenFolders = 16;

std::string errorText(int error) {
    return error == ELOOP ? std::string("it is a symbolic link") : std::string(std::strerror(error));
}

int openFolderAt(int parent, const char* name, bool followLink) {
    int fd;
    do {
        fd = ::openat(parent, name,
                      O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The walk: depth first, in listing order, with an explicit stack, so its
// depth costs heap rather than the calling thread's stack. Every folder below
// a root is opened relative to its parent's descriptor without following a
// link, and every label relative to its folder's, so a folder swapped for a
// link while the walk runs leads nowhere outside the root.
class Walk {
public:
    Walk(CatalogueTables& tables, const ScanOptions& options) : tables_(tables), options_(options) {}
    ~Walk() { clear(); }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void scanRoot(const std::string& root) {
        // The roots are the node's own configuration: a root that is a link
        // is followed (once, here); nothing below it ever is.
        const int fd = openFolderAt(AT_FDCWD, root.c_str(), true);
        if (fd < 0) {
            cannotSearch(root, errno);
            return;
        }
        try {
            if (enter(root, std::string(), fd)) {
                readAhead_.reset(new ReadAhead(stack_[0].fd, options_.readers, options_.labelFileName));
                run();
            }
        } catch (...) {
            readAhead_.reset();
            clear();
            throw;
        }
        readAhead_.reset();
        clear();
    }

private:
    bool abandoned() const { return options_.abandon != nullptr && options_.abandon->load(std::memory_order_relaxed); }

    void cannotSearch(const std::string& folder, int error) {
        log_show(kFacility, kWarning, "catalogue scan: cannot search folder %s (%s); skipped", folder.c_str(),
                 errorText(error).c_str());
    }

    void clear() {
        for (Frame& frame : stack_)
            if (frame.fd >= 0) ::close(frame.fd);
        stack_.clear();
    }

    // Pushes the folder open at `fd` (taken over) unless it is one of its own
    // ancestors; false when it was not pushed.
    bool enter(const std::string& path, const std::string& name, int fd) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            const int error = errno;
            ::close(fd);
            cannotSearch(path, error);
            return false;
        }
        for (const Frame& ancestor : stack_) {
            if (ancestor.device == info.st_dev && ancestor.inode == info.st_ino) {
                ::close(fd);
                log_show(kFacility, kWarning, "catalogue scan: folder %s leads back to one of its parents; skipped",
                         path.c_str());
                return false;
            }
        }
        if (readAhead_ && readAhead_->active()) {
            // Where the walk is now, as the read-ahead counts: the index of
            // each folder on the way down in its parent's listing.
            position_.clear();
            for (const Frame& parent : stack_) {
                if (position_.size() > ReadAhead::kMaxDepth) break;
                position_.push_back(static_cast<uint32_t>(parent.next - 1));
            }
            readAhead_->entered(position_);
        }
        Frame frame;
        frame.path = path;
        frame.name = name;
        frame.device = info.st_dev;
        frame.inode = info.st_ino;
        const int listing = ::dup(fd);
        int error = 0;
        if (listing < 0 || !listFolder(listing, frame.entries, error)) {
            if (listing < 0) error = errno;
            ::close(fd);
            cannotSearch(path, error);
            return false;
        }
        frame.fd = fd;
        stack_.push_back(std::move(frame));
        if (options_.progress != nullptr) options_.progress->foldersEntered.fetch_add(1, std::memory_order_relaxed);
        // Keep the root and the deepest folders open; the rest are opened
        // again on the way back.
        if (stack_.size() > kOpenFolders + 1) {
            Frame& far = stack_[stack_.size() - kOpenFolders - 1];
            if (far.fd >= 0) {
                ::close(far.fd);
                far.fd = -1;
            }
        }
        return true;
    }

    bool sameFolder(int fd, const Frame& frame) const {
        struct stat info {};
        return ::fstat(fd, &info) == 0 && info.st_dev == frame.device && info.st_ino == frame.inode;
    }

    // Opens stack_[index] again after its descriptor was closed: through
    // ".." of the folder below it when that is still its child, otherwise by
    // name from the nearest open ancestor; each step is checked to reach the
    // folder that was listed. False when it moved away (the rest of it is
    // then skipped with a warning).
    bool reopen(size_t index, int childFd) {
        Frame& frame = stack_[index];
        if (childFd >= 0) {
            const int fd = openFolderAt(childFd, "..", false);
            if (fd >= 0 && sameFolder(fd, frame)) {
                frame.fd = fd;
                return true;
            }
            if (fd >= 0) ::close(fd);
        }
        size_t open = index;
        while (open > 0 && stack_[open].fd < 0) --open;
        int fd = stack_[open].fd;
        bool owned = false;
        for (size_t i = open + 1; i <= index; ++i) {
            const int next = openFolderAt(fd, stack_[i].name.c_str(), false);
            if (owned) ::close(fd);
            if (next < 0 || !sameFolder(next, stack_[i])) {
                if (next >= 0) ::close(next);
                log_show(kFacility, kWarning, "catalogue scan: folder %s moved during the scan; the rest of it skipped",
                         frame.path.c_str());
                return false;
            }
            fd = next;
            owned = true;
        }
        frame.fd = fd;
        return true;
    }

    void leave() {
        const int childFd = stack_.back().fd;
        stack_.pop_back();
        if (!stack_.empty() && stack_.back().fd < 0 && !reopen(stack_.size() - 1, childFd)) {
            // Nothing more is read from a folder that cannot be found again.
            stack_.back().next = stack_.back().entries.size();
        }
        if (childFd >= 0) ::close(childFd);
    }

    void run() {
        while (!stack_.empty()) {
            if (abandoned()) return;
            Frame& top = stack_.back();
            if (top.next == top.entries.size() || top.fd < 0) {
                leave();
                continue;
            }
            const ListedEntry entry = top.entries[top.next++];
            bool folder = entry.type == DT_DIR;
            if (entry.type == DT_UNKNOWN) {
                struct stat info {};
                if (::fstatat(top.fd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // vanished
                folder = S_ISDIR(info.st_mode);
            }
            if (folder) {
                std::string path = top.path + "/" + entry.name;
                const int fd = openFolderAt(top.fd, entry.name.c_str(), false);
                if (fd < 0) {
                    if (errno != ENOENT) cannotSearch(path, errno);  // ENOENT: vanished since it was listed
                    continue;
                }
                enter(path, entry.name, fd);  // `top` may move from here on
                continue;
            }
            if (isTaskLabelName(entry.name, options_.labelFileName)) loadTaskLabel(top.fd, entry.name, top.path);
        }
    }

    void loadTaskLabel(int folderFd, const std::string& name, const std::string& folder) {
        VaultUtilities::ConfigGroup label;
        std::string problem;
        if (!readTaskLabelAt(folderFd, name.c_str(), label, problem)) {
            if (!problem.empty()) log_show(kFacility, kWarning, "catalogue scan: label %s skipped: %s",
                                           (folder + "/" + name).c_str(), problem.c_str());
            return;
        }
        applyTaskLabel(label, folder, tables_);
        if (options_.progress != nullptr) options_.progress->labelsRead.fetch_add(1, std::memory_order_relaxed);
    }

    CatalogueTables& tables_;
    const ScanOptions& options_;
    std::vector<Frame> stack_;
    std::unique_ptr<ReadAhead> readAhead_;
    std::vector<uint32_t> position_;
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
    return readTaskLabelAt(AT_FDCWD, path.c_str(), label, problem);
}

bool readTaskLabelAt(int folderFd, const char* name, VaultUtilities::ConfigGroup& label, std::string& problem) {
    problem.clear();
    int fd;
    do {
        fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
        walk.scanRoot(root);
    }
    tables.finish();
    return tables;
}

}  // namespace Catalogue
