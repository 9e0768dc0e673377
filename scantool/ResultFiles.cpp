#include "ResultFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "VaultUtilities.h"

namespace Trevalon {

const char* const kReportFileName = "Output.csv";
const char* const kUnknownTasksFileName = "UnknownTasks.txt";
const char* const kUnknownTasksTempName = "UnknownTasks.txt.tmp";

namespace {

std::string joinPath(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Cuts a field to the bounded length the list keeps.
void appendBounded(std::string& field, const char* data, size_t length) {
    if (field.size() >= kMaxFieldLength) return;
    field.append(data, std::min(length, kMaxFieldLength - field.size()));
}

}  // namespace

OFStreamWrapper::~OFStreamWrapper() { close(); }

bool OFStreamWrapper::open(const std::string& path, Mode mode) {
    close();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == Append ? O_APPEND : O_TRUNC);
    do {
        fd_ = ::open(path.c_str(), flags, 0644);
    } while (fd_ < 0 && errno == EINTR);
    return fd_ >= 0;
}

void OFStreamWrapper::writeLine(const std::string& line) {
    if (fd_ < 0) return;
    std::string buffer = line;
    buffer.push_back('\n');
    const char* data = buffer.data();
    size_t left = buffer.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // a lost line is not reported; the run goes on
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

bool OFStreamWrapper::sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

void OFStreamWrapper::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
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

UnknownTaskList loadUnknownTaskList(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return UnknownTaskList();
    UnknownTaskListReader reader;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) reader.feed(buffer, got);
    std::fclose(file);
    return reader.finish();
}

ResultFiles::ResultFiles(const std::string& folder, bool recheck) : folder_(folder) {
    report_.open(joinPath(folder, kReportFileName), recheck ? OFStreamWrapper::Append : OFStreamWrapper::Rewrite);
    unknownTasks_.open(joinPath(folder, kUnknownTasksTempName), OFStreamWrapper::Rewrite);
}

void ResultFiles::writeRunLine(const std::string& vaultGuid, const std::string& hostName, unsigned taskCount,
                               const std::string& runStamp) {
    report_.writeLine(VaultUtilities::formatMessage("\"%s\",\"%s\",\"__NumberOfTasksInVault\",\"%u\",\"%s\"",
                                                    vaultGuid.c_str(), hostName.c_str(), taskCount,
                                                    runStamp.c_str()));
}

void ResultFiles::writeTaskLine(const std::string& vaultGuid, const std::string& hostName,
                                const std::string& customerReference, const std::string& locationReference,
                                const std::string& computerName, const std::string& taskName, bool safe,
                                bool offlineDataDetected) {
    report_.writeLine(VaultUtilities::formatMessage(
        "\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\",\"%s\"", vaultGuid.c_str(), hostName.c_str(),
        customerReference.c_str(), locationReference.c_str(), computerName.c_str(), taskName.c_str(),
        safe ? "Safe" : "AtRisk", offlineDataDetected ? "OfflineDataDetected" : ""));
}

void ResultFiles::writeUnknownTask(unsigned taskId, const std::string& taskName) {
    unknownTasks_.writeLine(VaultUtilities::formatMessage("%u|%s", taskId, taskName.c_str()));
}

void ResultFiles::commitUnknownTasks() {
    if (!unknownTasks_.good()) return;  // nothing trustworthy to replace the old list with
    unknownTasks_.sync();
    unknownTasks_.close();
    if (std::rename(joinPath(folder_, kUnknownTasksTempName).c_str(),
                    joinPath(folder_, kUnknownTasksFileName).c_str()) == 0) {
        syncFolder(folder_);
    }
}

void ResultFiles::discardUnknownTasks() {
    unknownTasks_.close();
    std::remove(joinPath(folder_, kUnknownTasksTempName).c_str());
    std::remove(joinPath(folder_, kUnknownTasksFileName).c_str());
    syncFolder(folder_);
}

}  // namespace Trevalon
