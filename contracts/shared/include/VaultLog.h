// The vault's log: one line per call, rendered through the message catalogue.
//
// A line is "<timestamp> <template rendered>", where the template of the message
// identifier receives the log prefix as its first "%s" and the formatted text as
// its second. All functions are safe to call from several threads at once and
// never throw. Before batutil_LogOpen is called, lines go to standard error.
//
// A line reads "YYYY-MM-DD HH:MM:SS.mmm PREFIX-I-0001 text" (local time); the
// prefix is the log name in capitals, "VAULT" before any log is opened. Each
// line reaches the system in one write, so lines of concurrent callers never
// mix and a written line survives a crash of the program. Line breaks inside a
// text are written as blanks. Trace lines (identifiers 16385 to 16387) are
// written only while logCheckTraceLevel is true. Facility values are accepted
// and not recorded.
#pragma once

#include "SharedApi.h"

// Options of the options forms of log_show/log_showEx; null means defaults.
struct LogOptions {
    bool toConsole = false;
};

// Opens the log "<directory>/<logName>.log" (appending), creating missing
// folders; a null or empty directory means [node] LogFolder of the node
// configuration (default "."). `console` also echoes every line to standard
// output. `flags` and `maxSize` are reserved (pass 0). When the file cannot
// be opened, the previous destination stays in use and an error line (4099)
// says why. Opening again switches to the new file.
SHARED_API void batutil_LogOpen(const char* directory, const char* logName, int flags, long maxSize,
                                bool console);

// Formats `format` printf-style and writes one line with template `messageId`.
// Only `format` is interpreted; the formatted text is never formatted again.
SHARED_API void log_show(int facility, unsigned messageId, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes one line with template `messageId`, whose text argument is `text`
// taken as it stands ('%' included). options->toConsole also echoes the line.
SHARED_API void log_show(const LogOptions* options, int facility, unsigned messageId, const char* text);

// Writes one line with template `messageId` and no argument text.
SHARED_API void log_showEx(const LogOptions* options, int facility, unsigned messageId);

// True when lines of `level` are to be written: for the trace levels 16385 to
// 16387, while [node] TraceLevel is an unsigned number other than 0 (read
// from the node configuration on every call); for every other level, always.
SHARED_API bool logCheckTraceLevel(unsigned level);

// Where lines go now: the open log file, or "" for standard error.
SHARED_API const char* batutil_LogPath();
