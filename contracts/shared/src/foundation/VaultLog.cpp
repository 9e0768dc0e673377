// The log sink: one process-wide destination guarded by one mutex.
//
// Each line is built completely first and then handed to the system with one
// write call, so lines of concurrent callers never interleave and a line
// written before a crash is in the file. Nothing here throws: a failure to
// open or write falls back to standard error.
#include "VaultLog.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <string>

#include <unistd.h>

#include "FileServices.h"
#include "MessageCatalogue.h"
#include "NodeConfigCache.h"
#include "VaultFiles.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"
#include "WinKernel.h"

namespace {

constexpr unsigned kFirstTraceId = 16385;
constexpr unsigned kLastTraceId = 16387;
constexpr unsigned kErrorId = 4099;

bool isTraceId(unsigned id) { return id >= kFirstTraceId && id <= kLastTraceId; }

// Writes a line to the console (standard output or error); nothing to report
// to when that fails.
void writeToConsole(int fd, const std::string& line) {
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, data, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        data += put;
        left -= static_cast<size_t>(put);
    }
}

class LogSink final {
public:
    static LogSink& instance() {
        // Never destroyed, so threads and static destructors may log until the end.
        static LogSink* sink = new LogSink;
        return *sink;
    }

    // Returns the error text when the file cannot be opened ("" on success).
    // A link or a special file at the log's name is refused: the log folder
    // may be one that others can write to.
    std::string open(const std::string& path, const std::string& prefix, bool console) {
        std::unique_ptr<VaultFiles::WritableFile> file;
        std::string error;
        try {
            file = VaultFiles::FileSystem::real().openWritable(path, VaultFiles::WriteMode::Append,
                                                               VaultFiles::Links::Refuse);
        } catch (const VaultFiles::FileError& failure) {
            error = failure.what();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        prefix_ = prefix;
        console_ = console;
        if (!file) return error;
        file_ = std::move(file);
        paths_.push_back(path);
        path_ = paths_.back().c_str();
        return std::string();
    }

    void write(unsigned messageId, const std::string& text, bool echo) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string line = timestamp();
        line += MessageCatalogue::render(messageId, prefix_, text);
        // One call, one line: embedded line breaks would forge extra lines.
        for (char& c : line)
            if (c == '\n' || c == '\r') c = ' ';
        line += '\n';
        bool written = false;
        if (file_) {
            try {
                file_->append(line);
                file_->flush();
                written = true;
            } catch (const VaultFiles::FileError&) {
                // The line goes to standard error instead.
            }
        }
        if (!written) writeToConsole(STDERR_FILENO, line);
        if (console_ || echo) writeToConsole(STDOUT_FILENO, line);
    }

    const char* path() {
        std::lock_guard<std::mutex> lock(mutex_);
        return path_;
    }

private:
    LogSink() = default;

    static std::string timestamp() {
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        struct tm local {};
        char text[96];
        if (!GetLocalTm(now.tv_sec, &local)) return "0000-00-00 00:00:00.000 ";
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                      static_cast<int>(now.tv_nsec / 1000000) % 1000);
        return text;
    }

    std::mutex mutex_;
    std::unique_ptr<VaultFiles::WritableFile> file_;
    std::string prefix_ = "VAULT";
    bool console_ = false;
    std::deque<std::string> paths_;  // every path ever opened, so path_ stays valid
    const char* path_ = "";
};

std::string upperCased(const std::string& name) {
    std::string result = name;
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

void writeLine(const LogOptions* options, unsigned messageId, const std::string& text) {
    if (isTraceId(messageId) && !logCheckTraceLevel(messageId)) return;
    LogSink::instance().write(messageId, text, options != nullptr && options->toConsole);
}

}  // namespace

void batutil_LogOpen(const char* directory, const char* logName, int /*flags*/, long /*maxSize*/,
                     bool console) {
    try {
        std::string folder = directory != nullptr ? directory : "";
        if (folder.empty()) folder = NodeConfig::get("node", "LogFolder", ".");
        const std::string name = logName != nullptr && *logName != '\0' ? logName : "vault";
        std::string error;
        try {
            VaultFiles::makeFolders(folder);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        const std::string openError =
            LogSink::instance().open(AddTrailingSlash(folder) + name + ".log", upperCased(name), console);
        if (!openError.empty()) LogSink::instance().write(kErrorId, error.empty() ? openError : error, false);
    } catch (...) {
        // Out of memory while building a path: keep logging where we did before.
    }
}

void log_show(int /*facility*/, unsigned messageId, const char* format, ...) {
    try {
        if (isTraceId(messageId) && !logCheckTraceLevel(messageId)) return;
        va_list args;
        va_start(args, format);
        std::string text = VaultUtilities::formatMessageV(format, args);
        va_end(args);
        LogSink::instance().write(messageId, text, false);
    } catch (...) {
    }
}

void log_show(const LogOptions* options, int /*facility*/, unsigned messageId, const char* text) {
    try {
        writeLine(options, messageId, text != nullptr ? text : "");
    } catch (...) {
    }
}

void log_showEx(const LogOptions* options, int /*facility*/, unsigned messageId) {
    try {
        writeLine(options, messageId, std::string());
    } catch (...) {
    }
}

bool logCheckTraceLevel(unsigned level) {
    if (!isTraceId(level)) return true;
    try {
        unsigned long number = 0;
        return foundation::parseUnsigned(NodeConfig::get("node", "TraceLevel", "0"), number) && number != 0;
    } catch (...) {
        return false;
    }
}

const char* batutil_LogPath() { return LogSink::instance().path(); }
