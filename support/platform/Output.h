// Operating-system services of the programs that write output files and talk to a console: a file
// replaced in one step, file sizes, the process id for private file names, the file-size-limit
// signal, and whether a stream is a terminal.
#pragma once

#include <cstdio>
#include <string>

namespace orv {
namespace platform {

// Moves `from` to `to` in one step, replacing any file there (both in one file system). False with
// the system's reason in *reason when it cannot.
bool ReplaceFile(const char* from, const char* to, std::string* reason);

// Removes a file; false when it cannot (a missing file included).
bool RemoveFile(const char* path);

// Size of a file in bytes; false when it cannot be examined.
bool FileSizeBytes(const char* path, long long& bytes);

// Creates the directory path and any missing parents; true when it exists afterwards. False with
// the system's reason in *reason otherwise.
bool CreateDirectories(const std::string& path, std::string* reason);

// True when path names a directory.
bool IsDirectory(const char* path);

int CurrentProcessId();

// A write past the process's file-size limit ends the program by a signal unless that signal is
// ignored; ignored, the write fails and the writer can clean up.
void IgnoreFileSizeLimitSignal();

// True when `stream` (stdout or stderr) is a terminal; its width in columns, 80 when unknown.
bool IsTerminal(std::FILE* stream);
int TerminalColumns(std::FILE* stream);

// The text of the last system error of this thread.
std::string LastSystemError();

}  // namespace platform
}  // namespace orv
