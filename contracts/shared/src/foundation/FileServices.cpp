// Folder searches and path helpers over POSIX directories.
//
// A search handle is a number naming a search in a process-wide table, so a
// handle that was closed or never opened is recognised and refused rather
// than followed. One search is used by one thread at a time; different
// searches may run in parallel.
#include "FileServices.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Search final {
public:
    Search(std::string folder, DIR* dir) : folder_(std::move(folder)), dir_(dir) {}
    Search(std::string folder, std::string onlyName) : folder_(std::move(folder)), onlyName_(std::move(onlyName)) {}
    ~Search() {
        if (dir_ != nullptr) ::closedir(dir_);
    }
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;

    // Fills the next entry; names too long for cFileName are skipped.
    bool next(WIN32_FIND_DATAA* data) {
        if (dir_ == nullptr) {
            if (onlyName_.empty() || done_) return false;
            done_ = true;
            return fill(onlyName_, data);
        }
        for (;;) {
            errno = 0;
            const struct dirent* entry = ::readdir(dir_);
            if (entry == nullptr) return false;
            if (std::strlen(entry->d_name) >= MAX_PATH) continue;
            if (fill(entry->d_name, data)) return true;
        }
    }

private:
    // lstat, so a link to a folder is reported as a file and never followed.
    bool fill(const std::string& name, WIN32_FIND_DATAA* data) const {
        struct stat info {};
        const std::string full = folder_ + "/" + name;
        if (::lstat(full.c_str(), &info) != 0) return false;  // vanished since it was listed
        *data = WIN32_FIND_DATAA();
        data->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        data->nFileSize = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
        std::memcpy(data->cFileName, name.c_str(), name.size() + 1);
        return true;
    }

    std::string folder_;
    DIR* dir_ = nullptr;
    std::string onlyName_;
    bool done_ = false;
};

class SearchTable final {
public:
    static SearchTable& instance() {
        static SearchTable* table = new SearchTable;  // never destroyed
        return *table;
    }
    FileServicesHandle add(std::shared_ptr<Search> search) {
        std::lock_guard<std::mutex> lock(mutex_);
        const FileServicesHandle handle = next_++;
        searches_.emplace(handle, std::move(search));
        return handle;
    }
    std::shared_ptr<Search> find(FileServicesHandle handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = searches_.find(handle);
        return it == searches_.end() ? nullptr : it->second;
    }
    bool remove(FileServicesHandle handle) {
        std::shared_ptr<Search> search;  // closed outside the lock
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = searches_.find(handle);
        if (it == searches_.end()) return false;
        search = std::move(it->second);
        searches_.erase(it);
        return true;
    }

private:
    SearchTable() = default;
    std::mutex mutex_;
    std::unordered_map<FileServicesHandle, std::shared_ptr<Search>> searches_;
    FileServicesHandle next_ = 1;
};

bool isListAllPattern(const std::string& name) { return name == "*.*" || name == "*"; }

}  // namespace

namespace FileServices {

uint32_t __GetCurrentDirectory(uint32_t bufferLength, char* buffer) {
    if (buffer == nullptr || bufferLength == 0) return 0;
    if (::getcwd(buffer, bufferLength) == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<uint32_t>(std::strlen(buffer));
}

FileServicesHandle __FindFirstFile(const char* pattern, WIN32_FIND_DATAA* data) {
    if (pattern == nullptr || data == nullptr) return INVALID_FILE_SERVICES_HANDLE;
    const std::string text = pattern;
    const auto slash = text.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : text.substr(0, slash);
    if (slash == 0) folder = "/";
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    if (name.empty()) return INVALID_FILE_SERVICES_HANDLE;

    std::shared_ptr<Search> search;
    if (isListAllPattern(name)) {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return INVALID_FILE_SERVICES_HANDLE;
        search = std::make_shared<Search>(folder == "/" ? std::string() : folder, dir);
    } else {
        if (name.size() >= MAX_PATH) return INVALID_FILE_SERVICES_HANDLE;
        search = std::make_shared<Search>(folder == "/" ? std::string() : folder, name);
    }
    if (!search->next(data)) return INVALID_FILE_SERVICES_HANDLE;
    return SearchTable::instance().add(std::move(search));
}

bool __FindNextFile(FileServicesHandle handle, WIN32_FIND_DATAA* data) {
    if (data == nullptr) return false;
    const auto search = SearchTable::instance().find(handle);
    return search && search->next(data);
}

bool __FindClose(FileServicesHandle handle) { return SearchTable::instance().remove(handle); }

}  // namespace FileServices

bool IsDir(uint32_t attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool vv_FileExists(void* /*handle*/, const std::string& path) {
    struct stat info {};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0;
}

std::string AddTrailingSlash(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + "/";
}

std::string operator/(const std::string& folder, const VFileName& file) {
    const std::string& name = file.GetName();
    size_t nameStart = 0;
    while (nameStart < name.size() && name[nameStart] == '/') ++nameStart;
    size_t folderEnd = folder.size();
    while (folderEnd > 0 && folder[folderEnd - 1] == '/') --folderEnd;
    if (folder.empty()) return name.substr(nameStart);
    // A folder of only separators is the root: keep one.
    return folder.substr(0, folderEnd) + "/" + name.substr(nameStart);
}
