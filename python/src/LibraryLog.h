// The library's '#' lines, read back by the module. The library and its plug-ins write why a
// frame or a channel was refused to the debugger output (ORV_DEBUG_OUTPUT): unless the user has
// sent it elsewhere, the module points it at an in-memory file of its own before the library is
// first used, and each call it watches reads the lines that were appended meanwhile.
#pragma once

#include <string>
#include <vector>

namespace orvpy {

// Once, before the library is used: where the debugger output goes from now on.
void ListenToLibraryLog();

// The '#' lines (without the '#') written to the debugger output while one call ran. Lines of
// calls on other threads at the same time may be among them.
class LogWindow {
 public:
  LogWindow();
  ~LogWindow();
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  std::vector<std::string> lines() const;
  // Why no line can be read when there is none: the user sent the output elsewhere.
  static std::string unreadableReason();

 private:
  long long start_;
};

}  // namespace orvpy
