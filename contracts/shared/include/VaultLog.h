// The vault's log: one line per call, rendered through the message catalogue.
//
// A line is "<timestamp> <template rendered>", where the template of the message
// identifier receives the log prefix as its first "%s" and the formatted text as
// its second. All functions are safe to call from several threads at once and
// never throw. Before batutil_LogOpen is called, lines go to standard error.
#pragma once

#include "SharedApi.h"

// Options of the options forms of log_show/log_showEx; null means defaults.
struct LogOptions {
    bool toConsole = false;
};

// Opens the log "<directory>/<logName>.log" (appending). `console` also echoes
// every line to standard output. `flags` and `maxSize` are reserved (pass 0).
SHARED_API void batutil_LogOpen(const char* directory, const char* logName, int flags, long maxSize,
                                bool console);

// Formats `format` printf-style and writes one line with template `messageId`.
SHARED_API void log_show(int facility, unsigned messageId, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Writes one line with template `messageId`, whose text argument is `text`.
SHARED_API void log_show(const LogOptions* options, int facility, unsigned messageId, const char* text);

// Writes one line with template `messageId` and no argument text.
SHARED_API void log_showEx(const LogOptions* options, int facility, unsigned messageId);

// True when lines of `level` (16385: trace) are to be written; read from the
// node configuration on every call.
SHARED_API bool logCheckTraceLevel(unsigned level);

// Where lines go now: the open log file, or "" for standard error.
SHARED_API const char* batutil_LogPath();
