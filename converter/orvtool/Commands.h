// The commands of orv; each takes the arguments after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

int RunConvertCommand(const std::vector<std::string>& arguments);
int RunInfoCommand(const std::vector<std::string>& arguments);

// Prints "orv <command>: <problem>" and where to find the options on standard error; returns 1,
// the exit status of a bad command line.
int CommandLineError(const std::string& command, const std::string& problem);
