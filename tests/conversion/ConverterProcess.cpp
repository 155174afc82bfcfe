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

ConverterRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& workDirectory, const ConverterShell& shell) {
  const std::string outPath = workDirectory + "/program.out";
  const std::string errPath = workDirectory + "/program.err";
  std::string command = "exec env " + shell.environment + " " + shellQuoted(program);
  for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
  command += " >" + shellQuoted(outPath) + " 2>" + shellQuoted(errPath);
  if (shell.addressSpaceKiB > 0) {
    command = "ulimit -v " + std::to_string(shell.addressSpaceKiB) + " && " + command;
  }
  if (!shell.prefix.empty()) command = shell.prefix + "; " + command;
  command = "(" + command + ")";

  ConverterRun run;
  const int raw = std::system(command.c_str());
  run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.output = ReadWholeFile(outPath);
  run.errors = ReadWholeFile(errPath);
  return run;
}

ConverterRun RunConverter(const std::vector<std::string>& arguments,
                          const std::string& workDirectory, const ConverterShell& shell) {
  return RunProgram(ORVCONVERT_PATH, arguments, workDirectory, shell);
}
