#include "support/ExceptionGuard.h"

#include <exception>
#include <new>

#include "support/Log.h"

namespace orv {

void LogStoppedException(const char* where) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      LogMessage("#%s: out of memory\n", where);
    } catch (const std::exception& error) {
      LogMessage("#%s: %s\n", where, error.what());
    } catch (...) {
      LogMessage("#%s: stopped by an unknown exception\n", where);
    }
  } catch (...) {
    // Nothing more can be reported.
  }
}

}  // namespace orv
