#include <cstdarg>
#include <cstdio>

#include "orv/ThreadManager.h"

namespace KUtils {

ExceptionMsg::ExceptionMsg(const char* format, ...) {
  text[0] = '\0';
  if (!format) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
}

}  // namespace KUtils
