// Growable arrays and guarded allocation.
//
// CvnArray is the owned sequence used throughout the cache library. Storage is raw bytes from a
// non-throwing allocation and elements are relocated by one byte copy, so an element type must
// stay valid when its bytes move: plain types qualify by themselves, class types only when they
// are declared byte-movable with ORV_DECLARE_BYTE_MOVABLE. Every failure is reported by a false
// result, never by an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "support/Log.h"
#include "support/platform/Platform.h"

namespace CVNUtils {

// True for element types whose objects may be relocated by copying their bytes.
template <typename T>
struct IsByteMovable : std::is_trivially_copyable<T> {};

#define ORV_DECLARE_BYTE_MOVABLE(Type) \
  template <>                          \
  struct CVNUtils::IsByteMovable<Type> : std::true_type {}

template <typename T, typename Index, int B>
class CvnArrayBase {
  static_assert(std::is_same<Index, int>::value || std::is_same<Index, long long>::value,
                "CvnArray sizes are int or long long");

 public:
  CvnArrayBase() = default;
  CvnArrayBase(const CvnArrayBase&) = delete;
  CvnArrayBase& operator=(const CvnArrayBase&) = delete;
  virtual ~CvnArrayBase() = default;

  // Ordering used by sorts over the array; 0 (equal) unless a derived array says otherwise.
  virtual int compare(const T& /*a*/, const T& /*b*/) const { return 0; }

  T* data = nullptr;
  Index count = 0;
  Index capacity = 0;
  Index growthDivisor = 4;
};

template <typename T, typename Index = int, int A = 0, int B = 1>
class CvnArray : public CvnArrayBase<T, Index, B> {
  using Base = CvnArrayBase<T, Index, B>;

 public:
  using value_type = T;
  using index_type = Index;

  CvnArray() = default;
  CvnArray(CvnArray&& other) noexcept { stealFrom(other); }
  CvnArray& operator=(CvnArray&& other) noexcept {
    if (this != &other) {
      release();
      stealFrom(other);
    }
    return *this;
  }
  ~CvnArray() override { release(); }

  T& operator[](Index position) { return this->data[position]; }
  const T& operator[](Index position) const { return this->data[position]; }
  Index size() const { return this->count; }
  bool empty() const { return this->count == 0; }
  T* begin() { return this->data; }
  T* end() { return this->data + this->count; }
  const T* begin() const { return this->data; }
  const T* end() const { return this->data + this->count; }

  // Resizes to n elements. Growth beyond the capacity reallocates to n (exact) or to
  // n + max(8, n / growthDivisor). New positions receive *fill when given; class-type elements are
  // default-constructed otherwise. A failed allocation empties the array and returns false.
  bool SetSize(Index n, const T* fill = nullptr, bool exact = false) {
    if (n < 0) {
      LogMessage("[ERROR] CvnArray SetSize() with a negative newsz!\n");
      return false;
    }
    if (n == this->count) return true;
    if (n < this->count) {
      destroyRange(n, this->count);
      this->count = n;
      return true;
    }
    // The fill value may be one of this array's own elements: follow it to the new storage.
    const Index fillIndex = ownIndexOf(fill);
    if (n > this->capacity && !reallocate(exact ? n : grownCapacity(n))) return false;
    if (fillIndex >= 0) fill = this->data + fillIndex;
    for (Index i = this->count; i < n; ++i) constructAt(i, fill);
    this->count = n;
    return true;
  }

  // Adds one element at the end; false (and an emptied array) when storage cannot grow. x may be
  // one of this array's own elements: it is followed to the new storage when the array grows.
  bool Append(const T& x) {
    const T* source = &x;
    if (!growByOne(source)) return false;
    this->data[this->count - 1] = *source;
    return true;
  }

  bool Append(T&& x) {
    const T* source = &x;
    if (!growByOne(source)) return false;
    this->data[this->count - 1] = std::move(*const_cast<T*>(source));
    return true;
  }

  // Removes and returns the last element; a value-initialised T when the array is empty.
  T Pop() {
    if (this->count == 0) return T();
    T last = std::move(this->data[this->count - 1]);
    destroyRange(this->count - 1, this->count);
    --this->count;
    return last;
  }

