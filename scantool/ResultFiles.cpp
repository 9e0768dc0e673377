#include "ResultFiles.h"

#include <algorithm>

#include "VaultLog.h"
#include "VaultUtilities.h"

namespace Trevalon {

const char* const kReportFileName = "Output.csv";
const char* const kUnknownTasksFileName = "UnknownTasks.txt";

namespace {

const int kFacility = 0;
const unsigned kWarning = 4098;
const unsigned kError = 4099;

std::string joinPath(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// Cuts a field to the bounded length the list keeps.
void appendBounded(std::string& field, const char* data, size_t length) {
    if (field.size() >= kMaxFieldLength) return;
    field.append(data, std::min(length, kMaxFieldLength - field.size()));
}

}  // namespace

std::string lineSafe(const std::string& value) {
    std::string safe = value;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return safe;
}

OFStreamWrapper::~OFStreamWrapper() { close(); }

bool OFStreamWrapper::open(const std::string& path, Mode mode, VaultFiles::FileSystem& files) {
    close();
    error_.clear();
    try {
        file_ = files.openWritable(path, mode == Append ? VaultFiles::WriteMode::Append : VaultFiles::WriteMode::Truncate,
                                   VaultFiles::Links::Refuse);
    } catch (const VaultFiles::FileError& error) {
        error_ = error.what();
    }
    return file_ != nullptr;
}

bool OFStreamWrapper::writeLine(const std::string& line) {
    if (!good()) {
        if (error_.empty()) error_ = "the file is not open";
        return false;
    }
    try {
        file_->append(line);
        file_->append("\n", 1);
        file_->flush();  // the line and its break reach the file in one write
        return true;
    } catch (const VaultFiles::FileError& error) {
        error_ = error.what();
        return false;
    }
}

bool OFStreamWrapper::close() {
    if (!file_) return error_.empty();
    try {
        file_->close();
    } catch (const VaultFiles::FileError& error) {
        if (error_.empty()) error_ = error.what();
    }
    file_.reset();
    return error_.empty();
}

namespace {

// Splits the list into lines as its bytes arrive, so that one huge line never
// has to fit in memory; the file reader and the text parser share it.
class UnknownTaskListReader {
public:
    void feed(const char* data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\n') {
                finishLine();
                continue;
            }
            lineOpen_ = true;
            if (pendingCr_) appendBounded(field(), "\r", 1);  // a '\r' inside a line is kept
            pendingCr_ = false;
            if (c == '\r') {
                pendingCr_ = true;
            } else if (c == '|' && !inValue_) {
                inValue_ = true;
            } else {
                appendBounded(field(), &c, 1);
            }
        }
    }

    // The list, once every byte was fed; the last line counts without a break.
    UnknownTaskList finish() {
        if (lineOpen_) finishLine();
        return std::move(list_);
    }

private:
    std::string& field() { return inValue_ ? value_ : key_; }

    void finishLine() {
        if (!inValue_) value_ = key_;
        list_.emplace(std::move(key_), std::move(value_));  // the first of two equal keys stays
        key_.clear();
        value_.clear();
        inValue_ = pendingCr_ = lineOpen_ = false;
    }

    UnknownTaskList list_;
    std::string key_, value_;
    bool inValue_ = false, pendingCr_ = false, lineOpen_ = false;
};

}  // namespace

UnknownTaskList parseUnknownTaskList(const std::string& text) {
    UnknownTaskListReader reader;
    reader.feed(text.data(), text.size());
    return reader.finish();
}

UnknownTaskList loadUnknownTaskList(const std::string& path, VaultFiles::FileSystem& files) {
    try {
        std::unique_ptr<VaultFiles::ReadableFile> file = files.openReadable(path, VaultFiles::Links::Refuse);
        UnknownTaskListReader reader;
        char buffer[65536];
        while (const size_t got = file->read(buffer, sizeof buffer)) reader.feed(buffer, got);
        return reader.finish();
    } catch (const VaultFiles::FileError& error) {
        if (!error.missing())
            log_show(kFacility, kWarning, "The list of unchecked tasks cannot be read (%s); every task is checked",
                     error.what());
        return UnknownTaskList();
    }
}

ResultFiles::ResultFiles(const std::string& folder, bool recheck, VaultFiles::FileSystem& files)
    : files_(files), folder_(folder) {
    removeLeftoverLists();
    if (!report_.open(joinPath(folder, kReportFileName), recheck ? OFStreamWrapper::Append : OFStreamWrapper::Rewrite,
                      files))
        reportFailure(std::string(kReportFileName) + " is incomplete: " + report_.error());
    try {
        unknownTasks_.reset(new VaultFiles::ReplacementFile(files, joinPath(folder, kUnknownTasksFileName)));
    } catch (const VaultFiles::FileError& error) {
        unknownTasksError_ = error.what();
    }
}

