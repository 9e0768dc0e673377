// The command session of a maintenance tool: its maintenance log, its progress
// display and its global tag.
//
// A tool creates one session for a run and hands it, as a shared pointer, to
// the libraries that work for it. Everything here is safe to call from several
// threads at once and never throws after construction: a line or a status that
// cannot be written is reported once on the vault log (4099) and dropped, so a
// failing display never stops the work it reports on.
//
// The maintenance log is a text file of its own, beside the vault log: one
// line per call, "YYYY-MM-DD HH:MM:SS.mmm <template rendered>", the template of
// the message identifier receiving the session's prefix (the tool name in
// capitals) and the formatted text, exactly as the vault log renders them
// (see VaultLog.h). Line breaks inside a text are written as blanks. Trace
// lines (16385 to 16387) are written only while logCheckTraceLevel is true.
// Each line reaches the file in one append, so lines of two processes sharing
// the file never mix. Formats and places: docs/sessions.md.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>

#include "SharedApi.h"
#include "VaultFiles.h"

// The progress display of a session: the last status text of the running
// command, where a person can read it while the command runs.
//
// SetStatusMsg replaces the status file (when the session has one) atomically
// with one line "<text>\n", so a reader sees the old status or the new one,
// never a mix; when standard error is a terminal the text is also shown there
// on one line that the next status overwrites. Line breaks in the text are
// written as blanks.
class SHARED_API VProgress {
public:
    // `statusFile` "" keeps the status in memory only.
    explicit VProgress(std::string statusFile = std::string());
    virtual ~VProgress();
    VProgress(const VProgress&) = delete;
    VProgress& operator=(const VProgress&) = delete;

    // Sets the status text. `percent` is the share done (0 to 100; 0 when
    // unknown) and is written after the text as " [N%]" when above 0.
    virtual void SetStatusMsg(const std::string& text, int percent);
    // The last status text given to SetStatusMsg ("" before the first).
    virtual std::string getStatusMsg() const;
    // The status file ("" when there is none).
    const std::string& statusFile() const { return statusFile_; }

private:
    std::string statusFile_;
    mutable std::mutex mutex_;
    std::string status_;
    bool reportedFailure_ = false;
};

class SHARED_API VaultCommandSession {
public:
    struct Options {
        // Name of the tool ("Pellatrix"): the log line prefix (in capitals)
        // and the file names "<toolName>-maintenance.log", "<toolName>.status".
        // Must be 1 to 64 letters, digits, '-' or '_'.
        std::string toolName = "vault";
        // Folder of both files; "" means [node] LogFolder of the node
        // configuration (default "."). Created when missing.
        std::string folder;
        // The session's global tag, handed to every command it runs.
        std::string globalTag;
        // Keep a status file (otherwise the status lives in memory and on the
        // terminal only).
        bool statusFile = true;
        // The tool runs the libraries in-process as a maintenance job; sets
        // the process-wide isDllRun() for the session's lifetime.
        bool dllRun = false;
    };

    // Opens (appending, creating) the maintenance log. Throws
    // std::invalid_argument for a tool name the rules above refuse and
    // std::runtime_error naming the file when the log cannot be opened.
    explicit VaultCommandSession(const Options& options);
    virtual ~VaultCommandSession();
    VaultCommandSession(const VaultCommandSession&) = delete;
    VaultCommandSession& operator=(const VaultCommandSession&) = delete;

    // Formats `format` printf-style and writes one maintenance-log line with
    // the template of `messageId`. `facility` is accepted and not recorded.
    void logMaintenance(int facility, unsigned messageId, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    // Writes one line whose text is `text` as it stands ('%' included). The
    // variadic form formats and then calls this one, so a test double that
    // overrides it sees every line.
    virtual void logMaintenanceText(int facility, unsigned messageId, const std::string& text);

    // The session's progress display (never null).
    virtual boost::shared_ptr<VProgress> getProgress();
    virtual std::string getGlobalTag() const;

    // The maintenance log's path.
    const std::string& maintenanceLogPath() const { return logPath_; }

    // True while a session created with Options::dllRun lives in this
    // process (or after setDllRun(true)): the libraries then use the shorter
    // time-outs of maintenance jobs.
    static bool isDllRun();
    static void setDllRun(bool dllRun);

protected:
    // For test doubles that keep lines in memory: no file is opened.
    VaultCommandSession(const std::string& globalTag, boost::shared_ptr<VProgress> progress);

private:
    std::string prefix_;
    std::string logPath_;
    std::string globalTag_;
    boost::shared_ptr<VProgress> progress_;
    std::mutex logMutex_;
    std::unique_ptr<VaultFiles::WritableFile> log_;
    bool setsDllRun_ = false;
    std::atomic<bool> reportedFailure_{false};
};
