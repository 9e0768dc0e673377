// The file layer's announcer: one background thread that hands read-ahead
// advice (posix_fadvise WILLNEED) to the system on behalf of readers.
//
// The advice is not free: the system starts the reads inside the call, and on
// a cold cache a reader that advised 512 KiB at a time spent about a third of
// its time inside those calls instead of checking what it had read. Queued
// here, the calls overlap the reader's work. Advice that cannot be queued
// (the queue is full) is dropped: it only ever warms the page cache, and the
// reader's own read reports any error.
//
// The thread starts at the first request and is stopped and joined when the
// process exits (an exit handler). After that, and in the child of a fork(),
// requests are carried out in the caller's thread. A fork() waits until the
// thread is between two requests, so that the child never inherits memory
// or locks in the middle of its work.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace VaultFiles {
namespace detail {

// An open descriptor shared by a file and the requests queued for it, so a
// file closed while advice about it is queued leaves the descriptor open
// until the advice is given.
class SharedDescriptor {
public:
    explicit SharedDescriptor(int fd) : fd_(fd) {}
    ~SharedDescriptor();
    SharedDescriptor(const SharedDescriptor&) = delete;
    SharedDescriptor& operator=(const SharedDescriptor&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Advises [offset, offset + size) of `file` as needed soon.
void adviseWillNeed(const std::shared_ptr<const SharedDescriptor>& file, uint64_t offset, uint64_t size);

// Opens the regular file at `path` (not through a link) and advises
// [offset, offset + size) of it as needed soon.
void adviseWillNeed(const std::string& path, uint64_t offset, uint64_t size);

}  // namespace detail
}  // namespace VaultFiles
