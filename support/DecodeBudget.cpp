#include "support/DecodeBudget.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "support/Log.h"
#include "support/platform/Platform.h"

namespace orv {

namespace {

// "<digits>[K|M|G|T]" (binary multiples, case-insensitive); false for anything else or overflow.
bool parseByteCount(const char* text, long long& bytes) {
  if (!text || !std::isdigit(static_cast<unsigned char>(*text))) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long number = std::strtoull(text, &end, 10);
  if (errno == ERANGE || number > static_cast<unsigned long long>(LLONG_MAX)) return false;
  int shift = 0;
  switch (std::toupper(static_cast<unsigned char>(*end))) {
    case '\0': break;
    case 'K': shift = 10; break;
    case 'M': shift = 20; break;
    case 'G': shift = 30; break;
    case 'T': shift = 40; break;
    default: return false;
  }
  if (*end && end[1]) return false;
  if (number > (static_cast<unsigned long long>(LLONG_MAX) >> shift)) return false;
  bytes = static_cast<long long>(number << shift);
  return true;
}

long long capFromEnvironment() {
  const long long machine = platform::PhysicalMemoryBytes();
  const long long fallback = machine > 0 ? machine : LLONG_MAX;
  const char* text = std::getenv(DecodeBudget::kVariable);
  if (!text || !*text) return fallback;
  long long bytes = 0;
  if (parseByteCount(text, bytes)) return bytes;
  LogMessage("#%s=\"%s\" is not a byte count; decoding is capped at %lld bytes\n",
             DecodeBudget::kVariable, text, fallback);
  return fallback;
}

}  // namespace

DecodeBudget& DecodeBudget::Process() {
  static DecodeBudget* budget = new DecodeBudget(capFromEnvironment());  // outlives every frame
  return *budget;
}

bool DecodeBudget::reserve(long long bytes) {
  if (bytes < 0) return false;
  long long current = used_.load(std::memory_order_relaxed);
  do {
    if (bytes > cap() - current) return false;
  } while (!used_.compare_exchange_weak(current, current + bytes, std::memory_order_relaxed));
  return true;
}

void DecodeBudget::release(long long bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }

bool DecodeReservation::acquire(DecodeBudget& budget, long long bytes, const char* what) {
  reset();
  if (!budget.reserve(bytes)) {
    LogMessage("#%s: %lld decoded bytes refused: %s allows %lld, %lld already in use\n",
               what ? what : "decode", bytes, DecodeBudget::kVariable, budget.cap(), budget.used());
    return false;
  }
  budget_ = &budget;
  bytes_ = bytes;
  return true;
}

void DecodeReservation::reset() {
  if (budget_) budget_->release(bytes_);
  budget_ = nullptr;
  bytes_ = 0;
}

void LogAllocationFailure(const char* what, long long bytes) {
  LogMessage("#%s: %lld bytes cannot be allocated: out of memory\n", what ? what : "decode", bytes);
}

bool DecodedByteCount(long long count, long long elementBytes, long long& bytes) {
  return count >= 0 && elementBytes >= 0 && !__builtin_mul_overflow(count, elementBytes, &bytes);
}

}  // namespace orv
