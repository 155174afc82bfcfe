// orv info: each file inspected and shown as a table or as one JSON document.
#include <cstdio>

#include "converter/FileInspection.h"
#include "converter/orvtool/CommandArguments.h"
#include "converter/orvtool/Commands.h"
#include "converter/orvtool/HelpTexts.h"
#include "converter/orvtool/InfoReport.h"

int RunInfoCommand(const std::vector<std::string>& words) {
  const CommandArguments arguments(words, {}, {"--json", "--stats", "--help"});
  if (!arguments.error().empty()) return CommandLineError("info", arguments.error());
  if (arguments.has("--help")) {
    std::fputs(kInfoHelp, stdout);
    return 0;
  }
  if (arguments.operands().empty()) return CommandLineError("info", "needs at least one FILE");
  const bool json = arguments.has("--json");
  JsonWriter document;
  document.beginObject();
  document.key("files");
  document.beginArray();
  int failed = 0;
  for (const std::string& path : arguments.operands()) {
    FileInfo info;
    std::string reason;
    const bool read = InspectFile(path, arguments.has("--stats"), info, reason);
    if (!read) {
      std::fprintf(stderr, "orv info: %s: %s\n", path.c_str(), reason.c_str());
      if (json) WriteErrorJson(document, path, reason);
      ++failed;
      continue;
    }
    for (const std::string& problem : info.problems) {
      std::fprintf(stderr, "orv info: %s: %s\n", path.c_str(), problem.c_str());
    }
    if (!info.problems.empty()) ++failed;
    if (json) {
      WriteInfoJson(document, info);
    } else {
      std::fputs(InfoTable(info).c_str(), stdout);
    }
    std::fflush(stdout);
  }
  document.endArray();
  document.endObject();
  if (json) std::fputs(document.text().c_str(), stdout);
  const int files = static_cast<int>(arguments.operands().size());
  return failed == 0 ? 0 : failed == files ? 3 : 2;
}