  // Deletes k elements from position first. keepOrder shifts the tail down; otherwise the last k
  // elements fill the gap. viaSetSize shrinks through SetSize (refusing a negative size).
  void Remove(Index first, Index k, bool keepOrder, bool viaSetSize) {
    if (k <= 0 || first < 0 || first >= this->count) return;
    if (k > this->count - first) k = this->count - first;
    destroyRange(first, first + k);
    const Index tail = this->count - (first + k);
    if (keepOrder) {
      std::memmove(static_cast<void*>(this->data + first), this->data + first + k,
                   static_cast<size_t>(tail) * sizeof(T));
    } else {
      const Index moved = tail < k ? tail : k;
      std::memcpy(static_cast<void*>(this->data + first), this->data + this->count - moved,
                  static_cast<size_t>(moved) * sizeof(T));
    }
    // The vacated tail holds relocated bytes: it is dropped without destruction. k is clamped to
    // the elements in use, so the shrink through SetSize can never be refused here.
    (void)viaSetSize;
    this->count -= k;
  }

  // Destroys the elements and frees the storage.
  void Clear() { release(); }

 private:
  static_assert(IsByteMovable<T>::value,
                "CvnArray relocates elements by byte copy: declare the type byte-movable");
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
                "CvnArray storage is aligned for ordinary types only");

  // Constructs position i as a copy of *fill, or by default (class types only) without one.
  void constructAt(Index i, const T* fill) {
    if constexpr (std::is_copy_constructible<T>::value) {
      if (fill) {
        new (&this->data[i]) T(*fill);
        return;
      }
    }
    if constexpr (!std::is_trivially_default_constructible<T>::value) new (&this->data[i]) T();
  }

  // Position of p among the elements in use, or -1 when p points elsewhere.
  Index ownIndexOf(const T* p) const {
    if (!p || !this->data) return -1;
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    const auto first = reinterpret_cast<std::uintptr_t>(this->data);
    const auto end = reinterpret_cast<std::uintptr_t>(this->data + this->count);
    if (address < first || address >= end) return -1;
    return static_cast<Index>((address - first) / sizeof(T));
  }

  // Adds one position at the end (growth rule, never exact), keeping source valid when it points
  // into the old storage.
  bool growByOne(const T*& source) {
    const Index sourceIndex = ownIndexOf(source);
    if (!SetSize(this->count + 1)) return false;
    if (sourceIndex >= 0) source = this->data + sourceIndex;
    return true;
  }

  // A divisor below 1 (only a caller can set one) gives the minimum headroom instead of a
  // division by zero.
  Index grownCapacity(Index n) const {
    Index headroom = this->growthDivisor > 0 ? n / this->growthDivisor : 0;
    if (headroom < 8) headroom = 8;
    if (n > std::numeric_limits<Index>::max() - headroom) return -1;
    return n + headroom;
  }

  // Blocks from this size on ask for the system's large pages.
  static constexpr unsigned long long kLargeBlockBytes = 8ull << 20;

  bool reallocate(Index newCapacity) {
    T* fresh = nullptr;
    const bool ok =
        newCapacity > 0 &&
        static_cast<unsigned long long>(newCapacity) <=
            std::numeric_limits<size_t>::max() / sizeof(T) &&
        (fresh = reinterpret_cast<T*>(new (
             std::nothrow) unsigned char[static_cast<size_t>(newCapacity) * sizeof(T)])) != nullptr;
    if (!ok) {
      release();
      return false;
    }
    // Decoded channels: first written right after this, often hundreds of megabytes.
    const unsigned long long bytes = static_cast<unsigned long long>(newCapacity) * sizeof(T);
    if (bytes >= kLargeBlockBytes) orv::platform::PreferLargePages(fresh, bytes);
    if (this->count > 0) {
      std::memcpy(static_cast<void*>(fresh), this->data,
                  static_cast<size_t>(this->count) * sizeof(T));
    }
    delete[] reinterpret_cast<unsigned char*>(this->data);
    this->data = fresh;
    this->capacity = newCapacity;
    return true;
  }

  void destroyRange(Index from, Index to) {
    if constexpr (!std::is_trivially_destructible<T>::value) {
      for (Index i = from; i < to; ++i) this->data[i].~T();
    }
  }

  void release() {
    if (this->data) {
      destroyRange(0, this->count);
      delete[] reinterpret_cast<unsigned char*>(this->data);
    }
    this->data = nullptr;
    this->count = 0;
    this->capacity = 0;
  }

  void stealFrom(CvnArray& other) {
    this->data = other.data;
    this->count = other.count;
    this->capacity = other.capacity;
    this->growthDivisor = other.growthDivisor;
    other.data = nullptr;
    other.count = 0;
    other.capacity = 0;
  }
};

}  // namespace CVNUtils

template <typename T, typename Index, int A, int B>
struct CVNUtils::IsByteMovable<CVNUtils::CvnArray<T, Index, A, B>> : std::true_type {};
