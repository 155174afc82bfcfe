#include "tests/conversion/ConverterProcess.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

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

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ConverterRun RunConverter(const std::vector<std::string>& arguments,
                          const std::string& workDirectory) {
  const std::string outPath = workDirectory + "/orvconvert.out";
  const std::string errPath = workDirectory + "/orvconvert.err";
  std::string command = shellQuoted(ORVCONVERT_PATH);
  for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
  command += " >" + shellQuoted(outPath) + " 2>" + shellQuoted(errPath);

  ConverterRun run;
  const int raw = std::system(command.c_str());
  run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.output = readAll(outPath);
  run.errors = readAll(errPath);
  return run;
}
