// The scan tool's result files in the working folder.
//
// "Output.csv" gets one run line per run and one task line per checked task;
// "UnknownTasks.txt" lists the tasks a run could not check ("<id>|<name>") and
// is read back by the next run, which then re-checks only those tasks.
//
// Every line is written with one write call as soon as it is known, so a run
// that ends early keeps what it wrote. The list of unknown tasks of the
// running pass goes to a temporary file of a unique name beside the list it
// read (created exclusively, never through a link); only a walk that ended
// replaces "UnknownTasks.txt" with it (flushed to disk, then renamed). A run
// that dies before that leaves the list it started from, so the next run
// repeats the interrupted pass instead of forgetting the tasks it had not
// reached.
//
// Nothing is lost silently: when a line of either file cannot be written (a
// full disk, a link or special file at the report's name), or the new list
// cannot be flushed or renamed into place, one error line (4099) names the
// file and the reason, the old list stays, and complete() turns false so the
// run ends with a non-zero exit code. After a failed write nothing more is
// written to that file, so a report ends early rather than with holes.
//
// Values written into these line-based files never carry a line break:
// control characters become blanks. Quotes are written as they are.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "VaultFiles.h"

namespace Trevalon {

extern const char* const kReportFileName;        // "Output.csv"
extern const char* const kUnknownTasksFileName;  // "UnknownTasks.txt"

// Task-id text (before the first '|') to task name (after it).
typedef std::map<std::string, std::string> UnknownTaskList;

// An output file that is closed when the object is destroyed. It is opened
// without following a link and refused unless it is a regular file; a file
// that cannot be opened, or a write that fails, leaves the stream failed:
// later writes are dropped and error() says what went wrong first.
class OFStreamWrapper {
public:
    enum Mode { Append, Rewrite };
    OFStreamWrapper() = default;
    OFStreamWrapper(const std::string& path, Mode mode,
                    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real()) {
        open(path, mode, files);
    }
    ~OFStreamWrapper();
    OFStreamWrapper(const OFStreamWrapper&) = delete;
    OFStreamWrapper& operator=(const OFStreamWrapper&) = delete;

    bool open(const std::string& path, Mode mode, VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());
    // Open, and no write has failed.
    bool good() const { return file_ != nullptr && error_.empty(); }
    // Writes `line` and a line break in one write call; false when it (or an
    // earlier call) failed.
    bool writeLine(const std::string& line);
    // Closes the file; false when that (or an earlier call) failed.
    bool close();
    // The first failure ("" while there was none).
    const std::string& error() const { return error_; }

private:
    std::unique_ptr<VaultFiles::WritableFile> file_;
    std::string error_;
};

// Reads the list left by the previous run. Lines end at '\n'; a trailing '\r'
// is dropped (so "17\r" names task 17); the last line counts without a line
// break. Key = text before the first '|', value = text after it (the whole
// line for both when there is no '|'); an empty line gives an empty key. The
// first of two equal keys wins. Keys and values are cut at kMaxFieldLength
// bytes, so a file of junk or a huge line costs bounded memory per line. A
// missing file gives an empty list; so does one that cannot be read whole (a
// link, a FIFO, a read error), with a warning (4098): an initial pass then
// checks every task, where half a list would drop the rest.
UnknownTaskList loadUnknownTaskList(const std::string& path,
                                    VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());
UnknownTaskList parseUnknownTaskList(const std::string& text);
const size_t kMaxFieldLength = 4096;

// A value as the line-based result files carry it: control characters
// (line breaks among them) become blanks.
std::string lineSafe(const std::string& value);

// The two result files of one run.
class ResultFiles {
public:
    // Opens Output.csv (appending in a re-check pass, else rewriting) and the
    // new unknown-task list beside the old one, in `folder` ("" for the
    // current folder, by bare names). Temporary lists left by runs that were
    // killed are removed first: the caller holds the folder (one run per
    // folder), so no other run is writing one.
    ResultFiles(const std::string& folder, bool recheck,
                VaultFiles::FileSystem& files = VaultFiles::FileSystem::real());
    ~ResultFiles();
    ResultFiles(const ResultFiles&) = delete;
    ResultFiles& operator=(const ResultFiles&) = delete;

    void writeRunLine(const std::string& vaultGuid, const std::string& hostName, unsigned taskCount,
                      const std::string& runStamp);
    void writeTaskLine(const std::string& vaultGuid, const std::string& hostName,
                       const std::string& customerReference, const std::string& locationReference,
                       const std::string& computerName, const std::string& taskName, bool safe,
                       bool offlineDataDetected);
    void writeUnknownTask(unsigned taskId, const std::string& taskName);

    // The walk ended normally: the new list replaces the old one, unless a
    // line of it or of the report was lost, or the replacement fails; then
    // the old list stays, so the next run repeats this pass.
    void commitUnknownTasks();
    // The walk ended with an error: no list is left, so the next run is an
    // initial pass.
    void discardUnknownTasks();

    // False once a line of either file was lost or the list could not be
    // put in place; the failure was logged (4099).
    bool complete() const { return complete_; }

private:
    void removeLeftoverLists();
    void reportFailure(const std::string& text);
    void writeReportLine(const std::string& line);

    VaultFiles::FileSystem& files_;
    std::string folder_;
    OFStreamWrapper report_;
    std::unique_ptr<VaultFiles::ReplacementFile> unknownTasks_;
    std::string unknownTasksError_;
    bool complete_ = true;
};

}  // namespace Trevalon
