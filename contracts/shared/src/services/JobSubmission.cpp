// The job queue: one file per job in the spool folder, numbered from a
// counter that is advanced under a lock before the job file is written.
//
// Order of a submission: lock; read the counter; replace the counter file
// with the next number (flushed); write the job file (temporary name,
// flushed, renamed); unlock. A crash after the counter was advanced and
// before the job file was renamed loses that number (a gap), never hands it
// out twice.
#include "JobSubmission.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "FileServices.h"
#include "ServiceFiles.h"
#include "VaultFiles.h"
#include "VaultLog.h"
#include "VaultSettings.h"

namespace {

constexpr int kFacility = 1;
constexpr unsigned kError = 4099;
constexpr size_t kMaximumJobFile = 64 * 1024;
constexpr size_t kMaximumCommand = 4096;
constexpr size_t kMaximumText = 1024;
constexpr uint64_t kLastSequence = 9999999999ull;  // ten digits
const char* const kDefaultSpoolFolder = "/var/spool/vault";

std::string jobFileName(uint64_t sequence) {
    char name[32];
    std::snprintf(name, sizeof name, "job-%010llu.job", static_cast<unsigned long long>(sequence));
    return name;
}

bool parseNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoull(text);
    return true;
}

std::string currentUser() {
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
    return "uid " + std::to_string(::geteuid());
}

// Why a text cannot be stored in a job file's line ("" when it can).
std::string textProblem(const char* what, const std::string& text, size_t limit) {
    if (text.size() > limit) return std::string(what) + " longer than " + std::to_string(limit) + " bytes";
    if (text.find_first_of("\r\n") != std::string::npos) return std::string(what) + " holds a line break";
    return std::string();
}

// The counter file holds the last number handed out, in decimal, and a line end.
uint64_t readCounter(const std::string& path) {
    std::string text;
    if (!VaultFiles::readWholeFile(path, 64, text, VaultFiles::Links::Refuse)) return 0;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    uint64_t value = 0;
    if (!parseNumber(text, value) || value > kLastSequence)
        throw std::runtime_error(path + ": damaged sequence counter '" + ServiceFiles::singleLine(text) + "'");
    return value;
}

long submit(const char* queue, const char* commandText, int priority, int options, const char* user,
            const char* comment) {
    if (queue != nullptr && *queue != '\0') throw std::invalid_argument(std::string("unknown job queue '") + queue + "'");
    if (commandText == nullptr || *commandText == '\0') throw std::invalid_argument("empty job command");
    if (priority < SUBMIT_PRIORITY_NORMAL || priority > SUBMIT_PRIORITY_HIGHEST)
        throw std::invalid_argument("priority " + std::to_string(priority) + " outside 1 to 9");
    if (options != 0) throw std::invalid_argument("unknown submit options " + std::to_string(options));
    JobQueue::Job job;
    job.command = commandText;
    job.priority = priority;
    job.user = user != nullptr ? user : currentUser();
    job.comment = comment != nullptr ? comment : "";
    for (const std::string& problem :
         {textProblem("command", job.command, kMaximumCommand), textProblem("user", job.user, kMaximumText),
          textProblem("comment", job.comment, kMaximumText)})
        if (!problem.empty()) throw std::invalid_argument(problem);

    const std::string spool = JobQueue::spoolFolder();
    VaultFiles::makeFolders(spool);
    ServiceFiles::FileLock lock(spool + ".lock");
    // What submissions killed midway left: their counter and job temporaries.
    ServiceFiles::removeDeadWritersTemporaries(spool, [](const std::string& name) {
        return name == "sequence" || (name.size() > 8 && name.compare(0, 4, "job-") == 0 &&
                                      name.compare(name.size() - 4, 4, ".job") == 0);
    });
    const std::string counterPath = spool + "sequence";
    const uint64_t last = readCounter(counterPath);
    if (last >= kLastSequence) throw std::runtime_error(counterPath + ": job numbers exhausted");
    job.sequence = last + 1;
    VaultFiles::replaceFile(counterPath, std::to_string(job.sequence) + "\n");

    std::string contents;
    contents += "SEQUENCE=" + std::to_string(job.sequence) + "\n";
    contents += "COMMAND=" + job.command + "\n";
    contents += "PRIORITY=" + std::to_string(job.priority) + "\n";
    contents += "USER=" + job.user + "\n";
    contents += "COMMENT=" + job.comment + "\n";
    contents += "SUBMITTED=" + ServiceFiles::localTimestamp(false) + "\n";
    contents += "HOST=" + ServiceFiles::singleLine(getNodeHostName()) + "\n";
    contents += "PID=" + std::to_string(::getpid()) + "\n";
    VaultFiles::replaceFile(spool + jobFileName(job.sequence), contents);
    return static_cast<long>(job.sequence);
}

}  // namespace

