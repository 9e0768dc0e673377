// The command session: its maintenance log file and its progress display.
#include "VaultCommandSession.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include <unistd.h>

#include "FileServices.h"
#include "MessageCatalogue.h"
#include "ServiceFiles.h"
#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultSettings.h"
#include "VaultUtilities.h"

namespace {

constexpr int kFacility = 1;
constexpr unsigned kError = 4099;
constexpr unsigned kFirstTraceId = 16385;
constexpr unsigned kLastTraceId = 16387;
constexpr size_t kMaximumText = 16 * 1024;

std::atomic<int> dllRunSessions{0};
std::atomic<bool> dllRunForced{false};

bool validToolName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    return true;
}

std::string upperCased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

VProgress::VProgress(std::string statusFile) : statusFile_(std::move(statusFile)) {}

VProgress::~VProgress() = default;

void VProgress::SetStatusMsg(const std::string& text, int percent) {
    std::string status = ServiceFiles::singleLine(text);
    if (percent > 0) status += " [" + std::to_string(percent > 100 ? 100 : percent) + "%]";
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
    if (!statusFile_.empty()) {
        try {
            VaultFiles::replaceFile(statusFile_, status + "\n");
        } catch (const std::exception& e) {
            if (!reportedFailure_) log_show(kFacility, kError, "Progress status not written: %s", e.what());
            reportedFailure_ = true;
        }
    }
    if (::isatty(STDERR_FILENO)) {
        // One terminal line, overwritten by the next status. Control bytes of
        // the text (names come from the catalogue) never reach the terminal.
        std::string shown = status;
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        const std::string line = "\r\033[K" + shown;
        if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
            // A terminal that cannot be written to shows nothing; the status file still holds it.
        }
    }
}

std::string VProgress::getStatusMsg() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

VaultCommandSession::VaultCommandSession(const Options& options) : globalTag_(options.globalTag) {
    if (!validToolName(options.toolName))
        throw std::invalid_argument("VaultCommandSession: tool name '" + options.toolName +
                                    "' must be 1 to 64 letters, digits, '-' or '_'");
    std::string folder = options.folder.empty() ? NodeConfig::get("node", "LogFolder", ".") : options.folder;
    if (folder.empty()) folder = ".";
    folder = AddTrailingSlash(folder);
    VaultFiles::makeFolders(folder);
    prefix_ = upperCased(options.toolName);
    logPath_ = folder + options.toolName + "-maintenance.log";
    log_ = VaultFiles::FileSystem::real().openWritable(logPath_, VaultFiles::WriteMode::Append,
                                                       VaultFiles::Links::Refuse);
    progress_.reset(new VProgress(options.statusFile ? folder + options.toolName + ".status" : std::string()));
    if (options.dllRun) {
        setsDllRun_ = true;
        dllRunSessions.fetch_add(1);
    }
}

VaultCommandSession::VaultCommandSession(const std::string& globalTag, boost::shared_ptr<VProgress> progress)
    : prefix_("TEST"), globalTag_(globalTag), progress_(progress ? progress : boost::shared_ptr<VProgress>(new VProgress)) {}

VaultCommandSession::~VaultCommandSession() {
    if (log_) {
        try {
            log_->close();
        } catch (const std::exception& e) {
            log_show(kFacility, kError, "%s", e.what());
        }
    }
    if (setsDllRun_) dllRunSessions.fetch_sub(1);
}

void VaultCommandSession::logMaintenance(int facility, unsigned messageId, const char* format, ...) {
    try {
        va_list args;
        va_start(args, format);
        const std::string text = VaultUtilities::formatMessageV(format, args);
        va_end(args);
        logMaintenanceText(facility, messageId, text);
    } catch (...) {
        // Out of memory while formatting: the line is lost, the work goes on.
    }
}

void VaultCommandSession::logMaintenanceText(int /*facility*/, unsigned messageId, const std::string& text) {
    try {
        if (messageId >= kFirstTraceId && messageId <= kLastTraceId && !logCheckTraceLevel(messageId)) return;
        if (!log_) return;
        // Capped well below the file layer's buffer, so a line is one write.
        const std::string capped = text.size() > kMaximumText ? text.substr(0, kMaximumText) + "..." : text;
        const std::string line = ServiceFiles::singleLine(ServiceFiles::localTimestamp(true) + " " +
                                                          MessageCatalogue::render(messageId, prefix_, capped)) +
                                 "\n";
        std::lock_guard<std::mutex> lock(logMutex_);
        try {
            // One line, one write (O_APPEND): lines of other writers never mix in.
            log_->append(line);
            log_->flush();
        } catch (const std::exception& e) {
            if (!reportedFailure_.exchange(true)) log_show(kFacility, kError, "Maintenance log line lost: %s", e.what());
        }
    } catch (...) {
    }
}

boost::shared_ptr<VProgress> VaultCommandSession::getProgress() { return progress_; }

std::string VaultCommandSession::getGlobalTag() const { return globalTag_; }

bool VaultCommandSession::isDllRun() { return dllRunForced.load() || dllRunSessions.load() > 0; }

void VaultCommandSession::setDllRun(bool dllRun) { dllRunForced.store(dllRun); }
