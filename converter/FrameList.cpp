#include "converter/FrameList.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unordered_set>

namespace {

constexpr long long kMaxFrames = 10000000;

// Reads a signed 32-bit number at text[at...]; advances at past it.
bool readNumber(const std::string& text, size_t& at, int& value) {
  const char* start = text.c_str() + at;
  if (*start != '-' && (*start < '0' || *start > '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(start, &end, 10);
  if (end == start || errno == ERANGE || number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<int>(number);
  at += static_cast<size_t>(end - start);
  return true;
}

// One item: first, last and step of the frames it names.
bool readItem(const std::string& item, long long& first, long long& last, long long& step) {
  size_t at = 0;
  int a = 0, b = 0, s = 1;
  if (!readNumber(item, at, a)) return false;
  b = a;
  if (at < item.size() && item[at] == '-') {
    ++at;
    if (!readNumber(item, at, b)) return false;
    if (at < item.size() && item[at] == ':') {
      ++at;
      if (!readNumber(item, at, s)) return false;
    }
  }
  first = a;
  last = b;
  step = s;
  return at == item.size();
}

}  // namespace

bool ParseFrameList(const std::string& text, std::vector<int>& frames, std::string* reason) {
  auto fail = [reason](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  std::vector<int> result;
  std::unordered_set<int> seen;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    long long first = 0, last = 0, step = 1;
    if (item.empty()) return fail("an empty item in the frame list \"" + text + "\"");
    if (!readItem(item, first, last, step)) {
      return fail("\"" + item + "\" is not a frame, a range A-B or a range with a step A-B:S");
    }
    if (first > last) return fail("the range \"" + item + "\" runs backwards");
    if (step < 1) return fail("the step of \"" + item + "\" is below 1");
    if ((last - first) / step + 1 + static_cast<long long>(result.size()) > kMaxFrames) {
      return fail("the frame list names more than 10000000 frames");
    }
    for (long long frame = first; frame <= last; frame += step) {
      if (seen.insert(static_cast<int>(frame)).second) result.push_back(static_cast<int>(frame));
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  frames.swap(result);
  return true;
}
