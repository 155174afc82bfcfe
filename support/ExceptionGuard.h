// The boundary of every function a host or the converter's main calls: nothing thrown inside
// crosses it. An exception becomes the function's failure result and a '#' line naming where it
// was stopped and why (out of memory, or the exception's text).
#pragma once

#include <type_traits>
#include <utility>

namespace orv {

// Passes the '#' line for the exception being handled to LogMessage; call only inside a catch.
// Never throws, even when logging itself runs out of memory.
void LogStoppedException(const char* where) noexcept;

// Returns body(), or `failure` when body throws.
template <typename Result, typename Body>
Result GuardedCall(const char* where, Result failure, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    LogStoppedException(where);
  }
  return failure;
}

// Runs body(); an exception ends it.
template <typename Body>
void GuardedCall(const char* where, Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
    LogStoppedException(where);
  }
}

}  // namespace orv
