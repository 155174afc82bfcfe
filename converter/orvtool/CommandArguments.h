// The arguments of one orv command: options ("--name", "--name value", "--name=value") and
// operands. "--" ends the options.
#pragma once

#include <map>
#include <string>
#include <vector>

class CommandArguments {
 public:
  // valueOptions take a value (the next argument, whatever it looks like); flagOptions take none.
  CommandArguments(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& valueOptions,
                   const std::vector<std::string>& flagOptions);

  // Empty when every argument was understood; otherwise what was wrong.
  const std::string& error() const { return error_; }
  bool has(const std::string& name) const { return values_.count(name) > 0; }
  // The last value given to a value option; null when it was not given.
  const std::string* value(const std::string& name) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> operands_;
  std::string error_;
};
