// orv: the pipeline tool over the conversion engine: orv convert, orv info.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "converter/orvtool/Commands.h"
#include "converter/orvtool/HelpTexts.h"

#ifndef ORV_VERSION
#define ORV_VERSION "unknown"
#endif

int CommandLineError(const std::string& command, const std::string& problem) {
  std::fprintf(stderr, "orv %s: %s\nRun 'orv %s --help' for the options.\n", command.c_str(),
               problem.c_str(), command.c_str());
  return 1;
}

namespace {

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>& arguments);
  const char* help;
};

const Command kCommands[] = {
    {"convert", RunConvertCommand, kConvertHelp},
    {"info", RunInfoCommand, kInfoHelp},
};

const Command* findCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int run(const std::vector<std::string>& words) {
  if (words.empty() || words[0] == "--help" || words[0] == "-h") {
    std::fputs(kToolHelp, words.empty() ? stderr : stdout);
    return words.empty() ? 1 : 0;
  }
  if (words[0] == "--version") {
    std::printf("orv %s\n", ORV_VERSION);
    return 0;
  }
  if (words[0] == "help") {
    const Command* command = words.size() > 1 ? findCommand(words[1]) : nullptr;
    std::fputs(command ? command->help : kToolHelp, stdout);
    return words.size() > 1 && !command ? 1 : 0;
  }
  const Command* command = findCommand(words[0]);
  if (!command) {
    std::fprintf(stderr, "orv: unknown command \"%s\"\n\n%s", words[0].c_str(), kToolHelp);
    return 1;
  }
  return command->run(std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orv: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "orv: unexpected failure\n");
  }
  return 3;
}
