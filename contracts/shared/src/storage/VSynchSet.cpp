// A task's synchronisation set read from its main and mirror files.
//
// Open reads both files. When both are good the main file's entries are used;
// when one is missing or bad the other is used and a bad one is logged. Close
// with writing allowed re-creates a missing file (never a damaged one, which
// is left for inspection) from the one that was read.
#include "VSynchSet.h"

#include <vector>

#include "TaskStorageDescriptor.h"
#include "VSynchSetWriter.h"
#include "VaultFiles.h"
#include "VaultLog.h"

const char* const VSynchSet::MAIN_FILE_NAME = "synchset.vss";
const char* const VSynchSet::MIRROR_FILE_NAME = "synchset-mirror.vss";

namespace {

constexpr int kLogFacility = 1;
constexpr unsigned kInformation = 4097;
constexpr unsigned kWarning = 4098;
constexpr unsigned kError = 4099;

bool pathIsMissing(const std::string& path) {
    return VaultFiles::FileSystem::real().status(path, VaultFiles::Links::Refuse).kind == VaultFiles::FileKind::Missing;
}

bool sameEntries(const std::vector<VSynchEntry>& a, const std::vector<VSynchEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].safesetNumber != b[i].safesetNumber || a[i].peripheral != b[i].peripheral ||
            a[i].fileName.GetName() != b[i].fileName.GetName())
            return false;
    return true;
}

// One of the two files as Open found it.
struct FileState {
    std::string path;
    bool good = false;
    bool missing = false;
    std::string error;
    VSynchFiles::FileContents contents;

    void read() {
        try {
            contents = VSynchFiles::readFile(path);
            good = true;
        } catch (const std::exception& e) {
            missing = pathIsMissing(path);
            error = e.what();
        }
    }
};

}  // namespace

struct VSynchSet::State {
    int partialEntryMode = 0;
    bool allowWrite = false;
    int replicationDirection = 0;

    bool opened = false;
    FileState main;
    FileState mirror;
    const FileState* source = nullptr;  // the file whose entries are in use
    std::map<uint32_t, VSynchEntry> entries;
};

VSynchSet::VSynchSet(int partialEntryMode, bool allowWrite, int replicationDirection) : state_(new State) {
    state_->partialEntryMode = partialEntryMode;
    state_->allowWrite = allowWrite;
    state_->replicationDirection = replicationDirection;
}

VSynchSet::~VSynchSet() {
    delete state_;
}

void VSynchSet::endUse() {
    state_->opened = false;
    state_->main = FileState();
    state_->mirror = FileState();
    state_->source = nullptr;
    state_->entries.clear();
}

int VSynchSet::Open(const DataObjects::TaskDataObject& task, bool /*forRepair*/) {
    endUse();
    const std::string folder = TaskStorageDescriptor::getSynchFilesStorageLocation(task);
    if (folder.empty()) {
        log_show(kLogFacility, kError, "Task %s (#%u) has no task folder: no synchronisation set to read",
                 task.name.c_str(), task.id);
        return 0;
    }
    State& s = *state_;
    s.main.path = folder + MAIN_FILE_NAME;
    s.mirror.path = folder + MIRROR_FILE_NAME;
    s.main.read();
    s.mirror.read();

    if (s.main.good && s.mirror.good) {
        s.source = &s.main;
        if (!sameEntries(s.main.contents.entries, s.mirror.contents.entries) ||
            s.main.contents.format != s.mirror.contents.format)
            log_show(kLogFacility, kWarning, "Synchronisation files %s and %s differ; using the main file",
                     s.main.path.c_str(), s.mirror.path.c_str());
    } else if (s.main.good || s.mirror.good) {
        FileState& good = s.main.good ? s.main : s.mirror;
        const FileState& bad = s.main.good ? s.mirror : s.main;
        s.source = &good;
        if (!bad.missing)
            log_show(kLogFacility, kWarning, "Synchronisation file unusable (%s); using %s", bad.error.c_str(),
                     good.path.c_str());
    } else {
        log_show(kLogFacility, kError, "No usable synchronisation file for task %s (#%u): %s; %s", task.name.c_str(),
                 task.id, s.main.error.c_str(), s.mirror.error.c_str());
        return 0;
    }
    for (const VSynchEntry& e : s.source->contents.entries) s.entries[e.safesetNumber] = e;
    s.opened = true;
    return (s.main.good ? 1 : 0) + (s.mirror.good ? 1 : 0);
}

void VSynchSet::Close(bool writeMissing, void* /*callback*/) {
    State& s = *state_;
    if (!s.opened || !writeMissing || !s.allowWrite) return;
    for (FileState* target : {&s.main, &s.mirror}) {
        // Re-check: the file may have been re-created since Open.
        if (target->good || !target->missing || !pathIsMissing(target->path)) continue;
        try {
            VSynchFiles::writeFile(target->path, s.source->contents.entries, s.source->contents.format);
        } catch (const std::exception& e) {
            log_show(kLogFacility, kError, "Cannot re-create synchronisation file: %s", e.what());
            throw;
        }
        log_show(kLogFacility, kInformation, "Re-created synchronisation file %s from %s", target->path.c_str(),
                 s.source->path.c_str());
        target->good = true;
        target->missing = false;
        target->contents = s.source->contents;
    }
}

void VSynchSet::getEntries(std::map<uint32_t, VSynchEntry>& entries) const {
    entries = state_->entries;
}

bool VSynchSet::isOldFileFormat() const {
    return state_->opened && state_->source->contents.format == VSynchFiles::Format::Older;
}
