// The file layer's errors and the helpers built on FileSystem's calls.
#include <atomic>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <unistd.h>

#include "VaultFiles.h"

namespace VaultFiles {
namespace {

std::string systemText(int error) {
    char buffer[256];
    return std::string(strerror_r(error, buffer, sizeof buffer));  // GNU: returns the text
}

std::string baseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::atomic<unsigned> temporaryCounter{0};

}  // namespace

FileError::FileError(const std::string& operation, const std::string& path, int systemError)
    : FileError(operation, path, systemText(systemError), systemError) {}

FileError::FileError(const std::string& operation, const std::string& path, const std::string& reason,
                     int systemError)
    : std::runtime_error("cannot " + operation + " " + path + ": " + reason),
      operation_(operation),
      path_(path),
      reason_(reason),
      systemError_(systemError) {}

FileError::~FileError() = default;

bool FileError::missing() const { return systemError_ == ENOENT || systemError_ == ENOTDIR; }

bool FileStatus::sameVersionAs(const FileStatus& other) const {
    return kind == other.kind && device == other.device && inode == other.inode && size == other.size &&
           modifiedSeconds == other.modifiedSeconds && modifiedNanoseconds == other.modifiedNanoseconds;
}

ReadableFile::~ReadableFile() = default;
WritableFile::~WritableFile() = default;
LockFile::~LockFile() = default;
FileSystem::~FileSystem() = default;

std::string folderOf(const std::string& path) {
    const std::string trimmed = withoutTrailingSlashes(path);
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return withoutTrailingSlashes(trimmed.substr(0, slash));
}

std::vector<std::string> folderEntries(const std::string& folder) {
    const std::string name = folder.empty() ? "." : folder;
    DIR* listing = ::opendir(name.c_str());
    if (listing == nullptr) throw FileError("list folder", name, errno);
    std::vector<std::string> names;
    errno = 0;
    while (const struct dirent* entry = ::readdir(listing)) {
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") names.push_back(entryName);
        errno = 0;
    }
    const int error = errno;
    ::closedir(listing);
    if (error != 0) throw FileError("list folder", name, error);
    return names;
}

std::string temporaryNamePrefix(const std::string& path) { return "." + baseNameOf(path) + ".tmp."; }

bool readWholeFile(FileSystem& files, const std::string& path, size_t maxSize, std::string& contents, Links links,
                   FileStatus* status) {
    contents.clear();
    std::unique_ptr<ReadableFile> file;
    try {
        file = files.openReadable(path, links);
    } catch (const FileError& error) {
        if (error.missing()) return false;
        throw;
    }
    if (status != nullptr) *status = file->status();
    const uint64_t size = file->status().size;
    const auto tooLarge = [&] {
        contents.clear();
        return FileError("read", path,
                         "it is larger than the " + std::to_string(maxSize) + " bytes such a file may have", EFBIG);
    };
    if (size > maxSize) throw tooLarge();
    // Read to the end rather than to the size seen at opening, and one byte
    // past the bound, so a file that grows meanwhile is caught too.
    contents.resize(static_cast<size_t>(size) + 1);
    size_t done = 0;
    for (;;) {
        if (done == contents.size()) {
            if (contents.size() > maxSize) throw tooLarge();
            contents.resize(std::min(maxSize + 1, contents.size() * 2 + 4096));
        }
        const size_t wanted = contents.size() - done;
        const size_t got = file->read(&contents[done], wanted);
        done += got;
        // A regular file reads short only at its end: no second call to
        // hear the end (the common case of a file read in one call).
        if (got < wanted) break;
    }
    if (done > maxSize) throw tooLarge();
    contents.resize(done);
    return true;
}

bool readWholeFile(const std::string& path, size_t maxSize, std::string& contents, Links links) {
    return readWholeFile(FileSystem::real(), path, maxSize, contents, links);
}

void makeFolders(FileSystem& files, const std::string& folder) {
    if (folder.empty()) throw FileError("create folder", "\"\"", "the folder name is empty", EINVAL);
    const std::string target = withoutTrailingSlashes(folder);
    const FileStatus status = files.status(target, Links::Follow);
    if (status.kind == FileKind::Folder) return;
    if (status.kind != FileKind::Missing) throw FileError("create folder", target, "a file of that name exists", EEXIST);
    const std::string parent = folderOf(target);
    if (parent != target && parent != ".") makeFolders(files, parent);
    if (files.makeFolder(target)) return;
    // Created meanwhile by someone else: fine when it is a folder.
    if (files.status(target, Links::Follow).kind != FileKind::Folder)
        throw FileError("create folder", target, "a file of that name exists", EEXIST);
}

void makeFolders(const std::string& folder) { makeFolders(FileSystem::real(), folder); }

ReplacementFile::ReplacementFile(FileSystem& files, const std::string& path)
    : ReplacementFile(files, path, Options()) {}

ReplacementFile::ReplacementFile(const std::string& path) : ReplacementFile(FileSystem::real(), path, Options()) {}

ReplacementFile::ReplacementFile(FileSystem& files, const std::string& path, const Options& options)
    : files_(files), path_(path) {
    if (path.empty() || path.back() == '/') throw FileError("replace", "'" + path + "'", "it is not a file path");
    unsigned permissions = options.permissions;
    if (options.keepPermissions) {
        const FileStatus existing = files_.status(path, Links::Follow);
        if (existing.kind == FileKind::Regular) permissions = existing.permissions;
    }
    const std::string folder = folderOf(path);
    const std::string prefix = (folder == "." ? std::string() : folder == "/" ? std::string("/") : folder + "/") +
                               temporaryNamePrefix(path) + std::to_string(::getpid()) + ".";
    // A name that exists (left by a dead process, or planted) is skipped,
    // never opened: CreateNew refuses anything at the name, links included.
    for (int attempt = 0;; ++attempt) {
        temporaryPath_ = prefix + std::to_string(temporaryCounter.fetch_add(1));
        try {
            file_ = files_.openWritable(temporaryPath_, WriteMode::CreateNew, Links::Refuse, permissions);
            return;
        } catch (const FileError& error) {
            if (error.systemError() != EEXIST || attempt >= 100) throw;
        }
    }
}

ReplacementFile::~ReplacementFile() {
    if (!committed_) abandon();
}

void ReplacementFile::append(const void* data, size_t size) {
    if (!file_) throw FileError("write", temporaryPath_, committed_ ? "it was committed already" : "it was abandoned");
    file_->append(data, size);
}

void ReplacementFile::writeAt(uint64_t offset, const void* data, size_t size) {
    if (!file_) throw FileError("write", temporaryPath_, committed_ ? "it was committed already" : "it was abandoned");
    file_->writeAt(offset, data, size);
}

void ReplacementFile::flush() {
    if (file_) file_->flush();
}

void ReplacementFile::commit() {
    if (committed_) return;
    if (!file_) throw FileError("replace", path_, "its new version was abandoned");
    try {
        file_->sync();
        file_->close();
        file_.reset();
        files_.rename(temporaryPath_, path_);
    } catch (...) {
        abandon();
        throw;
    }
    committed_ = true;
    // The new file is in place; the folder sync makes the rename survive a
    // crash. Its failure is still an error: the caller must not believe the
    // replacement durable.
    files_.syncFolder(folderOf(path_));
}

void ReplacementFile::abandon() {
    if (committed_) return;
    const bool hadFile = file_ != nullptr;
    file_.reset();  // closes it; errors do not matter, the file goes
    if (temporaryPath_.empty()) return;
    try {
        if (hadFile || files_.status(temporaryPath_, Links::Refuse).kind == FileKind::Regular)
            files_.remove(temporaryPath_);
    } catch (...) {
        // Nothing better to do: a temporary name is never read.
    }
    temporaryPath_.clear();
}

void replaceFile(FileSystem& files, const std::string& path, const std::string& contents,
                 const ReplacementFile::Options& options) {
    ReplacementFile file(files, path, options);
    file.append(contents);
    file.commit();
}

void replaceFile(const std::string& path, const std::string& contents) {
    replaceFile(FileSystem::real(), path, contents);
}

}  // namespace VaultFiles
