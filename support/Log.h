// Diagnostics of the cache library.
//
// LogMessage serialises its callers under one process-wide lock and passes only messages whose
// format begins with '#' to the debugger output; DebugPrint always reaches the debugger output.
#pragma once

#if defined(__GNUC__)
#define ORV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ORV_PRINTF_FORMAT(fmt, args)
#endif

void LogMessage(const char* format, ...) ORV_PRINTF_FORMAT(1, 2);
void DebugPrint(const char* format, ...) ORV_PRINTF_FORMAT(1, 2);