long sys_submit(const char* queue, const char* commandText, int priority, int options, const char* user,
                const char* comment) {
    try {
        return submit(queue, commandText, priority, options, user, comment);
    } catch (const std::exception& e) {
        log_show(kFacility, kError, "Job not queued: %s", e.what());
    } catch (...) {
        log_show(kFacility, kError, "Job not queued: unknown error");
    }
    return 0;
}

namespace JobQueue {

std::string spoolFolder() {
    std::string folder = NodeConfig::get("node", "SpoolFolder", kDefaultSpoolFolder);
    if (folder.empty()) folder = kDefaultSpoolFolder;
    return AddTrailingSlash(folder);
}

Job readJob(const std::string& path) {
    std::string bytes;
    if (!VaultFiles::readWholeFile(path, kMaximumJobFile, bytes, VaultFiles::Links::Refuse)) throw std::runtime_error(path + ": no such job file");
    std::map<std::string, std::string> values;
    size_t start = 0;
    unsigned number = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) throw std::runtime_error(path + ": last line not ended (damaged)");
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0 || line.find('\0') != std::string::npos)
            throw std::runtime_error(path + ": line " + std::to_string(number) + " is not KEY=VALUE (damaged)");
        if (!values.emplace(line.substr(0, equals), line.substr(equals + 1)).second)
            throw std::runtime_error(path + ": line " + std::to_string(number) + " repeats " + line.substr(0, equals));
    }
    const auto required = [&](const char* key) -> const std::string& {
        const auto it = values.find(key);
        if (it == values.end()) throw std::runtime_error(path + ": no " + key + " (damaged)");
        return it->second;
    };
    Job job;
    job.path = path;
    uint64_t priority = 0, pid = 0;
    if (!parseNumber(required("SEQUENCE"), job.sequence) || job.sequence == 0 || job.sequence > kLastSequence)
        throw std::runtime_error(path + ": bad SEQUENCE '" + required("SEQUENCE") + "'");
    const size_t slash = path.rfind('/');
    if (path.substr(slash == std::string::npos ? 0 : slash + 1) != jobFileName(job.sequence))
        throw std::runtime_error(path + ": SEQUENCE " + std::to_string(job.sequence) + " does not match the file name");
    job.command = required("COMMAND");
    if (job.command.empty()) throw std::runtime_error(path + ": empty COMMAND");
    if (!parseNumber(required("PRIORITY"), priority) || priority < SUBMIT_PRIORITY_NORMAL ||
        priority > SUBMIT_PRIORITY_HIGHEST)
        throw std::runtime_error(path + ": bad PRIORITY '" + required("PRIORITY") + "'");
    job.priority = static_cast<int>(priority);
    job.user = required("USER");
    job.comment = required("COMMENT");
    job.submitted = required("SUBMITTED");
    job.host = required("HOST");
    if (!parseNumber(required("PID"), pid)) throw std::runtime_error(path + ": bad PID '" + required("PID") + "'");
    job.processId = static_cast<long>(pid);
    return job;
}

std::vector<Job> listJobs(std::vector<std::string>* problems) {
    std::vector<Job> jobs;
    const std::string spool = spoolFolder();
    DIR* dir = ::opendir(spool.c_str());
    if (!dir) {
        if (errno != ENOENT && problems) problems->push_back(VaultFiles::FileError("read the spool folder", spool, errno).what());
        return jobs;
    }
    std::vector<std::string> names;
    while (const struct dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        // Temporary files of submissions in progress start with '.'.
        if (name.size() > 8 && name.compare(0, 4, "job-") == 0 && name.compare(name.size() - 4, 4, ".job") == 0)
            names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        try {
            jobs.push_back(readJob(spool + name));
        } catch (const std::exception& e) {
            if (problems) problems->push_back(e.what());
        }
    }
    std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.sequence < b.sequence; });
    if (problems) std::sort(problems->begin(), problems->end());
    return jobs;
}

}  // namespace JobQueue
