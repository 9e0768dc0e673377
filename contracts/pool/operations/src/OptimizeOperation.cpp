// Optimize: removes what dead writers left in the pool folder (and, for the
// online pool, in the task's synchronisation folder): temporary files of
// writers that no longer run, and containers that the sync list does not
// name. A file the sync list names, the sync list, the index and every other
// file are left alone. The folders are scanned first; a stop request is
// honoured until then, after which the removals are completed.
// Follow-up: one verify command.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "OperationSupport.h"
#include "Operations.h"
#include "TaskStorageDescriptor.h"
#include "VaultLog.h"

namespace Pool {
namespace Operations {
namespace {

bool processRuns(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Regular files of a folder (links and folders are never removed).
std::vector<std::string> regularFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (errno == ENOENT) return names;
        throw std::runtime_error(folder + ": cannot read the folder: " + std::strerror(errno));
    }
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

class OptimizeOperation final : public PoolOperation {
public:
    explicit OptimizeOperation(const PoolOperationCommand& command) : PoolOperation(command) {}

    void run(std::vector<PoolOperationCommand>& followUps) override {
        const PoolTarget pool(command());
        HeldTaskLock lock(pool.task);
        checkpoint("locked");
        pool.requirePoolFolder();
        // Without a readable sync list nothing can be told apart from an
        // orphan: nothing is removed.
        std::set<std::string> listed;
        for (const auto& entry : pool.readSyncList()) listed.insert(entry.containerFileName);

        std::vector<std::string> doomed;
        const pid_t self = ::getpid();
        const auto collectTemporary = [&](const std::string& folder, const std::string& name) {
            long pid = 0;
            if (isTemporaryName(name, pid) && (pid == self || !processRuns(pid))) doomed.push_back(folder + name);
        };
        for (const std::string& name : regularFiles(pool.folder)) {
            collectTemporary(pool.folder, name);
            if (endsWith(name, ".vfl") && name[0] != '.' && !listed.count(name)) doomed.push_back(pool.folder + name);
        }
        std::string synchFolder;
        if (pool.online) {
            synchFolder = TaskStorageDescriptor::getSynchFilesStorageLocation(pool.task);
            for (const std::string& name : regularFiles(synchFolder)) collectTemporary(synchFolder, name);
        }
        checkpoint("scanned");

        size_t removed = 0;
        for (const std::string& path : doomed) {
            if (::unlink(path.c_str()) == 0) {
                ++removed;
                log_show(54, 4097, "Optimize of %s: removed %s", pool.taskText().c_str(), path.c_str());
            } else if (errno != ENOENT) {
                throw std::runtime_error(path + ": cannot remove: " + std::strerror(errno));
            }
            progressPoint("removed");
        }
        if (removed > 0) {
            syncFolder(pool.folder);
            if (!synchFolder.empty()) syncFolder(synchFolder);
        }
        followUps.push_back(verifyFollowUp(command()));
    }
};

}  // namespace

boost::shared_ptr<PoolOperation> makeOptimize(const PoolOperationCommand& command) {
    return boost::shared_ptr<PoolOperation>(new OptimizeOperation(command));
}

}  // namespace Operations
}  // namespace Pool
