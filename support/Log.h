// Diagnostics of the cache library.
//
// LogMessage serialises its callers under one process-wide lock and passes only messages whose
// format begins with '#' to the debugger output; DebugPrint always reaches the debugger output.
// A program may also have every LogMessage line appended to a file, prefixed with the local date
// and time, or echoed to standard output; all three are off until a program turns them on. A user
// turns the log on without the program: the environment variable ORV_LOG (read once) set to
// "stderr" sends every line to standard error, set to anything else names a file every line is
// appended to. Lines written there lose their leading '#'.
#pragma once

#include <cstdarg>

#if defined(__GNUC__)
#define ORV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ORV_PRINTF_FORMAT(fmt, args)
#endif

constexpr const char* kLogVariable = "ORV_LOG";

void LogMessage(const char* format, ...) ORV_PRINTF_FORMAT(1, 2);
void DebugPrint(const char* format, ...) ORV_PRINTF_FORMAT(1, 2);

// Formats into buffer[size]. Returns the length written, or -1 when the text did not fit (the
// buffer then holds its first size - 1 characters and a NUL); 0, writing nothing, when size <= 0.
int FormatBounded(char* buffer, int size, const char* format, ...) ORV_PRINTF_FORMAT(3, 4);
int FormatBoundedV(char* buffer, int size, const char* format, va_list args)
    ORV_PRINTF_FORMAT(3, 0);

// Log file that receives every LogMessage line (opened for appending per message); null or empty
// turns it off.
void SetLogFilePath(const char* path);
// Puts "[year/Mon/day|hh:mm:ss] " before each line written to the log file or echoed.
void SetLogDateTimePrefix(bool enabled);
// Echoes every LogMessage line to standard output.
void SetLogEcho(bool enabled);

// Tests: `observer` receives the formatted text of every LogMessage call, whether or not it begins
// with '#', under the log lock and before any output. A null observer removes it.
using LogObserver = void (*)(const char* message, void* context);
void SetLogObserver(LogObserver observer, void* context);
