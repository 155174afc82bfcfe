// Runs the real orvconvert binary for the end-to-end tests.
#pragma once

#include <string>
#include <vector>

struct ConverterRun {
  std::string output;  // everything written to standard output
  std::string errors;  // everything written to standard error
  int status = -1;     // exit status, -1 when the program did not exit normally
};

// Runs program with arguments (each passed as one argument, quoted for the shell), capturing its
// output streams in files of workDirectory. shellPrefix runs in the same shell first (a limit
// such as "ulimit -f 64").
ConverterRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workDirectory, const std::string& shellPrefix = "");

// RunProgram of the orvconvert binary.
ConverterRun RunConverter(const std::vector<std::string>& arguments,
                          const std::string& workDirectory);
