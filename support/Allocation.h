// Guarded allocation: every failure is reported by a false result and a null pointer, never by an
// exception. Storage from newArray and newZeroedArray is released with deleteArray, objects from
// newObject with delete.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "support/Log.h"

namespace orv {
namespace allocation {

// Element counts in the failure messages: printed through single precision without decimals.
inline double countForMessage(unsigned long long n) { return static_cast<float>(n); }

// Byte size of n elements of T, or false when it exceeds what one object may occupy (which
// includes every product that overflows 64 bits); such a request can only fail.
template <typename T>
bool byteSize(unsigned long long n, size_t& bytes) {
  const unsigned long long limit = static_cast<unsigned long long>(PTRDIFF_MAX);
  if (n > limit / sizeof(T)) return false;
  bytes = static_cast<size_t>(n * sizeof(T));
  return true;
}

// Plain element types live in malloc storage (so that the zero-filled route can use calloc);
// class types are constructed with new[].
template <typename T>
constexpr bool kMallocStorage = std::is_trivially_default_constructible<T>::value &&
                                std::is_trivially_destructible<T>::value;

}  // namespace allocation
}  // namespace orv

// Sets p to storage for n elements (uninitialised for plain types), or to null on failure.
template <typename T>
bool newArray(T*& p, unsigned long long n) {
  using namespace orv::allocation;
  p = nullptr;
  size_t bytes = 0;
  if (!byteSize<T>(n, bytes)) return false;
  try {
    if constexpr (kMallocStorage<T>) {
      p = static_cast<T*>(std::malloc(bytes == 0 ? 1 : bytes));
    } else {
      p = new (std::nothrow) T[static_cast<size_t>(n)];
    }
  } catch (...) {
    p = nullptr;
    LogMessage("[ERROR] newArray failed to allocate %.0f\n", countForMessage(n));
  }
  return p != nullptr;
}

// Releases storage obtained from newArray or newZeroedArray; null is ignored.
template <typename T>
void deleteArray(T* p) {
  if constexpr (orv::allocation::kMallocStorage<T>) {
    std::free(p);
  } else {
    delete[] p;
  }
}

// Sets p to zero-filled storage for n plain elements, or to null on failure. When the zero-filled
// allocation fails it retries with newArray and clears the bytes itself.
template <typename T>
bool newZeroedArray(T*& p, long long n) {
  using namespace orv::allocation;
  static_assert(kMallocStorage<T>, "zero-filled storage holds plain element types only");
  p = nullptr;
  const unsigned long long count = static_cast<unsigned long long>(n);
  size_t bytes = 0;
  try {
    errno = 0;
    if (n >= 0 && byteSize<T>(count, bytes)) {
      p = static_cast<T*>(std::calloc(count == 0 ? 1 : static_cast<size_t>(count), sizeof(T)));
    } else {
      errno = ENOMEM;
    }
    if (errno == ENOMEM) {
      std::free(p);
      p = nullptr;
      LogMessage("[ERROR] newZeroedArray failed to allocate ENOMEM %.0f\n", countForMessage(count));
    }
  } catch (...) {
    p = nullptr;
    LogMessage("[ERROR] newZeroedArray failed to allocate except %.0f\n", countForMessage(count));
  }
  if (p) return true;
  LogMessage("Retry newZeroedArray with newArray and memset\n");
  const bool ok = newArray(p, count);
  if (ok) std::memset(static_cast<void*>(p), 0, bytes);
  LogMessage("Retry newZeroedArray with newArray and memset result = %d\n", ok ? 1 : 0);
  return ok;
}

// Sets p to a new default-constructed object, or to null on failure.
template <typename T>
bool newObject(T*& p) {
  p = nullptr;
  try {
    p = new (std::nothrow) T();
  } catch (...) {
    p = nullptr;
    LogMessage("[ERROR] newObject failed to allocate!\n");
  }
  return p != nullptr;
}
