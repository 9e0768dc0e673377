// The scan tool's result files in the working folder.
//
// "Output.csv" gets one run line per run and one task line per checked task;
// "UnknownTasks.txt" lists the tasks a run could not check ("<id>|<name>") and
// is read back by the next run, which then re-checks only those tasks.
//
// Every line is written with one write call as soon as it is known, so a run
// that ends early keeps what it wrote. The list of unknown tasks of the
// running pass goes to "UnknownTasks.txt.tmp" beside the list it read; only a
// walk that ended replaces "UnknownTasks.txt" with it (flushed to disk, then
// renamed). A run that dies before that leaves the list it started from, so
// the next run repeats the interrupted pass instead of forgetting the tasks it
// had not reached.
#pragma once

#include <map>
#include <string>

namespace Trevalon {

extern const char* const kReportFileName;        // "Output.csv"
extern const char* const kUnknownTasksFileName;  // "UnknownTasks.txt"
extern const char* const kUnknownTasksTempName;  // "UnknownTasks.txt.tmp"

// Task-id text (before the first '|') to task name (after it).
typedef std::map<std::string, std::string> UnknownTaskList;

// An output file that is closed when the object is destroyed. A file that
// cannot be opened leaves the stream failed: writes are dropped silently.
class OFStreamWrapper {
public:
    enum Mode { Append, Rewrite };
    OFStreamWrapper() = default;
    OFStreamWrapper(const std::string& path, Mode mode) { open(path, mode); }
    ~OFStreamWrapper();
    OFStreamWrapper(const OFStreamWrapper&) = delete;
    OFStreamWrapper& operator=(const OFStreamWrapper&) = delete;

    bool open(const std::string& path, Mode mode);
    bool good() const { return fd_ >= 0; }
    // Writes `line` and a line break in one write call.
    void writeLine(const std::string& line);
    // Forces what was written to the disk.
    bool sync();
    void close();

private:
    int fd_ = -1;
};

// Reads the list left by the previous run. Lines end at '\n'; a trailing '\r'
// is dropped (so "17\r" names task 17); the last line counts without a line
// break. Key = text before the first '|', value = text after it (the whole
// line for both when there is no '|'); an empty line gives an empty key. The
// first of two equal keys wins. Keys and values are cut at kMaxFieldLength
// bytes, so a file of junk or a huge line costs bounded memory per line. A
// missing or unreadable file gives an empty list.
UnknownTaskList loadUnknownTaskList(const std::string& path);
UnknownTaskList parseUnknownTaskList(const std::string& text);
const size_t kMaxFieldLength = 4096;

// The two result files of one run.
class ResultFiles {
public:
    // Opens Output.csv (appending in a re-check pass, else rewriting) and the
    // new unknown-task list beside the old one, in `folder`.
    ResultFiles(const std::string& folder, bool recheck);

    void writeRunLine(const std::string& vaultGuid, const std::string& hostName, unsigned taskCount,
                      const std::string& runStamp);
    void writeTaskLine(const std::string& vaultGuid, const std::string& hostName,
                       const std::string& customerReference, const std::string& locationReference,
                       const std::string& computerName, const std::string& taskName, bool safe,
                       bool offlineDataDetected);
    void writeUnknownTask(unsigned taskId, const std::string& taskName);

    // The walk ended normally: the new list replaces the old one.
    void commitUnknownTasks();
    // The walk ended with an error: no list is left, so the next run is an
    // initial pass.
    void discardUnknownTasks();

private:
    std::string folder_;
    OFStreamWrapper report_;
    OFStreamWrapper unknownTasks_;
};

}  // namespace Trevalon
