#include "FaultInjectingFileSystem.h"

#include <algorithm>
#include <cstring>

namespace VaultFilesTesting {

using VaultFiles::FileError;
using VaultFiles::FileStatus;
using VaultFiles::Links;
using VaultFiles::ReadableFile;
using VaultFiles::WritableFile;
using VaultFiles::WriteMode;

namespace {

class FaultyWritableFile final : public WritableFile {
public:
    FaultyWritableFile(FaultInjectingFileSystem& files, std::unique_ptr<WritableFile> target)
        : files_(files), target_(std::move(target)) {}

    const std::string& path() const override { return target_->path(); }

    void append(const void* data, size_t size) override {
        size_t allowed = size;
        int error = 0;
        uint64_t limit = 0;
        const bool failing = files_.armed(Fault::Write, path(), error, limit) && written_ + size > limit;
        if (failing) allowed = limit > written_ ? static_cast<size_t>(limit - written_) : 0;
        if (allowed > 0) target_->append(data, allowed);
        written_ += allowed;
        if (failing) {
            files_.fired(Fault::Write);
            throw FileError("write", path(), error);
        }
    }

    void writeAt(uint64_t offset, const void* data, size_t size) override {
        int error = 0;
        uint64_t limit = 0;
        if (files_.armed(Fault::Write, path(), error, limit) && offset + size > limit) {
            files_.fired(Fault::Write);
            throw FileError("write", path(), error);
        }
        target_->writeAt(offset, data, size);
    }

    void flush() override { target_->flush(); }
    void resize(uint64_t size) override { target_->resize(size); }

    void sync() override {
        int error = 0;
        uint64_t unused = 0;
        if (files_.armed(Fault::Sync, path(), error, unused)) {
            target_->flush();
            files_.fired(Fault::Sync);
            throw FileError("sync", path(), error);
        }
        target_->sync();
    }

    void close() override {
        target_->close();
        int error = 0;
        uint64_t unused = 0;
        if (!closed_ && files_.armed(Fault::Close, path(), error, unused)) {
            closed_ = true;
            files_.fired(Fault::Close);
            throw FileError("close", path(), error);
        }
        closed_ = true;
    }

private:
    FaultInjectingFileSystem& files_;
    std::unique_ptr<WritableFile> target_;
    uint64_t written_ = 0;
    bool closed_ = false;
};

class ShortReadableFile final : public ReadableFile {
public:
    ShortReadableFile(std::unique_ptr<ReadableFile> target, uint64_t end) : target_(std::move(target)), end_(end) {}

    const std::string& path() const override { return target_->path(); }
    const FileStatus& status() const override { return target_->status(); }

    size_t read(void* buffer, size_t size) override {
        const size_t allowed = position_ >= end_ ? 0 : static_cast<size_t>(std::min<uint64_t>(size, end_ - position_));
        const size_t got = allowed == 0 ? 0 : target_->readAt(position_, buffer, allowed);
        position_ += got;
        return got;
    }


    size_t readAt(uint64_t offset, void* buffer, size_t size) const override {
        if (offset >= end_) return 0;
        return target_->readAt(offset, buffer, static_cast<size_t>(std::min<uint64_t>(size, end_ - offset)));
    }

private:
    std::unique_ptr<ReadableFile> target_;
    uint64_t end_;
    uint64_t position_ = 0;
};

}  // namespace

void FaultInjectingFileSystem::inject(Fault fault, const std::string& pathPart, int error, uint64_t afterBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.push_back({fault, pathPart, error, afterBytes});
}

void FaultInjectingFileSystem::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.clear();
}

int FaultInjectingFileSystem::hits(Fault fault) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = hits_.find(fault);
    return it == hits_.end() ? 0 : it->second;
}

bool FaultInjectingFileSystem::armed(Fault fault, const std::string& path, int& error, uint64_t& afterBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Armed& a : armed_) {
        if (a.fault != fault || path.find(a.pathPart) == std::string::npos) continue;
        error = a.error;
        afterBytes = a.afterBytes;
        return true;
    }
    return false;
}

void FaultInjectingFileSystem::fired(Fault fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++hits_[fault];
}

void FaultInjectingFileSystem::failIfArmed(Fault fault, const std::string& operation, const std::string& path) {
    int error = 0;
    uint64_t unused = 0;
    if (!armed(fault, path, error, unused)) return;
    fired(fault);
    throw FileError(operation, path, error);
}

std::unique_ptr<ReadableFile> FaultInjectingFileSystem::openReadable(const std::string& path, Links links) {
    failIfArmed(Fault::Open, "open", path);
    std::unique_ptr<ReadableFile> file = target().openReadable(path, links);
    int error = 0;
    uint64_t end = 0;
    if (!armed(Fault::ShortRead, path, error, end)) return file;
    fired(Fault::ShortRead);
    return std::unique_ptr<ReadableFile>(new ShortReadableFile(std::move(file), end));
}

std::unique_ptr<WritableFile> FaultInjectingFileSystem::openWritable(const std::string& path, WriteMode mode,
                                                                     Links links, unsigned permissions) {
    failIfArmed(Fault::Open, mode == WriteMode::CreateNew ? "create" : "open", path);
    return std::unique_ptr<WritableFile>(
        new FaultyWritableFile(*this, target().openWritable(path, mode, links, permissions)));
}

void FaultInjectingFileSystem::rename(const std::string& from, const std::string& to) {
    failIfArmed(Fault::Rename, "rename " + from + " to", to);
    failIfArmed(Fault::Rename, "rename " + from + " to", from);
    target().rename(from, to);
}

bool FaultInjectingFileSystem::remove(const std::string& path) {
    failIfArmed(Fault::Remove, "remove", path);
    return target().remove(path);
}

void FaultInjectingFileSystem::syncFolder(const std::string& folder) {
    failIfArmed(Fault::SyncFolder, "sync folder", folder);
    target().syncFolder(folder);
}

bool FaultInjectingFileSystem::makeFolder(const std::string& folder) {
    failIfArmed(Fault::MakeFolder, "create folder", folder);
    return target().makeFolder(folder);
}

}  // namespace VaultFilesTesting
