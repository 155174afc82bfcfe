#include "converter/orvtool/CommandArguments.h"

#include <algorithm>

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CommandArguments::CommandArguments(const std::vector<std::string>& arguments,
                                   const std::vector<std::string>& valueOptions,
                                   const std::vector<std::string>& flagOptions) {
  bool optionsEnded = false;
  for (size_t a = 0; a < arguments.size() && error_.empty(); ++a) {
    const std::string& argument = arguments[a];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-' ||
        (argument[1] != '-' && argument != "-h")) {
      operands_.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string name = argument == "-h" ? "--help" : argument.substr(0, equals);
    if (listed(flagOptions, name) && equals == std::string::npos) {
      values_[name] = "";
    } else if (listed(valueOptions, name)) {
      if (equals != std::string::npos) {
        values_[name] = argument.substr(equals + 1);
      } else if (a + 1 < arguments.size()) {
        values_[name] = arguments[++a];
      } else {
        error_ = name + " needs a value";
      }
    } else if (listed(flagOptions, name)) {
      error_ = name + " takes no value";
    } else {
      error_ = "unknown option " + name;
    }
  }
}

const std::string* CommandArguments::value(const std::string& name) const {
  const auto found = values_.find(name);
  return found == values_.end() ? nullptr : &found->second;
}
