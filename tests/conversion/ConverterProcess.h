// Runs the real orvconvert binary for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

struct ConverterRun {
  std::string output;  // everything written to standard output
  std::string errors;  // everything written to standard error
  int status = -1;     // exit status, -1 when the program did not exit normally
};

// How the program is started besides its arguments.
struct ConverterShell {
  long long addressSpaceKiB = 0;  // > 0: that limit of its virtual memory (ulimit -v)
  std::string environment;        // NAME=value assignments for its environment
  std::string prefix;             // shell commands run first in the same shell ("ulimit -f 64")
};

// Runs program with arguments (each passed as one argument, quoted for the shell), capturing its
// output streams in files of workDirectory.
ConverterRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workDirectory, const ConverterShell& shell = {});

// RunProgram of the orvconvert binary.
ConverterRun RunConverter(const std::vector<std::string>& arguments,
                          const std::string& workDirectory, const ConverterShell& shell = {});