ResultFiles::~ResultFiles() = default;

void ResultFiles::removeLeftoverLists() {
    const std::string prefix = VaultFiles::temporaryNamePrefix(kUnknownTasksFileName);
    try {
        for (const std::string& name : VaultFiles::folderEntries(folder_)) {
            // Only regular files of that name: a planted link or folder is
            // left alone (removing a link would be harmless, but it is not ours).
            const std::string path = joinPath(folder_, name.c_str());
            if (name.compare(0, prefix.size(), prefix) == 0 &&
                files_.status(path, VaultFiles::Links::Refuse).kind == VaultFiles::FileKind::Regular)
                files_.remove(path);
        }
    } catch (const VaultFiles::FileError&) {
        // Leftovers are only clutter; the run goes on.
    }
}

void ResultFiles::reportFailure(const std::string& text) {
    complete_ = false;
    log_show(kFacility, kError, "%s", text.c_str());
}

void ResultFiles::writeReportLine(const std::string& line) {
    const bool wasGood = report_.good();
    if (!report_.writeLine(line) && wasGood)
        reportFailure(std::string(kReportFileName) + " is incomplete: " + report_.error());
}

void ResultFiles::writeRunLine(const std::string& vaultGuid, const std::string& hostName, unsigned taskCount,
                               const std::string& runStamp) {
    writeReportLine(VaultUtilities::formatMessage("\"%s\",\"%s\",\"__NumberOfTasksInVault\",\"%u\",\"%s\"",
                                                  lineSafe(vaultGuid).c_str(), lineSafe(hostName).c_str(), taskCount,
                                                  lineSafe(runStamp).c_str()));
}

void ResultFiles::writeTaskLine(const std::string& vaultGuid, const std::string& hostName,
                                const std::string& customerReference, const std::string& locationReference,
                                const std::string& computerName, const std::string& taskName, bool safe,
                                bool offlineDataDetected) {
    writeReportLine(VaultUtilities::formatMessage(
        "\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\"", lineSafe(vaultGuid).c_str(),
        lineSafe(hostName).c_str(), lineSafe(customerReference).c_str(), lineSafe(locationReference).c_str(),
        lineSafe(computerName).c_str(), lineSafe(taskName).c_str(), safe ? "Safe" : "AtRisk",
        offlineDataDetected ? "OfflineDataDetected" : ""));
}

void ResultFiles::writeUnknownTask(unsigned taskId, const std::string& taskName) {
    if (!unknownTasks_ || !unknownTasksError_.empty()) return;  // reported when the walk ends
    try {
        unknownTasks_->append(VaultUtilities::formatMessage("%u|%s", taskId, lineSafe(taskName).c_str()) + "\n");
        unknownTasks_->flush();
    } catch (const VaultFiles::FileError& error) {
        unknownTasksError_ = error.what();
    }
}

void ResultFiles::commitUnknownTasks() {
    // A task whose report line was lost must not drop off the list: with the
    // old list kept, the next run repeats this pass.
    if (unknownTasksError_.empty() && !report_.good())
        unknownTasksError_ = std::string("the report ") + kReportFileName + " is incomplete";
    if (unknownTasks_ && unknownTasksError_.empty()) {
        try {
            unknownTasks_->commit();
        } catch (const VaultFiles::FileError& error) {
            unknownTasksError_ = error.what();
        }
    }
    if (unknownTasksError_.empty()) return;
    if (unknownTasks_ && unknownTasks_->committed()) {
        reportFailure(std::string(kUnknownTasksFileName) + " was replaced but may not survive a crash: " +
                      unknownTasksError_);
    } else {
        if (unknownTasks_) unknownTasks_->abandon();
        reportFailure(std::string(kUnknownTasksFileName) +
                      " was not replaced; the list of the previous run is kept: " + unknownTasksError_);
    }
}

void ResultFiles::discardUnknownTasks() {
    if (unknownTasks_) unknownTasks_->abandon();
    try {
        files_.remove(joinPath(folder_, kUnknownTasksFileName));
        files_.syncFolder(folder_.empty() ? "." : folder_);
    } catch (const VaultFiles::FileError&) {
        // The outcome of the deletion is not checked: the walk already failed.
    }
}

}  // namespace Trevalon
