#include "tests/conversion/ConverterProcess.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/TestFiles.h"

namespace {

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

ConverterRun RunConverter(const std::vector<std::string>& arguments,
                          const std::string& workDirectory, const ConverterShell& shell) {
  const std::string outPath = workDirectory + "/orvconvert.out";
  const std::string errPath = workDirectory + "/orvconvert.err";
  std::string command = shellQuoted(ORVCONVERT_PATH);
  command = "exec env " + shell.environment + " " + command;
  if (shell.addressSpaceKiB > 0) {
    command = "ulimit -v " + std::to_string(shell.addressSpaceKiB) + " && " + command;
  }
  for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
  command += " >" + shellQuoted(outPath) + " 2>" + shellQuoted(errPath);

  ConverterRun run;
  const int raw = std::system(command.c_str());
  run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.output = ReadWholeFile(outPath);
  run.errors = ReadWholeFile(errPath);
  return run;
}
